// mixer.cpp: rendering and mixing a piece (see mixer.h).
#include "content/synth/mixer.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>

namespace synth {

namespace {

// The sidechain's pull on an instrument `since` samples after a hit: down to
// 1 - depth within 4 ms, then back to 1 over `release` seconds.
double duckReduction(std::int64_t since, double depth, double release) {
    const double t = double(since) / sampleRate;
    const double attack = 0.004;
    if (t < attack) return depth * t / attack;
    return depth * fallCurve((t - attack) / release, 2);
}

void fadeOut(std::vector<float>& left, std::vector<float>& right, std::int64_t end, double seconds) {
    const std::int64_t length = std::int64_t(std::floor(seconds * sampleRate + 0.5));
    const std::int64_t from = end - length > 0 ? end - length : 0;
    for (std::int64_t n = from; n < end; ++n) {
        const double x = double(n - from) / double(end - from);
        const double g = 0.5 * (1.0 + cosTurns(0.5 * x));
        left[std::size_t(n)] = float(left[std::size_t(n)] * g);
        right[std::size_t(n)] = float(right[std::size_t(n)] * g);
    }
}

struct Buses {
    std::vector<float> dryL, dryR, reverbL, reverbR, delayL, delayR;
};

// Two stereo buffers for one instrument's notes, all zero between
// instruments: the even-numbered notes go into the first, the odd-numbered
// into the second on a second thread, and the second is then added into the
// first. The split is fixed, so the sums (and the bytes) never depend on how
// many processors the machine has.
struct NoteBuffers {
    std::vector<float> left, right, oddLeft, oddRight;
};

void renderNotes(const Track& track, std::size_t index, const NoteControls& controls, std::int64_t frames,
                 std::int64_t lo, std::int64_t hi, NoteBuffers& b) {
    auto half = [&](std::size_t first, float* left, float* right) {
        for (std::size_t j = first; j < track.notes.size(); j += 2) {
            const std::uint64_t seed = 0x5EED0000ull + std::uint64_t(index) * 1000003ull + j;
            renderNote(track.patch, track.notes[j], seed, controls, left, right, std::size_t(frames));
        }
    };
    auto odd = [&] { half(1, b.oddLeft.data(), b.oddRight.data()); };
    std::thread helper;
    if (track.notes.size() >= 2) {
        try {
            helper = std::thread(odd);
        } catch (const std::system_error&) {
            // No thread to be had: the same work follows, in turn.
        }
    }
    half(0, b.left.data(), b.right.data());
    if (helper.joinable())
        helper.join();
    else
        odd();
    for (std::int64_t n = lo; n < hi; ++n) {
        const std::size_t i = std::size_t(n);
        b.left[i] += b.oddLeft[i];
        b.right[i] += b.oddRight[i];
        b.oddLeft[i] = 0.0f;
        b.oddRight[i] = 0.0f;
    }
}

// Everything of one instrument: its notes, level, ducking, pan and sends.
// Returns the instrument's dry loudness (before the master) when `measure`.
double mixTrack(const Piece& piece, std::size_t index, std::int64_t frames, NoteBuffers& notes,
                Buses& buses, bool measure) {
    const Track& track = piece.tracks[index];
    const Patch& p = track.patch;
    if (track.notes.empty() || frames <= 0) return -200.0;
    std::int64_t lo = frames, hi = 0;
    for (const NoteEvent& n : track.notes) {
        lo = std::min(lo, n.start);
        hi = std::max(hi, n.start + noteLength(p, n));
    }
    lo = std::max<std::int64_t>(lo, 0);
    hi = std::min(hi, frames);
    if (lo >= hi) return -200.0;

    const std::vector<double> cutoff = controlCurve(track, rampCutoff, p.cutoff, frames);
    NoteControls controls;
    controls.cutoff = cutoff.empty() ? nullptr : &cutoff;
    renderNotes(track, index, controls, frames, lo, hi, notes);
    std::vector<float>& left = notes.left;
    std::vector<float>& right = notes.right;

    std::vector<double> level = controlCurve(track, rampLevel, p.level, frames);
    for (double& v : level) v = dbToGain(v);
    const double fixedLevel = dbToGain(p.level);
    const std::vector<double> toReverb = controlCurve(track, rampReverb, p.reverb, frames);
    const std::vector<double> toDelay = controlCurve(track, rampDelay, p.delay, frames);

    std::vector<std::int64_t> hits;
    if (p.duck > 0.0 && piece.sidechain >= 0 && std::size_t(piece.sidechain) != index) {
        for (const NoteEvent& n : piece.tracks[std::size_t(piece.sidechain)].notes) hits.push_back(n.start);
        std::sort(hits.begin(), hits.end());
    }
    const std::int64_t duckSpan = std::int64_t((0.004 + p.duckRelease) * sampleRate) + 1;
    std::size_t firstHit = 0;

    const double angle = (p.pan + 1.0) / 8.0;
    const double panL = cosTurns(angle) * 1.4142135623730951;
    const double panR = sinTurns(angle) * 1.4142135623730951;
    for (std::int64_t n = lo; n < hi; ++n) {
        const std::size_t block = std::size_t(n / controlBlock);
        double g = level.empty() ? fixedLevel : level[block];
        if (!hits.empty()) {
            while (firstHit < hits.size() && hits[firstHit] + duckSpan <= n) ++firstHit;
            double pull = 0.0;
            for (std::size_t h = firstHit; h < hits.size() && hits[h] <= n; ++h)
                pull = std::max(pull, duckReduction(n - hits[h], p.duck, p.duckRelease));
            g *= 1.0 - pull;
        }
        const std::size_t i = std::size_t(n);
        const double mid = 0.5 * (double(left[i]) + double(right[i]));
        const double side = 0.5 * (double(left[i]) - double(right[i])) * p.width;
        const double l = (mid + side) * panL * g, r = (mid - side) * panR * g;
        buses.dryL[i] += float(l);
        buses.dryR[i] += float(r);
        const double rs = toReverb.empty() ? p.reverb : toReverb[block];
        const double ds = toDelay.empty() ? p.delay : toDelay[block];
        if (rs > 0.0) {
            buses.reverbL[i] += float(l * rs);
            buses.reverbR[i] += float(r * rs);
        }
        if (ds > 0.0) {
            buses.delayL[i] += float(l * ds);
            buses.delayR[i] += float(r * ds);
        }
        left[i] = measure ? float(l) : 0.0f;
        right[i] = measure ? float(r) : 0.0f;
    }
    if (!measure) return -200.0;
    const double loudness = integratedLoudness(left.data() + lo, right.data() + lo, std::size_t(hi - lo));
    std::fill(left.begin() + lo, left.begin() + hi, 0.0f);
    std::fill(right.begin() + lo, right.begin() + hi, 0.0f);
    return loudness;
}

// The master's gain, limiter and ceiling applied to a copy of the mix.
double levelled(const std::vector<float>& left, const std::vector<float>& right, double gainDb,
                const MasterSettings& m, std::vector<float>& outL, std::vector<float>& outR) {
    const double g = dbToGain(gainDb);
    for (std::size_t i = 0; i < left.size(); ++i) {
        outL[i] = float(left[i] * g);
        outR[i] = float(right[i] * g);
    }
    return limit(outL.data(), outR.data(), outL.size(), dbToGain(m.ceiling), 0.003, m.release);
}

}  // namespace

std::vector<double> controlCurve(const Track& track, int target, double patchValue,
                                 std::int64_t frames) {
    std::vector<Ramp> ramps;
    for (const Ramp& r : track.ramps)
        if (r.target == target) ramps.push_back(r);
    if (ramps.empty() || frames <= 0) return {};
    std::stable_sort(ramps.begin(), ramps.end(),
                     [](const Ramp& a, const Ramp& b) { return a.start < b.start; });
    const std::size_t blocks = std::size_t((frames + controlBlock - 1) / controlBlock);
    std::vector<double> curve(blocks);
    std::size_t next = 0;
    const Ramp* current = nullptr;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::int64_t n = std::int64_t(b) * controlBlock + controlBlock / 2;
        while (next < ramps.size() && ramps[next].start <= n) current = &ramps[next++];
        double v = patchValue;
        if (current) {
            if (n >= current->end || current->end <= current->start)
                v = current->to;
            else
                v = current->from + (current->to - current->from) * double(n - current->start) /
                                        double(current->end - current->start);
        }
        curve[b] = v;
    }
    // Smooth the steps a jump between ramps would make (15 ms).
    const double a = 1.0 - exp2(-1.4426950408889634 * controlBlock / (0.015 * sampleRate));
    double y = curve[0];
    for (double& v : curve) {
        y += (v - y) * a;
        v = y;
    }
    return curve;
}

std::vector<std::int16_t> mixPiece(const Piece& piece, std::uint32_t frames, MixStats* stats,
                                   bool measureTracks) {
    std::vector<std::int16_t> out(std::size_t(frames) * 2, 0);
    const std::int64_t music = std::max<std::int64_t>(0, std::min<std::int64_t>(piece.end, frames));
    MixStats s;
    s.musicFrames = music;
    s.loudness = -200.0;
    s.peak = -200.0;
    const std::size_t n = std::size_t(music);
    if (n > 0) {
        Buses buses;
        for (std::vector<float>* bus : {&buses.dryL, &buses.dryR, &buses.reverbL, &buses.reverbR,
                                        &buses.delayL, &buses.delayR})
            bus->assign(n, 0.0f);
        {
            NoteBuffers notes;
            for (std::vector<float>* b : {&notes.left, &notes.right, &notes.oddLeft, &notes.oddRight})
                b->assign(n, 0.0f);
            for (std::size_t t = 0; t < piece.tracks.size(); ++t) {
                const double l = mixTrack(piece, t, music, notes, buses, measureTracks);
                if (measureTracks) s.trackLoudness.push_back(l);
            }
        }
        {
            Delay delay(piece.delay);
            Reverb reverb(piece.reverb);
            for (std::size_t i = 0; i < n; ++i) {
                double dl, dr, rl, rr;
                delay.process(buses.delayL[i], buses.delayR[i], dl, dr);
                reverb.process(double(buses.reverbL[i]) + dl * piece.delay.reverb,
                               double(buses.reverbR[i]) + dr * piece.delay.reverb, rl, rr);
                buses.dryL[i] = float(double(buses.dryL[i]) + dl + rl);
                buses.dryR[i] = float(double(buses.dryR[i]) + dr + rr);
            }
        }
        std::vector<float> mixL = std::move(buses.dryL), mixR = std::move(buses.dryR);
        buses = Buses();

        Svf cutL, cutR;
        cutL.tune(piece.master.lowcut, 0.0);
        cutR.tune(piece.master.lowcut, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            mixL[i] = float(cutL.process(mixL[i], filterHighpass));
            mixR[i] = float(cutR.process(mixR[i], filterHighpass));
        }
        fadeOut(mixL, mixR, music, piece.master.fade);

        // Bring the loudness to the target: measure, level and limit, measure
        // what the limiter left, correct once more.
        std::vector<float> outL(n), outR(n);
        double gainDb = 0.0;
        const double raw = integratedLoudness(mixL.data(), mixR.data(), n);
        if (raw > -150.0) {
            gainDb = piece.master.loudness - raw;
            levelled(mixL, mixR, gainDb, piece.master, outL, outR);
            gainDb += piece.master.loudness - integratedLoudness(outL.data(), outR.data(), n);
        }
        s.gain = gainDb;
        for (double& l : s.trackLoudness)
            if (l > -150.0) l += gainDb;
        s.limiting = levelled(mixL, mixR, gainDb, piece.master, outL, outR);
        s.loudness = integratedLoudness(outL.data(), outR.data(), n);

        int peak = 0;
        double sumL = 0.0, sumR = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const float* ch[2] = {&outL[i], &outR[i]};
            for (int c = 0; c < 2; ++c) {
                double v = std::floor(double(*ch[c]) * 32767.0 + 0.5);
                if (v > 32767.0) v = 32767.0;
                if (v < -32767.0) v = -32767.0;
                const int q = int(v);
                out[2 * i + std::size_t(c)] = std::int16_t(q);
                peak = std::max(peak, q < 0 ? -q : q);
                (c == 0 ? sumL : sumR) += v;
            }
        }
        s.peak = peak > 0 ? gainToDb(peak / 32768.0) : -200.0;
        s.dcLeft = sumL / double(n) / 32768.0;
        s.dcRight = sumR / double(n) / 32768.0;
    }
    if (stats) *stats = s;
    return out;
}

}  // namespace synth

// instruments.cpp: the instrument kinds and their note renderers (see
// instruments.h).
#include "content/synth/instruments.h"

#include <cmath>

#include "content/synth/dsp.h"

namespace synth {

namespace {

// The mixer's parameters, which every kind has.
const std::vector<ParamInfo>& mixerParams() {
    static const std::vector<ParamInfo> params = {
        {"level", &Patch::level, 0, -60, 12, nullptr},
        {"pan", &Patch::pan, 0, -1, 1, nullptr},
        {"width", &Patch::width, 1, 0, 2, nullptr},
        {"reverb", &Patch::reverb, 0, 0, 1, nullptr},
        {"delay", &Patch::delay, 0, 0, 1, nullptr},
        {"duck", &Patch::duck, 0, 0, 1, nullptr},
        {"duckrelease", &Patch::duckRelease, 0.25, 0.01, 2, nullptr},
        {"transpose", &Patch::transpose, 0, -48, 48, nullptr},
    };
    return params;
}

std::vector<ParamInfo> withMixer(std::vector<ParamInfo> own) {
    std::vector<ParamInfo> all = mixerParams();
    all.insert(all.end(), own.begin(), own.end());
    return all;
}

const char* const waves = "saw square triangle sine";
const char* const filters = "lowpass bandpass highpass";

const std::vector<KindInfo>& kinds() {
    static const std::vector<KindInfo> table = {
        {"kick", kindKick,
         withMixer({
             {"freq", &Patch::freq, 50, 20, 400, nullptr},
             {"sweep", &Patch::sweep, 150, 20, 2000, nullptr},
             {"sweeptime", &Patch::sweepTime, 0.03, 0.002, 0.5, nullptr},
             {"decay", &Patch::decay, 0.45, 0.05, 3, nullptr},
             {"click", &Patch::click, 0.3, 0, 1, nullptr},
             {"drive", &Patch::drive, 0.5, 0, 4, nullptr},
             {"curve", &Patch::curve, 2, 1, 4, nullptr},
         })},
        {"snare", kindSnare,
         withMixer({
             {"freq", &Patch::freq, 185, 60, 800, nullptr},
             {"body", &Patch::body, 0.5, 0, 1, nullptr},
             {"bodydecay", &Patch::bodyDecay, 0.1, 0.01, 1, nullptr},
             {"noise", &Patch::noise, 0.8, 0, 1, nullptr},
             {"cutoff", &Patch::cutoff, 4000, 200, 16000, nullptr},
             {"resonance", &Patch::resonance, 0.1, 0, 1, nullptr},
             {"decay", &Patch::decay, 0.22, 0.02, 2, nullptr},
             {"claps", &Patch::claps, 0, 0, 8, nullptr},
             {"clapspacing", &Patch::clapSpacing, 0.009, 0.002, 0.05, nullptr},
             {"curve", &Patch::curve, 3, 1, 4, nullptr},
         })},
        {"hat", kindHat,
         withMixer({
             {"freq", &Patch::freq, 400, 100, 2000, nullptr},
             {"noise", &Patch::noise, 0.5, 0, 1, nullptr},
             {"cutoff", &Patch::cutoff, 8000, 1000, 18000, nullptr},
             {"resonance", &Patch::resonance, 0.2, 0, 1, nullptr},
             {"decay", &Patch::decay, 0.06, 0.01, 5, nullptr},
             {"curve", &Patch::curve, 3, 1, 4, nullptr},
         })},
        {"synth", kindSynth,
         withMixer({
             {"wave", &Patch::wave, 0, 0, 3, waves},
             {"osc", &Patch::osc, 1, 0, 1, nullptr},
             {"wave2", &Patch::wave2, 0, 0, 3, waves},
             {"mix2", &Patch::mix2, 0, 0, 1, nullptr},
             {"interval2", &Patch::interval2, 0, -24, 24, nullptr},
             {"unison", &Patch::unison, 1, 1, 7, nullptr},
             {"detune", &Patch::detune, 0, 0, 100, nullptr},
             {"spread", &Patch::spread, 0.5, 0, 1, nullptr},
             {"sub", &Patch::sub, 0, 0, 1, nullptr},
             {"noise", &Patch::noise, 0, 0, 1, nullptr},
             {"filter", &Patch::filter, 0, 0, 2, filters},
             {"cutoff", &Patch::cutoff, 2000, 20, 20000, nullptr},
             {"resonance", &Patch::resonance, 0, 0, 1, nullptr},
             {"keytrack", &Patch::keytrack, 0, 0, 1, nullptr},
             {"fenv", &Patch::fenv, 0, -8, 8, nullptr},
             {"fattack", &Patch::fattack, 0.005, 0.0005, 10, nullptr},
             {"fdecay", &Patch::fdecay, 0.3, 0, 10, nullptr},
             {"fsustain", &Patch::fsustain, 0, 0, 1, nullptr},
             {"frelease", &Patch::frelease, 0.3, 0.001, 10, nullptr},
             {"attack", &Patch::attack, 0.005, 0.0005, 10, nullptr},
             {"decay", &Patch::decay, 0.2, 0, 10, nullptr},
             {"sustain", &Patch::sustain, 0.7, 0, 1, nullptr},
             {"release", &Patch::release, 0.2, 0.001, 10, nullptr},
             {"curve", &Patch::curve, 2, 1, 4, nullptr},
             {"lforate", &Patch::lfoRate, 0, 0, 20, nullptr},
             {"lfocutoff", &Patch::lfoCutoff, 0, 0, 4, nullptr},
             {"vibrato", &Patch::vibrato, 0, 0, 100, nullptr},
             {"drive", &Patch::drive, 0, 0, 4, nullptr},
         })},
        {"fm", kindFm,
         withMixer({
             {"ratio", &Patch::ratio, 2, 0.25, 16, nullptr},
             {"index", &Patch::index, 2, 0, 20, nullptr},
             {"indexdecay", &Patch::indexDecay, 0.5, 0.01, 10, nullptr},
             {"detune", &Patch::detune, 0, 0, 50, nullptr},
             {"attack", &Patch::attack, 0.002, 0.0005, 10, nullptr},
             {"decay", &Patch::decay, 0.8, 0, 10, nullptr},
             {"sustain", &Patch::sustain, 0, 0, 1, nullptr},
             {"release", &Patch::release, 0.5, 0.001, 10, nullptr},
             {"curve", &Patch::curve, 3, 1, 4, nullptr},
         })},
    };
    return table;
}

int whole(double v) { return int(std::floor(v + 0.5)); }

// Drums sound at their own tuning for note 60 (C4, what a plain hit plays);
// other notes tune them up or down, e.g. for a run of toms.
double drumTuning(const Patch& p, const NoteEvent& n) { return exp2((n.note + p.transpose - 60.0) / 12.0); }

Envelope ampEnvelope(const Patch& p) {
    Envelope e;
    e.attack = p.attack;
    e.decay = p.decay;
    e.sustain = p.sustain;
    e.release = p.release;
    e.curve = whole(p.curve);
    return e;
}

// Seconds to whole samples, rounded up so that an envelope's last (zero)
// value lies inside the note.
std::int64_t samplesFor(double seconds) { return std::int64_t(std::ceil(seconds * sampleRate)) + 1; }

// Writes one rendered note into the piece's buffers.
struct Out {
    float* left;
    float* right;
    std::size_t frames;
    std::int64_t start;
    std::int64_t count;  // samples this note may write
    Out(float* l, float* r, std::size_t n, std::int64_t s, std::int64_t len)
        : left(l), right(r), frames(n), start(s) {
        const std::int64_t room = std::int64_t(frames) - start;
        count = len < room ? len : room;
        if (count < 0) count = 0;
    }
    void add(std::int64_t i, double l, double r) const {
        left[start + i] += float(l);
        right[start + i] += float(r);
    }
};

void renderKick(const Patch& p, const NoteEvent& n, std::uint64_t seed, const Out& out) {
    Noise noise(seed);
    const double fall = exp2(-1.4426950408889634 / (p.sweepTime * sampleRate));
    const double gain = 1.0 + 2.0 * p.drive;
    const int curve = whole(p.curve);
    const double tuning = drumTuning(p, n);
    double sweep = 1.0, phase = 0.0;
    for (std::int64_t i = 0; i < out.count; ++i) {
        const double t = double(i) / sampleRate;
        const double f = (p.freq + (p.sweep - p.freq) * sweep) * tuning;
        sweep *= fall;
        double v = sinTurns(phase);
        phase += f / sampleRate;
        if (phase >= 1.0) phase -= 1.0;
        if (t < 0.006) v += p.click * noise.next() * fallCurve(t / 0.006, 3);
        const double amp = (t < 0.001 ? t / 0.001 : 1.0) * fallCurve(t / p.decay, curve);
        const double y = softClip(v * amp * gain) * n.velocity;
        out.add(i, y, y);
    }
}

void renderSnare(const Patch& p, const NoteEvent& n, std::uint64_t seed, const Out& out) {
    Noise noise(seed);
    Svf filter;
    filter.tune(p.cutoff, p.resonance);
    const int claps = whole(p.claps);
    const double burst = p.clapSpacing;
    const double tail = claps * burst;
    const int curve = whole(p.curve);
    const double tuning = drumTuning(p, n);
    double phase = 0.0;
    for (std::int64_t i = 0; i < out.count; ++i) {
        const double t = double(i) / sampleRate;
        const double f = p.freq * tuning * (1.0 + 0.6 * fallCurve(t / 0.02, 2));
        const double bodyWave = sinTurns(phase) * p.body * fallCurve(t / p.bodyDecay, 3);
        phase += f / sampleRate;
        if (phase >= 1.0) phase -= 1.0;
        double noiseAmp;
        if (t < tail) {
            const double j = std::floor(t / burst);
            noiseAmp = fallCurve((t - j * burst) / burst, 2);
        } else {
            noiseAmp = fallCurve((t - tail) / p.decay, curve);
        }
        const double hiss = filter.process(noise.next(), filterBandpass) * noiseAmp * p.noise;
        const double start = t < 0.0005 ? t / 0.0005 : 1.0;
        const double y = (bodyWave + 3.0 * hiss) * start * n.velocity;
        out.add(i, y, y);
    }
}

void renderHat(const Patch& p, const NoteEvent& n, std::uint64_t seed, const Out& out) {
    static const double ratios[6] = {1.0, 1.4471, 1.617, 1.9265, 2.5028, 2.6637};
    Noise noise(seed);
    Oscillator metal[6];
    for (Oscillator& o : metal) o.phase = 0.5 * (noise.next() + 1.0);
    Svf filter;
    filter.tune(p.cutoff, p.resonance);
    const int curve = whole(p.curve);
    const double base = p.freq * drumTuning(p, n) / sampleRate;
    for (std::int64_t i = 0; i < out.count; ++i) {
        const double t = double(i) / sampleRate;
        double m = 0.0;
        for (int k = 0; k < 6; ++k) m += metal[k].next(waveSquare, base * ratios[k]);
        const double s = m / 6.0 * (1.0 - p.noise) + noise.next() * p.noise;
        const double amp = (t < 0.0003 ? t / 0.0003 : 1.0) * fallCurve(t / p.decay, curve);
        const double y = 3.0 * filter.process(s, filterHighpass) * amp * n.velocity;
        out.add(i, y, y);
    }
}

void renderSynth(const Patch& p, const NoteEvent& n, std::uint64_t seed, const NoteControls& c,
                 const Out& out) {
    Noise noise(seed);
    const double pitch = n.note + p.transpose;
    const double f0 = noteFrequency(pitch);
    const int voices = whole(p.unison);
    const int wave1 = whole(p.wave), wave2 = whole(p.wave2), mode = whole(p.filter);
    Oscillator a[7], b[7], subOsc;
    double ratioA[7], ratioB[7], gainL[7], gainR[7];
    const double interval = exp2(p.interval2 / 12.0);
    for (int k = 0; k < voices; ++k) {
        const double offset = voices > 1 ? 2.0 * k / (voices - 1) - 1.0 : 0.0;
        ratioA[k] = exp2(offset * p.detune * 0.5 / 1200.0);
        ratioB[k] = ratioA[k] * interval;
        const double angle = (offset * p.spread + 1.0) / 8.0;  // a quarter turn across
        gainL[k] = cosTurns(angle) * 1.4142135623730951;
        gainR[k] = sinTurns(angle) * 1.4142135623730951;
        a[k].phase = 0.5 * (noise.next() + 1.0);
        b[k].phase = 0.5 * (noise.next() + 1.0);
    }
    const double norm = 1.0 / std::sqrt(double(voices));
    const Envelope amp = ampEnvelope(p);
    Envelope fil;
    fil.attack = p.fattack;
    fil.decay = p.fdecay;
    fil.sustain = p.fsustain;
    fil.release = p.frelease;
    fil.curve = whole(p.curve);
    const double gate = double(n.gate) / sampleRate;
    const double drive = 1.0 + 2.0 * p.drive;
    const double driveNorm = 1.0 / std::sqrt(drive);
    const double keyShift = p.keytrack * (pitch - 60.0) / 12.0;
    Svf left, right;
    double step = 0.0;
    for (std::int64_t i = 0; i < out.count; ++i) {
        const double t = double(i) / sampleRate;
        const std::int64_t at = out.start + i;
        if (i == 0 || at % controlBlock == 0) {
            const double lfo = p.lfoRate > 0.0 ? sinTurns(p.lfoRate * double(at) / sampleRate) : 0.0;
            const double vibrato = p.vibrato > 0.0 ? exp2(p.vibrato * lfo / 1200.0) : 1.0;
            step = f0 * vibrato / sampleRate;
            double cutoff = p.cutoff;
            if (c.cutoff && !c.cutoff->empty()) {
                std::size_t block = std::size_t(at / controlBlock);
                if (block >= c.cutoff->size()) block = c.cutoff->size() - 1;
                cutoff = (*c.cutoff)[block];
            }
            cutoff *= exp2(keyShift + p.fenv * fil.level(t, gate) + p.lfoCutoff * lfo);
            left.tune(cutoff, p.resonance);
            right.tune(cutoff, p.resonance);
        }
        double sl = 0.0, sr = 0.0;
        for (int k = 0; k < voices; ++k) {
            double v = 0.0;
            if (p.osc > 0.0) v += p.osc * a[k].next(wave1, step * ratioA[k]);
            if (p.mix2 > 0.0) v += p.mix2 * b[k].next(wave2, step * ratioB[k]);
            sl += v * gainL[k];
            sr += v * gainR[k];
        }
        double mono = 0.0;
        if (p.sub > 0.0) mono += p.sub * subOsc.next(waveSine, step * 0.5);
        if (p.noise > 0.0) mono += p.noise * noise.next();
        double yl = left.process(sl * norm + mono, mode);
        double yr = right.process(sr * norm + mono, mode);
        if (p.drive > 0.0) {
            yl = softClip(yl * drive) * driveNorm;
            yr = softClip(yr * drive) * driveNorm;
        }
        const double g = amp.level(t, gate) * n.velocity;
        out.add(i, yl * g, yr * g);
    }
}

void renderFm(const Patch& p, const NoteEvent& n, const Out& out) {
    const double fc = noteFrequency(n.note + p.transpose);
    const double spread = exp2(p.detune * 0.5 / 1200.0);
    const double stepL = fc / spread / sampleRate, stepR = fc * spread / sampleRate;
    const double stepM = fc * p.ratio / sampleRate;
    const Envelope amp = ampEnvelope(p);
    const double gate = double(n.gate) / sampleRate;
    const double toTurns = 1.0 / 6.283185307179586;
    double pl = 0.0, pr = 0.0, pm = 0.0;
    for (std::int64_t i = 0; i < out.count; ++i) {
        const double t = double(i) / sampleRate;
        const double index = p.index * fallCurve(t / p.indexDecay, 2) * toTurns;
        const double mod = sinTurns(pm) * index;
        const double g = amp.level(t, gate) * n.velocity;
        out.add(i, sinTurns(pl + mod) * g, sinTurns(pr + mod) * g);
        pl += stepL;
        pr += stepR;
        pm += stepM;
        pl -= std::floor(pl);
        pr -= std::floor(pr);
        pm -= std::floor(pm);
    }
}

}  // namespace

const KindInfo* findKind(const std::string& name) {
    for (const KindInfo& k : kinds())
        if (name == k.name) return &k;
    return nullptr;
}

Patch defaultPatch(const KindInfo& kind) {
    Patch p;
    p.kind = kind.kind;
    for (const ParamInfo& s : kind.params) p.*(s.field) = s.def;
    return p;
}

const ParamInfo* findParam(const KindInfo& kind, const std::string& name) {
    for (const ParamInfo& s : kind.params)
        if (name == s.name) return &s;
    return nullptr;
}

std::int64_t noteLength(const Patch& p, const NoteEvent& n) {
    switch (p.kind) {
        case kindKick:
        case kindHat:
            return samplesFor(p.decay);
        case kindSnare: {
            const double noiseEnd = whole(p.claps) * p.clapSpacing + p.decay;
            return samplesFor(noiseEnd > p.bodyDecay ? noiseEnd : p.bodyDecay);
        }
        default:
            return n.gate + samplesFor(p.release);
    }
}

void renderNote(const Patch& patch, const NoteEvent& note, std::uint64_t seed,
                const NoteControls& controls, float* left, float* right, std::size_t frames) {
    if (note.start < 0 || note.gate < 1) return;
    const Out out(left, right, frames, note.start, noteLength(patch, note));
    switch (patch.kind) {
        case kindKick:
            renderKick(patch, note, seed, out);
            break;
        case kindSnare:
            renderSnare(patch, note, seed, out);
            break;
        case kindHat:
            renderHat(patch, note, seed, out);
            break;
        case kindFm:
            renderFm(patch, note, out);
            break;
        default:
            renderSynth(patch, note, seed, controls, out);
            break;
    }
}

}  // namespace synth

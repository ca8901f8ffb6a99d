// The synthesiser's parts where a fault would be audible: the maths it uses
// instead of the C library, oscillator pitch and band-limiting, the
// envelope's shape and zero ends, the filter's response, every instrument
// kind's note (pitch, start and end at zero), the effects, the loudness
// meter and the limiter.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "content/synth/dsp.h"
#include "content/synth/effects.h"
#include "content/synth/instruments.h"

using namespace synth;

namespace {

// Amplitude of the component at `f` Hz (the Goertzel algorithm).
double amplitudeAt(const std::vector<double>& x, double f) {
    const double w = 2.0 * M_PI * f / sampleRate, c = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (double v : x) {
        const double s = v + c * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - c * s1 * s2) / (double(x.size()) / 2.0);
}

// Frequency from the rising zero crossings between samples `from` and `to`.
double measuredFrequency(const std::vector<double>& x, std::size_t from, std::size_t to) {
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        if (x[i - 1] < 0.0 && x[i] >= 0.0) {
            const double at = double(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    if (crossings < 2) return 0.0;
    return (crossings - 1) * sampleRate / (last - first);
}

double peakOf(const std::vector<double>& x, std::size_t from, std::size_t to) {
    double p = 0;
    for (std::size_t i = from; i < to && i < x.size(); ++i) p = std::fmax(p, std::fabs(x[i]));
    return p;
}

struct Rendered {
    std::vector<float> left, right;
    std::vector<double> mono() const {
        std::vector<double> m(left.size());
        for (std::size_t i = 0; i < m.size(); ++i) m[i] = 0.5 * (double(left[i]) + right[i]);
        return m;
    }
};

Rendered render(const Patch& p, const NoteEvent& n, std::size_t frames) {
    Rendered r{std::vector<float>(frames, 0.0f), std::vector<float>(frames, 0.0f)};
    renderNote(p, n, 7, NoteControls{}, r.left.data(), r.right.data(), frames);
    return r;
}

Patch patchOf(const char* kind) { return defaultPatch(*findKind(kind)); }

}  // namespace

TEST(SoundtrackMaths, OwnFunctionsMatchTheLibraryClosely) {
    for (double x = -3.0; x <= 3.0; x += 0.0137) {
        EXPECT_NEAR(sinTurns(x), std::sin(2 * M_PI * x), 1e-12) << x;
        EXPECT_NEAR(cosTurns(x), std::cos(2 * M_PI * x), 1e-12) << x;
        EXPECT_NEAR(synth::exp2(x * 7), std::exp2(x * 7), 1e-12 * std::exp2(x * 7)) << x;
    }
    for (double x = 0.001; x < 1e6; x *= 1.37) EXPECT_NEAR(synth::log2(x), std::log2(x), 1e-12) << x;
    for (double x = 0.0; x < 0.45; x += 0.01) EXPECT_NEAR(tanHalfTurns(x), std::tan(M_PI * x), 1e-10) << x;
    // Exact where exactness is cheap: whole powers of two, A4.
    EXPECT_EQ(synth::exp2(10.0), 1024.0);
    EXPECT_EQ(synth::exp2(-3.0), 0.125);
    EXPECT_EQ(synth::log2(4096.0), 12.0);
    EXPECT_EQ(noteFrequency(69), 440.0);
    EXPECT_EQ(noteFrequency(81), 880.0);
    EXPECT_NEAR(noteFrequency(60), 261.6255653, 1e-6);
    EXPECT_NEAR(dbToGain(-6.0205999), 0.5, 1e-7);
    EXPECT_NEAR(gainToDb(0.1), -20.0, 1e-12);
    EXPECT_EQ(synth::log2(0.0), -1100.0);
}

TEST(SoundtrackMaths, SoftClipIsBoundedMonotonicAndTransparentNearZero) {
    double last = -2;
    for (double x = -5; x <= 5; x += 0.01) {
        const double y = softClip(x);
        EXPECT_LE(std::fabs(y), 1.0);
        EXPECT_GE(y, last);
        last = y;
    }
    EXPECT_NEAR(softClip(0.01), 0.01, 1e-5);
    EXPECT_EQ(softClip(3.0), 1.0);
}

TEST(SoundtrackMaths, NoiseIsRepeatableZeroMeanAndInRange) {
    Noise a(42), b(42), c(43);
    double sum = 0, square = 0;
    bool differs = false;
    for (int i = 0; i < 100000; ++i) {
        const double v = a.next();
        ASSERT_EQ(v, b.next());
        differs |= v != c.next();
        ASSERT_GE(v, -1.0);
        ASSERT_LT(v, 1.0);
        sum += v;
        square += v * v;
    }
    EXPECT_TRUE(differs);
    EXPECT_NEAR(sum / 100000, 0.0, 0.01);
    EXPECT_NEAR(square / 100000, 1.0 / 3.0, 0.01);  // uniform on [-1, 1)
}

TEST(SoundtrackOscillator, EveryWaveHasItsPitchFullScaleAndNoDc) {
    for (int wave : {waveSaw, waveSquare, waveTriangle, waveSine})
        for (double f : {55.0, 440.0, 1234.5}) {
            Oscillator o;
            std::vector<double> x(44100);
            for (double& v : x) v = o.next(wave, f / sampleRate);
            EXPECT_NEAR(measuredFrequency(x, 0, x.size()), f, f * 1e-3) << wave << " " << f;
            EXPECT_NEAR(peakOf(x, 0, x.size()), 1.0, 0.12) << wave << " " << f;
            double mean = 0;
            for (double v : x) mean += v;
            EXPECT_NEAR(mean / double(x.size()), 0.0, 0.01) << wave << " " << f;
        }
}

TEST(SoundtrackOscillator, SawAndSquareAreBandLimited) {
    // A 5 kHz saw's 6th harmonic (30 kHz) folds back to 14.1 kHz; a naive
    // saw has it 16 dB under the fundamental, the corrected one far lower.
    for (int wave : {waveSaw, waveSquare}) {
        Oscillator o;
        std::vector<double> x(44100);
        for (double& v : x) v = o.next(wave, 5000.0 / sampleRate);
        const double fundamental = amplitudeAt(x, 5000.0);
        EXPECT_GT(fundamental, 0.5);
        EXPECT_LT(amplitudeAt(x, 14100.0), 0.05 * fundamental) << wave;
        EXPECT_LT(amplitudeAt(x, 19100.0), 0.08 * fundamental) << wave;
    }
}

TEST(SoundtrackEnvelope, StartsAndEndsAtZeroThroughEveryStage) {
    Envelope e;
    e.attack = 0.1;
    e.decay = 0.2;
    e.sustain = 0.5;
    e.release = 0.3;
    for (int curve = 1; curve <= 4; ++curve) {
        e.curve = curve;
        const double gate = 1.0;
        EXPECT_EQ(e.level(0.0, gate), 0.0);
        EXPECT_NEAR(e.level(0.05, gate), 0.5, 1e-12);  // linear attack
        EXPECT_NEAR(e.level(0.1, gate), 1.0, 1e-12);
        EXPECT_NEAR(e.level(0.3, gate), 0.5, 1e-12);
        EXPECT_NEAR(e.level(0.8, gate), 0.5, 1e-12);
        EXPECT_LT(e.level(gate + e.release - 1e-9, gate), 1e-8);
        EXPECT_EQ(e.level(gate + e.release + 1e-9, gate), 0.0);
        EXPECT_EQ(e.length(gate), 1.3);
        // Attack rises, decay and release fall, and nothing jumps.
        double last = 0;
        for (double t = 0.0; t <= 1.35; t += 0.0001) {
            const double v = e.level(t, gate);
            if (t < 0.1 + 0.00005) {
                EXPECT_GE(v, last);
            } else {
                EXPECT_LE(v, last + 1e-12);
            }
            EXPECT_LT(std::fabs(v - last), 0.002) << "jump at " << t << " curve " << curve;
            EXPECT_GE(v, 0.0);
            last = v;
        }
    }
}

TEST(SoundtrackEnvelope, ANoteShorterThanItsAttackReleasesFromWhereItGot) {
    Envelope e;
    e.attack = 0.4;
    e.release = 0.2;
    EXPECT_NEAR(e.level(0.1, 0.1), 0.25, 1e-12);
    EXPECT_NEAR(e.level(0.1 + 1e-6, 0.1), 0.25, 1e-5);
    EXPECT_LT(e.level(0.3 - 1e-9, 0.1), 1e-8);
    EXPECT_EQ(e.level(0.3 + 1e-9, 0.1), 0.0);
}

TEST(SoundtrackFilter, ResponseAtSeveralFrequencies) {
    // Steady-state gain in dB of a sine through the filter.
    auto gain = [](double cutoff, double resonance, int mode, double f) {
        Svf s;
        s.tune(cutoff, resonance);
        double peak = 0;
        for (int i = 0; i < 44100; ++i) {
            const double y = s.process(sinTurns(f * i / sampleRate), mode);
            if (i > 22050) peak = std::fmax(peak, std::fabs(y));
        }
        return 20 * std::log10(peak);
    };
    // Butterworth at resonance 0: -3 dB at the cutoff, 12 dB an octave.
    EXPECT_NEAR(gain(1000, 0, filterLowpass, 1000), -3.01, 0.1);
    EXPECT_NEAR(gain(1000, 0, filterLowpass, 250), 0.0, 0.1);
    EXPECT_NEAR(gain(1000, 0, filterLowpass, 4000), -24.5, 1.0);
    EXPECT_NEAR(gain(1000, 0, filterHighpass, 1000), -3.01, 0.1);
    EXPECT_NEAR(gain(1000, 0, filterHighpass, 250), -24.1, 1.0);
    EXPECT_NEAR(gain(1000, 0, filterHighpass, 4000), 0.0, 0.1);
    EXPECT_NEAR(gain(1000, 0, filterBandpass, 1000), 0.0, 0.1);
    EXPECT_LT(gain(1000, 0, filterBandpass, 4000), -8.0);
    // Resonance lifts the cutoff, and the band output stays at unity there.
    EXPECT_GT(gain(1000, 0.9, filterLowpass, 1000), 12.0);
    EXPECT_NEAR(gain(1000, 0.9, filterBandpass, 1000), 0.0, 0.1);
    EXPECT_LT(gain(1000, 0.9, filterBandpass, 1400), -8.0);
    // Cutoffs beyond the usable range are clamped, not unstable.
    const double top = gain(40000, 0, filterLowpass, 1000);
    EXPECT_TRUE(std::isfinite(top));
    EXPECT_NEAR(top, 0.0, 0.1);
}

TEST(SoundtrackInstruments, EveryKindStartsAndEndsAtZeroAndStaysInItsLength) {
    for (const char* kind : {"kick", "snare", "hat", "synth", "fm"}) {
        Patch p = patchOf(kind);
        if (p.kind == kindSnare) p.claps = 3;
        if (p.kind == kindKick) p.click = 0;  // its click is a noise burst on purpose
        if (p.kind == kindSynth) {
            p.unison = 3;
            p.detune = 20;
            p.noise = 0.2;
            p.sub = 0.5;
            p.fenv = 2;
        }
        NoteEvent n;
        n.start = 1000;
        n.gate = 20000;
        n.note = 57;
        n.velocity = 1.0;
        const std::int64_t length = noteLength(p, n);
        const std::size_t frames = std::size_t(n.start + length + 2000);
        const Rendered r = render(p, n, frames);
        const std::vector<double> x = r.mono();
        for (std::size_t i = 0; i < frames; ++i) {
            const bool inside = std::int64_t(i) >= n.start && std::int64_t(i) < n.start + length;
            if (!inside) {
                ASSERT_EQ(x[i], 0.0) << kind << " wrote outside its note at " << i;
            }
        }
        EXPECT_EQ(x[std::size_t(n.start)], 0.0) << kind;
        EXPECT_LT(std::fabs(x[std::size_t(n.start + length - 1)]), 1e-6) << kind;
        // No click: the last 2 ms fall to silence without a step, and the
        // enveloped kinds' first samples rise from it (snare and hats are
        // noise bursts whose steps are their sound).
        const bool enveloped = p.kind == kindKick || p.kind == kindSynth || p.kind == kindFm;
        for (std::int64_t i = 1; i < 88; ++i) {
            const std::size_t a = std::size_t(n.start + i), b = std::size_t(n.start + length - i);
            if (enveloped && i < 8) {
                EXPECT_LT(std::fabs(x[a] - x[a - 1]), 0.05) << kind << " at start + " << i;
            }
            EXPECT_LT(std::fabs(x[b] - x[b - 1]), 0.02) << kind << " at end - " << i;
        }
        const double peak = peakOf(x, 0, frames);
        EXPECT_GT(peak, 0.05) << kind;
        EXPECT_LT(peak, 2.0) << kind;
    }
}

TEST(SoundtrackInstruments, PitchedNotesSoundAtTheirNote) {
    // A plain sine synth and an FM voice without modulation sound the note
    // itself; transposition moves it.
    Patch synthSine = patchOf("synth");
    synthSine.wave = waveSine;
    synthSine.cutoff = 15000;
    Patch fm = patchOf("fm");
    fm.index = 0;
    fm.sustain = 1;
    for (Patch* p : {&synthSine, &fm})
        for (double note : {45.0, 57.0, 69.0, 76.0}) {
            NoteEvent n;
            n.gate = 44100;
            n.note = note;
            p->transpose = 0;
            Rendered r = render(*p, n, 50000);
            EXPECT_NEAR(measuredFrequency(r.mono(), 4410, 44100), noteFrequency(note), 0.2) << note;
            p->transpose = 12;
            r = render(*p, n, 50000);
            EXPECT_NEAR(measuredFrequency(r.mono(), 4410, 44100), 2 * noteFrequency(note), 0.4) << note;
        }
}

TEST(SoundtrackInstruments, KickFallsToItsTuningAndDrumsFollowTheNote) {
    Patch kick = patchOf("kick");
    kick.freq = 50;
    kick.sweep = 200;
    kick.sweepTime = 0.02;
    kick.decay = 1.0;
    kick.click = 0;
    kick.drive = 0;
    NoteEvent n;
    n.note = 60;
    std::vector<double> x = render(kick, n, 44100).mono();
    // Early the pitch is well above the tuning, later it is the tuning.
    EXPECT_GT(measuredFrequency(x, 0, 1400), 100.0);
    EXPECT_NEAR(measuredFrequency(x, 8820, 30000), 50.0, 0.5);
    n.note = 72;  // an octave up, as a tom
    x = render(kick, n, 44100).mono();
    EXPECT_NEAR(measuredFrequency(x, 8820, 30000), 100.0, 1.0);
}

TEST(SoundtrackInstruments, SynthFilterEnvelopeAndUnisonChangeTheSound) {
    Patch p = patchOf("synth");
    p.cutoff = 300;
    p.sustain = 1;
    NoteEvent n;
    n.gate = 30000;
    n.note = 45;  // 110 Hz: its 10th harmonic at 1100 Hz
    const std::vector<double> dull = render(p, n, 30000).mono();
    p.fenv = 3;  // three octaves more at the envelope's peak, then back
    p.fdecay = 0.1;
    const std::vector<double> swept = render(p, n, 30000).mono();
    const std::vector<double> earlyDull(dull.begin() + 200, dull.begin() + 2400);
    const std::vector<double> earlySwept(swept.begin() + 200, swept.begin() + 2400);
    EXPECT_GT(amplitudeAt(earlySwept, 1100), 4 * amplitudeAt(earlyDull, 1100));
    // Unison with spread puts different signals left and right.
    p.unison = 3;
    p.detune = 25;
    p.spread = 1;
    const Rendered wide = render(p, n, 30000);
    double difference = 0;
    for (std::size_t i = 0; i < 30000; ++i) difference = std::fmax(difference, std::fabs(wide.left[i] - wide.right[i]));
    EXPECT_GT(difference, 0.05);
}

TEST(SoundtrackEffects, ReverbTailFallsSixtyDecibelsInItsTime) {
    ReverbSettings s;
    s.time = 1.0;
    s.damping = 0;
    s.lowcut = 10;
    s.predelay = 0.01;
    Reverb reverb(s);
    std::vector<double> l(3 * 44100), r(3 * 44100);
    for (std::size_t i = 0; i < l.size(); ++i) reverb.process(i == 0 ? 1.0 : 0.0, i == 0 ? 1.0 : 0.0, l[i], r[i]);
    auto rms = [&](double from, double to) {
        double e = 0;
        for (std::size_t i = std::size_t(from * 44100); i < std::size_t(to * 44100); ++i) e += l[i] * l[i] + r[i] * r[i];
        return 10 * std::log10(e / ((to - from) * 44100));
    };
    for (std::size_t i = 0; i < 441; ++i) EXPECT_EQ(l[i], 0.0) << "before the predelay";
    const double early = rms(0.1, 0.2), late = rms(1.1, 1.2);
    EXPECT_NEAR(early - late, 60.0, 6.0);
    double difference = 0;
    for (std::size_t i = 4410; i < 8820; ++i) difference += std::fabs(l[i] - r[i]);
    EXPECT_GT(difference, 0.01) << "left and right tails are alike";
}

TEST(SoundtrackEffects, DelayEchoesAlternateSidesAndFade) {
    DelaySettings s;
    s.time = 0.1;
    s.feedback = 0.5;
    s.tone = 18000;
    s.lowcut = 10;
    s.level = 1;
    Delay delay(s);
    std::vector<double> l(20000), r(20000);
    for (std::size_t i = 0; i < l.size(); ++i) delay.process(i < 4 ? 1.0 : 0.0, i < 4 ? 1.0 : 0.0, l[i], r[i]);
    auto energy = [](const std::vector<double>& x, std::size_t from) {
        double e = 0;
        for (std::size_t i = from; i < from + 100; ++i) e += x[i] * x[i];
        return e;
    };
    EXPECT_EQ(energy(l, 0) + energy(r, 0), 0.0);
    EXPECT_GT(energy(l, 4410), 1.0);  // first echo: left
    EXPECT_EQ(energy(r, 4410), 0.0);
    EXPECT_GT(energy(r, 8820), 0.1);  // second: right, quieter
    EXPECT_LT(energy(r, 8820), energy(l, 4410));
    EXPECT_EQ(energy(l, 8820), 0.0);
    EXPECT_LT(energy(l, 13230), energy(r, 8820));  // third: left again, quieter still
    EXPECT_GT(energy(l, 13230), 0.0);
}

TEST(SoundtrackLoudness, KWeightingMatchesThePublishedCoefficientsAt48k) {
    Biquad shelf, pass;
    kWeighting(48000, shelf, pass);
    EXPECT_NEAR(shelf.b0, 1.53512485958697, 1e-9);
    EXPECT_NEAR(shelf.b1, -2.69169618940638, 1e-9);
    EXPECT_NEAR(shelf.b2, 1.19839281085285, 1e-9);
    EXPECT_NEAR(shelf.a1, -1.69065929318241, 1e-9);
    EXPECT_NEAR(shelf.a2, 0.73248077421585, 1e-9);
    EXPECT_NEAR(pass.a1, -1.99004745483398, 1e-9);
    EXPECT_NEAR(pass.a2, 0.99007225036621, 1e-9);
}

TEST(SoundtrackLoudness, SineReadsItsLevelAndGatesDropSilenceAndQuietParts) {
    const std::size_t second = 44100;
    std::vector<float> l(20 * second, 0.0f), r(20 * second, 0.0f);
    const double a = 0.1;  // -20 dBFS on both channels reads -20 LUFS
    for (std::size_t i = 0; i < 10 * second; ++i) l[i] = r[i] = float(a * sinTurns(997.0 * double(i) / 44100.0));
    EXPECT_NEAR(integratedLoudness(l.data(), r.data(), 10 * second), -20.0, 0.05);
    // Ten seconds of silence after it are gated out (only the few blocks
    // across the boundary count, a little lower).
    EXPECT_NEAR(integratedLoudness(l.data(), r.data(), 20 * second), -20.0, 0.1);
    // Ten seconds 20 dB quieter fall under the relative gate.
    for (std::size_t i = 10 * second; i < 20 * second; ++i) l[i] = r[i] = float(0.1 * a * sinTurns(997.0 * double(i) / 44100.0));
    EXPECT_NEAR(integratedLoudness(l.data(), r.data(), 20 * second), -20.0, 0.2);
    std::vector<float> silence(second, 0.0f);
    EXPECT_EQ(integratedLoudness(silence.data(), silence.data(), second), -200.0);
}

TEST(SoundtrackLimiter, HoldsTheCeilingAndLeavesQuietPartsAlone) {
    const std::size_t n = 44100;
    // Left: a tone with a burst; right: a steady level that shows the
    // (linked) gain at every sample.
    std::vector<float> l(n), r(n, 0.3f);
    for (std::size_t i = 0; i < n; ++i) l[i] = float(0.3 * sinTurns(220.0 * double(i) / 44100.0));
    for (std::size_t i = 20000; i < 20100; ++i) l[i] = 2.0f;  // a burst far over the ceiling
    const std::vector<float> before = l;
    const double ceiling = 0.5;
    const double reduction = limit(l.data(), r.data(), n, ceiling, 0.003, 0.05);
    EXPECT_NEAR(reduction, 20 * std::log10(0.25), 0.01);
    double largestStep = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        ASSERT_LE(std::fabs(l[i]), ceiling + 1e-6) << i;
        ASSERT_LE(std::fabs(r[i]), ceiling + 1e-6) << i;
        if (i > 0) largestStep = std::fmax(largestStep, std::fabs(r[i] - r[i - 1]) / 0.3);
    }
    // Before the burst nothing changes; the gain glides down over the
    // lookahead (3 ms: a step of 0.75 / 133 a sample) and back up, and
    // a quarter of a second later it is back at exactly 1.
    EXPECT_EQ(l[1000], before[1000]);
    EXPECT_EQ(r[19000], 0.3f);
    EXPECT_LT(r[20000], 0.3f * 0.26f);
    EXPECT_EQ(l[40000], before[40000]);
    EXPECT_EQ(r[40000], 0.3f);
    EXPECT_LT(largestStep, 0.006);
}

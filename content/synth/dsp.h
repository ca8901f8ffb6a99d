// dsp.h: the synthesiser's building blocks: exact-everywhere maths, noise,
// band-limited oscillators, the state-variable filter and the envelope.
//
// The soundtrack must come out byte for byte alike on every machine and from
// every compiler, so nothing here calls the C library's sin, exp, pow, log or
// tan, whose last bits differ between library versions. The functions below
// use only +, -, *, /, floor and ldexp, which IEEE-754 rounds exactly, and the
// synthesiser's sources are compiled without contracting a*b+c into fused
// multiply-adds. Accuracy is about 1e-12, far below what 16-bit samples show.
//
// All signal work is in double precision at soundtrackSampleRate.
#pragma once

#include <cstdint>

namespace synth {

constexpr double sampleRate = 44100.0;

// sin(2 pi x) and cos(2 pi x): the argument counts whole turns.
double sinTurns(double x);
double cosTurns(double x);
// tan(pi x), for 0 <= x < 0.5 (the filter's pre-warping).
double tanHalfTurns(double x);
// 2^x, and log2(x) for x > 0 (log2 of 0 or less gives -1100).
double exp2(double x);
double log2(double x);
// Decibels to a gain factor and back.
double dbToGain(double db);
double gainToDb(double gain);
// Frequency in Hz of a note number (69 = A4 = 440 Hz; fractions allowed).
double noteFrequency(double note);
// A smooth saturator: odd, monotonic, equal to x near 0, reaching +-1 at
// |x| = 3 and staying there.
double softClip(double x);

// White noise in [-1, 1) from a 64-bit xorshift generator: the same seed
// gives the same sequence everywhere.
struct Noise {
    std::uint64_t state;
    explicit Noise(std::uint64_t seed);
    double next();
};

// The polynomial band-limited step: the correction added around a jump of a
// naive oscillator. t is the phase in [0, 1), dt the phase step a sample.
double polyBlep(double t, double dt);

enum Wave { waveSaw = 0, waveSquare = 1, waveTriangle = 2, waveSine = 3 };

// One oscillator: phase in turns, advanced by `step` turns a sample.
struct Oscillator {
    double phase = 0.0;
    // The next sample of `wave` at `step` (frequency / sampleRate), in [-1, 1].
    double next(int wave, double step);
};

// The topology-preserving state-variable filter: stable while its cutoff
// moves every few samples, one input, low, band and high outputs.
enum FilterMode { filterLowpass = 0, filterBandpass = 1, filterHighpass = 2 };
struct Svf {
    double a1 = 0, a2 = 0, a3 = 0, k = 2;
    double ic1 = 0, ic2 = 0;
    // cutoff in Hz (clamped to 10 Hz .. 0.45 x sampleRate); resonance 0
    // gives a Butterworth response (-3 dB at the cutoff), 1 a narrow peak.
    void tune(double cutoff, double resonance);
    // One sample through the filter; the band output is scaled so that its
    // peak gain is 1 at any resonance.
    double process(double x, int mode);
};

// A biquad in direct form I, for the fixed filters of the loudness meter and
// the master's low cut.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double process(double x);
};

// The note envelope: a linear attack from 0 to 1, a decay to the sustain
// level shaped by (1 - x)^curve, the sustain while the gate is open and a
// release from wherever the envelope was to exactly 0, shaped the same way.
// It is 0 at t = 0 and at t = gate + release, so notes start and end
// without a click. Times in seconds, curve a whole number from 1 to 4.
struct Envelope {
    double attack = 0.005, decay = 0.2, sustain = 0.7, release = 0.2;
    int curve = 2;
    double level(double t, double gate) const;
    double length(double gate) const { return gate + release; }
};

// (1 - x)^curve for x in [0, 1], clamped outside.
double fallCurve(double x, int curve);

}  // namespace synth

// dsp.cpp: the synthesiser's building blocks (see dsp.h).
#include "content/synth/dsp.h"

#include <cmath>

namespace synth {

namespace {

constexpr double twoPi = 6.283185307179586;
constexpr double ln2 = 0.6931471805599453;

// sin(y) for |y| <= pi/2: the Taylor series to y^17 (error below 5e-14).
double sinPoly(double y) {
    const double y2 = y * y;
    double p = 1.0 / 355687428096000.0;
    p = p * y2 - 1.0 / 1307674368000.0;
    p = p * y2 + 1.0 / 6227020800.0;
    p = p * y2 - 1.0 / 39916800.0;
    p = p * y2 + 1.0 / 362880.0;
    p = p * y2 - 1.0 / 5040.0;
    p = p * y2 + 1.0 / 120.0;
    p = p * y2 - 1.0 / 6.0;
    p = p * y2 + 1.0;
    return p * y;
}

}  // namespace

double sinTurns(double x) {
    double r = x - std::floor(x + 0.5);  // [-0.5, 0.5)
    if (r > 0.25)
        r = 0.5 - r;
    else if (r < -0.25)
        r = -0.5 - r;
    return sinPoly(r * twoPi);
}

double cosTurns(double x) { return sinTurns(x + 0.25); }

double tanHalfTurns(double x) { return sinTurns(0.5 * x) / cosTurns(0.5 * x); }

double exp2(double x) {
    if (x >= 1023.0) x = 1023.0;
    if (x < -1074.0) return 0.0;
    const double n = std::floor(x);
    const double z = (x - n) * ln2;  // [0, ln 2)
    // e^z by its Taylor series to z^14 (error below 4e-15 on [0, ln 2)).
    double p = 1.0 / 87178291200.0;
    const double inverse[] = {1.0 / 6227020800.0, 1.0 / 479001600.0, 1.0 / 39916800.0,
                              1.0 / 3628800.0,    1.0 / 362880.0,    1.0 / 40320.0,
                              1.0 / 5040.0,       1.0 / 720.0,       1.0 / 120.0,
                              1.0 / 24.0,         1.0 / 6.0,         0.5,
                              1.0,                1.0};
    for (double c : inverse) p = p * z + c;
    return std::ldexp(p, int(n));
}

double log2(double x) {
    if (!(x > 0.0)) return -1100.0;
    int e = 0;
    double m = std::frexp(x, &e);  // [0.5, 1)
    m *= 2.0;
    e -= 1;
    if (m > 1.4142135623730951) {
        m *= 0.5;
        e += 1;
    }
    // ln m = 2 atanh(s), s = (m - 1) / (m + 1), |s| < 0.172.
    const double s = (m - 1.0) / (m + 1.0);
    const double s2 = s * s;
    double p = 1.0 / 21.0;
    for (int k = 19; k >= 1; k -= 2) p = p * s2 + 1.0 / double(k);
    return double(e) + 2.0 * s * p / ln2;
}

double dbToGain(double db) { return exp2(db * 0.16609640474436813); }

double gainToDb(double gain) { return 6.020599913279624 * log2(gain); }

double noteFrequency(double note) { return 440.0 * exp2((note - 69.0) / 12.0); }

double softClip(double x) {
    if (x >= 3.0) return 1.0;
    if (x <= -3.0) return -1.0;
    const double x2 = x * x;
    return x * (27.0 + x2) / (27.0 + 9.0 * x2);
}

Noise::Noise(std::uint64_t seed) {
    state = seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
    if (state == 0) state = 1;
    for (int i = 0; i < 4; ++i) next();
}

double Noise::next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return double(state >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

double polyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

double Oscillator::next(int wave, double step) {
    const double t = phase;
    double out;
    switch (wave) {
        case waveSaw:
            out = 2.0 * t - 1.0 - polyBlep(t, step);
            break;
        case waveSquare: {
            double half = t + 0.5;
            if (half >= 1.0) half -= 1.0;
            out = (t < 0.5 ? 1.0 : -1.0) + polyBlep(t, step) - polyBlep(half, step);
            break;
        }
        case waveTriangle:
            out = t < 0.5 ? 4.0 * t - 1.0 : 3.0 - 4.0 * t;
            break;
        default:
            out = sinTurns(t);
            break;
    }
    phase += step;
    if (phase >= 1.0) phase -= std::floor(phase);
    return out;
}

void Svf::tune(double cutoff, double resonance) {
    const double top = 0.45 * sampleRate;
    if (cutoff < 10.0) cutoff = 10.0;
    if (cutoff > top) cutoff = top;
    if (resonance < 0.0) resonance = 0.0;
    if (resonance > 1.0) resonance = 1.0;
    const double g = tanHalfTurns(cutoff / sampleRate);
    k = 1.4142135623730951 * (1.0 - resonance) + 0.05 * resonance;
    a1 = 1.0 / (1.0 + g * (g + k));
    a2 = g * a1;
    a3 = g * a2;
}

double Svf::process(double x, int mode) {
    const double v3 = x - ic2;
    const double v1 = a1 * ic1 + a2 * v3;
    const double v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2.0 * v1 - ic1;
    ic2 = 2.0 * v2 - ic2;
    if (mode == filterLowpass) return v2;
    if (mode == filterBandpass) return k * v1;
    return x - k * v1 - v2;
}

double Biquad::process(double x) {
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
}

double fallCurve(double x, int curve) {
    if (x <= 0.0) return 1.0;
    if (x >= 1.0) return 0.0;
    const double u = 1.0 - x;
    double p = u;
    for (int i = 1; i < curve; ++i) p *= u;
    return p;
}

double Envelope::level(double t, double gate) const {
    auto opened = [this](double u) {
        if (u <= 0.0) return 0.0;
        if (u < attack) return u / attack;
        u -= attack;
        if (u < decay) return sustain + (1.0 - sustain) * fallCurve(u / decay, curve);
        return sustain;
    };
    if (t < gate) return opened(t);
    const double r = t - gate;
    if (r >= release) return 0.0;
    return opened(gate) * fallCurve(r / release, curve);
}

}  // namespace synth

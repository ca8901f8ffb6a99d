// effects.cpp: reverb, delay, loudness meter and limiter (see effects.h).
#include "content/synth/effects.h"

#include <cmath>
#include <deque>

namespace synth {

namespace {

std::size_t samples(double seconds) {
    const double n = std::floor(seconds * sampleRate + 0.5);
    return n < 1.0 ? 1 : std::size_t(n);
}

// 10 log10(x), from the exact-everywhere log2.
double tenLog10(double x) { return 3.010299956639812 * log2(x); }

}  // namespace

const std::vector<SettingInfo<ReverbSettings>>& reverbParams() {
    static const std::vector<SettingInfo<ReverbSettings>> table = {
        {"time", &ReverbSettings::time, 0.1, 20},
        {"size", &ReverbSettings::size, 0.5, 2},
        {"damping", &ReverbSettings::damping, 0, 0.95},
        {"predelay", &ReverbSettings::predelay, 0, 0.5},
        {"lowcut", &ReverbSettings::lowcut, 10, 2000},
        {"level", &ReverbSettings::level, 0, 4},
        {"width", &ReverbSettings::width, 0, 2},
    };
    return table;
}

const std::vector<SettingInfo<DelaySettings>>& delayParams() {
    static const std::vector<SettingInfo<DelaySettings>> table = {
        {"time", &DelaySettings::time, 0.01, 2},
        {"feedback", &DelaySettings::feedback, 0, 0.95},
        {"tone", &DelaySettings::tone, 200, 18000},
        {"lowcut", &DelaySettings::lowcut, 10, 2000},
        {"level", &DelaySettings::level, 0, 4},
        {"reverb", &DelaySettings::reverb, 0, 1},
    };
    return table;
}

const std::vector<SettingInfo<MasterSettings>>& masterParams() {
    static const std::vector<SettingInfo<MasterSettings>> table = {
        {"loudness", &MasterSettings::loudness, -40, -6},
        {"ceiling", &MasterSettings::ceiling, -12, -0.3},
        {"fade", &MasterSettings::fade, 0.01, 10},
        {"lowcut", &MasterSettings::lowcut, 5, 200},
        {"release", &MasterSettings::release, 0.005, 2},
    };
    return table;
}

void OnePole::tune(double cutoff) {
    // 1 - e^(-2 pi fc / fs)
    a = 1.0 - exp2(-9.064720283654388 * cutoff / sampleRate);
}

double Reverb::Allpass::process(double x) {
    const double g = 0.6;
    const double d = buffer[pos];
    const double y = d - g * x;
    buffer[pos] = x + g * y;
    if (++pos == buffer.size()) pos = 0;
    return y;
}

Reverb::Reverb(const ReverbSettings& settings) : s_(settings) {
    const std::size_t pre = samples(s_.predelay);
    preL_.assign(pre, 0.0);
    preR_.assign(pre, 0.0);
    cutL_.tune(s_.lowcut);
    cutR_.tune(s_.lowcut);
    static const int left[4] = {142, 107, 379, 277}, right[4] = {149, 113, 367, 283};
    for (int i = 0; i < 4; ++i) {
        diffuseL_[i].buffer.assign(std::size_t(left[i]), 0.0);
        diffuseR_[i].buffer.assign(std::size_t(right[i]), 0.0);
    }
    static const int lengths[8] = {1031, 1327, 1523, 1733, 1951, 2203, 2459, 2707};
    for (int i = 0; i < 8; ++i) {
        const double n = std::floor(lengths[i] * s_.size + 0.5);
        lines_[i].buffer.assign(std::size_t(n), 0.0);
        // 10^(-3 n / (time fs)): the line loses 60 dB over `time`.
        lines_[i].gain = exp2(-9.965784284662087 * n / (s_.time * sampleRate));
    }
    dampA_ = 1.0 - s_.damping;
}

void Reverb::process(double inL, double inR, double& outL, double& outR) {
    double l = preL_[prePos_], r = preR_[prePos_];
    preL_[prePos_] = inL;
    preR_[prePos_] = inR;
    if (++prePos_ == preL_.size()) prePos_ = 0;
    l = cutL_.highpass(l);
    r = cutR_.highpass(r);
    for (int i = 0; i < 4; ++i) {
        l = diffuseL_[i].process(l);
        r = diffuseR_[i].process(r);
    }
    double taps[8], fed[8], sum = 0.0;
    for (int i = 0; i < 8; ++i) {
        Line& line = lines_[i];
        taps[i] = line.buffer[line.pos];
        line.damp += (taps[i] - line.damp) * dampA_;
        fed[i] = line.damp * line.gain;
        sum += fed[i];
    }
    sum *= 0.25;  // Householder reflection: x - (2 / 8) sum(x)
    for (int i = 0; i < 8; ++i) {
        Line& line = lines_[i];
        const double sign = (i & 2) ? -1.0 : 1.0;
        line.buffer[line.pos] = fed[i] - sum + sign * ((i & 1) ? r : l);
        if (++line.pos == line.buffer.size()) line.pos = 0;
    }
    const double wl = 0.5 * (taps[0] - taps[2] + taps[4] - taps[6]);
    const double wr = 0.5 * (taps[1] - taps[3] + taps[5] - taps[7]);
    const double mid = 0.5 * (wl + wr), side = 0.5 * (wl - wr) * s_.width;
    outL = (mid + side) * s_.level;
    outR = (mid - side) * s_.level;
}

Delay::Delay(const DelaySettings& settings) : s_(settings) {
    const std::size_t n = samples(s_.time);
    left_.assign(n, 0.0);
    right_.assign(n, 0.0);
    toneL_.tune(s_.tone);
    toneR_.tune(s_.tone);
    cutL_.tune(s_.lowcut);
    cutR_.tune(s_.lowcut);
}

void Delay::process(double inL, double inR, double& outL, double& outR) {
    const double yl = left_[pos_], yr = right_[pos_];
    // Each echo crosses to the other side, a little darker and thinner.
    const double toLeft = cutL_.highpass(toneL_.lowpass(yr));
    const double toRight = cutR_.highpass(toneR_.lowpass(yl));
    left_[pos_] = 0.5 * (inL + inR) + s_.feedback * toLeft;
    right_[pos_] = s_.feedback * toRight;
    if (++pos_ == left_.size()) pos_ = 0;
    outL = yl * s_.level;
    outR = yr * s_.level;
}

void kWeighting(double rate, Biquad& shelf, Biquad& highpass) {
    {
        const double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
        const double k = tanHalfTurns(f0 / rate);
        const double vh = dbToGain(gainDb);
        const double vb = exp2(0.4996667741545416 * log2(vh));
        const double a0 = 1.0 + k / q + k * k;
        shelf = Biquad();
        shelf.b0 = (vh + vb * k / q + k * k) / a0;
        shelf.b1 = 2.0 * (k * k - vh) / a0;
        shelf.b2 = (vh - vb * k / q + k * k) / a0;
        shelf.a1 = 2.0 * (k * k - 1.0) / a0;
        shelf.a2 = (1.0 - k / q + k * k) / a0;
    }
    {
        const double f0 = 38.13547087602444, q = 0.5003270373238773;
        const double k = tanHalfTurns(f0 / rate);
        const double a0 = 1.0 + k / q + k * k;
        highpass = Biquad();
        highpass.b0 = 1.0;
        highpass.b1 = -2.0;
        highpass.b2 = 1.0;
        highpass.a1 = 2.0 * (k * k - 1.0) / a0;
        highpass.a2 = (1.0 - k / q + k * k) / a0;
    }
}

double integratedLoudness(const float* left, const float* right, std::size_t frames) {
    const std::size_t step = samples(0.1);
    Biquad shelfL, passL, shelfR, passR;
    kWeighting(sampleRate, shelfL, passL);
    kWeighting(sampleRate, shelfR, passR);
    // Energy of every 100 ms step, both channels summed.
    std::vector<double> energy;
    double acc = 0.0;
    std::size_t inStep = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double l = passL.process(shelfL.process(left[i]));
        const double r = passR.process(shelfR.process(right[i]));
        acc += l * l + r * r;
        if (++inStep == step) {
            energy.push_back(acc);
            acc = 0.0;
            inStep = 0;
        }
    }
    const double absoluteGate = -70.0;
    std::vector<double> blocks;  // mean square of every 400 ms block above the absolute gate
    for (std::size_t k = 0; k + 3 < energy.size(); ++k) {
        const double z = (energy[k] + energy[k + 1] + energy[k + 2] + energy[k + 3]) / double(4 * step);
        if (-0.691 + tenLog10(z) > absoluteGate) blocks.push_back(z);
    }
    if (blocks.empty()) return -200.0;
    double mean = 0.0;
    for (double z : blocks) mean += z;
    mean /= double(blocks.size());
    const double relativeGate = -0.691 + tenLog10(mean) - 10.0;
    double gated = 0.0;
    std::size_t count = 0;
    for (double z : blocks)
        if (-0.691 + tenLog10(z) > relativeGate) {
            gated += z;
            ++count;
        }
    return -0.691 + tenLog10(gated / double(count));
}

double limit(float* left, float* right, std::size_t frames, double ceiling, double lookahead,
             double release) {
    if (frames == 0) return 0.0;
    const std::size_t ahead = samples(lookahead);
    // The gain each sample needs on its own.
    std::vector<float> need(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double peak = std::fmax(std::fabs(double(left[i])), std::fabs(double(right[i])));
        need[i] = peak > ceiling ? float(ceiling / peak) : 1.0f;
    }
    // The least of them over the next `ahead` samples (a sliding minimum),
    // then a release that rises slowly but never above that least value.
    std::vector<float> gain(frames);
    std::deque<std::size_t> window;  // indices of increasing need
    std::size_t next = 0;
    const double rise = 1.0 - exp2(-1.4426950408889634 / (release * sampleRate));
    double held = 1.0;
    for (std::size_t k = 0; k < frames; ++k) {
        const std::size_t last = k + ahead < frames ? k + ahead : frames - 1;
        for (; next <= last; ++next) {
            while (!window.empty() && need[window.back()] >= need[next]) window.pop_back();
            window.push_back(next);
        }
        while (window.front() < k) window.pop_front();
        double g = held + (1.0 - held) * rise;
        if (g > 1.0 - 1e-4) g = 1.0;  // settle, rather than approach 1 forever
        if (need[window.front()] < g) g = need[window.front()];
        gain[k] = float(g);
        held = g;
    }
    // A moving average over the `ahead` samples before: the gain glides down
    // in time and still meets every sample's need.
    double sum = double(ahead);  // the samples before the first count as gain 1
    double deepest = 1.0;
    for (std::size_t n = 0; n < frames; ++n) {
        sum += gain[n];
        if (n >= 1) sum -= n >= ahead + 1 ? double(gain[n - ahead - 1]) : 1.0;
        const double g = sum / double(ahead + 1);
        const double applied = g < need[n] ? g : double(need[n]);
        if (applied < deepest) deepest = applied;
        left[n] = float(left[n] * applied);
        right[n] = float(right[n] * applied);
    }
    return gainToDb(deepest);
}

}  // namespace synth

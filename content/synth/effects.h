// effects.h: the send effects (a stereo reverb and a ping-pong delay) and the
// master stage's measuring and limiting.
//
// The reverb is a feedback delay network: eight delay lines of 23 to 61 ms
// (times `size`), mixed through a Householder matrix, each line damped by a
// one-pole low-pass and scaled so that the tail falls 60 dB in `time`
// seconds; four all-pass filters a side diffuse the input first. The delay
// alternates its echoes between left and right and darkens each repeat.
//
// The loudness meter follows ITU-R BS.1770-4: K-weighting (a high shelf and
// a high-pass), mean square over 400 ms blocks every 100 ms, the absolute
// gate at -70 LUFS and the relative gate 10 LU below the ungated mean; left
// and right weigh 1. The limiter looks ahead, so its gain is down before a
// peak arrives; no sample leaves it above the ceiling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "content/synth/dsp.h"

namespace synth {

struct ReverbSettings {
    double time = 3.0;       // seconds for the tail to fall 60 dB
    double size = 1.0;       // scales the delay lines (0.5 .. 2)
    double damping = 0.4;    // 0: bright tail, 1: dull
    double predelay = 0.02;  // seconds before the tail starts
    double lowcut = 200;     // Hz, high-pass on what is sent in
    double level = 1.0;      // return level
    double width = 1.0;      // stereo width of the return
};

struct DelaySettings {
    double time = 0.37;      // seconds between repeats
    double feedback = 0.4;   // level of each repeat against the one before
    double tone = 3000;      // Hz, low-pass on each repeat
    double lowcut = 150;     // Hz, high-pass on each repeat
    double level = 1.0;      // return level
    double reverb = 0.2;     // how much of the return goes on into the reverb
};

struct MasterSettings {
    double loudness = -14;   // LUFS the piece is brought to
    double ceiling = -1;     // dBFS that no sample exceeds
    double fade = 0.5;       // seconds of fade-out before the piece's end
    double lowcut = 25;      // Hz, high-pass that keeps the mix free of DC and rumble
    double release = 0.08;   // seconds for the limiter to let go
};

// A named setting of one of the structures above, for the score's parser.
template <class T>
struct SettingInfo {
    const char* name;
    double T::*field;
    double lo, hi;
};
const std::vector<SettingInfo<ReverbSettings>>& reverbParams();
const std::vector<SettingInfo<DelaySettings>>& delayParams();
const std::vector<SettingInfo<MasterSettings>>& masterParams();

// A one-pole filter: low-pass output and its complement, the high-pass.
struct OnePole {
    double a = 1.0, z = 0.0;
    void tune(double cutoff);
    double lowpass(double x) {
        z += (x - z) * a;
        return z;
    }
    double highpass(double x) { return x - lowpass(x); }
};

class Reverb {
public:
    explicit Reverb(const ReverbSettings& settings);
    void process(double inL, double inR, double& outL, double& outR);

private:
    struct Line {
        std::vector<double> buffer;
        std::size_t pos = 0;
        double gain = 0, damp = 0;
    };
    struct Allpass {
        std::vector<double> buffer;
        std::size_t pos = 0;
        double process(double x);
    };
    ReverbSettings s_;
    std::vector<double> preL_, preR_;
    std::size_t prePos_ = 0;
    OnePole cutL_, cutR_;
    Allpass diffuseL_[4], diffuseR_[4];
    Line lines_[8];
    double dampA_ = 1.0;
};

class Delay {
public:
    explicit Delay(const DelaySettings& settings);
    void process(double inL, double inR, double& outL, double& outR);

private:
    DelaySettings s_;
    std::vector<double> left_, right_;
    std::size_t pos_ = 0;
    OnePole toneL_, toneR_, cutL_, cutR_;
};

// The two K-weighting filters at `rate` Hz: the high shelf, then the high-pass.
void kWeighting(double rate, Biquad& shelf, Biquad& highpass);

// Integrated loudness in LUFS of the stereo signal; -200 when every block
// lies below the absolute gate (silence).
double integratedLoudness(const float* left, const float* right, std::size_t frames);

// Brings every sample to at most `ceiling` (a gain, not dB) in magnitude,
// lowering the gain over `lookahead` seconds before a peak and raising it
// again over about `release` seconds. Returns the deepest reduction in dB
// (0 or negative).
double limit(float* left, float* right, std::size_t frames, double ceiling, double lookahead,
             double release);

}  // namespace synth

// instruments.h: the synthesiser's instrument kinds and how one note of each
// is rendered.
//
// Five kinds cover the soundtrack:
//   kick   a sine whose pitch falls from `sweep` to `freq`, with a click
//          (also the toms, tuned higher)
//   snare  a tuned body and filtered noise; with `claps` the noise comes in
//          quick bursts, a hand clap
//   hat    six detuned square waves and noise through a high-pass filter
//          (closed and open hats, and with a long decay a crash cymbal)
//   synth  up to seven detuned copies of two oscillators, a sub-octave and
//          noise through a resonant filter with its own envelope and an LFO
//          (pads, bass, leads, risers)
//   fm     two-operator frequency modulation whose brightness decays: bells
//          and plucks
// Drums play at their own tuning for note 60 and follow other notes up or
// down. Every kind also has the mixer's parameters (level, pan, width, sends,
// ducking, transpose). A patch is all of them; the table of a kind says
// which parameters a score may set for it, their defaults and ranges.
//
// A note is rendered on its own into a stereo buffer, so notes never steal
// voices from each other and any number may overlap. Every note starts and
// ends at exactly zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace synth {

enum Kind { kindKick, kindSnare, kindHat, kindSynth, kindFm };

struct Patch {
    int kind = kindSynth;
    // Mixer: level in dB, pan -1 (left) .. 1 (right), stereo width, send
    // amounts to the reverb and the delay, how deep the sidechain ducks the
    // instrument (0..1) and how long it takes to recover, transposition.
    double level = 0, pan = 0, width = 1, reverb = 0, delay = 0, duck = 0, duckRelease = 0.25,
           transpose = 0;
    // Amplitude envelope (all kinds with notes of a length).
    double attack = 0.005, decay = 0.2, sustain = 0.7, release = 0.2, curve = 2;
    // Oscillators (synth; fm uses detune).
    double wave = 0, osc = 1, wave2 = 0, mix2 = 0, interval2 = 0, unison = 1, detune = 0,
           spread = 0.5, sub = 0, noise = 0;
    // Filter (synth; hat and snare use cutoff and resonance for their noise).
    double filter = 0, cutoff = 2000, resonance = 0, keytrack = 0, fenv = 0, fattack = 0.005,
           fdecay = 0.3, fsustain = 0, frelease = 0.3;
    // Modulation and colour (synth).
    double lfoRate = 0, lfoCutoff = 0, vibrato = 0, drive = 0;
    // Drums: tuned frequency and its sweep, the body and the click.
    double freq = 50, sweep = 150, sweepTime = 0.03, click = 0.3, body = 0.5, bodyDecay = 0.1,
           claps = 0, clapSpacing = 0.009;
    // FM: modulator frequency ratio, modulation index and its decay time.
    double ratio = 2, index = 2, indexDecay = 0.5;
};

struct ParamInfo {
    const char* name;
    double Patch::*field;
    double def, lo, hi;
    const char* words;  // blank-separated names for the values 0, 1, ...; null for numbers
};

struct KindInfo {
    const char* name;
    int kind;
    std::vector<ParamInfo> params;
};

// The kind of that name, or null.
const KindInfo* findKind(const std::string& name);
// A patch of `kind` with every parameter at its default.
Patch defaultPatch(const KindInfo& kind);
// The parameter of that name, or null.
const ParamInfo* findParam(const KindInfo& kind, const std::string& name);

// One note, in samples from the start of the piece.
struct NoteEvent {
    std::int64_t start = 0;  // first sample
    std::int64_t gate = 1;   // samples the key is held (drums ignore it)
    double note = 60;        // note number, before the patch's transpose
    double velocity = 0.8;   // 0..1
};

// Per-block values that an instrument's score may automate while its notes
// play: the filter cutoff in Hz, one value for every `controlBlock` samples;
// empty when the cutoff is not automated.
constexpr int controlBlock = 16;
struct NoteControls {
    const std::vector<double>* cutoff = nullptr;
};

// How many samples the note sounds: its gate plus release, or the drum's
// length. The renderer writes nothing after that.
std::int64_t noteLength(const Patch& patch, const NoteEvent& note);

// Adds the note into left/right, which hold `frames` samples from the start
// of the piece; samples past the end are dropped. `seed` picks the note's
// noise and oscillator phases.
void renderNote(const Patch& patch, const NoteEvent& note, std::uint64_t seed,
                const NoteControls& controls, float* left, float* right, std::size_t frames);

}  // namespace synth

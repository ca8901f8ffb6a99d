// mixer.h: turning a whole piece (instruments, their notes and automation)
// into the soundtrack's 16-bit samples.
//
// Every instrument's notes are rendered into one stereo buffer, which is
// then levelled (with its automation), ducked under the sidechain's hits,
// panned and sent to the dry mix, the delay and the reverb. The delay's
// return feeds the reverb too. The master stage removes DC and rumble, fades
// out before the piece's end, brings the integrated loudness to the target
// (measured, not guessed: a musician may change anything and the level
// follows), limits the peaks to the ceiling and rounds to 16 bits. Past the
// piece's end the soundtrack is silence.
//
// An instrument's notes are rendered on two threads (even-numbered and
// odd-numbered notes apart, then added); the split and the order of every
// sum are fixed, so the same piece gives the same bytes on any machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "content/synth/effects.h"
#include "content/synth/instruments.h"

namespace synth {

// What an automation ramp moves: the instrument's level (dB), its filter
// cutoff (Hz), its reverb or delay send.
enum RampTarget { rampLevel, rampCutoff, rampReverb, rampDelay, rampTargets };

// A straight move from `from` to `to` over samples [start, end]. Before an
// instrument's first ramp its patch value holds; after a ramp its end value
// holds until the next ramp starts.
struct Ramp {
    int target = rampLevel;
    std::int64_t start = 0, end = 0;
    double from = 0, to = 0;
};

struct Track {
    std::string name;
    Patch patch;
    std::vector<NoteEvent> notes;
    std::vector<Ramp> ramps;
};

struct Piece {
    MasterSettings master;
    ReverbSettings reverb;
    DelaySettings delay;
    std::vector<Track> tracks;
    int sidechain = -1;        // the track whose notes duck the others; -1: none
    std::int64_t end = 0;      // first sample of silence after the music
};

struct MixStats {
    std::int64_t musicFrames = 0;  // frames up to the piece's end
    double loudness = 0;           // integrated loudness of the result, LUFS
    double gain = 0;               // dB the master stage applied to reach it
    double limiting = 0;           // deepest limiter reduction, dB (0 or less)
    double peak = 0;               // highest sample magnitude, dBFS
    double dcLeft = 0, dcRight = 0;  // mean sample value, in full scale
    // With measureTracks: each instrument's own integrated loudness in the
    // final mix (its dry signal at the master's gain; sends not counted).
    std::vector<double> trackLoudness;
};

// The automation of one target as one value every `controlBlock` samples,
// over `frames` samples; empty when the track has no ramp for it.
std::vector<double> controlCurve(const Track& track, int target, double patchValue,
                                 std::int64_t frames);

// The piece as `frames` frames of interleaved 16-bit stereo.
std::vector<std::int16_t> mixPiece(const Piece& piece, std::uint32_t frames, MixStats* stats,
                                   bool measureTracks = false);

}  // namespace synth

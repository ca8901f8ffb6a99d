// sound.h: the studio's soundtrack: played from any frame, paused, looped,
// and replaced while it plays.
//
// The show's player (host/sdl/audio.h) only starts and stops. The studio's
// sound follows the transport (tools/studio/transport.h): an SDL audio
// callback takes the transport's latest SoundCommand, jumps to a new
// epoch's frame, plays on from there (wrapping at the loop's end), and
// reports its cursor with the clock reading of the callback. Every
// discontinuity (a jump, a loop wrap, pause and play, the end-of-show
// stop, a newly rendered soundtrack taking over) is a short crossfade from
// what was playing to what plays now, so nothing clicks; the new sound's
// frames are the exact frames of the show time from the first sample on.
// Outside the soundtrack's samples, and while paused, it is silent.
//
// The samples are the RIFF/WAVE image's 16-bit stereo at 44100 Hz (the
// show's format): the built image inside the content block, read in place,
// or a soundtrack rendered here from a saved score.
//
// Where no audio device opens, the sound's part is played by the clock
// (ClockSound), silently; so too when a device stops calling back. Such a
// device is let go, never closed: closing waits for SDL's audio thread,
// which may be stuck in a sound server that does not answer (one stopped
// with SIGSTOP), and the studio would stop with it. Should it call back
// again, it plays silence and touches nothing else.
//
// Threads: mixSound runs on SDL's audio thread, under the device lock; the
// main thread changes the command and the samples and reads the report
// under the same lock. The main thread keeps every SoundSamples alive while
// soundUses says the mix may still read it.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/studio/transport.h"

namespace studio {

// 16-bit stereo frames, interleaved, little-endian, read in place.
struct SoundSamples {
    const std::uint8_t* bytes = nullptr;
    std::int64_t frames = 0;
    std::vector<std::int16_t> owned;  // rendered here (bytes point into it)
};

// The samples of a RIFF/WAVE image in the show's format. False, with one
// line in *error, for anything else.
bool imageSamples(const std::uint8_t* image, std::size_t size, SoundSamples& samples,
                  std::string* error);
// Samples rendered here.
void ownedSamples(std::vector<std::int16_t> interleaved, SoundSamples& samples);

// Frames over which a discontinuity crossfades (5.8 ms).
inline constexpr int fadeFrames = 256;

struct SoundVoice {
    const SoundSamples* samples = nullptr;
    std::int64_t frame = 0;
    bool audible = false;
};

// The audio thread's state.
struct SoundMix {
    SoundCommand command;                 // set by the main thread
    const SoundSamples* next = nullptr;   // set by the main thread: play these
    const SoundSamples* current = nullptr;
    SoundCursor cursor;
    bool audible = false;  // playing and not stopped by the end-of-show rule
    SoundVoice fading;     // what fades out
    int fadeLeft = 0;
    SoundCursor report;  // the cursor at the start of the last buffer
};

// Fills `frames` stereo frames at clock reading `now` (milliseconds).
void mixSound(SoundMix& mix, std::int16_t* out, int frames, double now);

// Whether the mix may still read `samples`.
bool soundUses(const SoundMix& mix, const SoundSamples* samples);

struct SoundDevice {
    SDL_AudioDeviceID id = 0;  // 0: the clock plays the sound's part
    SDL_AudioDeviceID stalled = 0;  // a device let go (see above)
    bool detached = false;     // under the device's lock: the callback plays silence
    SoundMix mix;
    ClockSound clock;
    double (*readClock)() = nullptr;
};

// Opens the default audio device and starts calling back, or leaves the
// clock in charge; false with one line in *warning then.
bool openSound(SoundDevice& sound, double (*readClock)(), std::string* warning);
// Closes the device open now; one let go stays as it is (SDL_Quit too
// would wait for its thread: the program leaves SDL's audio alone then).
void closeSound(SoundDevice& sound);

void sendCommand(SoundDevice& sound, const SoundCommand& command);
// Makes `samples` the soundtrack from the next buffer on, at the same frame.
void playSamples(SoundDevice& sound, const SoundSamples* samples);
bool soundUses(SoundDevice& sound, const SoundSamples* samples);

// The sound's cursor as last reported, at clock reading `now`. A device
// that has not called back for a second is let go, with one line in
// *warning, and the clock goes on from where it was.
SoundCursor soundReport(SoundDevice& sound, double now, std::string* warning);

}  // namespace studio

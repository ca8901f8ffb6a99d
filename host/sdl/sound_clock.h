// sound_clock.h: the show clock kept in step with the sound that is heard.
//
// The show time starts at 0 when the soundtrack is asked to start, but the
// listener hears its first sample later: the sound server has to be reached,
// it may wait before it starts a new stream, and every sample waits in the
// device's buffer. The picture would run ahead of the sound by all of that.
// This clock stands between the platform's monotonic clock and the show:
//
//   waiting    from the start request until the device is seen consuming
//              samples, the clock holds at the reading of the request, so
//              the show time stays 0 until the music is heard
//   steering   each audio callback says how many sample frames had been
//              handed to the device before it, and how many it asks for:
//              the device asks for a buffer when it has room for one, and
//              what it was handed before is heard at most three quarters of
//              a buffer later (measured on PulseAudio: 0.72 of a buffer for
//              buffers of 512 to 4096 frames). The largest such estimate
//              over the last 8 callbacks (callbacks come late, never
//              early) gives the position heard. A frame appears some time
//              after the clock is read for it (the time to draw it), so
//              the clock reads the start request's reading plus the
//              position heard plus that time (the median of the last 8
//              frames, once there are 8): the frame shows the music heard
//              when it appears. It never goes back: when the sound falls
//              behind (the device ran dry, or the server plays slower than
//              the monotonic clock) or frames get quicker, the clock holds
//              until the sound catches up
//   free       without sound (no device, a driver that plays nothing, the
//              device gone, the soundtrack stopped or played out) the clock
//              runs on the monotonic clock from wherever it stood
//
// If the device consumes nothing within `waitLimit` ms of the start request
// the clock runs free from the reading of the request (the show starts as
// if the sound were heard at once) and steers again once the sound comes.
//
// Threads: soundFed runs on the audio thread, read and the rest on the
// show's thread. They share two atomics; nothing blocks.
#pragma once

#include <atomic>
#include <cstdint>

struct SoundClock {
    // Shared between the audio thread and the show's thread.
    std::atomic<double> heardLead{0.0};  // position heard (ms) less the monotonic reading
    std::atomic<int> state{0};           // see sound_clock.cpp

    // Audio thread only.
    double leads[8] = {};
    int leadCount = 0, leadNext = 0;

    // Show's thread only.
    double origin = 0.0;     // monotonic reading of the start request
    double last = 0.0;       // the last reading handed out
    double offset = 0.0;     // added to the monotonic reading when running free
    double drawTimes[8] = {};  // ms from a frame's clock reading to its present
    int drawCount = 0, drawNext = 0;
    double drawLead = 0.0;   // their median, once there are 8
};

// Longest wait for the first consumed samples before the clock runs free.
inline constexpr double soundWaitLimitMs = 1500.0;

// The start request is being made; `origin` is the clock's reading for it
// (its last reading). With `steer` false (no sound, or a driver that plays
// nothing) the clock simply runs on.
void startSoundClock(SoundClock& clock, double origin, bool steer);

// Audio thread: a callback at monotonic reading `now` asks for `frames`
// sample frames, `handed` frames having been handed out before it, at
// `rate` frames a second. `over` says the soundtrack has no samples left.
void soundFed(SoundClock& clock, double now, std::uint64_t handed, std::uint32_t frames,
              std::uint32_t rate, bool over);

// The sound went away or was stopped: from now on the clock runs free, on
// from its last reading.
void freeSoundClock(SoundClock& clock);

// A frame appeared `ms` milliseconds after the clock reading it was drawn for.
void frameShown(SoundClock& clock, double ms);

// The show clock at monotonic reading `now`; never less than the last one.
double readSoundClock(SoundClock& clock, double now);

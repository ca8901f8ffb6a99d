// audio.h: the soundtrack player on SDL audio.
//
// Plays the RIFF/WAVE image that lies in the content block once, from its
// first sample, without copying it: the audio callback reads the samples
// straight from the image, on SDL's audio thread. Start and stop return at
// once; stopping again, or stopping what never started, changes nothing.
//
// The image is read with the bounds-checked chunk walk of sync/wave.h, so a
// "JUNK" chunk before "fmt ", an "iXML" chunk after "data" and odd-sized
// chunks are taken as they come. Any 16-bit integer PCM layout plays (SDL
// converts the rate and channel count for the device); anything else, a
// malformed image or no audio device leaves the show silent, with a reason.
//
// The device buffer is 2048 sample frames (46 ms at 44.1 kHz) where the
// device takes it: small enough that the clock's estimate of what is heard
// is close, large enough that a busy machine seldom lets the device run dry
// (1024 and 512 ran dry every few seconds on two cores drawing with
// llvmpipe). With a show clock attached (host/sdl/sound_clock.h)
// every callback tells it how far the device has got, and the clock follows
// the sound that is heard; a driver that plays nothing ("dummy", "disk")
// leaves the clock running on its own, as does a device that goes away.
//
// Platform note: SDL opens no dummy device by itself where there is no sound
// card; SDL_AUDIODRIVER=dummy gives one that consumes samples in roughly
// real time (it sleeps whole milliseconds per buffer, so a little fast).
#pragma once

#include <SDL.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/sdl/sound_clock.h"

// Sample frames the device is asked to take per callback.
inline constexpr int soundBufferFrames = 2048;

struct SoundtrackPlayer {
    const std::uint8_t* samples = nullptr;  // inside the image, never copied
    std::uint32_t bytes = 0;                // whole sample frames only
    int rate = 0, channels = 0;
    std::atomic<std::uint32_t> position{0};  // bytes handed to SDL so far
    std::atomic<bool> stopped{false};
    SDL_AudioDeviceID device = 0;
    bool lost = false;  // the device went away (show's thread only)
    // Optional: the show clock that follows this player, and the monotonic
    // milliseconds it is read against (the audio thread reads them too).
    SoundClock* clock = nullptr;
    double (*now)() = nullptr;
};

// Finds the samples inside the image and sets the player to their start,
// without opening a device. False, with one line in *warning, when the image
// is malformed or not 16-bit integer PCM.
bool prepareSoundtrack(SoundtrackPlayer& player, const std::uint8_t* image, std::size_t size,
                       std::string* warning);

// Prepares the player and opens an audio device that starts playing. Returns false,
// with one line in *warning, when the show has to run silent.
bool startSoundtrack(SoundtrackPlayer& player, const std::uint8_t* image, std::size_t size,
                     std::string* warning);

// Stops playback at once (the clock then runs on by itself). Any number of
// calls; none needed.
void stopSoundtrack(SoundtrackPlayer& player);

// The device went away (SDL reported it): playback stops and the clock runs
// on by itself. True the first time, so the host says it once.
bool soundtrackDeviceLost(SoundtrackPlayer& player);

// The audio callback's work: tells the clock how far the device has got,
// then the next `length` bytes of samples into `out`, silence once the
// samples are over or playback was stopped.
void fillSoundtrack(SoundtrackPlayer& player, std::uint8_t* out, int length);

// audio.cpp: the soundtrack straight from the content block to SDL's callback.
#include "host/sdl/audio.h"

#include <cstring>

#include "sync/wave.h"

namespace {

void callback(void* userdata, Uint8* stream, int length) {
    SoundtrackPlayer& player = *static_cast<SoundtrackPlayer*>(userdata);
    // A device that went away is still called back, at a pace SDL makes up
    // by sleeping: the clock must not follow that.
    if (player.clock && SDL_GetAudioDeviceStatus(player.device) == SDL_AUDIO_STOPPED)
        freeSoundClock(*player.clock);
    fillSoundtrack(player, stream, length);
}

// Drivers that consume samples without playing them: nothing is heard to
// keep in step with.
bool playsNothing(const char* driver) {
    return driver == nullptr || !std::strcmp(driver, "dummy") || !std::strcmp(driver, "disk");
}

bool silent(std::string* warning, const std::string& why) {
    if (warning) *warning = "audio: " + why + "; the show runs silent";
    return false;
}

}  // namespace

void fillSoundtrack(SoundtrackPlayer& player, std::uint8_t* out, int length) {
    if (length <= 0) return;
    std::uint32_t want = std::uint32_t(length);
    std::uint32_t copied = 0;
    if (!player.stopped.load(std::memory_order_acquire)) {
        // Only the audio thread moves the position: load, copy, store.
        std::uint32_t at = player.position.load(std::memory_order_relaxed);
        std::uint32_t left = player.bytes - at;
        if (player.clock && player.now) {
            const std::uint32_t frameBytes = 2u * std::uint32_t(player.channels);
            soundFed(*player.clock, player.now(), at / frameBytes, want / frameBytes,
                     std::uint32_t(player.rate), left == 0);
        }
        copied = want < left ? want : left;
        if (copied) std::memcpy(out, player.samples + at, copied);
        player.position.store(at + copied, std::memory_order_relaxed);
    }
    if (copied < want) std::memset(out + copied, 0, want - copied);
}

bool prepareSoundtrack(SoundtrackPlayer& player, const std::uint8_t* image, std::size_t size,
                       std::string* warning) {
    WaveFormat format;
    const char* reason = nullptr;
    if (!readWave(image, size, format, &reason))
        return silent(warning, std::string("soundtrack image unreadable (") + reason + ")");
    if (format.formatTag != 1 || format.bitsPerSample != 16 || format.channels < 1 ||
        format.channels > 8 || format.sampleRate == 0)
        return silent(warning, "soundtrack is not 16-bit integer PCM (format " +
                                   std::to_string(format.formatTag) + ", " +
                                   std::to_string(format.bitsPerSample) + " bits, " +
                                   std::to_string(format.channels) + " channels)");

    // A trailing partial sample frame would shift the channels: leave it out.
    const std::uint32_t frameBytes = 2u * format.channels;
    player.samples = format.samples;
    player.bytes = format.sampleBytes - format.sampleBytes % frameBytes;
    player.rate = int(format.sampleRate);
    player.channels = int(format.channels);
    player.position.store(0);
    player.stopped.store(false);
    return true;
}

bool startSoundtrack(SoundtrackPlayer& player, const std::uint8_t* image, std::size_t size,
                     std::string* warning) {
    if (!prepareSoundtrack(player, image, size, warning)) return false;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return silent(warning, std::string("no audio system (") + SDL_GetError() + ")");

    SDL_AudioSpec want{};
    want.freq = player.rate;
    want.format = AUDIO_S16LSB;
    want.channels = Uint8(player.channels);
    want.samples = Uint16(soundBufferFrames);
    want.callback = callback;
    want.userdata = &player;
    // Only the buffer size may change (to what the device takes): SDL
    // converts rate, format and channels, so the callback always deals in
    // the image's own layout.
    SDL_AudioSpec got{};
    player.device = SDL_OpenAudioDevice(nullptr, 0, &want, &got, SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (player.device == 0)
        return silent(warning, std::string("cannot open an audio device (") + SDL_GetError() + ")");
    // The clock holds from the start request (its last reading) until the
    // device is seen consuming; set before the callbacks begin.
    if (player.clock)
        startSoundClock(*player.clock, player.clock->last,
                        !playsNothing(SDL_GetCurrentAudioDriver()));
    SDL_PauseAudioDevice(player.device, 0);
    return true;
}

void stopSoundtrack(SoundtrackPlayer& player) {
    // The flag silences the very next callback; pausing the device once
    // spares it the work of playing silence.
    if (player.stopped.exchange(true, std::memory_order_acq_rel)) return;
    if (player.clock) freeSoundClock(*player.clock);
    if (player.device != 0) SDL_PauseAudioDevice(player.device, 1);
}

bool soundtrackDeviceLost(SoundtrackPlayer& player) {
    if (player.device == 0 || player.lost) return false;
    player.lost = true;
    if (player.clock) freeSoundClock(*player.clock);
    stopSoundtrack(player);
    return true;
}

// sound.cpp: the studio's mix of the soundtrack, and its SDL audio device.
#include "tools/studio/sound.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sync/wave.h"

namespace studio {

namespace {

int sampleAt(const SoundSamples* s, std::int64_t frame, int channel) {
    if (s == nullptr || frame < 0 || frame >= s->frames) return 0;
    const std::uint8_t* p = s->bytes + (frame * 2 + channel) * 2;
    return std::int16_t(std::uint16_t(p[0] | p[1] << 8));
}

void startFade(SoundMix& m, const SoundVoice& from) {
    m.fading = from;
    m.fadeLeft = fadeFrames;
}

void callback(void* userdata, Uint8* stream, int length) {
    SoundDevice& d = *static_cast<SoundDevice*>(userdata);
    if (d.detached) {  // let go: the main thread owns the mix now
        std::memset(stream, 0, std::size_t(length));
        return;
    }
    mixSound(d.mix, reinterpret_cast<std::int16_t*>(stream), length / 4, d.readClock());
}

// A device that has not called back for this long has stopped.
constexpr double stallMilliseconds = 1000.0;

}  // namespace

bool imageSamples(const std::uint8_t* image, std::size_t size, SoundSamples& samples,
                  std::string* error) {
    WaveFormat format;
    const char* reason = nullptr;
    if (!readWave(image, size, format, &reason)) {
        if (error) *error = std::string("the soundtrack image is unreadable (") + reason + ")";
        return false;
    }
    if (!isShowFormat(format)) {
        if (error) *error = "the soundtrack is not 16-bit stereo 44100 Hz PCM";
        return false;
    }
    samples.bytes = format.samples;
    samples.frames = format.sampleBytes / 4;
    return true;
}

void ownedSamples(std::vector<std::int16_t> interleaved, SoundSamples& samples) {
    samples.owned = std::move(interleaved);
    // Read back as little-endian bytes: the samples' own order on every
    // machine the studio runs on, checked rather than assumed.
    const std::uint16_t probe = 1;
    if (*reinterpret_cast<const std::uint8_t*>(&probe) != 1)
        for (std::int16_t& v : samples.owned)
            v = std::int16_t(std::uint16_t(std::uint16_t(v) << 8 | std::uint16_t(v) >> 8));
    samples.bytes = reinterpret_cast<const std::uint8_t*>(samples.owned.data());
    samples.frames = std::int64_t(samples.owned.size() / 2);
}

void mixSound(SoundMix& m, std::int16_t* out, int frames, double now) {
    const SoundVoice before{m.current, m.cursor.frame, m.audible};
    bool cut = follow(m.cursor, m.command);
    if (m.next != m.current) {
        m.current = m.next;
        cut = true;
    }
    const bool audible = m.command.playing && !m.command.muted;
    if (audible != m.audible) {
        m.audible = audible;
        cut = true;
    }
    if (cut) startFade(m, before);
    m.report = m.cursor;
    m.report.clock = now;

    const bool playing = m.command.playing;
    for (int done = 0; done < frames;) {
        const std::int64_t left = frames - done;
        const std::int64_t n = playing ? framesBeforeWrap(m.cursor, m.command, left) : left;
        for (std::int64_t i = 0; i < n; ++i) {
            const std::int64_t frame = m.cursor.frame + (playing ? i : 0);
            const float w = float(fadeFrames - m.fadeLeft) / float(fadeFrames);
            for (int channel = 0; channel < 2; ++channel) {
                float v = m.audible ? float(sampleAt(m.current, frame, channel)) : 0.0f;
                if (m.fadeLeft > 0) {
                    const float old = m.fading.audible
                                          ? float(sampleAt(m.fading.samples, m.fading.frame, channel))
                                          : 0.0f;
                    v = old + (v - old) * w;
                }
                out[2 * (done + i) + channel] =
                    std::int16_t(std::lround(std::clamp(v, -32768.0f, 32767.0f)));
            }
            if (m.fadeLeft > 0) {
                m.fading.frame += 1;
                m.fadeLeft -= 1;
            }
        }
        if (playing && advance(m.cursor, m.command, n))
            startFade(m, SoundVoice{m.current, m.command.loopEnd, m.audible});
        done += int(n);
    }
}

bool soundUses(const SoundMix& m, const SoundSamples* samples) {
    return samples == m.current || samples == m.next ||
           (m.fadeLeft > 0 && samples == m.fading.samples);
}

bool openSound(SoundDevice& d, double (*readClock)(), std::string* warning) {
    d.readClock = readClock;
    d.clock.last = readClock();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        if (warning) *warning = std::string("audio: no audio system (") + SDL_GetError() + ")";
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = int(soundRate);
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;  // 23 ms: the sound reports its position this often
    want.callback = callback;
    want.userdata = &d;
    d.mix.report.clock = readClock();  // no report yet: counts as fresh
    d.id = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (d.id == 0) {
        if (warning)
            *warning = std::string("audio: cannot open an audio device (") + SDL_GetError() + ")";
        return false;
    }
    SDL_PauseAudioDevice(d.id, 0);
    return true;
}

void closeSound(SoundDevice& d) {
    if (d.id != 0) SDL_CloseAudioDevice(d.id);
    d.id = 0;
}

void sendCommand(SoundDevice& d, const SoundCommand& command) {
    if (d.id != 0) SDL_LockAudioDevice(d.id);
    d.mix.command = command;
    if (d.id != 0) SDL_UnlockAudioDevice(d.id);
}

void playSamples(SoundDevice& d, const SoundSamples* samples) {
    if (d.id != 0) SDL_LockAudioDevice(d.id);
    d.mix.next = samples;
    if (d.id != 0) SDL_UnlockAudioDevice(d.id);
}

bool soundUses(SoundDevice& d, const SoundSamples* samples) {
    if (d.id == 0) return false;
    SDL_LockAudioDevice(d.id);
    const bool uses = soundUses(d.mix, samples);
    SDL_UnlockAudioDevice(d.id);
    return uses;
}

SoundCursor soundReport(SoundDevice& d, double now, std::string* warning) {
    if (d.id != 0) {
        SDL_LockAudioDevice(d.id);
        const SoundCursor report = d.mix.report;
        SDL_UnlockAudioDevice(d.id);
        if (now - report.clock <= stallMilliseconds) return report;
        // Let go, not closed (which would wait for the stuck audio thread).
        SDL_LockAudioDevice(d.id);
        d.detached = true;
        SDL_UnlockAudioDevice(d.id);
        d.stalled = d.id;
        d.id = 0;
        if (warning) *warning = "audio: the audio device stopped; the studio goes on silently";
        d.clock.cursor = report;
        d.clock.last = report.clock;
    }
    runClockSound(d.clock, d.mix.command, now);
    return d.clock.cursor;
}

}  // namespace studio

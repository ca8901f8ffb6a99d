// The SDL host's pieces that need no window: what each event does, the
// soundtrack player reading straight from an image in memory, the clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/sdl/audio.h"
#include "host/sdl/sdl_host.h"

namespace {

SDL_Event key(SDL_Keycode sym, Uint16 mod, Uint32 type = SDL_KEYDOWN) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    return e;
}

SDL_Event windowEvent(Uint8 what) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = what;
    return e;
}

TEST(SdlEvents, OnlyEscapeAndTheCloseRequestEndTheShow) {
    EXPECT_EQ(classifyEvent(key(SDLK_ESCAPE, KMOD_NONE)), EventAction::exitNow);
    EXPECT_EQ(classifyEvent(key(SDLK_ESCAPE, KMOD_NUM | KMOD_SHIFT)), EventAction::exitNow);
    EXPECT_EQ(classifyEvent(key(SDLK_ESCAPE, KMOD_LCTRL)), EventAction::exitNow);
    EXPECT_EQ(classifyEvent(key(SDLK_ESCAPE, KMOD_LALT)), EventAction::quit);
    EXPECT_EQ(classifyEvent(key(SDLK_ESCAPE, KMOD_RALT | KMOD_CAPS)), EventAction::quit);

    SDL_Event quit{};
    quit.type = SDL_QUIT;
    EXPECT_EQ(classifyEvent(quit), EventAction::exitNow);
    EXPECT_EQ(classifyEvent(windowEvent(SDL_WINDOWEVENT_CLOSE)), EventAction::exitNow);

    // Nothing else ends or stops anything.
    EXPECT_EQ(classifyEvent(key(SDLK_ESCAPE, KMOD_NONE, SDL_KEYUP)), EventAction::none);
    EXPECT_EQ(classifyEvent(key(SDLK_q, KMOD_LCTRL)), EventAction::none);
    EXPECT_EQ(classifyEvent(key(SDLK_F4, KMOD_LALT)), EventAction::none);
    EXPECT_EQ(classifyEvent(key(SDLK_SPACE, KMOD_NONE)), EventAction::none);
    for (Uint32 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEMOTION, SDL_MOUSEWHEEL, SDL_TEXTINPUT}) {
        SDL_Event e{};
        e.type = type;
        EXPECT_EQ(classifyEvent(e), EventAction::none) << type;
    }
    EXPECT_EQ(classifyEvent(windowEvent(SDL_WINDOWEVENT_FOCUS_LOST)), EventAction::none);
}

TEST(SdlEvents, SizeChangesRereadTheRenderSizeAndMinimisingZeroesIt) {
    for (Uint8 what : {SDL_WINDOWEVENT_SIZE_CHANGED, SDL_WINDOWEVENT_RESIZED,
                       SDL_WINDOWEVENT_RESTORED, SDL_WINDOWEVENT_MAXIMIZED})
        EXPECT_EQ(classifyEvent(windowEvent(what)), EventAction::resize) << int(what);
    EXPECT_EQ(classifyEvent(windowEvent(SDL_WINDOWEVENT_MINIMIZED)), EventAction::minimise);
}

// A RIFF/WAVE image with a chunk before "fmt " (odd-sized, so padded), an
// unknown chunk between, and "iXML" after "data".
std::vector<std::uint8_t> image(const std::vector<std::uint8_t>& samples, std::uint16_t channels,
                                std::uint16_t bits = 16) {
    std::vector<std::uint8_t> out;
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
    };
    auto put16 = [&](std::uint16_t v) {
        out.push_back(std::uint8_t(v));
        out.push_back(std::uint8_t(v >> 8));
    };
    auto tag = [&](const char* t) {
        for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(t[i]));
    };
    tag("RIFF");
    put32(0);  // patched below
    tag("WAVE");
    tag("JUNK");
    put32(3);
    out.insert(out.end(), {'d', 'a', 't', 0});  // three bytes that look like a tag, and the pad
    tag("fmt ");
    put32(16);
    put16(1);
    put16(channels);
    put32(44100);
    put32(44100u * channels * bits / 8);
    put16(std::uint16_t(channels * bits / 8));
    put16(bits);
    tag("LIST");
    put32(2);
    put16(0xFFFF);
    tag("data");
    put32(std::uint32_t(samples.size()));
    out.insert(out.end(), samples.begin(), samples.end());
    if (samples.size() & 1) out.push_back(0);
    tag("iXML");
    put32(5);
    out.insert(out.end(), {'<', 'x', '/', '>', '\n', 0});
    const std::uint32_t riff = std::uint32_t(out.size() - 8);
    std::memcpy(&out[4], &riff, 4);
    return out;
}

std::vector<std::uint8_t> counting(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = std::uint8_t(i * 7 + 1);
    return v;
}

TEST(SoundtrackPlayer, PlaysTheDataChunkFromItsFirstByteThenSilence) {
    const auto samples = counting(4 * 25 + 2);  // 25 stereo frames and half of one more
    const auto wave = image(samples, 2);
    SoundtrackPlayer player;
    std::string warning;
    ASSERT_TRUE(prepareSoundtrack(player, wave.data(), wave.size(), &warning)) << warning;
    // In place, not a copy: after the 12-byte header, JUNK (8 + 3 + pad),
    // "fmt " (8 + 16), LIST (8 + 2) and the data chunk's own 8 bytes.
    EXPECT_EQ(player.samples, wave.data() + 66);
    EXPECT_EQ(player.rate, 44100);
    EXPECT_EQ(player.channels, 2);

    std::vector<std::uint8_t> played;
    std::uint8_t buffer[32];
    for (int i = 0; i < 5; ++i) {
        std::memset(buffer, 0xAA, sizeof buffer);
        fillSoundtrack(player, buffer, sizeof buffer);
        played.insert(played.end(), buffer, buffer + sizeof buffer);
    }
    // The 100 bytes of whole frames, then zeros: the half frame is not played.
    ASSERT_EQ(played.size(), 160u);
    EXPECT_TRUE(std::equal(samples.begin(), samples.begin() + 100, played.begin()));
    for (std::size_t i = 100; i < played.size(); ++i) ASSERT_EQ(played[i], 0) << i;
}

TEST(SoundtrackPlayer, StopSilencesAtOnceAndRepeatsHarmlessly) {
    const auto samples = counting(4 * 64);
    const auto wave = image(samples, 2);
    SoundtrackPlayer player;
    stopSoundtrack(player);  // before anything plays: no effect, no failure
    ASSERT_TRUE(prepareSoundtrack(player, wave.data(), wave.size(), nullptr));
    std::uint8_t buffer[16];
    fillSoundtrack(player, buffer, sizeof buffer);
    EXPECT_EQ(buffer[0], samples[0]);
    for (int i = 0; i < 3; ++i) stopSoundtrack(player);
    std::memset(buffer, 0xAA, sizeof buffer);
    fillSoundtrack(player, buffer, sizeof buffer);
    for (std::uint8_t b : buffer) EXPECT_EQ(b, 0);
    EXPECT_EQ(player.position.load(), 16u);  // nothing more was taken
}

TEST(SoundtrackPlayer, RefusesWhatItCannotPlayWithOneLine) {
    const auto good = image(counting(16), 2);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"truncated inside the data chunk",
         std::vector<std::uint8_t>(good.begin(), good.begin() + 70)},
        {"not RIFF", std::vector<std::uint8_t>(40, 0)},
        {"8-bit samples", image(counting(16), 2, 8)},
    };
    for (const Case& c : cases) {
        SoundtrackPlayer player;
        std::string warning;
        EXPECT_FALSE(prepareSoundtrack(player, c.bytes.data(), c.bytes.size(), &warning))
            << c.what;
        EXPECT_EQ(warning.rfind("audio: ", 0), 0u) << warning;
        EXPECT_NE(warning.find("runs silent"), std::string::npos) << warning;
        EXPECT_EQ(warning.find('\n'), std::string::npos) << warning;
        EXPECT_FALSE(startSoundtrack(player, c.bytes.data(), c.bytes.size(), &warning)) << c.what;
    }
}

TEST(SoundtrackPlayer, WithoutAnAudioDeviceTheShowRunsSilentAndWithOneItPlays) {
    const auto samples = counting(4 * 44100);  // one second
    const auto wave = image(samples, 2);
    std::string warning;

    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    SoundtrackPlayer silentPlayer;
    EXPECT_FALSE(startSoundtrack(silentPlayer, wave.data(), wave.size(), &warning));
    EXPECT_EQ(warning.rfind("audio: ", 0), 0u) << warning;
    stopSoundtrack(silentPlayer);  // still harmless

    // The dummy driver consumes samples in real time, in steps of ~93 ms.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    SoundtrackPlayer player;
    ASSERT_TRUE(startSoundtrack(player, wave.data(), wave.size(), &warning)) << warning;
    for (int i = 0; i < 200 && player.position.load() == 0; ++i) SDL_Delay(10);
    EXPECT_GT(player.position.load(), 0u);
    stopSoundtrack(player);
    const std::uint32_t at = player.position.load();
    SDL_Delay(300);
    EXPECT_EQ(player.position.load(), at);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    unsetenv("SDL_AUDIODRIVER");
}

TEST(SdlClock, MillisecondsThatOnlyGoForward) {
    Host host = platformHost(WindowVariant{512, 384, false});
    const double a = host.clock(host.context);
    const double b = host.clock(host.context);
    EXPECT_GE(b - a, 0.0);
    EXPECT_LT(b - a, 5.0);
    SDL_Delay(20);
    const double c = host.clock(host.context);
    EXPECT_GE(c - b, 19.0);
    EXPECT_LT(c - b, 1000.0);
    // Sub-millisecond resolution: readings are not whole milliseconds.
    bool fractional = false;
    for (int i = 0; i < 100 && !fractional; ++i) {
        const double t = host.clock(host.context);
        fractional = t != double(static_cast<long long>(t));
    }
    EXPECT_TRUE(fractional);
}

}  // namespace

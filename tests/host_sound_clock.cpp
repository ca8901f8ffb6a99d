// The show clock that follows the sound: held until the device consumes,
// then the position heard plus the time a frame takes to appear, never
// backwards; free running without sound. Audio callbacks are simulated: a
// device of `rate` frames a second that asks for `frames` at a time.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "host/sdl/audio.h"
#include "host/sdl/sdl_host.h"
#include "host/sdl/sound_clock.h"

namespace {

constexpr std::uint32_t rate = 44100, frames = 2048;
constexpr double bufferMs = 1000.0 * frames / rate;  // 46.44 ms

// A device that starts consuming at `heardFrom` (monotonic ms) and asks for
// a buffer each time one has been played, `late` ms after it should.
struct Device {
    double heardFrom;
    std::uint64_t handed = 0;
    int calls = 0;
    // The callback that falls due at or before `now`, if any.
    void run(SoundClock& clock, double now, double late = 0.0) {
        for (;;) {
            // Callback k comes when buffer k - 1 has started to play.
            const double due = calls == 0 ? heardFrom : heardFrom + (calls - 1) * bufferMs;
            if (due + late > now) return;
            soundFed(clock, due + late, handed, frames, rate, false);
            handed += frames;
            ++calls;
        }
    }
};

// Show time (clock less the start request) against the position heard.
double heardAt(const Device& d, double now) { return now - d.heardFrom; }

// A clock started at 0 and its device run until `until`: the clock then,
// less the position heard.
double settle(SoundClock& clock, Device& device, double until) {
    startSoundClock(clock, 0.0, true);
    for (double t = device.heardFrom; t < until; t += 1.0) device.run(clock, t);
    return readSoundClock(clock, until) - heardAt(device, until);
}

TEST(SoundClock, WithoutSoundItIsTheMonotonicClock) {
    SoundClock clock;
    EXPECT_EQ(readSoundClock(clock, 100.0), 100.0);
    startSoundClock(clock, 100.0, false);  // no device, or one that plays nothing
    for (double t : {100.0, 100.4, 250.0, 101434.5}) EXPECT_EQ(readSoundClock(clock, t), t);
}

TEST(SoundClock, HoldsUntilTheSoundIsHeardThenFollowsIt) {
    SoundClock clock;
    startSoundClock(clock, 1000.0, true);
    Device device{1400.0};  // the server takes 400 ms to start the stream
    for (double t = 1000.0; t < 1400.0; t += 7.0) {
        device.run(clock, t);
        EXPECT_EQ(readSoundClock(clock, t), 1000.0) << t;  // show time 0
    }
    // Followed to within the estimate's quarter buffer once it plays.
    double last = 0.0;
    for (double t = 1400.0; t < 11400.0; t += 3.3) {
        device.run(clock, t);
        const double reading = readSoundClock(clock, t);
        EXPECT_GE(reading, last);
        last = reading;
        if (device.calls >= 3) {
            EXPECT_NEAR(reading - 1000.0, heardAt(device, t), 0.3 * bufferMs) << t;
        }
    }
}

TEST(SoundClock, LateCallbacksAreIgnoredAndADropOutIsWaitedFor) {
    SoundClock clock;
    Device device{50.0};
    const double settled = settle(clock, device, 2000.0);

    // Callbacks 30 ms late for a while: the clock keeps what the prompt ones said.
    for (double t = 2000.0; t < 2200.0; t += 1.0) {
        device.run(clock, t, 30.0);
        EXPECT_NEAR(readSoundClock(clock, t) - heardAt(device, t), settled, 1.0) << t;
    }
    // The device ran dry for 120 ms: what is heard is 120 ms behind from now
    // on. The clock holds until the sound catches up, never going back.
    device.heardFrom += 120.0;
    double last = readSoundClock(clock, 2200.0);
    for (double t = 2200.0; t < 3500.0; t += 1.0) {
        device.run(clock, t);
        const double reading = readSoundClock(clock, t);
        EXPECT_GE(reading, last) << t;
        last = reading;
    }
    EXPECT_NEAR(last - heardAt(device, 3500.0), settled, 1.0);
}

TEST(SoundClock, FollowsASoundCardThatRunsFastOverTheWholeShow) {
    // 200 ppm fast (as PulseAudio's null sink): 20 ms over 100 s that a
    // free clock would lose; the followed clock keeps its settled offset.
    SoundClock clock;
    startSoundClock(clock, 0.0, true);
    Device device{20.0};
    double settled = 0.0;
    for (double t = 20.0; t < 101334.0; t += 4.0) {
        // The device plays 1.0002 ms of music per ms of the monotonic clock.
        const double music = (t - device.heardFrom) * 1.0002;
        while (device.calls < 2 || (device.calls - 1) * bufferMs <= music) {
            soundFed(clock, t, device.handed, frames, rate, false);
            device.handed += frames;
            ++device.calls;
        }
        // Callbacks come up to 4 ms late here, which the estimate mostly
        // sees through.
        const double error = readSoundClock(clock, t) - music;
        if (t < 1000.0) settled = error;
        else ASSERT_NEAR(error, settled, 2.0) << t;
    }
}

TEST(SoundClock, RunsOnFromWhereItStoodWhenTheSoundStopsOrNeverComes) {
    // Stopped (or the device gone, or the samples over): later callbacks
    // are not followed.
    SoundClock clock;
    Device device{10.0};
    settle(clock, device, 500.0);
    const double stood = readSoundClock(clock, 500.0);
    freeSoundClock(clock);
    device.heardFrom -= 300.0;  // whatever the device does now
    device.run(clock, 900.0);
    EXPECT_DOUBLE_EQ(readSoundClock(clock, 900.0), stood + 400.0);

    // Nothing consumed within the wait limit: the show starts from the
    // request's reading, and follows the sound if it comes after all.
    SoundClock silent;
    startSoundClock(silent, 0.0, true);
    EXPECT_EQ(readSoundClock(silent, soundWaitLimitMs - 1.0), 0.0);
    const double after = readSoundClock(silent, soundWaitLimitMs + 200.0);
    EXPECT_GT(after, 0.0);
    EXPECT_LE(after, 201.0);

    SoundClock over;
    startSoundClock(over, 0.0, true);
    soundFed(over, 5.0, 0, frames, rate, false);
    EXPECT_EQ(readSoundClock(over, 8.0), 0.0);
    soundFed(over, 10.0, frames, frames, rate, true);  // nothing left to play
    EXPECT_EQ(readSoundClock(over, 2000.0), 1992.0);
}

TEST(SoundClock, LeadsBySteadyDrawingTimeButNotByOneSlowFrame) {
    SoundClock clock;
    Device device{0.0};
    const double plain = settle(clock, device, 1000.0);
    // The first frame compiles shaders (2 s); frames then take 40 ms.
    frameShown(clock, 2000.0);
    for (int i = 0; i < 7; ++i) frameShown(clock, 40.0);
    device.run(clock, 1100.0);
    EXPECT_NEAR(readSoundClock(clock, 1100.0) - heardAt(device, 1100.0), plain + 40.0, 1.0);
}

TEST(SoundtrackPlayer, EachCallbackTellsTheClockWhatWasHanded) {
    // A plain 16-bit stereo image of four buffers.
    const std::uint32_t dataBytes = 4 * frames * 4;
    std::vector<std::uint8_t> image(44 + dataBytes, 0);
    auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) image[at + i] = std::uint8_t(v >> (8 * i));
    };
    std::memcpy(&image[0], "RIFF", 4);
    put(4, 36 + dataBytes, 4);
    std::memcpy(&image[8], "WAVEfmt ", 8);
    put(16, 16, 4), put(20, 1, 2), put(22, 2, 2), put(24, rate, 4), put(28, rate * 4, 4);
    put(32, 4, 2), put(34, 16, 2);
    std::memcpy(&image[36], "data", 4);
    put(40, dataBytes, 4);

    SoundtrackPlayer player;
    SoundClock clock;
    static double now = 0.0;
    player.clock = &clock;
    player.now = [] { return now; };
    ASSERT_TRUE(prepareSoundtrack(player, image.data(), image.size(), nullptr));
    startSoundClock(clock, 0.0, true);
    std::vector<std::uint8_t> out(frames * 4);
    for (int i = 0; i < 3; ++i) {
        now = 100.0 + i * bufferMs;
        fillSoundtrack(player, out.data(), int(out.size()));
    }
    // Held until the second callback; then two buffers handed, the last one
    // three quarters behind: 1.25 buffers heard at the third callback.
    EXPECT_NEAR(readSoundClock(clock, now), 1.25 * bufferMs, 1e-6);
    now += bufferMs;
    fillSoundtrack(player, out.data(), int(out.size()));  // the last of the samples
    now += bufferMs;
    fillSoundtrack(player, out.data(), int(out.size()));  // over: the clock runs free
    const double stood = readSoundClock(clock, now);
    EXPECT_DOUBLE_EQ(readSoundClock(clock, now + 500.0), stood + 500.0);
}

TEST(SdlEvents, ARemovedOutputDeviceIsTheSoundGoingAway) {
    SDL_Event e{};
    e.type = SDL_AUDIODEVICEREMOVED;
    e.adevice.iscapture = 0;
    EXPECT_EQ(classifyEvent(e), EventAction::soundLost);
    e.adevice.iscapture = 1;
    EXPECT_EQ(classifyEvent(e), EventAction::none);
    e.type = SDL_AUDIODEVICEADDED;
    e.adevice.iscapture = 0;
    EXPECT_EQ(classifyEvent(e), EventAction::none);
}

}  // namespace

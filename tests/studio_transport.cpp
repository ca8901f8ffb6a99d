// The studio's transport and sound, on a fake clock and a fake audio
// thread: every move takes picture and sound to the same frame, the loop
// wraps both together, a new soundtrack takes over without a jump, and
// over a long run with seeks the picture stays with a sound device that
// runs at its own speed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "host/loop.h"
#include "sync/sync.h"
#include "tools/studio/sound.h"
#include "tools/studio/transport.h"

using namespace studio;

namespace {

constexpr int bufferFrames = 1024;

// Sample value of frame f in a soundtrack whose samples tell their frame.
std::int16_t ramp(std::int64_t f) { return std::int16_t(f % 30000); }

SoundSamples rampSamples(std::int64_t frames) {
    std::vector<std::int16_t> data(std::size_t(frames) * 2);
    for (std::int64_t f = 0; f < frames; ++f) data[std::size_t(2 * f)] = ramp(f);
    SoundSamples s;
    ownedSamples(std::move(data), s);
    return s;
}

// The transport and the mix as the studio runs them: the fake audio thread
// plays one buffer at a time and the clock moves on by its length, divided
// by the device's speed against the clock.
struct Rig {
    Transport t;
    SoundMix mix;
    SoundSamples samples = rampSamples(soundRate * 120);
    std::vector<std::int16_t> out = std::vector<std::int16_t>(2 * bufferFrames);
    double clock = 1000.0, speed = 1.0;
    explicit Rig(std::int32_t end = 110000) {
        mix.next = &samples;
        startTransport(t, 0, end);
        setPlaying(t, true);
    }
    void buffer() {
        mix.command = t.command;
        mixSound(mix, out.data(), bufferFrames, clock);
        clock += bufferFrames * 1000.0 / double(soundRate) / speed;
    }
    std::int32_t shown() { return showTimeAt(t, mix.report, clock); }
    std::int16_t left(int i) const { return out[std::size_t(2 * i)]; }
};

}  // namespace

TEST(StudioTransport, ShowTimesAndFramesConvertExactly) {
    for (std::int32_t t : {1, 2, 9, 10, 11, 999, 1000, 48334, 100334, 3600000}) {
        EXPECT_EQ(timeOf(frameOf(t)), t);
        EXPECT_EQ(timeOf(frameOf(t) - 1), t - 1) << "frameOf(" << t << ") is not the first";
    }
    EXPECT_EQ(frameOf(10), 441);
    EXPECT_EQ(frameOf(1), 45);  // 44.1 rounded up
}

TEST(StudioTransport, ASeekPlaysTheShowTimesSampleFromTheFirstFrameOn) {
    Rig r;
    for (int i = 0; i < 5; ++i) r.buffer();
    const std::int16_t playing = r.left(bufferFrames - 1);
    seek(r.t, 12345);
    EXPECT_EQ(r.shown(), 12345);  // held until the sound takes the seek
    r.buffer();
    const std::int64_t first = frameOf(12345);
    EXPECT_EQ(r.mix.report.frame, first);
    // The old sound fades out from where it was, the new one in from the
    // seek's frame: no jump, and after the fade the exact samples.
    EXPECT_LE(std::abs(r.left(0) - playing), 2);
    for (int k = fadeFrames; k < bufferFrames; ++k) ASSERT_EQ(r.left(k), ramp(first + k)) << k;
    EXPECT_EQ(showTimeAt(r.t, r.mix.report, r.mix.report.clock), 12345);
    r.buffer();
    EXPECT_EQ(showTimeAt(r.t, r.mix.report, r.mix.report.clock), timeOf(first + bufferFrames));
}

TEST(StudioTransport, PauseHoldsTheTimeAndSilencesTheSoundUntilPlayGoesOnThere) {
    Rig r;
    for (int i = 0; i < 20; ++i) r.buffer();
    const std::int32_t at = r.shown();
    setPlaying(r.t, false);
    for (int i = 0; i < 20; ++i) {
        r.buffer();
        EXPECT_EQ(r.shown(), at);
    }
    for (std::int16_t v : r.out) EXPECT_EQ(v, 0);
    setPlaying(r.t, true);
    r.buffer();
    EXPECT_EQ(r.mix.report.frame, frameOf(at));
    EXPECT_EQ(r.left(bufferFrames - 1), ramp(frameOf(at) + bufferFrames - 1));
}

TEST(StudioTransport, TheLoopWrapsSoundAndPictureAtTheSameFrame) {
    Rig r;
    seek(r.t, 1000);
    markLoopStart(r.t);
    seek(r.t, 2000);
    markLoopEnd(r.t);
    setLooping(r.t, true);
    seek(r.t, 1900);
    const std::int64_t a = frameOf(1000), b = frameOf(2000);
    bool wrapped = false;
    for (int i = 0; i < 200; ++i) {
        const std::int64_t start = r.mix.cursor.epoch == r.t.command.epoch ? r.mix.cursor.frame : frameOf(1900);
        r.buffer();
        const std::int32_t shown = r.shown();
        EXPECT_LT(shown, 2000);
        EXPECT_GE(shown, 1000);
        if (start < b && start + bufferFrames > b && r.mix.report.frame == start) {
            // This buffer crossed the loop's end: after the fade, the loop's
            // start plays sample for sample.
            const int at = int(b - start);
            for (int k = at + fadeFrames; k < bufferFrames; ++k)
                ASSERT_EQ(r.left(k), ramp(a + (k - at))) << k;
            wrapped = true;
        }
        ASSERT_GE(r.mix.cursor.frame, a);
        ASSERT_LT(r.mix.cursor.frame, b);
    }
    EXPECT_TRUE(wrapped);
    EXPECT_GE(r.mix.cursor.wraps, 4u);
}

TEST(StudioTransport, ALoopThatIsOnHoldsWherePlayBegins) {
    // Paused at a cut, [ there, two seconds on, ], L, then Space: play
    // starts at the loop's end and must come back to its start.
    Rig r;
    setPlaying(r.t, false);
    seek(r.t, 48334);
    markLoopStart(r.t);
    seek(r.t, 50334);
    markLoopEnd(r.t);
    setLooping(r.t, true);
    EXPECT_EQ(r.t.shown, 50334) << "paused, the time shown stays";
    setPlaying(r.t, true);
    EXPECT_EQ(r.t.shown, 48334);
    std::int32_t latest = 0;
    for (int i = 0; i < 300; ++i) {  // 7 s of sound
        r.buffer();
        latest = r.shown();
        ASSERT_GE(latest, 48334);
        ASSERT_LT(latest, 50334);
    }
    EXPECT_GE(r.mix.cursor.wraps, 3u);
    // A seek while playing outside the loop goes to its start too; with the
    // loop off, anywhere.
    seek(r.t, 70000);
    EXPECT_EQ(r.t.shown, 48334);
    seek(r.t, 10000);
    EXPECT_EQ(r.t.shown, 48334);
    setLooping(r.t, false);
    seek(r.t, 70000);
    EXPECT_EQ(r.t.shown, 70000);
    // Turned on while playing past it: back to the start at once.
    setLooping(r.t, true);
    EXPECT_EQ(r.t.shown, 48334);
}

TEST(StudioTransport, CutsRowsAndTheShowsEnd) {
    // The shipped `scene` keys, with one more key that changes nothing.
    std::vector<TrackKey> keys = {{0, 0.0f, Step},    {1160, 2.5f, Step}, {1674, 3.5f, Step},
                                  {1700, 3.5f, Step}, {2350, 0.0f, Step}, {2408, -1.0f, Step}};
    SyncTrack sceneTrack{nullptr, keys.data(), std::int32_t(keys.size())};
    Transport t;
    startTransport(t, 0, 101334);
    t.cuts = cutTimes(&sceneTrack);
    EXPECT_EQ(t.cuts, (std::vector<std::int32_t>{48334, 69750, 97917, 100334}));
    EXPECT_EQ(nextCut(t, 0), 48334);
    EXPECT_EQ(nextCut(t, 48334), 69750);
    EXPECT_EQ(nextCut(t, 100334), 101334);  // none left: the end
    EXPECT_EQ(previousCut(t, 69750), 48334);
    EXPECT_EQ(previousCut(t, 69750 + 200), 48334);  // just past a cut: the one before
    EXPECT_EQ(previousCut(t, 69750 + 900), 69750);
    EXPECT_EQ(previousCut(t, 1000), 0);

    // Rows: the first millisecond of each, forward and back.
    for (std::int32_t row : {1, 2, 1159, 1160, 2408}) {
        const std::int32_t start = rowStart(row);
        EXPECT_GE(rowAt(start), float(row));
        EXPECT_LT(rowAt(start - 1), float(row));
    }
    EXPECT_EQ(rowStep(48334, +1), rowStart(1161));
    EXPECT_EQ(rowStep(48334, -1), rowStart(1159));  // at a row's start: the row before
    EXPECT_EQ(rowStep(48350, -1), 48334);           // inside a row: its start
    EXPECT_EQ(rowStep(0, -1), 0);

    // Playing into the end pauses there; play at the end starts over.
    Rig r(5000);
    seek(r.t, 4950);
    for (int i = 0; i < 6; ++i) r.shown(), r.buffer();
    EXPECT_EQ(r.shown(), 5000);
    EXPECT_FALSE(r.t.command.playing);
    setPlaying(r.t, true);
    EXPECT_EQ(r.shown(), 0);
    setEnd(r.t, 3000);  // the tracks changed: a shorter show
    seek(r.t, 4000);
    EXPECT_EQ(r.shown(), 3000);
}

TEST(StudioTransport, PictureStaysWithADeviceThatRunsAtItsOwnSpeedThroughSeeks) {
    // A device 0.3 % fast: over five minutes a picture on the clock alone
    // would be almost a second ahead of it.
    Rig r;
    r.speed = 1.003;
    double nextBuffer = r.clock, frameClock = r.clock;
    const double frame = 1000.0 / 60.0;
    std::srand(7);
    double worst = 0.0;
    for (int n = 1; frameClock < 300000.0; ++n) {
        frameClock += frame;
        while (nextBuffer <= frameClock) {
            r.clock = nextBuffer;
            r.buffer();
            nextBuffer = r.clock;
        }
        // Where the device is at this moment, between its buffers.
        const double since = r.t.command.playing ? frameClock - r.mix.report.clock : 0.0;
        const double soundMs = double(r.mix.report.frame) * 1000.0 / soundRate + since * r.speed;
        const std::int32_t shown = showTimeAt(r.t, r.mix.report, frameClock);
        if (r.mix.report.epoch == r.t.command.epoch)
            worst = std::max(worst, std::fabs(double(shown) - soundMs));
        if (n % 420 == 0) {  // every 7 s, somewhere else
            seek(r.t, std::rand() % 100000);
            if (n % 840 == 0) setPlaying(r.t, !r.t.command.playing);
            if (!r.t.command.playing && n % 1260 == 0) setPlaying(r.t, true);
        }
    }
    EXPECT_LE(worst, 2.0) << "the picture left the sound by " << worst << " ms";

    // Without a device the clock plays the sound's part, and loses nothing
    // to whole milliseconds over a long run.
    Transport t;
    ClockSound sound;
    startTransport(t, 0, 200000);
    setPlaying(t, true);
    for (int i = 0; i <= 6000; ++i) {
        runClockSound(sound, t.command, 5000.0 + i * frame);
        showTimeAt(t, sound.cursor, 5000.0 + i * frame);
    }
    EXPECT_NEAR(t.shown, 100000, 1);
    seek(t, 4321);
    runClockSound(sound, t.command, 200000.0);
    EXPECT_EQ(showTimeAt(t, sound.cursor, 200000.0), 4321);
}

TEST(StudioSound, ANewSoundtrackTakesOverAtTheSameFrameWithoutAClick) {
    auto constant = [](std::int16_t v) {
        SoundSamples s;
        ownedSamples(std::vector<std::int16_t>(2 * 200000, v), s);
        return s;
    };
    SoundSamples before = constant(-8000), after = constant(8000);
    Rig r;
    r.mix.next = &before;
    for (int i = 0; i < 3; ++i) r.buffer();
    const std::int64_t frame = r.mix.cursor.frame;
    r.mix.next = &after;
    // A short buffer ends inside the crossfade: the old samples are still
    // read; a full one ends after it.
    mixSound(r.mix, r.out.data(), 100, r.clock);
    EXPECT_EQ(r.mix.report.frame, frame);  // the position goes on
    EXPECT_TRUE(soundUses(r.mix, &before));
    const std::vector<std::int16_t> start(r.out.begin(), r.out.begin() + 200);
    r.buffer();
    EXPECT_FALSE(soundUses(r.mix, &before));
    std::vector<std::int16_t> left;
    for (int k = 0; k < 100; ++k) left.push_back(start[std::size_t(2 * k)]);
    for (int k = 0; k < bufferFrames; ++k) left.push_back(r.left(k));
    EXPECT_EQ(left.front(), -8000);
    int steepest = 0;
    for (std::size_t k = 1; k < left.size(); ++k)
        steepest = std::max(steepest, std::abs(left[k] - left[k - 1]));
    EXPECT_LE(steepest, 16000 / fadeFrames + 1);
    EXPECT_EQ(left.back(), 8000);
}

// Frame pacing and the end-of-show rule, driven with made-up clock readings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "host/loop.h"

TEST(FramePacing, RunsAFrameOnlyOnceASixtiethHasPassed) {
    FramePacer pacer = startPacer(1000.0);
    EXPECT_EQ(pacer.showTime, 0);

    EXPECT_FALSE(paceFrame(pacer, 1016.6, true));  // 16.6 ms: not yet
    EXPECT_EQ(pacer.showTime, 0);
    EXPECT_FALSE(paceFrame(pacer, 1000.0, true));  // the reference itself
    EXPECT_FALSE(paceFrame(pacer, 990.0, true));   // a reading from before it
    EXPECT_TRUE(paceFrame(pacer, 1016.7, true));   // 16.7 ms: one frame, 16 ms credited
    EXPECT_EQ(pacer.showTime, 16);
    EXPECT_FALSE(paceFrame(pacer, 1016.7, true));  // the same reading runs no second frame
    EXPECT_FALSE(paceFrame(pacer, std::nan(""), true));
    EXPECT_EQ(pacer.showTime, 16);
}

TEST(FramePacing, CreditsWholeMillisecondsAndCarriesTheRest) {
    FramePacer pacer = startPacer(0.0);
    ASSERT_TRUE(paceFrame(pacer, 40.9, true));
    EXPECT_EQ(pacer.showTime, 40);  // 40.9 ms add 40, not 41
    // The 0.9 ms left over counts towards the next frame: 17.1 ms more make
    // 58.0 ms on the clock and 58 ms of show time.
    ASSERT_TRUE(paceFrame(pacer, 58.0, true));
    EXPECT_EQ(pacer.showTime, 58);
    // Exactly representable whole milliseconds are credited in full.
    ASSERT_TRUE(paceFrame(pacer, 99.0, true));
    EXPECT_EQ(pacer.showTime, 99);
}

TEST(FramePacing, ShowTimeStaysWithinAMillisecondOfTheClockOverAWholeShow) {
    // 110 s polled at irregular steps from an arbitrary clock origin, each
    // frame taking 0.1 to 40 ms to render: frame times of 16.7 to 57 ms.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> poll(0.05, 3.0), render(0.1, 40.0);
    const double origin = 123456789.123;
    FramePacer pacer = startPacer(origin);
    double now = origin;
    int frames = 0;
    while (now - origin < 110000.0) {
        now += poll(random);
        if (!paceFrame(pacer, now, true)) continue;
        ++frames;
        const double lag = (now - origin) - pacer.showTime;
        ASSERT_GE(lag, 0.0) << "show time ran ahead of the clock at frame " << frames;
        ASSERT_LT(lag, 1.0) << "show time fell behind the clock at frame " << frames;
        now += render(random);
    }
    // Truncating every frame without the carry would have lost about half a
    // millisecond a frame: some 1.7 s by now.
    EXPECT_GT(frames, 2000);
    EXPECT_GT(pacer.showTime, 110000 - 60);
}

TEST(FramePacing, FrozenShowTimeStillPacesFrames) {
    FramePacer pacer = startPacer(0.0);
    EXPECT_TRUE(paceFrame(pacer, 20.5, false));
    EXPECT_EQ(pacer.showTime, 0);
    EXPECT_FALSE(paceFrame(pacer, 30.0, false));  // the reference moved on all the same
    EXPECT_TRUE(paceFrame(pacer, 37.0, false));
    EXPECT_EQ(pacer.showTime, 0);
}

TEST(FramePacing, AHugeGapSaturatesInsteadOfOverflowing) {
    FramePacer pacer = startPacer(0.0);
    ASSERT_TRUE(paceFrame(pacer, 1000.0, true));
    ASSERT_TRUE(paceFrame(pacer, 1e13, true));  // hundreds of years
    EXPECT_EQ(pacer.showTime, std::numeric_limits<std::int32_t>::max());
    paceFrame(pacer, 2e13, true);
    EXPECT_EQ(pacer.showTime, std::numeric_limits<std::int32_t>::max());
}

TEST(FramePacing, RowIsShowTimeTimesTheSinglePrecisionRate) {
    EXPECT_EQ(rowAt(0), 0.0f);
    EXPECT_EQ(rowAt(1000), 1000.0f * 0.024f);
    // The shipped cuts at rows 2408 and 2432 are first reached at these show
    // times: the soundtrack stops at 100334 ms and the show ends at 101334 ms.
    EXPECT_LT(rowAt(100333), 2408.0f);
    EXPECT_GE(rowAt(100334), 2408.0f);
    EXPECT_LT(rowAt(101333), 2432.0f);
    EXPECT_GE(rowAt(101334), 2432.0f);
}

TEST(EndOfShowRule, StopBandAndQuitLevelWithTheirBoundaries) {
    struct Case {
        float scene;
        bool stop, quit;
    } cases[] = {
        {0.0f, false, false},       {-0.4999f, false, false}, {-0.5f, false, false},
        {-0.5001f, true, false},    {-1.0f, true, false},     {-1.9999f, true, false},
        {-2.0f, false, false},      {-2.0001f, false, true},  {-3.0f, false, true},
        {-INFINITY, false, true},   {INFINITY, false, false}, {NAN, false, false},
    };
    for (const Case& c : cases) {
        EndOfShow rule = endOfShow(c.scene);
        EXPECT_EQ(rule.stopSoundtrack, c.stop) << "scene " << c.scene;
        EXPECT_EQ(rule.quit, c.quit) << "scene " << c.scene;
    }
}

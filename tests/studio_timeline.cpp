// The studio's timeline without a window: time, rows and pixels at any
// zoom; the beat and section grid of the shipped score, exact; snapping;
// keys hit and boxed in their lanes.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "content/score/score.h"
#include "host/loop.h"
#include "tools/studio/timeline.h"

using namespace studio;

namespace {

score::Score shippedScore() {
    std::ifstream in(OSTREL_SCORE, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    score::Score s;
    std::string error;
    EXPECT_TRUE(score::parseScore(text.str(), s, error)) << error;
    return s;
}

}  // namespace

TEST(StudioTimeline, TimeRowsAndPixelsAgreeAtAnyZoom) {
    TimelineView v;
    v.left = 120;
    v.width = 500;
    fitAll(v, 100333);
    EXPECT_LE(pixelAt(v, 0), v.left + 10);
    EXPECT_GE(pixelAt(v, 100333), v.left + v.width - 10);
    EXPECT_LE(pixelAt(v, 100333), v.left + v.width);
    for (double factor : {1.0, 3.0, 40.0, 900.0, 0.01}) {
        const double x = v.left + 333;
        const double under = timeAtPixel(v, x);
        zoomAbout(v, x, factor, 100333);
        EXPECT_NEAR(timeAtPixel(v, x), under, 1e-6 * std::max(1.0, under)) << factor;
        EXPECT_NEAR(pixelAt(v, timeAtPixel(v, 200.25)), 200.25, 1e-9);
        // Never closer than one row across the width.
        EXPECT_GE(v.width * v.msPerPixel, 1000.0 / 24 - 1e-9);
    }
    // A key's row takes hold where the show's row first reaches it.
    for (std::int32_t row : {0, 1, 23, 24, 189, 1160, 2350}) {
        EXPECT_GE(rowAt(keyTime(row)), float(row));
        EXPECT_LT(rowAt(keyTime(row) - 1), float(row));
        EXPECT_EQ(nearestRow(rowMilliseconds(row)), row);
        EXPECT_EQ(nearestRow(keyTime(row)), row);
    }
}

TEST(StudioTimeline, TheGridIsTheShippedScoresBeatsAndSections) {
    const score::Score s = shippedScore();
    const MusicGrid grid = musicGrid(s);
    ASSERT_EQ(grid.sections.size(), s.sections.size());
    ASSERT_GE(grid.sections.size(), 6u);
    EXPECT_EQ(grid.sections[3].name, "blob");
    EXPECT_EQ(grid.sections[3].row, 1160);
    EXPECT_DOUBLE_EQ(grid.sections[3].milliseconds, 1160 * 1000.0 / 24);
    // Every section holds its beats; each starts on a beat that starts a
    // bar; bars are four beats; the beats rise.
    std::size_t b = 0;
    for (std::size_t i = 0; i + 1 < s.sections.size(); ++i) {
        while (grid.beats[b].milliseconds < grid.sections[i].milliseconds - 1e-9) ++b;
        ASSERT_TRUE(grid.beats[b].section && grid.beats[b].bar) << s.sections[i].name;
        EXPECT_NEAR(grid.beats[b].milliseconds, s.sections[i].start * 1000.0, 1e-6);
        int count = 0;
        for (std::size_t k = b; grid.beats[k].milliseconds < grid.sections[i + 1].milliseconds - 1e-6;
             ++k, ++count)
            EXPECT_EQ(grid.beats[k].bar, count % 4 == 0);
        EXPECT_EQ(count, int(s.sections[i].beats)) << s.sections[i].name;
    }
    for (std::size_t k = 1; k < grid.beats.size(); ++k)
        EXPECT_GT(grid.beats[k].milliseconds, grid.beats[k - 1].milliseconds);

    // Jumps between beats and sections, and snapping a dragged key.
    const double blob = grid.sections[3].milliseconds;
    EXPECT_DOUBLE_EQ(nextSection(grid, blob - 1), blob);
    EXPECT_DOUBLE_EQ(previousSection(grid, blob), grid.sections[2].milliseconds);
    const double beat = s.sections[3].beatLength * 1000.0;
    EXPECT_NEAR(nextBeat(grid, blob), blob + beat, 1e-6);
    EXPECT_NEAR(previousBeat(grid, blob + beat), blob, 1e-6);
    EXPECT_EQ(snapRow(blob + 0.4 * beat, Snap::beats, grid, {}), 1160);
    EXPECT_EQ(snapRow(blob + 0.6 * beat, Snap::beats, grid, {}),
              nearestRow(blob + beat));
    EXPECT_EQ(snapRow(blob + 0.6 * beat, Snap::rows, grid, {}), nearestRow(blob + 0.6 * beat));
    EXPECT_EQ(snapRow(blob - 3000, Snap::sections, grid, {}), 1160);
    EXPECT_EQ(snapRow(1000, Snap::keys, grid, {10, 30, 90}), 30);
    EXPECT_EQ(snapRow(-400, Snap::rows, grid, {}), 0);  // never below row 0
}

TEST(StudioTimeline, KeysAreHitAndBoxedInTheirLanes) {
    TimelineView v;
    v.left = 100;
    v.width = 1000;
    v.msPerPixel = 10;  // a row is 4.17 pixels
    LaneLayout l;
    l.top = 50;
    l.laneHeight = 10;
    l.open = camPosY;
    l.openHeight = 100;
    EXPECT_EQ(laneOrder().size(), std::size_t(trackCount));
    KeyRows rows;
    rows[camPosX] = {0, 24, 26};
    rows[camPosY] = {24};
    rows[scene] = {24};
    double top = 0, bottom = 0;
    laneSpan(l, camPosX, top, bottom);
    const double x24 = pixelAt(v, 1000.0), x26 = pixelAt(v, 26 * 1000.0 / 24);
    KeyRef hit{};
    ASSERT_TRUE(hitKey(v, l, rows, x24 + 1.5, top + 5, 4, hit));
    EXPECT_EQ(hit, (KeyRef{camPosX, 24}));
    ASSERT_TRUE(hitKey(v, l, rows, x26 - 1.0, top + 5, 4, hit));
    EXPECT_EQ(hit, (KeyRef{camPosX, 26}));  // the nearer of two
    EXPECT_FALSE(hitKey(v, l, rows, x24 + 20, top + 5, 4, hit));
    // The open lane is larger and moves the ones under it.
    laneSpan(l, camPosY, top, bottom);
    EXPECT_DOUBLE_EQ(bottom - top, 100);
    EXPECT_TRUE(hitKey(v, l, rows, x24, top + 90, 4, hit));
    EXPECT_EQ(hit.track, camPosY);
    EXPECT_EQ(trackAtY(l, bottom + 1), camPosZ);
    EXPECT_EQ(trackAtY(l, lanesBottom(l) + 1), -1);

    // A box over the first two camera lanes around row 24 takes the keys
    // inside, not the scene's.
    double sceneTop = 0, sceneBottom = 0, xTop = 0, xBottom = 0;
    laneSpan(l, scene, sceneTop, sceneBottom);
    laneSpan(l, camPosX, xTop, xBottom);
    std::vector<KeyRef> boxed = keysInBox(v, l, rows, x26 + 2, xTop, x24 - 2, top + 60);
    std::sort(boxed.begin(), boxed.end());
    EXPECT_EQ(boxed, (std::vector<KeyRef>{{camPosX, 24}, {camPosX, 26}, {camPosY, 24}}));

    // Values in a lane map to heights and back.
    for (double value : {-3.0, 0.0, 7.5})
        EXPECT_NEAR(yValue(valueY(value, -4, 8, top, bottom), -4, 8, top, bottom), value, 1e-9);
    EXPECT_GT(valueY(-4, -4, 8, top, bottom), valueY(8, -4, 8, top, bottom));
}

// Track evaluation: the key search and the value of a track at a row, on
// tracks built by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "sync/sync.h"

namespace {

struct HandTrack {
    std::vector<TrackKey> keys;
    SyncTrack track{};
    explicit HandTrack(std::vector<TrackKey> k) : keys(std::move(k)) {
        track.keys = keys.empty() ? nullptr : keys.data();
        track.keyCount = std::int32_t(keys.size());
    }
    double at(double row) const { return getTrackValue(&track, row); }
};

}  // namespace

TEST(TrackSearch, FindsKeysAndTheComplementOfTheInsertionPoint) {
    HandTrack t({{10, 1.0f, Step}, {20, 2.0f, Step}, {30, 3.0f, Step}});
    EXPECT_EQ(findKey(&t.track, 10), 0);
    EXPECT_EQ(findKey(&t.track, 20), 1);
    EXPECT_EQ(findKey(&t.track, 30), 2);
    EXPECT_EQ(findKey(&t.track, 5), -1);    // before every key: p = 0
    EXPECT_EQ(findKey(&t.track, 15), -2);   // p = 1
    EXPECT_EQ(findKey(&t.track, 25), -3);   // p = 2
    EXPECT_EQ(findKey(&t.track, 35), -4);   // after every key: p = 3
    EXPECT_EQ(findKey(&t.track, INT32_MIN), -1);
    EXPECT_EQ(findKey(&t.track, INT32_MAX), -4);

    // Every index of a long track is found, and every gap gives its complement.
    std::vector<TrackKey> many;
    for (int k = 0; k < 255; ++k) many.push_back({k * 3, float(k), Linear});
    HandTrack longTrack(many);
    for (int k = 0; k < 255; ++k) {
        EXPECT_EQ(findKey(&longTrack.track, k * 3), k);
        EXPECT_EQ(findKey(&longTrack.track, k * 3 + 1), -(k + 1) - 1);
    }

    HandTrack empty({});
    EXPECT_EQ(findKey(&empty.track, 0), -1);
    EXPECT_EQ(findKey(nullptr, 0), -1);
}

TEST(TrackValue, TracksWithoutKeysGiveZero) {
    HandTrack empty({});
    EXPECT_EQ(empty.at(0.0), 0.0);
    EXPECT_EQ(empty.at(1e6), 0.0);
    EXPECT_EQ(getTrackValue(nullptr, 12.0), 0.0);

    // A count without the array it counts (a failed key allocation) and an
    // array with a count of 0 or less both evaluate as empty.
    SyncTrack countOnly{nullptr, nullptr, 5};
    EXPECT_EQ(getTrackValue(&countOnly, 3.0), 0.0);
    EXPECT_EQ(findKey(&countOnly, 3), -1);
    TrackKey key{0, 7.0f, Step};
    SyncTrack negativeCount{nullptr, &key, -3};
    EXPECT_EQ(getTrackValue(&negativeCount, 0.0), 0.0);
}

TEST(TrackValue, OneKeyHoldsEverywhereWhateverItsType) {
    for (std::int32_t type : {0, 1, 2, 3, 9, -4}) {
        HandTrack t({{100, 4.5f, type}});
        EXPECT_EQ(t.at(0.0), 4.5) << "type " << type;
        EXPECT_EQ(t.at(100.0), 4.5) << "type " << type;
        EXPECT_EQ(t.at(100.7), 4.5) << "type " << type;
        EXPECT_EQ(t.at(5000.0), 4.5) << "type " << type;
    }
}

TEST(TrackValue, EndsHoldTheNearestKeysValue) {
    // Before the first key: its value, whatever its type.
    HandTrack t({{50, -2.0f, Smooth}, {60, 8.0f, Linear}, {70, 1.25f, 77}});
    EXPECT_EQ(t.at(0.0), -2.0);
    EXPECT_EQ(t.at(49.99), -2.0);
    // At or after the last key: its value, even with a type outside 0 to 3.
    EXPECT_EQ(t.at(70.0), 1.25);
    EXPECT_EQ(t.at(70.5), 1.25);
    EXPECT_EQ(t.at(3000.0), 1.25);
    // Rows beyond the i32 range clamp for the search.
    EXPECT_EQ(t.at(1e12), 1.25);
    EXPECT_EQ(t.at(-1e12), -2.0);
}

TEST(TrackValue, ExactHitsGiveTheKeysValue) {
    HandTrack t({{0, 1.0f, Step},
                 {10, 2.0f, Linear},
                 {20, 3.0f, Smooth},
                 {30, 4.0f, Ramp},
                 {40, 5.0f, Step}});
    EXPECT_EQ(t.at(0.0), 1.0);
    EXPECT_EQ(t.at(10.0), 2.0);
    EXPECT_EQ(t.at(20.0), 3.0);
    EXPECT_EQ(t.at(30.0), 4.0);
    EXPECT_EQ(t.at(40.0), 5.0);
    // A step holds its value up to just below the next key's row.
    EXPECT_EQ(t.at(9.999), 1.0);
}

TEST(TrackValue, BlendsFollowTheirFormulas) {
    // Linear, from the shipped dofFocusPoint: 1.0 at 0, 15.0 at 79.
    HandTrack linear({{0, 1.0f, Linear}, {79, 15.0f, Step}});
    EXPECT_EQ(linear.at(39.5), 8.0);
    // Smooth, from the shipped dofFocusScale: 20.0 at 0, 5.0 at 64.
    HandTrack smoothScale({{0, 20.0f, Smooth}, {64, 5.0f, Step}});
    EXPECT_EQ(smoothScale.at(32.0), 12.5);

    HandTrack ramp({{0, 0.0f, Ramp}, {8, 1.0f, Step}});
    EXPECT_EQ(ramp.at(4.0), 0.25);
    EXPECT_EQ(ramp.at(2.0), 0.0625);
    HandTrack smooth({{0, 0.0f, Smooth}, {8, 1.0f, Step}});
    EXPECT_EQ(smooth.at(4.0), 0.5);
    EXPECT_EQ(smooth.at(2.0), 0.15625);

    // t comes from the fractional row, not the truncated one.
    HandTrack tenths({{0, 0.0f, Linear}, {10, 10.0f, Step}});
    EXPECT_EQ(tenths.at(2.5), 2.5);
}

TEST(TrackValue, TypesOutsideTheFourGiveZeroInsideTheSegment) {
    for (std::int32_t type : {4, 127, -1, -128}) {
        HandTrack t({{0, 3.0f, Linear}, {10, 6.0f, type}, {20, 9.0f, Step}});
        EXPECT_EQ(t.at(10.0), 0.0) << "type " << type;  // not the key's 6.0
        EXPECT_EQ(t.at(15.5), 0.0) << "type " << type;
        EXPECT_EQ(t.at(19.99), 0.0) << "type " << type;
        EXPECT_EQ(t.at(5.0), 4.5) << "type " << type;  // the segment before is untouched
        EXPECT_EQ(t.at(20.0), 9.0) << "type " << type;
    }
}

TEST(TrackValue, PrecisionIsFixed) {
    // The difference of the two values is taken in single precision:
    // 33554436 - 1 is 33554435 exactly, which rounds to 33554436 as a float.
    HandTrack wide({{0, 1.0f, Linear}, {2, 33554436.0f, Step}});
    EXPECT_EQ(wide.at(1.0), 16777219.0);  // 0.5 * 33554436 + 1, not 16777218.5

    // Everything after the difference is double: a third stays a double third.
    HandTrack third({{0, 0.0f, Linear}, {3, 1.0f, Step}});
    EXPECT_EQ(third.at(1.0), 1.0 / 3.0);
    EXPECT_NE(third.at(1.0), double(1.0f / 3.0f));

    // Keys far apart: the row difference does not overflow 32 bits.
    HandTrack far({{-2000000000, 0.0f, Linear}, {2000000000, 1.0f, Step}});
    EXPECT_EQ(far.at(0.0), 0.5);

    // A NaN row neither crashes nor reads outside the keys.
    HandTrack nan({{0, 0.0f, Step}, {10, 1.0f, Step}});
    EXPECT_EQ(nan.at(std::numeric_limits<double>::quiet_NaN()), 0.0);
}

// The sync device: decoding key data, finding tracks by reference, growing
// the list of tracks, and what a refused page allocation leaves behind.
// Runs on the counting, refusing allocator of tests/support.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "sync/pages.h"
#include "sync/sync.h"
#include "tests/support/fake_pages.h"

namespace {

// Key data as the content builder writes it: a 4-byte count, 9 bytes a key.
std::vector<std::uint8_t> keyData(const std::vector<TrackKey>& keys,
                                  std::uint32_t countField = 0xFFFFFFFFu) {
    std::vector<std::uint8_t> out;
    std::uint32_t count = countField == 0xFFFFFFFFu ? std::uint32_t(keys.size()) : countField;
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(count >> (8 * i)));
    for (const TrackKey& k : keys) {
        std::uint8_t bytes[8];
        std::memcpy(bytes, &k.row, 4);
        std::memcpy(bytes + 4, &k.value, 4);
        out.insert(out.end(), bytes, bytes + 8);
        out.push_back(std::uint8_t(k.type));
    }
    return out;
}

class SyncDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { fakePages::reset(); }
    void TearDown() override {
        EXPECT_EQ(fakePages::badReleases(), 0) << "a region was released twice or never held";
        fakePages::reset();
    }
};

// A track is consistent when its count and its array agree.
void expectConsistent(const SyncTrack* track) {
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->keys == nullptr, track->keyCount == 0);
    EXPECT_GE(track->keyCount, 0);
}

}  // namespace

TEST_F(SyncDeviceTest, DecodesKeyDataAsStored) {
    auto data = keyData({{-7, 1.5f, Step},
                         {0, -0.0f, Linear},
                         {1160, 2.5f, 0x7F},
                         {2000, 3.0f, std::int32_t(std::int8_t(0x80))},
                         {INT32_MAX, -1e30f, std::int32_t(std::int8_t(0xFF))}});
    SyncDevice* device = createSyncDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->tracks, nullptr);
    EXPECT_EQ(device->trackCount, 0);
    SyncTrack* track = getTrack(device, data.data());
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->keyData, data.data());
    ASSERT_EQ(track->keyCount, 5);
    EXPECT_EQ(track->keys[0].row, -7);
    EXPECT_EQ(track->keys[0].value, 1.5f);
    EXPECT_EQ(track->keys[0].type, Step);
    EXPECT_TRUE(std::signbit(track->keys[1].value));
    EXPECT_EQ(track->keys[1].type, Linear);
    EXPECT_EQ(track->keys[2].type, 127);
    EXPECT_EQ(track->keys[3].type, -128);  // type bytes 0x80 to 0xFF are negative
    EXPECT_EQ(track->keys[4].row, INT32_MAX);
    EXPECT_EQ(track->keys[4].value, -1e30f);
    EXPECT_EQ(track->keys[4].type, -1);
    // Inside the segment of the key with type -128: 0.0.
    EXPECT_EQ(getTrackValue(track, 2100.0), 0.0);
}

TEST_F(SyncDeviceTest, OnlyTheFirstByteOfTheCountIsRead) {
    // Count field 0xFFFFFF02: two keys. Count byte 0: no keys at all.
    auto two = keyData({{0, 1.0f, Linear}, {10, 2.0f, Step}}, 0xFFFFFF02u);
    auto none = keyData({{0, 1.0f, Linear}}, 0x00000100u);
    SyncDevice* device = createSyncDevice();
    SyncTrack* a = getTrack(device, two.data());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->keyCount, 2);
    EXPECT_EQ(getTrackValue(a, 5.0), 1.5);

    SyncTrack* b = getTrack(device, none.data());
    ASSERT_NE(b, nullptr);  // no keys is no failure: the track exists
    EXPECT_EQ(b->keyCount, 0);
    EXPECT_EQ(b->keys, nullptr);
    EXPECT_EQ(getTrackValue(b, 0.0), 0.0);
    EXPECT_EQ(getTrackValue(b, 1e5), 0.0);
    EXPECT_EQ(device->trackCount, 2);
}

TEST_F(SyncDeviceTest, TracksAreFoundByReferenceAndDecodedOnce) {
    auto data = keyData({{0, 1.0f, Step}, {5, 2.0f, Step}});
    auto sameBytes = data;  // equal bytes at another address
    SyncDevice* device = createSyncDevice();
    SyncTrack* first = getTrack(device, data.data());
    const int allocationsAfterFirst = fakePages::allocations();
    SyncTrack* again = getTrack(device, data.data());
    EXPECT_EQ(again, first);
    EXPECT_EQ(fakePages::allocations(), allocationsAfterFirst) << "the second call decoded again";
    EXPECT_EQ(device->trackCount, 1);

    SyncTrack* other = getTrack(device, sameBytes.data());
    EXPECT_NE(other, first);
    EXPECT_EQ(device->trackCount, 2);
    EXPECT_EQ(other->keyCount, 2);
    EXPECT_EQ(getTrack(device, data.data()), first);
    EXPECT_EQ(getTrack(device, sameBytes.data()), other);
}

TEST_F(SyncDeviceTest, ThirteenTracksKeepTheirOrderAndTheListMovesEachTime) {
    std::vector<std::vector<std::uint8_t>> data;
    for (int t = 0; t < 13; ++t) data.push_back(keyData({{0, float(t), Step}}));
    SyncDevice* device = createSyncDevice();
    SyncTrack* tracks[13];
    for (int t = 0; t < 13; ++t) tracks[t] = getTrack(device, data[t].data());
    ASSERT_EQ(device->trackCount, 13);
    for (int t = 0; t < 13; ++t) {
        EXPECT_EQ(device->tracks[t], tracks[t]);
        EXPECT_EQ(device->tracks[t]->keyData, data[t].data());
        EXPECT_EQ(getTrackValue(tracks[t], 0.0), double(t));
    }
    // Each growth released the previous list (the first had none): the
    // device, 13 track records, 13 key arrays and one list remain.
    EXPECT_EQ(fakePages::releases(), 12);
    EXPECT_EQ(fakePages::live(), 1 + 13 + 13 + 1);
    EXPECT_TRUE(fakePages::isLive(device->tracks));
}

TEST_F(SyncDeviceTest, GrowRegionCopiesTheSmallerRegionAndReleasesTheOld) {
    // Growing: the old region's whole size is copied, the rest is zero.
    auto* small = static_cast<std::uint8_t*>(allocatePages(10, pagesReadWrite));
    ASSERT_NE(small, nullptr);
    const std::size_t smallSize = regionSize(small);
    ASSERT_EQ(smallSize, fakePages::pageBytes);
    std::memset(small, 0xAB, smallSize);
    auto* big = static_cast<std::uint8_t*>(growRegion(small, 3 * fakePages::pageBytes, pagesReadWrite));
    ASSERT_NE(big, nullptr);
    EXPECT_FALSE(fakePages::isLive(small));
    for (std::size_t i = 0; i < regionSize(big); ++i)
        ASSERT_EQ(big[i], i < smallSize ? 0xAB : 0x00) << "byte " << i;

    // Shrinking: only the new region's size is copied (no write past it).
    std::memset(big, 0xCD, regionSize(big));
    auto* shrunk = static_cast<std::uint8_t*>(growRegion(big, 1, pagesReadWrite));
    ASSERT_NE(shrunk, nullptr);
    for (std::size_t i = 0; i < regionSize(shrunk); ++i) ASSERT_EQ(shrunk[i], 0xCD);

    // From null: a fresh, zero-filled region, nothing released.
    const int releases = fakePages::releases();
    auto* fresh = static_cast<std::uint8_t*>(growRegion(nullptr, 16, pagesReadWrite));
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh[0], 0);
    EXPECT_EQ(fakePages::releases(), releases);

    // Refusals leave the old region untouched and held.
    shrunk[0] = 0x11;
    fakePages::refuseAllocation(1);
    EXPECT_EQ(growRegion(shrunk, 100, pagesReadWrite), nullptr);
    EXPECT_TRUE(fakePages::isLive(shrunk));
    EXPECT_EQ(shrunk[0], 0x11);
    // An address whose region size cannot be had: nothing is taken.
    std::uint8_t notARegion[16] = {};
    const int allocations = fakePages::allocations();
    EXPECT_EQ(growRegion(notARegion, 100, pagesReadWrite), nullptr);
    EXPECT_EQ(fakePages::allocations(), allocations);
}

TEST_F(SyncDeviceTest, RefusedAllocationsNeverLeaveANullToDereference) {
    auto data = keyData({{0, 4.0f, Linear}, {10, 8.0f, Step}});
    auto more = keyData({{0, 9.0f, Step}});

    // No device: every call on it is harmless.
    fakePages::refuseAllocation(1);
    SyncDevice* device = createSyncDevice();
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(getTrack(nullptr, data.data()), nullptr);
    EXPECT_EQ(addTrack(nullptr, data.data()), -1);
    EXPECT_EQ(getTrackValue(nullptr, 5.0), 0.0);
    EXPECT_EQ(loadTrackKeys(nullptr, nullptr), -1);

    // The track record refused: no track, the device as it was.
    device = createSyncDevice();
    ASSERT_NE(device, nullptr);
    fakePages::refuseAllocation(1);
    EXPECT_EQ(getTrack(device, data.data()), nullptr);
    EXPECT_EQ(device->trackCount, 0);
    EXPECT_EQ(device->tracks, nullptr);

    // The list growth refused: the new record is given back.
    int live = fakePages::live();
    fakePages::refuseAllocation(2);
    EXPECT_EQ(getTrack(device, data.data()), nullptr);
    EXPECT_EQ(device->trackCount, 0);
    EXPECT_EQ(device->tracks, nullptr);
    EXPECT_EQ(fakePages::live(), live);

    // The key array refused: the track exists and evaluates as empty.
    fakePages::refuseAllocation(3);
    SyncTrack* keyless = getTrack(device, data.data());
    ASSERT_NE(keyless, nullptr);
    EXPECT_EQ(keyless->keyCount, 0);
    EXPECT_EQ(keyless->keys, nullptr);
    EXPECT_EQ(getTrackValue(keyless, 5.0), 0.0);
    EXPECT_EQ(getTrack(device, data.data()), keyless);  // found, not decoded again

    // A later growth refused: the existing list stays whole.
    SyncTrack** list = device->tracks;
    live = fakePages::live();
    fakePages::refuseAllocation(2);
    EXPECT_EQ(getTrack(device, more.data()), nullptr);
    EXPECT_EQ(device->tracks, list);
    EXPECT_EQ(device->trackCount, 1);
    EXPECT_EQ(device->tracks[0], keyless);
    EXPECT_EQ(fakePages::live(), live);
    // And the next attempt, with memory, succeeds.
    SyncTrack* nine = getTrack(device, more.data());
    ASSERT_NE(nine, nullptr);
    EXPECT_EQ(getTrackValue(nine, 0.0), 9.0);
    EXPECT_EQ(device->trackCount, 2);
}

TEST_F(SyncDeviceTest, EveryRefusalDuringStartUpLeavesUsableResults) {
    std::vector<std::vector<std::uint8_t>> data;
    for (int t = 0; t < 13; ++t) data.push_back(keyData({{0, 1.0f, Linear}, {1, 2.0f, Step}}));
    // The 13 tracks take 1 + 13 * 3 allocations; refuse each one in turn,
    // and also everything from each point on.
    for (int mode = 0; mode < 2; ++mode) {
        for (int nth = 1; nth <= 41; ++nth) {
            fakePages::reset();
            if (mode == 0)
                fakePages::refuseAllocation(nth);
            else
                fakePages::refuseFrom(nth);
            SyncDevice* device = createSyncDevice();
            int present = 0;
            for (int t = 0; t < 13; ++t) {
                SyncTrack* track = getTrack(device, data[t].data());
                double value = getTrackValue(track, 0.5);
                if (track == nullptr) {
                    EXPECT_EQ(value, 0.0);
                    continue;
                }
                ++present;
                expectConsistent(track);
                EXPECT_EQ(value, track->keyCount ? 1.5 : 0.0);
            }
            if (device != nullptr) {
                EXPECT_EQ(device->trackCount, present) << "refusal " << nth;
                for (int i = 0; i < device->trackCount; ++i) expectConsistent(device->tracks[i]);
            }
            EXPECT_EQ(fakePages::badReleases(), 0);
        }
    }
}

// The page memory of POSIX hosts (mmap): zero-filled regions whose size can
// be asked for, moved and given back, and the sync device running on it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "sync/pages.h"
#include "sync/sync.h"

TEST(PosixPages, RegionsAreZeroFilledWholePagesOfAtLeastTheSizeAsked) {
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    for (std::size_t bytes : {std::size_t(1), std::size_t(12), page - 16, page, 3 * page + 5}) {
        auto* region = static_cast<std::uint8_t*>(allocatePages(bytes, pagesReadWrite));
        ASSERT_NE(region, nullptr) << bytes;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(region) % 16, 0u);
        const std::size_t size = regionSize(region);
        EXPECT_GE(size, bytes);
        EXPECT_EQ((size + 16) % page, 0u) << "whole pages";
        for (std::size_t i = 0; i < size; ++i) ASSERT_EQ(region[i], 0) << "byte " << i;
        std::memset(region, 0xEE, size);  // all of it is writable
        releasePages(region);
    }
    EXPECT_EQ(allocatePages(0, pagesReadWrite), nullptr);
    EXPECT_EQ(allocatePages(SIZE_MAX - 8, pagesReadWrite), nullptr);
    EXPECT_NE(regionSize(nullptr), 0u);
    releasePages(nullptr);

    // An address this allocator did not hand out has no size.
    alignas(16) std::uint8_t stack[64] = {};
    EXPECT_EQ(regionSize(stack + 32), 0u);
}

TEST(PosixPages, TheSyncDeviceGrowsItsListOnRealPages) {
    std::uint8_t data[13][4 + 9] = {};
    SyncDevice* device = createSyncDevice();
    ASSERT_NE(device, nullptr);
    for (int t = 0; t < 13; ++t) {
        data[t][0] = 1;
        float value = float(t) * 0.5f;
        std::memcpy(&data[t][8], &value, 4);
        ASSERT_NE(getTrack(device, data[t]), nullptr);
    }
    ASSERT_EQ(device->trackCount, 13);
    for (int t = 0; t < 13; ++t) {
        EXPECT_EQ(device->tracks[t]->keyData, data[t]);
        EXPECT_EQ(getTrackValue(device->tracks[t], 100.0), double(t) * 0.5);
    }
    EXPECT_GE(regionSize(device->tracks), 13 * sizeof(SyncTrack*));
}

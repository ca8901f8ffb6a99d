// device.cpp: the sync device, its list of tracks and the decoding of a
// track's key data.
//
// Every record (the device, each track, each key array, the list of tracks)
// is a region of the page allocator. The list grows one entry at a time: each
// new track moves it into a region exactly one entry longer and releases the
// old one. With 13 tracks that happens 13 times, all at start-up.
//
// Failures of the allocator never leave a null behind that a later call
// reads: a null device gives null tracks, and a track whose key array could
// not be had keeps keyCount 0 and keys null, so it evaluates as empty.
#include "sync/sync.h"

#include <cstdint>
#include <cstring>

#include "sync/pages.h"

namespace {

std::int32_t readI32(const std::uint8_t* p) {
    std::uint32_t v = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                      std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
    std::int32_t out;
    std::memcpy(&out, &v, 4);
    return out;
}

float readF32(const std::uint8_t* p) {
    std::int32_t bits = readI32(p);
    float out;
    std::memcpy(&out, &bits, 4);
    return out;
}

// Bytes of one key in the key data: row, value, type.
constexpr std::size_t keyDataBytes = 9;
// Bytes of the key data's count field (only its first byte is read).
constexpr std::size_t keyDataHeader = 4;

}  // namespace

SyncDevice* createSyncDevice() {
    auto* device = static_cast<SyncDevice*>(allocatePages(sizeof(SyncDevice), pagesReadWrite));
    if (device == nullptr) return nullptr;
    device->tracks = nullptr;
    device->trackCount = 0;
    return device;
}

void* growRegion(void* oldRegion, std::size_t bytes, int protection) {
    std::size_t oldSize = regionSize(oldRegion);
    if (oldSize == 0) return nullptr;
    void* region = allocatePages(bytes, PageProtection(protection));
    if (region == nullptr) return nullptr;
    std::size_t newSize = regionSize(region);
    if (oldRegion != nullptr) {
        std::memcpy(region, oldRegion, oldSize < newSize ? oldSize : newSize);
        releasePages(oldRegion);
    }
    return region;
}

std::int32_t addTrack(SyncDevice* device, const std::uint8_t* keyData) {
    if (device == nullptr || device->trackCount < 0 || device->trackCount == INT32_MAX)
        return -1;
    auto* track = static_cast<SyncTrack*>(allocatePages(sizeof(SyncTrack), pagesReadWrite));
    if (track == nullptr) return -1;
    track->keyData = keyData;
    track->keys = nullptr;
    track->keyCount = 0;

    std::size_t entries = std::size_t(device->trackCount) + 1;
    auto* list = static_cast<SyncTrack**>(
        growRegion(device->tracks, entries * sizeof(SyncTrack*), pagesReadWrite));
    if (list == nullptr) {
        releasePages(track);
        return -1;
    }
    list[entries - 1] = track;
    device->tracks = list;
    device->trackCount = std::int32_t(entries);
    return std::int32_t(entries - 1);
}

std::int32_t loadTrackKeys(SyncDevice*, SyncTrack* track) {
    if (track == nullptr || track->keyData == nullptr) return -1;
    const std::uint8_t* data = track->keyData;
    std::int32_t count = data[0];
    // No keys: nothing to take (the allocator refuses 0 bytes anyway).
    if (count == 0) return -1;
    auto* keys = static_cast<TrackKey*>(
        allocatePages(std::size_t(count) * sizeof(TrackKey), pagesReadWrite));
    if (keys == nullptr) return -1;
    for (std::int32_t k = 0; k < count; ++k) {
        const std::uint8_t* key = data + keyDataHeader + keyDataBytes * std::size_t(k);
        keys[k].row = readI32(key);
        keys[k].value = readF32(key + 4);
        keys[k].type = std::int32_t(key[8]) - (key[8] & 0x80 ? 256 : 0);  // i8, sign-extended
    }
    // The count is set only with the array it counts, so a failure above
    // leaves a track that evaluates as empty.
    track->keys = keys;
    track->keyCount = count;
    return 0;
}

SyncTrack* getTrack(SyncDevice* device, const std::uint8_t* keyData) {
    if (device == nullptr) return nullptr;
    for (std::int32_t i = 0; i < device->trackCount; ++i)
        if (device->tracks[i]->keyData == keyData) return device->tracks[i];
    std::int32_t index = addTrack(device, keyData);
    if (index < 0) return nullptr;
    SyncTrack* track = device->tracks[index];
    loadTrackKeys(device, track);
    return track;
}

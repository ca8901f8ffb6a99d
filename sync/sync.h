// sync.h: the sync device, its tracks, and evaluating a track at a row.
//
// Everything that moves in the show is driven by 13 sync tracks: keyed float
// curves addressed by row (24 rows a second of show time). At start-up the
// driver creates one SyncDevice and asks it for the track of each key-data
// reference of the content block; the device decodes each track's key data
// once into TrackKey records. Every frame the driver evaluates each track at
// the frame's row with getTrackValue. Tracks are never edited, saved or
// freed.
//
// Key data of one track (little-endian, packed): a 4-byte count of which only
// the first byte is read (0 to 255 keys), then 9 bytes a key: row (i32),
// value (f32), interpolation type (i8, sign-extended).
//
// Memory comes from the page allocator (sync/pages.h), never from the heap.
// When memory cannot be had, nothing null is ever dereferenced: a null
// device gives null tracks, and a track without a key array evaluates as
// empty (0.0).
#pragma once

#include <cstdint>

enum InterpolationType : std::int32_t { Step = 0, Linear = 1, Smooth = 2, Ramp = 3 };

struct TrackKey {
    std::int32_t row;
    float value;
    std::int32_t type;  // InterpolationType of the segment from this key to the next
};

struct SyncTrack {
    const std::uint8_t* keyData;  // identity of the track
    TrackKey* keys;               // null until decoded
    std::int32_t keyCount;
};

struct SyncDevice {
    SyncTrack** tracks;  // in order of creation; null while there is none
    std::int32_t trackCount;
};

SyncDevice* createSyncDevice();
SyncTrack* getTrack(SyncDevice* device, const std::uint8_t* keyData);
std::int32_t addTrack(SyncDevice* device, const std::uint8_t* keyData);
std::int32_t loadTrackKeys(SyncDevice* device, SyncTrack* track);
void* growRegion(void* oldRegion, std::size_t bytes, int protection);

std::int32_t findKey(const SyncTrack* track, std::int32_t row);
double getTrackValue(const SyncTrack* track, double row);

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

#include <cstddef>
#include <cstdint>

enum InterpolationType : std::int32_t { Step = 0, Linear = 1, Smooth = 2, Ramp = 3 };

// The most keys a track's key data can count: its count is read from one byte.
inline constexpr int maxTrackKeys = 255;

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

// A new device with no tracks, or null when no memory can be had.
SyncDevice* createSyncDevice();

// The track of `keyData`, found by reference (not by content) among the
// device's tracks, or added and decoded when there is none. Null when the
// device is null or the new track cannot be added. A track whose keys could
// not be decoded is still returned; it has no keys.
SyncTrack* getTrack(SyncDevice* device, const std::uint8_t* keyData);

// Appends a new, undecoded track of `keyData` to the device's list (which
// moves to a region one entry larger). Returns its index, or -1 with the
// device unchanged when memory cannot be had.
std::int32_t addTrack(SyncDevice* device, const std::uint8_t* keyData);

// Decodes the track's key data into its key array. Returns 0, or -1 when the
// track has no keys (count byte 0, no key data) or no memory for them can be
// had; then `keys` stays null and `keyCount` 0. `device` is not used.
std::int32_t loadTrackKeys(SyncDevice* device, SyncTrack* track);

// Moves a region's contents into a new region of `bytes` bytes: copies the
// smaller of the two region sizes (nothing when `oldRegion` is null) and
// releases the old region. Returns null, the old region untouched, when the
// old region's size cannot be had or the new region cannot be had.
void* growRegion(void* oldRegion, std::size_t bytes, int protection);

// The index of the key at `row`; when no key lies there, -p - 1 where p is
// the number of keys before `row`; -1 for a track without keys.
std::int32_t findKey(const SyncTrack* track, std::int32_t row);

// The track's value at a fractional row: the first key's value before it,
// the last key's value at or after the last key, else the segment's
// interpolation (a type outside 0 to 3 gives 0.0). 0.0 for a null track or
// one without keys.
double getTrackValue(const SyncTrack* track, double row);

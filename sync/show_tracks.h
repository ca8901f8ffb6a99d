// show_tracks.h: the show's 13 tracks, loaded once for whoever shows them.
//
// The show, the tools and the tests all take their tracks from here: one
// sync device, one track per key-data reference in TrackData order, and the
// check that every track decoded the number of keys its key data counts. A
// track that fails that check would evaluate as 0.0 for ever (with `scene`
// at 0.0 the show would never end by itself), so loading stops instead,
// with one line naming the track.
//
// Memory comes from the sync device's page allocator and the show never
// returns it; a program that loads new key data (the studio on every save)
// loads it into a new ShowTracks and releases the old one.
#pragma once

#include <cstdint>
#include <string>

#include "sync/sync.h"
#include "sync/tracks.h"

struct EmbeddedContent;

struct ShowTracks {
    SyncDevice* device;
    SyncTrack* tracks[trackCount];  // track t of TrackData order
};

// Loads the tracks of the 13 key-data references, in TrackData order. On
// failure returns false with one line in *error:
//   "sync: no memory for the sync device"
//   "sync: the content block has no key data for track NAME"
//   "sync: no memory for the keys of track NAME"
bool loadShowTracks(const std::uint8_t* const keyData[trackCount], ShowTracks& tracks,
                    std::string* error);

// The same for the tracks of a content block.
bool loadShowTracks(const EmbeddedContent& content, ShowTracks& tracks, std::string* error);

// Returns the device's pages (its list, every track record and key array)
// to the page allocator and empties `tracks`. The show never calls it; a
// program that loads new key data again and again (the studio) releases
// the tracks it replaced.
void releaseShowTracks(ShowTracks& tracks);

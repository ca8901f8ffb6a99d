// show_tracks.cpp: the sync device and the 13 tracks, checked.
#include "sync/show_tracks.h"

namespace {

bool fail(std::string* error, const std::string& line) {
    if (error) *error = line;
    return false;
}

}  // namespace

bool loadShowTracks(const std::uint8_t* const keyData[trackCount], ShowTracks& tracks,
                    std::string* error) {
    tracks = ShowTracks{};
    tracks.device = createSyncDevice();
    if (tracks.device == nullptr) return fail(error, "sync: no memory for the sync device");
    for (int t = 0; t < trackCount; ++t) {
        if (keyData[t] == nullptr)
            return fail(error, std::string("sync: the content block has no key data for track ") +
                                   trackNames[t]);
        tracks.tracks[t] = getTrack(tracks.device, keyData[t]);
        // The first byte of the key data is the number of keys the track
        // must have; fewer means their memory could not be had.
        if (tracks.tracks[t] == nullptr || tracks.tracks[t]->keyCount != keyData[t][0])
            return fail(error, std::string("sync: no memory for the keys of track ") +
                                   trackNames[t]);
    }
    return true;
}

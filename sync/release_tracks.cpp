// release_tracks.cpp: handing a ShowTracks' pages back. Apart from the
// loader, so that the show, which never releases anything, links none of it.
#include "sync/pages.h"
#include "sync/show_tracks.h"

void releaseShowTracks(ShowTracks& tracks) {
    if (SyncDevice* device = tracks.device) {
        for (std::int32_t i = 0; i < device->trackCount; ++i) {
            releasePages(device->tracks[i]->keys);
            releasePages(device->tracks[i]);
        }
        releasePages(device->tracks);
        releasePages(device);
    }
    tracks = ShowTracks{};
}

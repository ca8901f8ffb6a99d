// content_tracks.cpp: the 13 tracks of a content block. Apart from the
// loader, so that code that loads key data of its own (the edit model, its
// fuzz harness) needs no content block's layout.
#include "sync/content.h"
#include "sync/show_tracks.h"

bool loadShowTracks(const EmbeddedContent& content, ShowTracks& tracks, std::string* error) {
    return loadShowTracks(content.trackKeyData, tracks, error);
}

// loop.cpp: frame pacing with the millisecond carry, and the end-of-show rule.
#include "host/loop.h"

#include <cmath>
#include <limits>

#include "sync/sync.h"

FramePacer startPacer(double now) { return FramePacer{now, 0}; }

bool paceFrame(FramePacer& pacer, double now, bool advanceTime) {
    double elapsedMs = now - pacer.reference;
    // Written so that NaN runs no frame.
    if (!(elapsedMs * 0.001 >= framePeriodSeconds)) return false;

    // Whole milliseconds since the reference. Truncating the millisecond
    // difference itself (rather than seconds x 1000) keeps 41.0 ms from
    // becoming 40.99999 and losing a millisecond to rounding. A gap longer
    // than the show time can count (24 days) is credited up to that limit.
    double whole = std::floor(elapsedMs);
    double room = double(std::numeric_limits<std::int32_t>::max() - pacer.showTime);
    if (whole > room) whole = room;
    std::int32_t credited = std::int32_t(whole);

    pacer.reference += credited;
    if (advanceTime) pacer.showTime += credited;
    return true;
}

float rowAt(std::int32_t showTime) { return float(showTime) * rowsPerMillisecond; }

void evaluateTracks(SyncTrack* const tracks[trackCount], float row, TrackData& values) {
    for (int t = 0; t < trackCount; ++t)
        values.value[t] = float(getTrackValue(tracks[t], double(row)));
}

EndOfShow endOfShow(float scene) {
    // Comparisons with NaN are false: NaN neither stops nor ends anything.
    return EndOfShow{scene > -2.0f && scene < -0.5f, scene < -2.0f};
}

FrameValues frameValuesAt(SyncTrack* const tracks[trackCount], std::int32_t showTime) {
    FrameValues frame{};
    evaluateTracks(tracks, rowAt(showTime), frame.tracks);
    frame.end = endOfShow(frame.tracks.value[scene]);
    return frame;
}

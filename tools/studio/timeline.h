// timeline.h: the timeline's geometry and the music's grid, without a window.
//
// The timeline shows show time from left to right: a view is the show time
// at its left edge and the milliseconds one pixel spans, so a zoom keeps the
// time under the pointer where it is and a pan moves the start. Keys sit on
// rows (the show's rowAt: 24 a second); a key's place is the first show time
// whose row reaches it (rowStart), the time the show first draws it.
//
// The music's grid comes from the score itself: every section starts at its
// row and holds a whole number of beats, so its beats are its start plus
// whole beats, and a bar is four beats from the section's downbeat (the
// score is written in 4/4). Nothing is detected from the sound.
//
// A moved key snaps to the nearest row, or, with a modifier, to the row
// nearest the nearest beat, section start or other key.
//
// The lanes: one per track, in groups (scene; camera position and rotation;
// depth of field; bloom; vignette; blob), stacked from the top of the lane
// area. Hit-testing finds the key nearest a point within a few pixels;
// a box selects every key whose mark lies inside it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "content/score/score.h"
#include "sync/tracks.h"

namespace studio {

// The show time (ms, fractional) at which a row starts, for drawing, and
// the first whole millisecond whose row reaches it (where a key takes hold).
double rowMilliseconds(double row);
std::int32_t keyTime(std::int32_t row);
// The row nearest a show time.
std::int32_t nearestRow(double milliseconds);

struct TimelineView {
    double start = 0.0;        // show time at the left edge (ms)
    double msPerPixel = 50.0;  // zoom
    double left = 0.0;         // the lane area's left edge in window pixels
    double width = 1.0;        // and its width
};

double pixelAt(const TimelineView& view, double milliseconds);
double timeAtPixel(const TimelineView& view, double x);
// Zooms by `factor` (above 1: closer) about window x `x`; the span stays
// between one row across the width and twice the show.
void zoomAbout(TimelineView& view, double x, double factor, double showEnd);
void panBy(TimelineView& view, double pixels, double showEnd);
// The whole show across the width.
void fitAll(TimelineView& view, double showEnd);
// Keeps `milliseconds` in view, paging when it runs off an edge.
void follow(TimelineView& view, double milliseconds, double showEnd);

struct Beat {
    double milliseconds;
    bool bar;      // the first beat of a bar
    bool section;  // the first beat of a section
};
struct Marker {
    std::string name;
    double milliseconds;
    std::int32_t row;
};
struct MusicGrid {
    std::vector<Beat> beats;  // rising
    std::vector<Marker> sections;
};
MusicGrid musicGrid(const score::Score& score);

// The beat or section time before / after `milliseconds` (itself excluded);
// `milliseconds` again when there is none.
double previousBeat(const MusicGrid& grid, double milliseconds);
double nextBeat(const MusicGrid& grid, double milliseconds);
double previousSection(const MusicGrid& grid, double milliseconds);
double nextSection(const MusicGrid& grid, double milliseconds);

enum class Snap { rows, beats, sections, keys };
// The row a key dragged to `milliseconds` lands on. For Snap::keys,
// `otherKeys` are the rows of the keys not being moved.
std::int32_t snapRow(double milliseconds, Snap snap, const MusicGrid& grid,
                     const std::vector<std::int32_t>& otherKeys);

// The lanes, top to bottom.
struct LaneGroup {
    const char* name;
    std::vector<Track> tracks;
};
const std::vector<LaneGroup>& laneGroups();
// Track order of the lanes, and the lane of a track.
const std::vector<Track>& laneOrder();
int laneOf(Track track);

struct LaneLayout {
    double top = 0.0;          // the first lane's top (window pixels)
    double laneHeight = 14.0;  // every lane but the open one
    int open = -1;             // the track opened larger, or -1
    double openHeight = 120.0;
};
// A track's lane, top and bottom; the lane at a y, or -1 (a track index).
void laneSpan(const LaneLayout& layout, Track track, double& top, double& bottom);
int trackAtY(const LaneLayout& layout, double y);
double lanesBottom(const LaneLayout& layout);

// A value's height in a lane that shows [low, high] (top is high), and back.
double valueY(double value, double low, double high, double top, double bottom);
double yValue(double y, double low, double high, double top, double bottom);
// The value range a lane shows for its keys: their lowest and highest
// values, widened a little (and to a unit for a flat track).
void valueRange(const std::vector<float>& values, double& low, double& high);

struct KeyRef {
    Track track;
    std::int32_t row;
    bool operator==(const KeyRef& o) const { return track == o.track && row == o.row; }
    bool operator<(const KeyRef& o) const {
        return track != o.track ? track < o.track : row < o.row;
    }
};
// The keys' rows of every track.
using KeyRows = std::vector<std::int32_t>[trackCount];

// The key whose mark is nearest (x, y) within `radius` pixels, in the lane
// under y; false when none.
bool hitKey(const TimelineView& view, const LaneLayout& layout, const KeyRows& rows, double x,
            double y, double radius, KeyRef& hit);
// Every key whose mark lies inside the box (corners in any order).
std::vector<KeyRef> keysInBox(const TimelineView& view, const LaneLayout& layout,
                              const KeyRows& rows, double x0, double y0, double x1, double y1);

}  // namespace studio

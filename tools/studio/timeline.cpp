// timeline.cpp: view mapping, the score's grid, snapping, lanes and hits.
#include "tools/studio/timeline.h"

#include <algorithm>
#include <cmath>

#include "tools/studio/transport.h"

namespace studio {

namespace {

constexpr double msPerRow = 1000.0 / score::rowsPerSecond;
constexpr int beatsPerBar = 4;

double clampStart(double start, double span, double showEnd) {
    const double margin = span * 0.05;
    return std::clamp(start, -margin, std::max(-margin, showEnd - span + margin));
}

double nearestIn(const std::vector<double>& times, double ms) {
    double best = ms, distance = INFINITY;
    for (double t : times)
        if (std::fabs(t - ms) < distance) {
            distance = std::fabs(t - ms);
            best = t;
        }
    return best;
}

std::vector<double> beatTimes(const MusicGrid& grid) {
    std::vector<double> times;
    for (const Beat& b : grid.beats) times.push_back(b.milliseconds);
    return times;
}

std::vector<double> sectionTimes(const MusicGrid& grid) {
    std::vector<double> times;
    for (const Marker& m : grid.sections) times.push_back(m.milliseconds);
    return times;
}

double before(const std::vector<double>& times, double ms) {
    double found = ms;
    for (double t : times)
        if (t < ms - 1e-6) found = t;
    return found;
}

double after(const std::vector<double>& times, double ms) {
    for (double t : times)
        if (t > ms + 1e-6) return t;
    return ms;
}

}  // namespace

double rowMilliseconds(double row) { return row * msPerRow; }

std::int32_t keyTime(std::int32_t row) { return rowStart(row); }

std::int32_t nearestRow(double milliseconds) {
    return std::int32_t(std::lround(milliseconds / msPerRow));
}

double pixelAt(const TimelineView& v, double ms) { return v.left + (ms - v.start) / v.msPerPixel; }

double timeAtPixel(const TimelineView& v, double x) { return v.start + (x - v.left) * v.msPerPixel; }

void zoomAbout(TimelineView& v, double x, double factor, double showEnd) {
    const double at = timeAtPixel(v, x);
    const double fewest = msPerRow / v.width, most = 2.0 * std::max(showEnd, 1000.0) / v.width;
    v.msPerPixel = std::clamp(v.msPerPixel / factor, fewest, most);
    v.start = clampStart(at - (x - v.left) * v.msPerPixel, v.width * v.msPerPixel, showEnd);
}

void panBy(TimelineView& v, double pixels, double showEnd) {
    v.start = clampStart(v.start + pixels * v.msPerPixel, v.width * v.msPerPixel, showEnd);
}

void fitAll(TimelineView& v, double showEnd) {
    v.msPerPixel = std::max(showEnd, 1000.0) * 1.02 / v.width;
    v.start = -std::max(showEnd, 1000.0) * 0.01;
}

void follow(TimelineView& v, double ms, double showEnd) {
    const double span = v.width * v.msPerPixel;
    if (ms < v.start || ms > v.start + span)
        v.start = clampStart(ms - span * 0.1, span, showEnd);
}

MusicGrid musicGrid(const score::Score& s) {
    MusicGrid grid;
    for (std::size_t i = 0; i < s.sections.size(); ++i) {
        const score::Section& section = s.sections[i];
        const double start = rowMilliseconds(section.row);
        grid.sections.push_back({section.name, start, std::int32_t(section.row)});
        // The last section's beats run to the music's end.
        const double end = i + 1 < s.sections.size() ? rowMilliseconds(s.sections[i + 1].row)
                                                     : std::max(start, s.end * 1000.0);
        const double beat = section.beatLength * 1000.0;
        if (beat <= 0.0) continue;
        for (int k = 0;; ++k) {
            const double at = start + k * beat;
            if (at >= end - 1e-6 && k > 0) break;
            grid.beats.push_back({at, k % beatsPerBar == 0, k == 0});
        }
    }
    return grid;
}

double previousBeat(const MusicGrid& g, double ms) { return before(beatTimes(g), ms); }
double nextBeat(const MusicGrid& g, double ms) { return after(beatTimes(g), ms); }
double previousSection(const MusicGrid& g, double ms) { return before(sectionTimes(g), ms); }
double nextSection(const MusicGrid& g, double ms) { return after(sectionTimes(g), ms); }

std::int32_t snapRow(double ms, Snap snap, const MusicGrid& grid,
                     const std::vector<std::int32_t>& otherKeys) {
    switch (snap) {
        case Snap::rows: break;
        case Snap::beats: ms = nearestIn(beatTimes(grid), ms); break;
        case Snap::sections: ms = nearestIn(sectionTimes(grid), ms); break;
        case Snap::keys: {
            std::vector<double> times;
            for (std::int32_t row : otherKeys) times.push_back(rowMilliseconds(row));
            ms = nearestIn(times, ms);
            break;
        }
    }
    return std::max(0, nearestRow(ms));
}

const std::vector<LaneGroup>& laneGroups() {
    static const std::vector<LaneGroup> groups = {
        {"scene", {scene}},
        {"camera position", {camPosX, camPosY, camPosZ}},
        {"camera rotation", {camRotX, camRotY, camRotZ}},
        {"depth of field", {dofFocusPoint, dofFocusScale}},
        {"bloom", {bloomLuminance}},
        {"vignette", {viggnet}},
        {"blob", {blobPos, blobEffect}},
    };
    return groups;
}

const std::vector<Track>& laneOrder() {
    static const std::vector<Track> order = [] {
        std::vector<Track> tracks;
        for (const LaneGroup& g : laneGroups())
            tracks.insert(tracks.end(), g.tracks.begin(), g.tracks.end());
        return tracks;
    }();
    return order;
}

int laneOf(Track track) {
    const std::vector<Track>& order = laneOrder();
    return int(std::find(order.begin(), order.end(), track) - order.begin());
}

void laneSpan(const LaneLayout& l, Track track, double& top, double& bottom) {
    top = l.top;
    for (Track t : laneOrder()) {
        const double height = int(t) == l.open ? l.openHeight : l.laneHeight;
        if (t == track) {
            bottom = top + height;
            return;
        }
        top += height;
    }
    bottom = top;
}

int trackAtY(const LaneLayout& l, double y) {
    for (Track t : laneOrder()) {
        double top = 0, bottom = 0;
        laneSpan(l, t, top, bottom);
        if (y >= top && y < bottom) return int(t);
    }
    return -1;
}

double lanesBottom(const LaneLayout& l) {
    double top = 0, bottom = 0;
    laneSpan(l, laneOrder().back(), top, bottom);
    return bottom;
}

double valueY(double value, double low, double high, double top, double bottom) {
    const double pad = 2.0;
    return bottom - pad - (value - low) / (high - low) * (bottom - top - 2.0 * pad);
}

double yValue(double y, double low, double high, double top, double bottom) {
    const double pad = 2.0;
    return low + (bottom - pad - y) / (bottom - top - 2.0 * pad) * (high - low);
}

void valueRange(const std::vector<float>& values, double& low, double& high) {
    if (values.empty()) {
        low = -1.0;
        high = 1.0;
        return;
    }
    low = *std::min_element(values.begin(), values.end());
    high = *std::max_element(values.begin(), values.end());
    const double margin = high > low ? (high - low) * 0.08 : 0.5;
    low -= margin;
    high += margin;
}

bool hitKey(const TimelineView& v, const LaneLayout& l, const KeyRows& rows, double x, double y,
            double radius, KeyRef& hit) {
    const int track = trackAtY(l, y);
    if (track < 0) return false;
    double best = radius;
    bool found = false;
    for (std::int32_t row : rows[track]) {
        const double distance = std::fabs(pixelAt(v, rowMilliseconds(row)) - x);
        if (distance <= best) {
            best = distance;
            hit = {Track(track), row};
            found = true;
        }
    }
    return found;
}

std::vector<KeyRef> keysInBox(const TimelineView& v, const LaneLayout& l, const KeyRows& rows,
                              double x0, double y0, double x1, double y1) {
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    std::vector<KeyRef> keys;
    for (Track t : laneOrder()) {
        double top = 0, bottom = 0;
        laneSpan(l, t, top, bottom);
        const double middle = (top + bottom) * 0.5;
        if (middle < y0 || middle > y1) continue;
        for (std::int32_t row : rows[t]) {
            const double x = pixelAt(v, rowMilliseconds(row));
            if (x >= x0 && x <= x1) keys.push_back({t, row});
        }
    }
    return keys;
}

}  // namespace studio

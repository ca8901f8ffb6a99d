// hud.h: what the studio draws over the picture: the heads-up line, the
// timeline under it, and the errors of the sources.
//
// Everything is painted on the processor into one strip of RGBA pixels,
// as wide as the window, with the 3 x 5 bitmap font of tools/common/font.h
// (twice its size; once where the line would not fit), and drawn at the
// window's bottom, over the letterbox bar, by one small program through the
// show's GlFunctions: a full-screen pass whose viewport is the strip, which
// fetches the strip's texels and lets the picture show where they are
// transparent. From the bottom up:
//   - the timeline, 6 pixels high: the whole show, the loop between its
//     marks (brighter while looping), the cuts as ticks, the time as a
//     white bar; a click on it seeks there;
//   - the heads-up line: show time (m:ss.mmm), row, the `scene` value,
//     frame time and frames per second, the loop marks, and what is on
//     (paused, free camera, a scene scale below 1);
//   - the errors, in red, wrapped to the width, at most eight lines.
// The heads-up line and the timeline can be switched off; errors always
// show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/gl.h"
#include "render/resources.h"

namespace studio {

// "m:ss.mmm".
std::string clockText(std::int32_t showTime);

struct HeadsUp {
    std::int32_t time = 0;
    std::int32_t row = 0;
    float scene = 0.0f;
    double frameMilliseconds = 0.0, framesPerSecond = 0.0;
    std::int32_t loopA = -1, loopB = -1;  // -1: unset
    bool looping = false, paused = false, camera = false;
    float sceneScale = 1.0f;
};
std::string headsUpLine(const HeadsUp& h);

struct OverlayContent {
    bool headsUp = true;
    std::string line;
    std::vector<std::string> errors;
    std::int32_t time = 0, end = 0;
    std::vector<std::int32_t> cuts;
    std::int32_t loopA = -1, loopB = -1;
    bool looping = false;
};

// The strip for a window `width` pixels wide: RGBA, top row first; its
// height in *height (0: nothing to draw).
std::vector<std::uint8_t> paintOverlay(const OverlayContent& content, int width, int* height);

// The timeline: whether a point (y from the window's top) is on it, with a
// few pixels to spare, and the show time at x.
bool onTimeline(int y, int windowHeight);
std::int32_t timelineTime(int x, int width, std::int32_t end);

struct Overlay {
    GLuint program = 0;
    TextureBinding strip{};
};
bool createOverlay(const GlFunctions& gl, const char* vertexText, Overlay& overlay,
                   std::string* error);
// Draws the strip at the bottom of the window; leaves the viewport the
// window's.
void drawOverlay(const GlFunctions& gl, Overlay& overlay, const std::vector<std::uint8_t>& rgba,
                 int width, int height, int windowWidth, int windowHeight);

}  // namespace studio

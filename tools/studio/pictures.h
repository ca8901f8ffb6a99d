// pictures.h: the studio's two pictures of the show, the full one and the
// low one drawn while the user is at it.
//
// The full picture is at the window's size; the low one at a fraction of
// it each way (1/4 to start with, down to 1/16 while its pictures take
// longer than the aim, the processor being shared, and larger again when
// they are quick), scaled up when shown. Each is the frame graph's four
// render targets at its size and the output the last pass draws into; a
// picture is drawn by putting its targets in the moment's place and
// drawing the moment as the show does (host/moment.h), so either is the
// show's own picture at its size.
//
// A full picture takes seconds where GL runs on the processor, and GL
// cannot be stopped once asked. With banding on, every pass of a full
// picture is drawn in bands (a scissor each), finished band by band, and
// the picture is given up as soon as `wanted` says that input waits for a
// new one: a drag that begins meanwhile waits for one band, not a frame.
// The show's passes all draw through glDrawArrays of the moment's table;
// banding replaces that one entry in the studio's copy of the table.
#pragma once

#include <cstdint>
#include <string>

#include "host/moment.h"
#include "tools/studio/reload.h"

namespace studio {

// A full picture is drawn in this many bands where it is banded.
inline constexpr int pictureBands = 16;

struct Picture {
    RenderTarget scene{}, bloom{}, bloomSwap{}, dof{}, output{};
    GLint sceneWidth = 0, sceneHeight = 0;
    int width = 0, height = 0;
};

struct Pictures {
    ReleaseFunctions release{};
    float sceneScale = 1.0f;
    Picture full, low;
    int width = 0, height = 0;    // the full picture's, the window's
    int lowStep = 0;              // which of the low sizes
    bool shownFull = false;       // the last picture drawn is the full one
    std::int32_t lastDrawn = -1;  // its show time
    double milliseconds = 0.0;    // how long it took
    int givenUp = 0;  // the bands drawn of the full picture last given up, 0 if it was not
};

// From now on the moment's full pictures are drawn in bands, `wanted`
// asked after each. False when GL lacks a function it needs (the table is
// then as it was).
bool startBanding(GlFunctions& gl, GlLookup lookup, void* context, bool (*wanted)());

// New full and low pictures for a window of width x height; the old ones
// go back. False with one line in *error.
bool makePictures(Pictures& p, ShowMoment& moment, int width, int height, std::string* error);

// The moment at `time` with `tracks` into the full or the low picture. The
// shaders see the clock of the frame drawn before, as in the show; after
// a jump, the frame's own. False when a full picture was given up for
// input (nothing else changes then).
bool drawPicture(Pictures& p, ShowMoment& moment, const TrackData& tracks, std::int32_t time,
                 bool full, std::string* error);

// The picture shown: the full one when the last drawn was full.
const Picture& shownPicture(const Pictures& p);

void releasePictures(Pictures& p);

}  // namespace studio

// picture.h: frames of the show at chosen moments as 8-bit pictures, kept
// together in one PNG, and how far two pictures of the same moment differ.
//
// A moment is drawn the way ostrel-sheet draws it: the tracks evaluated at
// the time's row, the shipped tweak settings (depth of field as asked), the
// clock T0 set to the time itself, and the final pass's colour clamped to
// [0, 1] and rounded to 8 bits; a value that is not a number turns magenta.
//
// A frame file is a PNG (libpng, compressed) with its frames stacked from
// top to bottom; text chunks hold their show times and the depth-of-field
// setting, so that a file says which moments it holds.
//
// The code uses only what every revision of the render pipeline offers
// (createRenderResources, renderFrame, the sync device), so that the same
// source can draw reference frames with an older revision of the show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace picture {

struct Frames {
    int width = 0, height = 0;
    bool dof = true;
    std::vector<int> times;                       // show times in ms, one per frame
    std::vector<std::vector<std::uint8_t>> rgb;   // per frame, rows top to bottom
    // What draw took on the wall clock, each part finished on the GPU:
    // createRenderResources, and the first frame (programs are compiled to
    // machine code at their first draw on a software rasteriser).
    double startupMs = 0.0, firstFrameMs = 0.0;
};

// Every `every` ms from 0 to the show's last frame (the first whose scene
// value is below -2), as ostrel-sheet spaces its frames.
bool wholeShow(int every, std::vector<int>& times, std::string* error);

// Show times written as "0,2000,4000" (milliseconds, at least one).
bool parseTimes(const char* text, std::vector<int>& times);

// Draws frames.times at frames.width x frames.height with frames.dof into
// frames.rgb, through the show's own render pipeline on a headless context.
// Once per process: the pipeline's resources are made for one size.
bool draw(Frames& frames, std::string* error);

bool write(const std::string& path, const Frames& frames, std::string* error);
bool read(const std::string& path, Frames& frames, std::string* error);

// Per channel, in steps of 1/255.
struct Difference {
    double within;  // share of pixels whose three channels are all within 2
    double mean;    // mean absolute difference over every channel
    int largest;
};

Difference compare(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);

// The same picture: at least 99 % of the pixels within 2/255 in every
// channel, and a mean absolute difference of at most 0.5/255.
bool alike(const Difference& d);

}  // namespace picture

// font.h: a 3 x 5 bitmap font for text drawn into pixels.
//
// Every printable ASCII character (space to '~') has a glyph of five rows
// of three pixels; lower-case letters sit in the lower four rows where they
// can. A character advances four pixels (one blank column), a line is six
// rows high; both scale with the text. Characters outside printable ASCII
// draw nothing but still advance, so a column of text stays in place.
//
// Drawing goes into a plain block of 8-bit pixels with any number of
// channels (RGB for the contact sheet, RGBA for the studio's heads-up
// line), clipped to the block.
#pragma once

#include <cstdint>
#include <string>

namespace font {

inline constexpr int glyphWidth = 3, glyphHeight = 5;
inline constexpr int advance = 4, lineHeight = 6;

// The five rows of a character's glyph, top first, the left pixel in the
// bit of value 4; null for a character that has none.
const std::uint8_t* glyph(char c);

// A block of pixels, top row first, `channels` bytes a pixel.
struct Pixels {
    std::uint8_t* data;
    int width, height, channels;
};

// Fills a rectangle with `colour` (one byte per channel).
void fill(Pixels& pixels, int x, int y, int width, int height, const std::uint8_t* colour);

// Draws text with its top-left corner at (x, y), each font pixel `scale` x
// `scale`; returns the x after the last character.
int text(Pixels& pixels, int x, int y, const std::string& text, int scale,
         const std::uint8_t* colour);

// The width the text takes at `scale`, the last character's blank column
// left out.
int textWidth(const std::string& text, int scale);

}  // namespace font

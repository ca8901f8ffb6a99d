// picture.h: frames of the show at chosen moments as 8-bit pictures, kept
// together in one PNG, and how far two pictures of the same moment differ.
//
// A moment is drawn by the show-at-a-moment helper (host/moment.h) as the
// contact sheet draws it: the clock T0 set to the time itself, the shipped
// tweak settings with depth of field as asked, the 8-bit colours of
// momentToRgb. A frame file holds frames of one size stacked from top to
// bottom in the order of their show times, and says in its PNG comment
// what they were drawn with: "ostrel-frames 128x96 dof 1 times 0,2000,...".
// A file without that comment (one cut from a contact sheet, or older)
// leaves the times to the reader (by default the contact sheet's: every
// 2 s of the whole show).
//
// A contact sheet drawn with one column (ostrel-sheet --columns 1) holds the
// same frames with their time labels between them; fromSheet cuts them out,
// so that a revision without this code gives reference frames through its
// own ostrel-sheet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace picture {

struct Frames {
    int width = 0, height = 0;
    int dof = -1;                     // as drawn: 0 or 1; -1 where not known
    std::vector<std::int64_t> times;  // as drawn; empty where not known
    std::vector<std::vector<std::uint8_t>> rgb;  // per frame, RGB rows top to bottom
};

// Every 2 s from 0 to the show's last frame, as the contact sheet spaces
// them. False with one line in *error when the tracks do not load.
bool defaultTimes(std::vector<std::int64_t>& times, std::string* error);

// Draws the moments at `times` (when empty: defaultTimes, the times then
// filled in) at width x height, depth of field off (0), on (1) or as the
// tweak settings say (-1). Once per process.
bool draw(int width, int height, int dof, std::vector<std::int64_t>& times, Frames& frames,
          std::string* error);

// With the comment that says what the frames were drawn with, when known.
bool write(const std::string& path, const Frames& frames, std::string* error);

// A frame file of frames `width` pixels wide and `height` high (its
// comment, if any, gives times and dof).
bool read(const std::string& path, int width, int height, Frames& frames, std::string* error);
// A frame file whose comment says its size, times and depth of field:
// true with all of them; false with *error empty when the file has no such
// comment, or with the reason when it cannot be read.
bool readDescribed(const std::string& path, Frames& frames, std::string* error);

// The frames of a one-column contact sheet of frames width x height.
bool fromSheet(const std::string& path, int width, int height, Frames& frames,
               std::string* error);

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

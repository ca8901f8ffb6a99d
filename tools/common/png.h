// png.h: 8-bit RGB images to and from PNG files, through libpng.
//
// The tools write what they draw (contact sheets, captured frames) as
// compressed PNG, and the tests read such files back. Only 8-bit images are
// read: RGB as it is, RGBA with its alpha dropped, grey widened to RGB.
//
// Limits: the whole image is held in memory; sides up to 65535 pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace png {

// Writes width x height pixels of rgb (3 bytes a pixel, rows top to bottom)
// to path. False, with one line in *error, when the size does not match the
// pixels or the file cannot be written.
bool write(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb,
           std::string* error);

// Reads an 8-bit PNG file into rgb. False, with one line in *error, when the
// file cannot be read, is no such PNG, or claims a side beyond what write
// allows; with expectWidth and expectHeight, also when its header claims
// another size, before anything is allocated for the pixels. Once the header
// is read, width and height hold what it claims (0 before).
bool read(const std::string& path, int& width, int& height, std::vector<std::uint8_t>& rgb,
          std::string* error, int expectWidth = 0, int expectHeight = 0);

}  // namespace png

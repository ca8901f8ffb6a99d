// png.h: writing an 8-bit RGB image as a PNG file, with no library.
//
// The image data is stored, not compressed: zlib's "stored" deflate blocks
// (at most 65535 bytes each) with the Adler-32 of the filtered rows, and
// every chunk carries its CRC-32. Each row starts with filter type 0 (none).
// Files are about three bytes a pixel; that is the price of needing nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace png {

// CRC-32 (polynomial 0xEDB88320) of bytes, continuing from crc (0 to start).
std::uint32_t crc32(const std::uint8_t* bytes, std::size_t count, std::uint32_t crc = 0);

// Adler-32 of bytes (1 to start).
std::uint32_t adler32(const std::uint8_t* bytes, std::size_t count, std::uint32_t adler = 1);

// The whole file for width x height pixels of rgb (3 bytes a pixel, rows top
// to bottom). Empty when the size is not positive or does not match.
std::vector<std::uint8_t> encode(int width, int height, const std::vector<std::uint8_t>& rgb);

// Writes encode's result to path; false with a message in *error on failure.
bool write(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb,
           std::string* error);

}  // namespace png

// colour.h: the captured frames' pixels as video: BT.709, limited range,
// 4:2:0.
//
// A frame arrives as 8-bit RGB (top row first), the same values a PNG of
// the frame holds. Video takes Y'CbCr: Y' = 0.2126 R + 0.7152 G + 0.0722 B,
// Cb = (B - Y') / 1.8556, Cr = (R - Y') / 1.5748, stored in the limited
// range (Y' 16 to 235, Cb and Cr 16 to 240 around 128), with one Cb and one
// Cr for each 2 x 2 block of pixels, from the block's mean colour (sited at
// the block's centre). An odd width or height gives the last column or row
// a chroma sample of its own (1 x 2, 2 x 1 or 1 x 1 pixels). A player that
// reads the stream as BT.709 limited range shows what the PNG shows, up to
// the rounding and the shared chroma.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of one 4:2:0 frame: the Y' plane, then Cb, then Cr.
std::size_t yuv420Bytes(int width, int height);

// Converts rgb (width x height x 3 bytes) into yuv (yuv420Bytes).
void rgbToYuv420(const std::uint8_t* rgb, int width, int height, std::uint8_t* yuv);

// The contact sheet's PNG writer: checksums against their published check
// values, and a written file read back by a small reader of stored blocks.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tools/png.h"

namespace {

std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 |
           std::uint32_t(b[at + 2]) << 8 | std::uint32_t(b[at + 3]);
}

TEST(SheetPng, ChecksumsMatchTheirCheckValues) {
    const char* digits = "123456789";
    EXPECT_EQ(png::crc32(reinterpret_cast<const std::uint8_t*>(digits), 9), 0xCBF43926u);
    const char* word = "Wikipedia";
    EXPECT_EQ(png::adler32(reinterpret_cast<const std::uint8_t*>(word), 9), 0x11E60398u);
    // Continuing a checksum over a split input gives the whole one.
    const auto* d = reinterpret_cast<const std::uint8_t*>(digits);
    EXPECT_EQ(png::crc32(d + 4, 5, png::crc32(d, 4)), 0xCBF43926u);
    EXPECT_EQ(png::adler32(d + 4, 5, png::adler32(d, 4)), png::adler32(d, 9));
}

TEST(SheetPng, AFileReadsBackToItsPixels) {
    // 200 x 120 pixels: 72 120 bytes of rows, more than one stored block.
    const int w = 200, h = 120;
    std::vector<std::uint8_t> rgb(std::size_t(w * h * 3));
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = std::uint8_t(i * 7 + i / 601);
    std::vector<std::uint8_t> file = png::encode(w, h, rgb);
    ASSERT_GT(file.size(), 8u);
    const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_EQ(std::memcmp(file.data(), signature, 8), 0);

    std::vector<std::string> order;
    std::vector<std::uint8_t> idat;
    for (std::size_t at = 8; at < file.size();) {
        ASSERT_LE(at + 12, file.size());
        const std::uint32_t length = get32(file, at);
        const std::string type(file.begin() + long(at) + 4, file.begin() + long(at) + 8);
        ASSERT_LE(at + 12 + length, file.size());
        EXPECT_EQ(get32(file, at + 8 + length), png::crc32(&file[at + 4], length + 4)) << type;
        order.push_back(type);
        if (type == "IHDR") {
            EXPECT_EQ(get32(file, at + 8), std::uint32_t(w));
            EXPECT_EQ(get32(file, at + 12), std::uint32_t(h));
            EXPECT_EQ(file[at + 16], 8);  // bits per channel
            EXPECT_EQ(file[at + 17], 2);  // RGB
        }
        if (type == "IDAT") idat.insert(idat.end(), &file[at + 8], &file[at + 8] + length);
        at += 12 + length;
    }
    EXPECT_EQ(order, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

    // The zlib stream: header, stored blocks (each with its length and the
    // length's complement), the last one flagged, then Adler-32.
    ASSERT_GE(idat.size(), 6u);
    EXPECT_EQ((idat[0] * 256 + idat[1]) % 31, 0);
    std::vector<std::uint8_t> raw;
    std::size_t at = 2;
    int blocks = 0;
    bool last = false;
    while (!last) {
        ASSERT_LE(at + 5, idat.size());
        last = idat[at] & 1;
        EXPECT_EQ(idat[at] >> 1, 0);  // stored
        const unsigned n = idat[at + 1] | idat[at + 2] << 8;
        const unsigned complement = idat[at + 3] | idat[at + 4] << 8;
        EXPECT_EQ(n ^ 0xFFFFu, complement);
        ASSERT_LE(at + 5 + n, idat.size());
        raw.insert(raw.end(), &idat[at + 5], &idat[at + 5] + n);
        at += 5 + n;
        ++blocks;
    }
    EXPECT_GT(blocks, 1);
    ASSERT_EQ(at + 4, idat.size());
    EXPECT_EQ(get32(idat, at), png::adler32(raw.data(), raw.size()));

    // Each row: filter 0, then the row's pixels.
    ASSERT_EQ(raw.size(), std::size_t(h * (1 + w * 3)));
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = &raw[std::size_t(y * (1 + w * 3))];
        ASSERT_EQ(row[0], 0) << "row " << y;
        ASSERT_EQ(std::memcmp(row + 1, &rgb[std::size_t(y * w * 3)], std::size_t(w * 3)), 0)
            << "row " << y;
    }

    // Sizes that do not match the pixels give no file.
    EXPECT_TRUE(png::encode(w, h + 1, rgb).empty());
    EXPECT_TRUE(png::encode(0, 0, {}).empty());
}

}  // namespace

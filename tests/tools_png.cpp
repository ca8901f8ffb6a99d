// PNG files of the tools: what is written reads back to its pixels, is
// really compressed, and a file that cannot be written is refused; a
// header that claims too much, or another size than the one expected, is
// refused before its pixels are allocated.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/png_header.h"
#include "tools/common/png.h"

namespace {

TEST(ToolsPng, AnImageReadsBackAndIsCompressed) {
    // A smooth gradient with a noisy band: rows that compress and rows that
    // do not, both exact after the round trip.
    const int w = 300, h = 200;
    std::vector<std::uint8_t> rgb(std::size_t(w * h * 3));
    std::uint32_t noise = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                noise = noise * 1664525u + 1013904223u;
                rgb[std::size_t((y * w + x) * 3 + c)] =
                    y > 90 && y < 110 ? std::uint8_t(noise >> 24) : std::uint8_t(x + y * c);
            }
    const std::string path = ::testing::TempDir() + "ostrel-png-test.png";
    std::string error;
    ASSERT_TRUE(png::write(path, w, h, rgb, &error)) << error;

    int rw = 0, rh = 0;
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(png::read(path, rw, rh, back, &error)) << error;
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
    EXPECT_TRUE(back == rgb);

    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, 0, SEEK_END);
    const long bytes = std::ftell(file);
    std::fclose(file);
    EXPECT_LT(bytes, long(rgb.size() / 4)) << "the gradient rows should compress";
    std::remove(path.c_str());
}

TEST(ToolsPng, RefusesWhatCannotBeWrittenOrRead) {
    std::string error;
    const std::vector<std::uint8_t> four(4 * 4 * 3, 128);
    EXPECT_FALSE(png::write(::testing::TempDir() + "no/such/folder/x.png", 4, 4, four, &error));
    EXPECT_NE(error.find("x.png"), std::string::npos) << error;
    EXPECT_FALSE(png::write(::testing::TempDir() + "wrong.png", 4, 5, four, &error));
    EXPECT_NE(error.find("not 4 x 5 RGB pixels"), std::string::npos) << error;
    EXPECT_FALSE(png::write("/dev/full", 4, 4, four, &error)) << "a full disk must show";

    const std::string text = ::testing::TempDir() + "ostrel-not-a.png";
    std::FILE* file = std::fopen(text.c_str(), "wb");
    std::fputs("this is no image", file);
    std::fclose(file);
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgb;
    EXPECT_FALSE(png::read(text, w, h, rgb, &error));
    EXPECT_NE(error.find("not a PNG file"), std::string::npos) << error;
    std::remove(text.c_str());
}

TEST(ToolsPng, AHeaderClaimingTooMuchOrAnotherSizeIsRefusedBeforeAllocating) {
    const std::string path = ::testing::TempDir() + "ostrel-png-claims.png";
    std::string error;
    ASSERT_TRUE(png::write(path, 8, 4, std::vector<std::uint8_t>(8 * 4 * 3, 9), &error)) << error;
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgb;
    ASSERT_TRUE(png::read(path, w, h, rgb, &error, 8, 4)) << error;

    // About 10^6 x 10^6: beyond every side write allows, so never allocated.
    ASSERT_TRUE(claimPngSize(path, 1000000, 1000000));
    EXPECT_FALSE(png::read(path, w, h, rgb, &error));
    EXPECT_NE(error.find("ostrel-png-claims.png: "), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    // 40000 x 30000 is within the limits (3.6 GB of pixels): refused by the
    // size expected, with the size claimed.
    ASSERT_TRUE(claimPngSize(path, 40000, 30000));
    EXPECT_FALSE(png::read(path, w, h, rgb, &error, 8, 4));
    EXPECT_NE(error.find("the image is 40000 x 30000, not 8 x 4"), std::string::npos) << error;
    EXPECT_EQ(w, 40000);
    EXPECT_EQ(h, 30000);
    std::remove(path.c_str());
}

}  // namespace

// The show's picture against reference frames: every 2 s of the whole show
// at 128 x 96 with depth of field, drawn now by the show's own render
// pipeline, must be the same picture as the frames in
// tests/picture/show-128x96.png (tests/picture/README.md says how they were
// made): in each frame at least 99 % of the pixels within 2/255 in every
// channel, and a mean absolute difference of at most 0.5/255. A faster
// shader or pass that changes what is shown fails here.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/png.h"
#include "tools/picture.h"

namespace {

TEST(ShowPicture, EveryTwoSecondsOfTheShowLookAsInTheReferenceFrames) {
    picture::Frames reference, drawn;
    std::string error;
    ASSERT_TRUE(picture::read(OSTREL_SOURCE_DIR "/tests/picture/show-128x96.png", 128, 96,
                              reference, &error))
        << error;
    std::vector<std::int64_t> times;  // the whole show, as the contact sheet spaces it
    ASSERT_TRUE(picture::draw(128, 96, 1, times, drawn, &error)) << error;
    ASSERT_EQ(times.size(), 51u);
    ASSERT_EQ(reference.rgb.size(), times.size());
    for (std::size_t i = 0; i < times.size(); ++i) {
        const picture::Difference d = picture::compare(reference.rgb[i], drawn.rgb[i]);
        EXPECT_TRUE(picture::alike(d))
            << "at " << times[i] << " ms: " << 100.0 * d.within
            << " % of the pixels within 2/255, mean difference " << d.mean << "/255, largest "
            << d.largest << "/255";
    }
}

// Pictures of 100 pixels in one grey, and what makes them differ.
std::vector<std::uint8_t> grey(std::uint8_t v) { return std::vector<std::uint8_t>(300, v); }

TEST(ShowPicture, TheSamePictureAllowsAFewPixelsOffOrAllSlightlyOff) {
    const std::vector<std::uint8_t> a = grey(100);
    std::vector<std::uint8_t> b = a;
    EXPECT_TRUE(picture::alike(picture::compare(a, b)));

    b[4] = 103;  // one pixel in a hundred off by 3 in one channel
    picture::Difference d = picture::compare(a, b);
    EXPECT_DOUBLE_EQ(d.within, 0.99);
    EXPECT_EQ(d.largest, 3);
    EXPECT_TRUE(picture::alike(d));
    b[7] = 97;  // a second one: 98 %
    EXPECT_FALSE(picture::alike(picture::compare(a, b)));

    // Every channel of every pixel off by 1: within 2/255 everywhere, but a
    // mean of 1/255 is too much; off by 2 in a quarter of them is a mean of
    // 0.5/255, still the same picture.
    EXPECT_FALSE(picture::alike(picture::compare(a, grey(101))));
    b = a;
    for (std::size_t i = 0; i < b.size(); i += 4) b[i] = 102;
    d = picture::compare(a, b);
    EXPECT_DOUBLE_EQ(d.within, 1.0);
    EXPECT_DOUBLE_EQ(d.mean, 0.5);
    EXPECT_TRUE(picture::alike(d));

    // Pictures of different sizes are not the same picture.
    EXPECT_FALSE(picture::alike(picture::compare(a, std::vector<std::uint8_t>(297, 100))));
}

TEST(ShowPicture, FrameFilesAndContactSheetsGiveBackTheirFrames) {
    picture::Frames frames;
    frames.width = 3;
    frames.height = 2;
    for (int f = 0; f < 3; ++f) {
        std::vector<std::uint8_t> rgb(18);
        for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = std::uint8_t(f * 50 + int(i));
        frames.rgb.push_back(rgb);
    }
    const std::string path = ::testing::TempDir() + "ostrel-frames-roundtrip.png";
    std::string error;
    ASSERT_TRUE(picture::write(path, frames, &error)) << error;
    picture::Frames back;
    ASSERT_TRUE(picture::read(path, 3, 2, back, &error)) << error;
    EXPECT_EQ(back.rgb, frames.rgb);
    // Read as frames of another size, the file is refused.
    EXPECT_FALSE(picture::read(path, 3, 4, back, &error));
    EXPECT_NE(error.find("holds no frames of 3 x 4"), std::string::npos) << error;

    // A one-column contact sheet of two 4 x 3 frames: a gap of 2 around
    // and between the cells, under each frame a label band 11 high (font
    // scale 1 below a frame width of 160). Grey 24 outside the frames.
    const int w = 4 + 4, h = 2 + 2 * (3 + 11 + 2);
    std::vector<std::uint8_t> sheet(std::size_t(w * h * 3), 24);
    for (int f = 0; f < 2; ++f)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                for (int c = 0; c < 3; ++c)
                    sheet[std::size_t(((2 + f * 16 + y) * w + 2 + x) * 3 + c)] =
                        std::uint8_t(100 + f * 50 + y * 4 + x);
    ASSERT_TRUE(png::write(path, w, h, sheet, &error)) << error;
    ASSERT_TRUE(picture::fromSheet(path, 4, 3, back, &error)) << error;
    ASSERT_EQ(back.rgb.size(), 2u);
    for (int f = 0; f < 2; ++f) {
        EXPECT_EQ(back.rgb[std::size_t(f)][0], 100 + f * 50) << f;                  // top left
        EXPECT_EQ(back.rgb[std::size_t(f)][35], 100 + f * 50 + 2 * 4 + 3) << f;     // bottom right
    }
    // Frames of another size do not fit the layout.
    EXPECT_FALSE(picture::fromSheet(path, 4, 4, back, &error));
    EXPECT_NE(error.find("no one-column contact sheet"), std::string::npos) << error;
    std::remove(path.c_str());
}

}  // namespace

// The show's picture against reference frames: every 2 s of the whole show
// at 128 x 96 with depth of field, drawn now by the show's own render
// pipeline, must be the same picture as the frames in
// tests/picture/show-128x96.png (tests/picture/README.md says how they were
// made): in each frame at least 99 % of the pixels within 2/255 in every
// channel, and a mean absolute difference of at most 0.5/255. A faster
// shader or pass that changes what is shown fails here.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/picture.h"
#include "tools/png.h"

namespace {

const char* const kReference = OSTREL_SOURCE_DIR "/tests/picture/show-128x96.png";

TEST(ShowPicture, EveryTwoSecondsOfTheShowLookAsInTheReferenceFrames) {
    picture::Frames reference, drawn;
    std::string error;
    ASSERT_TRUE(picture::read(kReference, reference, &error)) << error;
    std::vector<int> sheet;
    ASSERT_TRUE(picture::wholeShow(2000, sheet, &error)) << error;
    // The reference holds the contact sheet's moments of the whole show.
    EXPECT_EQ(reference.times, sheet);
    EXPECT_EQ(reference.width, 128);
    EXPECT_EQ(reference.height, 96);
    EXPECT_TRUE(reference.dof);

    drawn.width = reference.width;
    drawn.height = reference.height;
    drawn.dof = reference.dof;
    drawn.times = reference.times;
    ASSERT_TRUE(picture::draw(drawn, &error)) << error;
    ASSERT_EQ(drawn.rgb.size(), reference.rgb.size());
    for (std::size_t i = 0; i < reference.rgb.size(); ++i) {
        const picture::Difference d = picture::compare(reference.rgb[i], drawn.rgb[i]);
        EXPECT_TRUE(picture::alike(d))
            << "at " << reference.times[i] << " ms: " << 100.0 * d.within
            << " % of the pixels within 2/255, mean difference " << d.mean
            << "/255, largest " << d.largest << "/255";
    }
}

// Two 10 x 10 pictures of one grey, and what makes them differ.
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

    // Every channel of every pixel off by 1 (or by 2 in half of them):
    // within 2/255 everywhere, but a mean of 1/255 is too much.
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

TEST(ShowPicture, AFrameFileKeepsItsFramesTimesAndSetting) {
    picture::Frames frames;
    frames.width = 3;
    frames.height = 2;
    frames.dof = false;
    frames.times = {0, 2000, 98000};
    for (int f = 0; f < 3; ++f) {
        std::vector<std::uint8_t> rgb(18);
        for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = std::uint8_t(f * 50 + int(i));
        frames.rgb.push_back(rgb);
    }
    const std::string path = ::testing::TempDir() + "ostrel-frames-roundtrip.png";
    std::string error;
    ASSERT_TRUE(picture::write(path, frames, &error)) << error;
    picture::Frames back;
    ASSERT_TRUE(picture::read(path, back, &error)) << error;
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_FALSE(back.dof);
    EXPECT_EQ(back.times, frames.times);
    EXPECT_EQ(back.rgb, frames.rgb);

    // A PNG without the show times (a contact sheet, say) is no frame file.
    ASSERT_TRUE(png::write(path, 3, 6, std::vector<std::uint8_t>(54, 7), &error)) << error;
    EXPECT_FALSE(picture::read(path, back, &error));
    EXPECT_NE(error.find("no frame file"), std::string::npos) << error;
    EXPECT_FALSE(picture::read(path + ".missing", back, &error));
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
    std::remove(path.c_str());
}

}  // namespace

// The capture's pure parts: the frame plan on the show's own tracks, the
// sound cut from a soundtrack image, BT.709 colour and the output names.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/moment.h"
#include "sync/content.h"
#include "sync/wave.h"
#include "tools/capture/colour.h"
#include "tools/capture/output.h"
#include "tools/capture/plan.h"
#include "tools/capture/sound.h"

namespace {

FramePlan planOf(const PlanRequest& request, std::string* why = nullptr) {
    static ShowTracks tracks;
    static bool loaded = loadShowTracks(ostrelContent, tracks, nullptr);
    EXPECT_TRUE(loaded);
    FramePlan plan{};
    std::string ignored;
    EXPECT_EQ(planFrames(tracks.tracks, request, plan, why ? why : &ignored), why == nullptr)
        << (why ? *why : ignored);
    return plan;
}

TEST(CapturePlan, TheWholeShowEndsOnTheShowsLastFrameAtEveryRate) {
    for (int fps : {15, 24, 30, 60}) {
        PlanRequest request;
        request.fps = fps;
        const FramePlan plan = planOf(request);
        // The show ends with the first frame at or after 101334 ms (row 2432).
        EXPECT_GE(frameTime(fps, plan.end), 101334) << fps;
        EXPECT_LT(frameTime(fps, plan.end - 1), 101334) << fps;
        EXPECT_EQ(plan.first, 0);
        EXPECT_EQ(plan.last, plan.end);
        const double seconds = double(plan.last + 1) / fps;
        EXPECT_GE(seconds, 101.3) << fps;
        EXPECT_LE(seconds, 101.5) << fps;
        // The soundtrack stops from the first frame at or after 100334 ms.
        EXPECT_GE(frameTime(fps, plan.stop), 100334) << fps;
        EXPECT_LT(frameTime(fps, plan.stop - 1), 100334) << fps;
    }
    EXPECT_EQ(frameTime(60, 1), 16);  // a steady 60 fps credits 16 or 17 ms a frame
    EXPECT_EQ(frameTime(60, 2), 33);
    EXPECT_EQ(frameClock(60, 2), 16);  // the shaders see the frame before's clock
    EXPECT_EQ(frameClock(60, 0), 0);
    EXPECT_EQ(frameSample(24, 24), 44100);  // 1837.5 samples a frame, none lost
    EXPECT_EQ(frameSample(24, 1), 1837);
}

TEST(CapturePlan, PartsByTimeOrByNumberAndWhatIsRefused) {
    PlanRequest request;
    request.fps = 10;
    request.from = 40000;
    request.to = 42000;
    FramePlan plan = planOf(request);
    EXPECT_EQ(plan.first, 400);
    EXPECT_EQ(plan.last, 419);  // 42000 itself is left out: 2 s, 20 frames

    request.fps = 30;
    request.from = 1010;  // between frames 30 (1000 ms) and 31 (1033 ms)
    request.to = 1034;
    plan = planOf(request);
    EXPECT_EQ(plan.first, 31);
    EXPECT_EQ(plan.last, 31);

    request = PlanRequest{};
    request.fps = 30;
    request.firstFrame = 3000;
    request.lastFrame = 9999;  // past the end: the part ends with the show
    plan = planOf(request);
    EXPECT_EQ(plan.first, 3000);
    EXPECT_EQ(plan.last, 3041);

    std::string why;
    request.firstFrame = 3042;
    planOf(request, &why);
    EXPECT_NE(why.find("last frame at 30 fps is frame 3041"), std::string::npos) << why;
    request = PlanRequest{};
    request.fps = 30;
    request.from = 1010;
    request.to = 1020;  // no frame between
    planOf(request, &why);
    EXPECT_NE(why.find("no frame"), std::string::npos) << why;
}

// A WAVE image of `frames` stereo samples whose left channel counts up.
std::vector<std::uint8_t> countingWave(std::int64_t frames) {
    std::vector<std::uint8_t> data(std::size_t(frames) * 4u);
    for (std::int64_t i = 0; i < frames; ++i) {
        data[std::size_t(i) * 4u] = std::uint8_t(i);
        data[std::size_t(i) * 4u + 1] = std::uint8_t(i >> 8);
        data[std::size_t(i) * 4u + 2] = 7;
    }
    return waveOfSound(data);
}

TEST(CaptureSound, TheFramesSamplesThenSilencePastTheDataAndTheStop) {
    const std::vector<std::uint8_t> image = countingWave(10000);
    WaveFormat format;
    const char* why = nullptr;
    ASSERT_TRUE(readWave(image.data(), image.size(), format, &why)) << why;
    EXPECT_TRUE(isShowFormat(format));
    EXPECT_EQ(format.sampleBytes, 40000u);

    // 10 fps: frame i starts at sample 4410 i. Frames 1-2 end at 13230,
    // past the image's 10000 samples; the stop at frame 3 is past them too.
    FramePlan plan{10, 1, 2, 5, 3};
    std::vector<std::uint8_t> sound;
    std::string error;
    ASSERT_TRUE(soundOfFrames(plan, image.data(), image.size(), sound, &error)) << error;
    ASSERT_EQ(sound.size(), 8820u * 4u);
    EXPECT_EQ(sound[0] | sound[1] << 8, 4410);
    EXPECT_EQ(sound[2], 7);
    EXPECT_EQ(sound[(9999 - 4410) * 4] | sound[(9999 - 4410) * 4 + 1] << 8, 9999);
    EXPECT_EQ(sound[(10000 - 4410) * 4 + 2], 0);

    plan = FramePlan{10, 0, 1, 5, 1};  // stopped from frame 1 on
    ASSERT_TRUE(soundOfFrames(plan, image.data(), image.size(), sound, &error)) << error;
    EXPECT_EQ(sound[4409 * 4 + 2], 7);
    EXPECT_EQ(sound[4410 * 4 + 2], 0);

    std::vector<std::uint8_t> mono = image;
    mono[58] = 1;  // channels (after RIFF, the 28-byte JUNK chunk and fmt's tag)
    EXPECT_FALSE(soundOfFrames(plan, mono.data(), mono.size(), sound, &error));
    EXPECT_NE(error.find("not 16-bit stereo"), std::string::npos) << error;
}

TEST(CaptureColour, Bt709LimitedRangeWithTheBlocksMeanChroma) {
    struct Case {
        std::uint8_t r, g, b, y, cb, cr;
    };
    // BT.709 limited-range values of the colour bars.
    const Case cases[] = {{0, 0, 0, 16, 128, 128},     {255, 255, 255, 235, 128, 128},
                          {255, 0, 0, 63, 102, 240},   {0, 255, 0, 173, 42, 26},
                          {0, 0, 255, 32, 240, 118},   {128, 128, 128, 126, 128, 128}};
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> rgb = {c.r, c.g, c.b, c.r, c.g, c.b,
                                               c.r, c.g, c.b, c.r, c.g, c.b};
        std::vector<std::uint8_t> yuv(yuv420Bytes(2, 2));
        ASSERT_EQ(yuv.size(), 6u);
        rgbToYuv420(rgb.data(), 2, 2, yuv.data());
        EXPECT_EQ(yuv[0], c.y) << int(c.r) << " " << int(c.g) << " " << int(c.b);
        EXPECT_EQ(yuv[3], c.y);
        EXPECT_EQ(yuv[4], c.cb);
        EXPECT_EQ(yuv[5], c.cr);
    }
    // 3 x 3: a red block, a blue column beside it, a green row below it; the
    // last column and row have chroma of their own.
    std::vector<std::uint8_t> rgb(27, 0);
    auto set = [&](int x, int y, int r, int g, int b) {
        rgb[std::size_t((y * 3 + x) * 3)] = std::uint8_t(r);
        rgb[std::size_t((y * 3 + x) * 3 + 1)] = std::uint8_t(g);
        rgb[std::size_t((y * 3 + x) * 3 + 2)] = std::uint8_t(b);
    };
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            set(x, y, x < 2 && y < 2 ? 255 : 0, y == 2 ? 255 : 0, x == 2 && y < 2 ? 255 : 0);
    std::vector<std::uint8_t> yuv(yuv420Bytes(3, 3));
    ASSERT_EQ(yuv.size(), 9u + 8u);
    rgbToYuv420(rgb.data(), 3, 3, yuv.data());
    const std::uint8_t* cb = yuv.data() + 9;
    const std::uint8_t* cr = cb + 4;
    EXPECT_EQ(cb[0], 102);  // red
    EXPECT_EQ(cr[0], 240);
    EXPECT_EQ(cb[1], 240);  // blue
    EXPECT_EQ(cb[2], 42);   // green
    EXPECT_EQ(cr[3], 26);   // the green corner pixel alone
}

TEST(CaptureOutputNames, KindsPatternsAndRefusals) {
    OutputName name;
    std::string why;
    ASSERT_TRUE(parseOutputName("out/show.mp4", name, &why));
    EXPECT_EQ(name.kind, OutputKind::mp4);
    ASSERT_TRUE(parseOutputName("-", name, &why));
    EXPECT_EQ(name.kind, OutputKind::y4m);
    ASSERT_TRUE(parseOutputName("still.png", name, &why));
    EXPECT_EQ(name.kind, OutputKind::png);
    EXPECT_EQ(frameFileName(name, 12), "still.png");
    ASSERT_TRUE(parseOutputName("100%%/f%05d.png", name, &why));
    EXPECT_EQ(name.kind, OutputKind::pngSequence);
    EXPECT_EQ(frameFileName(name, 42), "100%/f00042.png");
    EXPECT_EQ(frameFileName(name, 1234567), "100%/f1234567.png");
    ASSERT_TRUE(parseOutputName("f%d.png", name, &why));
    EXPECT_EQ(frameFileName(name, 7), "f7.png");
    for (const char* bad : {"f%d%d.png", "f%s.png", "f%.png", "f%5x.png", "show.avi", "show"})
        EXPECT_FALSE(parseOutputName(bad, name, &why)) << bad;
}

}  // namespace

// The shared pieces that show the show outside the show: the loader of the
// 13 tracks (its one failure line for each fault) and the headless show at
// a moment, which must draw exactly what the frame graph draws with the
// show's values, tweaks and clock.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/moment.h"
#include "render/frame.h"
#include "sync/content.h"
#include "sync/show_tracks.h"
#include "tests/support/fake_pages.h"

namespace {

TEST(ShowTracks, LoadsTheThirteenOrSaysWhyNot) {
    fakePages::reset();
    ShowTracks tracks;
    std::string error;
    ASSERT_TRUE(loadShowTracks(ostrelContent, tracks, &error)) << error;
    for (int t = 0; t < trackCount; ++t) {
        ASSERT_NE(tracks.tracks[t], nullptr) << trackNames[t];
        EXPECT_EQ(tracks.tracks[t]->keyCount, ostrelContent.trackKeyData[t][0]) << trackNames[t];
    }

    const std::uint8_t* keyData[trackCount];
    for (int t = 0; t < trackCount; ++t) keyData[t] = ostrelContent.trackKeyData[t];
    keyData[camPosY] = nullptr;
    EXPECT_FALSE(loadShowTracks(keyData, tracks, &error));
    EXPECT_EQ(error, "sync: the content block has no key data for track camPosY");

    fakePages::reset();
    fakePages::refuseFrom(1);
    EXPECT_FALSE(loadShowTracks(ostrelContent, tracks, &error));
    EXPECT_EQ(error, "sync: no memory for the sync device");

    // The device and the first track come, its keys do not (allocations:
    // device, track, list, keys): the track would evaluate as 0.0 for ever,
    // so loading stops.
    fakePages::reset();
    fakePages::refuseFrom(4);
    EXPECT_FALSE(loadShowTracks(ostrelContent, tracks, &error));
    EXPECT_EQ(error, "sync: no memory for the keys of track dofFocusPoint");
    fakePages::reset();
}

// Float pixels of a target, bottom row first.
std::vector<float> pixels(const ShowMoment& m, GLuint framebuffer) {
    std::vector<float> out(std::size_t(m.width * m.height * 4));
    m.gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    m.readBuffer(GL_COLOR_ATTACHMENT0);
    m.readPixels(0, 0, m.width, m.height, GL_RGBA, GL_FLOAT, out.data());
    m.gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return out;
}

TEST(ShowMoment, DrawsWhatTheFrameGraphDrawsAndEndsWhereTheShowEnds) {
    fakePages::reset();
    static ::ShowMoment moment;
    MomentOptions options;
    options.width = 64;
    options.height = 48;
    std::string error;
    ASSERT_TRUE(openMoment(moment, ostrelContent, options, &error)) << error;

    // The blob scene: its water ripples with the clock, so a wrong clock shows.
    const std::int32_t showTime = 60000, previous = 59983;
    const FrameValues frame = renderMoment(moment, showTime, previous);
    std::vector<float> drawn;
    readMoment(moment, drawn);
    EXPECT_FALSE(frame.end.quit);
    EXPECT_EQ(frame.tracks.value[scene], 2.5f);

    // The same frame by hand: the show's own resources and tweaks, each
    // track evaluated at the row, the previous frame's clock.
    static RenderResources reference;
    ASSERT_TRUE(createRenderResources(moment.gl, ostrelContent, 1.0f, reference, &error)) << error;
    const RenderTarget output = createRenderTarget(moment.gl, 64, 48, GL_FLOAT, 1);
    reference.outputFramebuffer = output.framebuffer;
    loadTweakSettings(ostrelContent, reference.fd, reference.focus);
    TrackData values{};
    for (int t = 0; t < trackCount; ++t)
        values.value[t] = float(getTrackValue(moment.tracks.tracks[t], double(rowAt(showTime))));
    reference.fd.T0 = showClock(previous);
    renderFrame(moment.gl, reference, ostrelContent, values, showTime);
    EXPECT_TRUE(pixels(moment, output.framebuffer) == drawn) << "the helper drew another frame";

    // Another clock gives another picture: the comparison above can fail.
    renderMoment(moment, showTime, showTime + 5000);
    std::vector<float> later;
    readMoment(moment, later);
    EXPECT_FALSE(later == drawn);

    // The shipped tracks stop the music at 100334 ms and end the show with
    // the first frame at or after 101334 ms.
    EXPECT_TRUE(renderMoment(moment, 100334, 100317).end.stopSoundtrack);
    EXPECT_FALSE(showEndsAt(moment.tracks, 101333));
    EXPECT_TRUE(showEndsAt(moment.tracks, 101334));

    // 8-bit pixels: top row first, clamped, and a pixel that is not a
    // number is magenta.
    const float rgba[2 * 4] = {2.0f, -1.0f, 0.5f, 1.0f, 0.0f, NAN, 0.0f, 1.0f};
    std::uint8_t rgb[2 * 3];
    momentToRgb(rgba, 1, 2, rgb);
    const std::uint8_t expected[6] = {255, 0, 255, 255, 0, 128};
    EXPECT_EQ(std::vector<std::uint8_t>(rgb, rgb + 6), std::vector<std::uint8_t>(expected, expected + 6));
}

}  // namespace

// The studio's free camera, its track lines and the heads-up line's text:
// printed lines read back through the builder's own parser as the same
// key, the camera flies along its view for as long as keys were held, and
// times come out as they should.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "content/builder/assets.h"
#include "sync/sync.h"
#include "tools/studio/camera.h"
#include "tools/studio/hud.h"

using namespace studio;

TEST(StudioTrackLines, PrintedLinesReadBackAsTheSameKey) {
    std::vector<TrackKey> keys = {{0, 1.0f, Linear}, {100, 2.0f, Smooth}, {200, 0.0f, Step}};
    SyncTrack track{nullptr, keys.data(), std::int32_t(keys.size())};
    struct Case {
        std::int32_t row;
        float value;
        std::int32_t type;  // of the key in force there
    };
    for (const Case& c : {Case{50, 1.3207935f, Linear}, Case{100, -0.606f, Smooth},
                          Case{150, 1e-7f, Smooth}, Case{250, 123456.7f, Step},
                          Case{-5, 0.0f, Linear}}) {
        const std::string line = trackLine(&track, "camPosX", c.row, c.value);
        std::vector<SourceKey> read;
        std::string error;
        ASSERT_TRUE(parseTrackText(line, "pasted", read, error)) << line << ": " << error;
        ASSERT_EQ(read.size(), 1u);
        EXPECT_EQ(read[0].row, c.row) << line;
        EXPECT_EQ(read[0].value, c.value) << line;
        EXPECT_EQ(read[0].type, c.type) << line;
        EXPECT_NE(line.find("# camPosX"), std::string::npos) << line;
    }
    EXPECT_EQ(trackLine(&track, "scene", 1160, 2.5f), "1160 2.5 step  # scene");
    EXPECT_EQ(trackLine(&track, "camPosY", 10, 180.0f), "10 180 linear  # camPosY");  // not 1.8e+02
}

TEST(StudioCamera, FliesAlongItsViewForAsLongAsKeysWereHeld) {
    TrackData frame{};
    frame.value[camPosX] = 1.0f;
    frame.value[camRotX] = float(M_PI / 2);  // turned a quarter towards +x
    FreeCamera camera;
    startCamera(camera, frame);
    const float ahead[3] = {0, 0, 1};
    float world[3];
    cameraDirection(camera, ahead, world);
    EXPECT_NEAR(world[0], 1.0f, 1e-6f);
    EXPECT_NEAR(world[2], 0.0f, 1e-6f);

    // W held for 300 + 400 + 300 ms over three frames, its repeats ignored:
    // one second at two units a second.
    pressCameraKey(camera, moveForward, 0.0);
    flyCamera(camera, 300.0, false);
    pressCameraKey(camera, moveForward, 500.0);
    flyCamera(camera, 700.0, false);
    releaseCameraKey(camera, moveForward, 1000.0);
    EXPECT_TRUE(cameraFlying(camera) == false);
    flyCamera(camera, 2000.0, false);
    EXPECT_NEAR(camera.position[0], 3.0f, 1e-5f);
    EXPECT_NEAR(camera.position[2], 0.0f, 1e-5f);

    // A tap between two frames still moves; E lifts along the world's up;
    // the up arrow tilts the view upwards.
    pressCameraKey(camera, moveUp, 2100.0);
    releaseCameraKey(camera, moveUp, 2150.0);
    pressCameraKey(camera, tiltUp, 2100.0);
    releaseCameraKey(camera, tiltUp, 2400.0);
    flyCamera(camera, 3000.0, false);
    EXPECT_NEAR(camera.position[1], 0.1f, 1e-5f);
    cameraDirection(camera, ahead, world);
    EXPECT_NEAR(world[1], std::sin(0.3f), 1e-5f);

    TrackData drawn = frame;
    applyCamera(camera, drawn);
    EXPECT_EQ(drawn.value[camPosY], camera.position[1]);
    EXPECT_EQ(drawn.value[camRotY], camera.rotation[1]);
    EXPECT_EQ(drawn.value[scene], frame.value[scene]);
}

TEST(StudioHeadsUp, TimesAndMarks) {
    EXPECT_EQ(clockText(0), "0:00.000");
    EXPECT_EQ(clockText(61234), "1:01.234");
    EXPECT_EQ(clockText(3599999), "59:59.999");
    HeadsUp h;
    h.time = 48334;
    h.row = 1160;
    h.scene = 2.5f;
    h.loopA = 1000;
    h.looping = true;
    h.paused = true;
    EXPECT_EQ(headsUpLine(h), "0:48.334  row 1160  scene 2.50  0 ms  loop 0:01.000-end on  paused");
}

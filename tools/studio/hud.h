// hud.h: the heads-up line the studio shows under its timeline: show time
// (m:ss.mmm), row, the `scene` value, the last picture's time and, while
// playing, the pictures per second, the loop marks, and what is on (paused,
// free camera, a scene scale below 1). Drawn with the panels
// (tools/studio/panels.h).
#pragma once

#include <cstdint>
#include <string>

namespace studio {

// "m:ss.mmm".
std::string clockText(std::int32_t showTime);

struct HeadsUp {
    std::int32_t time = 0;
    std::int32_t row = 0;
    float scene = 0.0f;
    double frameMilliseconds = 0.0, framesPerSecond = 0.0;
    std::int32_t loopA = -1, loopB = -1;  // -1: unset
    bool looping = false, paused = false, camera = false;
    float sceneScale = 1.0f;
};
std::string headsUpLine(const HeadsUp& h);

}  // namespace studio

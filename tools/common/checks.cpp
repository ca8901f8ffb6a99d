// checks.cpp: show times against the show's end, scene scales against the
// render size.
#include "tools/common/checks.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/moment.h"
#include "render/resources.h"

std::int32_t showLastFrame(const ShowTracks& tracks, std::int32_t within) {
    for (std::int32_t t = 0; t <= within; ++t)
        if (showEndsAt(tracks, t)) return t;
    return -1;
}

std::string showClockText(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", (long long)(ms / 60000),
                  (long long)(ms / 1000 % 60), (long long)(ms % 1000));
    return text;
}

bool withinShow(const std::string& what, std::int64_t ms, std::int32_t last, std::string* why) {
    if (ms >= 0 && (last < 0 || ms <= last)) return true;
    if (why)
        *why = ms < 0 ? what + " is before the show's start (0 ms)"
                      : what + " is past the show's end: its last frame is at " +
                            std::to_string(last) + " ms (" + showClockText(last) + ")";
    return false;
}

bool sceneScaleFits(int width, int height, float scale, std::string* why) {
    if (pixelCount(float(width) * scale) >= 1 && pixelCount(float(height) * scale) >= 1)
        return true;
    // The smallest scale that gives the shorter side one pixel, to three
    // digits, rounded up so that it works as written.
    const int side = width < height ? width : height;
    double smallest = 1.0 / double(side);
    const double unit = std::pow(10.0, std::floor(std::log10(smallest)) - 2.0);
    smallest = std::ceil(smallest / unit) * unit;
    while (pixelCount(float(side) * float(smallest)) < 1) smallest += unit;
    char text[32];
    std::snprintf(text, sizeof text, "%g", smallest);
    if (why) {
        char scaleText[32];
        std::snprintf(scaleText, sizeof scaleText, "%g", double(scale));
        *why = "--scale " + std::string(scaleText) + " leaves no pixel of the scene pass at " +
               std::to_string(width) + " x " + std::to_string(height) +
               "; the smallest scale that does is " + text;
    }
    return false;
}

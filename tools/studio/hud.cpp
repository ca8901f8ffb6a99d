// hud.cpp: the heads-up line's text.
#include "tools/studio/hud.h"

#include <algorithm>
#include <cstdio>

namespace studio {

std::string clockText(std::int32_t t) {
    char text[32];
    t = std::max(t, 0);
    std::snprintf(text, sizeof text, "%d:%02d.%03d", t / 60000, t / 1000 % 60, t % 1000);
    return text;
}

std::string headsUpLine(const HeadsUp& h) {
    char text[160];
    // Paused, frames come only when something changes: no rate to show.
    std::snprintf(text, sizeof text, "%s  row %d  scene %.2f  %.0f ms", clockText(h.time).c_str(),
                  h.row, double(h.scene), h.frameMilliseconds);
    std::string line = text;
    if (!h.paused) {
        std::snprintf(text, sizeof text, " %.1f fps", h.framesPerSecond);
        line += text;
    }
    if (h.looping || h.loopA >= 0 || h.loopB >= 0)
        line += "  loop " + (h.loopA >= 0 ? clockText(h.loopA) : std::string("start")) + "-" +
                (h.loopB >= 0 ? clockText(h.loopB) : std::string("end")) +
                (h.looping ? " on" : " off");
    if (h.paused) line += "  paused";
    if (h.camera) line += "  camera";
    if (h.sceneScale != 1.0f) {
        std::snprintf(text, sizeof text, "  scale %g", double(h.sceneScale));
        line += text;
    }
    return line;
}

}  // namespace studio

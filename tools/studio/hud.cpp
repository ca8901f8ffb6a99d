// hud.cpp: painting the strip, and drawing it over the picture.
#include "tools/studio/hud.h"

#include <algorithm>
#include <cstdio>

#include "render/frame.h"
#include "tools/common/font.h"

namespace studio {

namespace {

constexpr int timelineHeight = 6;
constexpr int maxErrorLines = 8;
constexpr int margin = 4;

constexpr GLenum unsignedByte = 0x1401;  // GL_UNSIGNED_BYTE

const std::uint8_t lineBackground[4] = {0, 0, 0, 255};
const std::uint8_t lineText[4] = {225, 225, 225, 255};
const std::uint8_t errorBackground[4] = {70, 0, 0, 255};
const std::uint8_t errorText[4] = {255, 150, 150, 255};
const std::uint8_t timelineBackground[4] = {45, 45, 45, 255};
const std::uint8_t loopMarked[4] = {50, 70, 120, 255};
const std::uint8_t loopOn[4] = {80, 120, 210, 255};
const std::uint8_t cutTick[4] = {230, 190, 70, 255};
const std::uint8_t nowBar[4] = {255, 255, 255, 255};

// The fragment stage of the strip: its texels where they are opaque, the
// picture where they are not. The strip's rows are stored top first.
const char* const overlayFragment = R"(#version 430
layout(binding = 0) uniform sampler2D strip;
layout(location = 0) out vec4 color;
void main()
{
    ivec2 size = textureSize(strip, 0);
    ivec2 p = ivec2(gl_FragCoord.xy);
    vec4 c = texelFetch(strip, ivec2(p.x, size.y - 1 - p.y), 0);
    if (c.a < 0.5)
        discard;
    color = vec4(c.rgb, 1.0);
}
)";

// The messages as lines of at most `columns` characters: each message's
// own lines, broken at a blank where one is near the end.
std::vector<std::string> wrap(const std::vector<std::string>& messages, int columns) {
    std::vector<std::string> lines;
    const std::size_t width = std::size_t(std::max(columns, 8));
    for (const std::string& message : messages) {
        std::size_t at = 0;
        while (at <= message.size()) {
            std::size_t end = message.find('\n', at);
            if (end == std::string::npos) end = message.size();
            std::string line = message.substr(at, end - at);
            while (line.size() > width) {
                std::size_t cut = line.rfind(' ', width);
                if (cut == std::string::npos || cut < width / 2) cut = width;
                lines.push_back(line.substr(0, cut));
                line.erase(0, line[cut] == ' ' ? cut + 1 : cut);
            }
            lines.push_back(line);
            at = end + 1;
        }
    }
    if (int(lines.size()) > maxErrorLines) {
        lines.resize(std::size_t(maxErrorLines));
        lines.back() = "... (the rest on stderr)";
    }
    return lines;
}

// The heads-up line in rows that fit `width` at `scale`: broken between
// its parts (which two blanks separate); one row when it fits whole.
std::vector<std::string> lineRows(const std::string& line, int width, int scale) {
    std::vector<std::string> rows(1);
    for (std::size_t at = 0; at < line.size();) {
        std::size_t end = line.find("  ", at);
        if (end == std::string::npos) end = line.size();
        const std::string part = line.substr(at, end - at);
        at = line.find_first_not_of(' ', end);
        if (at == std::string::npos) at = line.size();
        const std::string joined = rows.back().empty() ? part : rows.back() + "  " + part;
        if (rows.back().empty() || font::textWidth(joined, scale) <= width)
            rows.back() = joined;
        else
            rows.push_back(part);
    }
    return rows;
}

int timelineX(std::int32_t time, int width, std::int32_t end) {
    if (end <= 0) return 0;
    return int(std::int64_t(std::clamp(time, 0, end)) * (width - 1) / end);
}

}  // namespace

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

std::vector<std::uint8_t> paintOverlay(const OverlayContent& c, int width, int* height) {
    // Twice the font's size, on two rows if need be; else on one, smaller.
    int lineScale = 2;
    std::vector<std::string> rows = lineRows(c.line, width - 2 * margin, lineScale);
    if (rows.size() > 2) {
        lineScale = 1;
        rows = {c.line};
    }
    const int errorScale = width >= 480 ? 2 : 1;
    const std::vector<std::string> errorLines =
        wrap(c.errors, (width - 2 * margin) / (font::advance * errorScale));
    const int errorStep = font::lineHeight * errorScale + 2;
    const int errorsHeight = c.errors.empty() ? 0 : int(errorLines.size()) * errorStep + 2 * margin;
    const int rowStep = font::lineHeight * lineScale;
    const int lineBand =
        c.headsUp ? int(rows.size()) * rowStep - lineScale + 2 * margin : 0;
    const int timeline = c.headsUp ? timelineHeight : 0;
    *height = errorsHeight + lineBand + timeline;
    std::vector<std::uint8_t> rgba(std::size_t(width) * std::size_t(*height) * 4u, 0);
    if (*height == 0 || width <= 0) return rgba;
    font::Pixels p{rgba.data(), width, *height, 4};

    if (errorsHeight > 0) {
        font::fill(p, 0, 0, width, errorsHeight, errorBackground);
        for (std::size_t i = 0; i < errorLines.size(); ++i)
            font::text(p, margin, margin + int(i) * errorStep, errorLines[i], errorScale,
                       errorText);
    }
    if (!c.headsUp) return rgba;
    font::fill(p, 0, errorsHeight, width, lineBand, lineBackground);
    for (std::size_t i = 0; i < rows.size(); ++i)
        font::text(p, margin, errorsHeight + margin + int(i) * rowStep, rows[i], lineScale,
                   lineText);

    const int y = *height - timelineHeight;
    font::fill(p, 0, y, width, timelineHeight, timelineBackground);
    if (c.loopA >= 0 || c.loopB >= 0 || c.looping) {
        const int a = timelineX(c.loopA >= 0 ? c.loopA : 0, width, c.end);
        const int b = timelineX(c.loopB >= 0 ? c.loopB : c.end, width, c.end);
        font::fill(p, a, y, b - a + 1, timelineHeight, c.looping ? loopOn : loopMarked);
    }
    for (std::int32_t cut : c.cuts)
        font::fill(p, timelineX(cut, width, c.end), y, 1, timelineHeight, cutTick);
    font::fill(p, timelineX(c.time, width, c.end) - 1, y, 2, timelineHeight, nowBar);
    return rgba;
}

bool onTimeline(int y, int windowHeight) { return y >= windowHeight - timelineHeight - 4; }

std::int32_t timelineTime(int x, int width, std::int32_t end) {
    if (width <= 1) return 0;
    const std::int64_t at = std::clamp(x, 0, width - 1);
    return std::int32_t((at * end + (width - 1) / 2) / (width - 1));
}

bool createOverlay(const GlFunctions& gl, const char* vertexText, Overlay& overlay,
                   std::string* error) {
    if (!buildPassProgram(gl, "overlay", vertexText, overlayFragment, overlay.program, error))
        return false;
    const std::uint8_t clear[4] = {0, 0, 0, 0};
    overlay.strip = createTexture(gl, 1, 1, unsignedByte, clear);
    return true;
}

void drawOverlay(const GlFunctions& gl, Overlay& overlay, const std::vector<std::uint8_t>& rgba,
                 int width, int height, int windowWidth, int windowHeight) {
    if (height <= 0 || width <= 0) return;
    gl.glActiveTexture(GL_TEXTURE0);
    gl.glBindTexture(GL_TEXTURE_2D, overlay.strip.texture);
    gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, width, height, 0, GL_RGBA, unsignedByte,
                    rgba.data());
    gl.glViewport(0, 0, width, height);
    drawPass(gl, 0, overlay.program, 1, &overlay.strip);
    gl.glViewport(0, 0, windowWidth, windowHeight);
}

}  // namespace studio

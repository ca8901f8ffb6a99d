// ostrel-sheet: a contact sheet of the show, rendered headless.
//
// Draws the show at evenly spaced show times (every 2 s by default, from 0
// to the end of the show) through the show's own render pipeline (headless
// EGL; llvmpipe on a machine without a GPU) and lays the frames out in a
// grid, each with its show time written beneath it, into one PNG.
//
// Each frame is what the show draws at that show time: the tracks evaluated
// at the time's row, the shipped tweak settings, and the clock T0 set to the
// time itself (the show's T0 lags one frame, 1/60 s, behind; a sheet has no
// previous frame).
//
//   ostrel-sheet -o sheet.png [--every 2000] [--size 256x192] [--from 0]
//                [--to END] [--times t1,t2,...] [--columns 6] [--dof 0|1]
//                [--verbose]
//
// Times are in milliseconds; --times replaces the even spacing. --dof 0
// switches the depth of field off (to see the geometry behind the blur);
// --verbose prints each frame's track values.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/headless.h"
#include "host/loop.h"
#include "render/frame.h"
#include "sync/content.h"
#include "sync/sync.h"
#include "sync/tweak.h"
#include "tools/png.h"

namespace {

typedef void(OSTREL_GLAPI* ReadPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
typedef void(OSTREL_GLAPI* ReadBuffer)(GLenum);

struct Options {
    std::string output;
    int every = 2000;
    int width = 256, height = 192;
    int from = 0, to = -1;  // -1: the end of the show
    int columns = 6;
    std::vector<int> times;
    bool verbose = false;
    int dof = -1;  // -1: as the tweak settings say
};

// A 3 x 5 bitmap font for the time labels: each glyph is five rows of three
// bits, the high bit on the left.
struct Glyph {
    char c;
    std::uint8_t rows[5];
};
const Glyph kFont[] = {
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}},
    {'3', {7, 1, 7, 1, 7}}, {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}},
    {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 2, 2, 2}}, {'8', {7, 5, 7, 5, 7}},
    {'9', {7, 5, 7, 1, 7}}, {'.', {0, 0, 0, 0, 2}}, {'s', {0, 3, 4, 1, 6}},
    {'-', {0, 0, 7, 0, 0}}, {':', {0, 2, 0, 2, 0}}, {' ', {0, 0, 0, 0, 0}},
};

const Glyph* glyphOf(char c) {
    for (const Glyph& g : kFont)
        if (g.c == c) return &g;
    return nullptr;
}

struct Sheet {
    int width, height;
    std::vector<std::uint8_t> rgb;
    void fill(int x0, int y0, int w, int h, std::uint8_t v) {
        for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
            for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x)
                for (int c = 0; c < 3; ++c) rgb[std::size_t(3 * (y * width + x) + c)] = v;
    }
    // Text with its top-left corner at (x, y), each font pixel scale x scale.
    void text(int x, int y, const std::string& s, int scale, std::uint8_t v) {
        for (char c : s) {
            if (const Glyph* g = glyphOf(c))
                for (int row = 0; row < 5; ++row)
                    for (int col = 0; col < 3; ++col)
                        if (g->rows[row] & (4 >> col))
                            fill(x + col * scale, y + row * scale, scale, scale, v);
            x += 4 * scale;
        }
    }
};

bool parseSize(const char* s, int& w, int& h) {
    return std::sscanf(s, "%dx%d", &w, &h) == 2 && w > 0 && h > 0 && w <= 4096 && h <= 4096;
}

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--verbose") {
            o.verbose = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        if (arg == "-o") {
            o.output = value;
        } else if (arg == "--every") {
            o.every = std::atoi(value);
        } else if (arg == "--size") {
            if (!parseSize(value, o.width, o.height)) return false;
        } else if (arg == "--from") {
            o.from = std::atoi(value);
        } else if (arg == "--to") {
            o.to = std::atoi(value);
        } else if (arg == "--dof") {
            o.dof = std::atoi(value) != 0;
        } else if (arg == "--columns") {
            o.columns = std::atoi(value);
        } else if (arg == "--times") {
            for (const char* p = value; *p;) {
                char* end = nullptr;
                long t = std::strtol(p, &end, 10);
                if (end == p || t < 0 || t > 100000000) return false;
                o.times.push_back(int(t));
                p = *end == ',' ? end + 1 : end;
                if (*end != ',' && *end != '\0') return false;
            }
        } else {
            return false;
        }
    }
    return !o.output.empty() && o.every > 0 && o.columns > 0 && o.columns <= 64 && o.from >= 0;
}

std::string label(int ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", double(ms) / 1000.0);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: ostrel-sheet -o sheet.png [--every ms] [--size WxH] [--from ms] "
                     "[--to ms] [--times ms,ms,...] [--columns n] [--dof 0|1] [--verbose]\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();

    GlFunctions gl;
    std::string error;
    if (!createHeadlessContext(gl, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    auto readPixels = reinterpret_cast<ReadPixels>(headlessGlFunction("glReadPixels"));
    auto readBuffer = reinterpret_cast<ReadBuffer>(headlessGlFunction("glReadBuffer"));
    if (!readPixels || !readBuffer) {
        std::fprintf(stderr, "sheet: the context cannot read pixels back\n");
        return 1;
    }

    EmbeddedContent& content = ostrelContent;
    content.renderWidth = float(o.width);
    content.renderHeight = float(o.height);
    static RenderResources resources;
    if (!createRenderResources(gl, content, 1.0f, resources, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    RenderTarget output = createRenderTarget(gl, o.width, o.height, GL_FLOAT, 1);
    resources.outputFramebuffer = output.framebuffer;
    loadTweakSettings(content, resources.fd, resources.focus);
    if (o.dof >= 0) content.dofEnabled = std::uint8_t(o.dof);

    SyncTrack* tracks[trackCount];
    SyncDevice* device = createSyncDevice();
    for (int t = 0; t < trackCount; ++t) {
        tracks[t] = device ? getTrack(device, content.trackKeyData[t]) : nullptr;
        if (!tracks[t]) {
            std::fprintf(stderr, "sheet: track %s cannot be loaded\n", trackNames[t]);
            return 1;
        }
    }

    // The show ends at the first frame whose scene value is below -2.
    if (o.times.empty()) {
        int end = o.to;
        if (end < 0) {
            end = 0;
            while (end < 3600000 && getTrackValue(tracks[scene], rowAt(end)) >= -2.0) ++end;
        }
        for (int t = o.from; t <= end; t += o.every) o.times.push_back(t);
    }
    if (o.times.empty()) {
        std::fprintf(stderr, "sheet: no show time to draw\n");
        return 2;
    }

    const int count = int(o.times.size());
    const int columns = std::min(o.columns, count), rows = (count + columns - 1) / columns;
    const int scale = o.width >= 160 ? 2 : 1;
    const int labelHeight = 5 * scale + 6, gap = 2;
    const int cellW = o.width + gap, cellH = o.height + labelHeight + gap;
    Sheet sheet{columns * cellW + gap, rows * cellH + gap, {}};
    sheet.rgb.assign(std::size_t(sheet.width) * std::size_t(sheet.height) * 3u, 24);

    std::vector<float> pixels(std::size_t(o.width) * std::size_t(o.height) * 4u);
    for (int i = 0; i < count; ++i) {
        const int ms = o.times[std::size_t(i)];
        TrackData values{};
        evaluateTracks(tracks, rowAt(ms), values);
        resources.fd.T0 = showClock(ms);
        renderFrame(gl, resources, content, values, ms);

        gl.glBindFramebuffer(GL_FRAMEBUFFER, output.framebuffer);
        readBuffer(GL_COLOR_ATTACHMENT0);
        readPixels(0, 0, o.width, o.height, GL_RGBA, GL_FLOAT, pixels.data());
        gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);

        const int x0 = gap + (i % columns) * cellW, y0 = gap + (i / columns) * cellH;
        for (int y = 0; y < o.height; ++y)
            for (int x = 0; x < o.width; ++x) {
                const float* p = &pixels[std::size_t(4 * ((o.height - 1 - y) * o.width + x))];
                std::uint8_t* q = &sheet.rgb[std::size_t(3 * ((y0 + y) * sheet.width + x0 + x))];
                // An undefined value shows as magenta, so a fault cannot hide.
                const bool finite =
                    std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
                for (int c = 0; c < 3; ++c) {
                    float v = finite ? std::min(std::max(p[c], 0.0f), 1.0f) : (c == 1 ? 0.0f : 1.0f);
                    q[c] = std::uint8_t(std::lround(v * 255.0f));
                }
            }
        sheet.fill(x0, y0 + o.height, o.width, labelHeight, 40);
        sheet.text(x0 + 4, y0 + o.height + 3, label(ms), scale, 230);

        if (o.verbose) {
            std::printf("%8.3f s", double(ms) / 1000.0);
            for (int t = 0; t < trackCount; ++t)
                std::printf(" %s %.3f", trackNames[t], double(values.value[t]));
            std::printf("\n");
        }
    }

    if (!png::write(o.output, sheet.width, sheet.height, sheet.rgb, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("ostrel-sheet: %d frames of %d x %d, %d to %d ms, into %s (%d x %d) in %.1f s\n",
                count, o.width, o.height, o.times.front(), o.times.back(), o.output.c_str(),
                sheet.width, sheet.height, seconds);
    return 0;
}

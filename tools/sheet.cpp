// ostrel-sheet: a contact sheet of the show, rendered headless.
//
// Draws the show at evenly spaced show times (every 2 s by default, from 0
// to the end of the show) through the show's own render pipeline (headless
// EGL; llvmpipe on a machine without a GPU) and lays the frames out in a
// grid, each with its show time written beneath it, into one PNG.
//
// Each frame is what the show draws at that show time (host/moment.h): the
// tracks evaluated at the time's row, the shipped tweak settings, and the
// clock T0 set to the time itself (the show's T0 lags one frame, 1/60 s,
// behind; a sheet has no previous frame). The sheet ends with the frame on
// which the show ends, by the show's own end-of-show rule.
//
//   ostrel-sheet -o sheet.png [--every 2000] [--size 256x192] [--from 0]
//                [--to END] [--times t1,t2,...] [--columns 6] [--dof 0|1]
//                [--verbose] [--quiet]
//
// Times are in milliseconds; --times replaces the even spacing. --dof 0
// switches the depth of field off (to see the geometry behind the blur);
// --verbose prints each frame's track values. Every time must lie within
// the show, and the output's folder must take the file, before a frame is
// drawn; while it draws, progress runs on stderr (tools/common/progress.h).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/moment.h"
#include "sync/content.h"
#include "tools/common/checks.h"
#include "tools/common/font.h"
#include "tools/common/options.h"
#include "tools/common/png.h"
#include "tools/common/progress.h"
#include "tools/sheet_layout.h"

namespace {

// The longest show a sheet looks for the end in: one hour.
constexpr std::int64_t longestShow = 3600000;

struct Options {
    std::string output;
    int every = 2000;
    int width = 256, height = 192;
    int from = 0, to = -1;  // -1: the end of the show
    int columns = 6;
    std::vector<std::int64_t> times;
    bool verbose = false, quiet = false;
    int dof = -1;  // -1: as the tweak settings say
};

struct Sheet {
    int width, height;
    std::vector<std::uint8_t> rgb;
    font::Pixels pixels() { return font::Pixels{rgb.data(), width, height, 3}; }
    void fill(int x0, int y0, int w, int h, std::uint8_t v) {
        const std::uint8_t grey[3] = {v, v, v};
        font::Pixels p = pixels();
        font::fill(p, x0, y0, w, h, grey);
    }
    // Text with its top-left corner at (x, y), each font pixel scale x scale.
    void text(int x, int y, const std::string& s, int scale, std::uint8_t v) {
        const std::uint8_t grey[3] = {v, v, v};
        font::Pixels p = pixels();
        font::text(p, x, y, s, scale, grey);
    }
};

std::string label(int ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", double(ms) / 1000.0);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    OptionParser parser("ostrel-sheet", "-o sheet.png [options]",
                        "Draws the show headless at evenly spaced show times, each frame with "
                        "its time beneath it,\ninto one PNG.");
    parser.text("-o", "FILE", &o.output, "the PNG to write (required)");
    parser.integer("--every", "MS", 1, longestShow, &o.every,
                   "spacing of the frames in show milliseconds, at least 1 (default 2000)");
    parser.size("--size", &o.width, &o.height, "size of each frame, sides 1 to 8192 (default 256x192)");
    parser.integer("--from", "MS", 0, longestShow, &o.from,
                   "first show time, 0 to the show's last frame (default 0)");
    parser.integer("--to", "MS", 0, longestShow, &o.to,
                   "last show time, up to the show's last frame (default: that frame)");
    parser.list("--times", "MS,MS,...", 0, longestShow, &o.times,
                "these show times instead of the even spacing");
    parser.integer("--columns", "N", 1, 64, &o.columns, "frames per row, 1 to 64 (default 6)");
    parser.integer("--dof", "0|1", 0, 1, &o.dof,
                   "depth of field off or on (default: as the tweak settings say)");
    parser.flag("--verbose", &o.verbose, "print each frame's 13 track values");
    parser.flag("--quiet", &o.quiet, "no progress on stderr");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;
    if (o.output.empty()) return parser.refuse("the option -o FILE is required (see --help)");
    if (o.to >= 0 && o.to < o.from)
        return parser.refuse("--to " + std::to_string(o.to) + " is before --from " +
                             std::to_string(o.from));
    std::string error;
    ShowTracks tracks;
    if (!loadShowTracks(ostrelContent, tracks, &error)) {
        std::fprintf(stderr, "ostrel-sheet: %s\n", error.c_str());
        return 1;
    }
    // The show's last frame: the first whose values end the show.
    const std::int32_t last = showLastFrame(tracks);
    if (!withinShow("--from " + std::to_string(o.from), o.from, last, &error) ||
        (o.to >= 0 && !withinShow("--to " + std::to_string(o.to), o.to, last, &error)))
        return parser.refuse(error);
    for (std::int64_t t : o.times)
        if (!withinShow("--times " + std::to_string(t), t, last, &error)) return parser.refuse(error);
    if (!outputCreatable("-o", o.output, &error)) return parser.refuse(error);
    if (o.times.empty()) {
        const std::int64_t end = o.to >= 0 ? o.to : last >= 0 ? last : longestShow;
        for (std::int64_t t = o.from; t <= end; t += o.every) o.times.push_back(t);
    }
    const auto start = std::chrono::steady_clock::now();

    MomentOptions options;
    options.width = o.width;
    options.height = o.height;
    options.dof = o.dof;
    static ShowMoment moment;
    if (!openMoment(moment, ostrelContent, options, &error)) {
        std::fprintf(stderr, "ostrel-sheet: %s\n", error.c_str());
        return 1;
    }

    const int count = int(o.times.size());
    const int columns = std::min(o.columns, count), rows = (count + columns - 1) / columns;
    const SheetLayout layout = sheetLayout(o.width);
    const int scale = layout.scale, labelHeight = layout.labelHeight, gap = layout.gap;
    const int cellW = o.width + gap, cellH = o.height + labelHeight + gap;
    Sheet sheet{columns * cellW + gap, rows * cellH + gap, {}};
    sheet.rgb.assign(std::size_t(sheet.width) * std::size_t(sheet.height) * 3u, 24);

    std::vector<float> pixels;
    std::vector<std::uint8_t> frameRgb(std::size_t(o.width) * std::size_t(o.height) * 3u);
    Progress progress = startProgress(o.quiet ? nullptr : stderr, isatty(STDERR_FILENO) != 0,
                                      count, "ostrel-sheet");
    for (int i = 0; i < count; ++i) {
        const std::int32_t ms = std::int32_t(o.times[std::size_t(i)]);
        const FrameValues frame = renderMoment(moment, ms, ms);
        readMoment(moment, pixels);
        momentToRgb(pixels.data(), o.width, o.height, frameRgb.data());

        const int x0 = gap + (i % columns) * cellW, y0 = gap + (i / columns) * cellH;
        for (int y = 0; y < o.height; ++y)
            std::copy_n(&frameRgb[std::size_t(y) * std::size_t(o.width) * 3u],
                        std::size_t(o.width) * 3u,
                        &sheet.rgb[std::size_t(3 * ((y0 + y) * sheet.width + x0))]);
        sheet.fill(x0, y0 + o.height, o.width, labelHeight, 40);
        sheet.text(x0 + 4, y0 + o.height + 3, label(ms), scale, 230);

        if (o.verbose) {
            std::printf("%8.3f s", double(ms) / 1000.0);
            for (int t = 0; t < trackCount; ++t)
                std::printf(" %s %.3f", trackNames[t], double(frame.tracks.value[t]));
            std::printf("\n");
        }
        showProgress(progress, i + 1, i + 1 == count);
    }

    const std::string part = o.output + ".part";
    if (!png::write(part, sheet.width, sheet.height, sheet.rgb, &error) ||
        !replaceWith(part, o.output, &error)) {
        std::remove(part.c_str());
        std::fprintf(stderr, "ostrel-sheet: %s\n", error.c_str());
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string times = count == 1 ? std::to_string(o.times.front()) + " ms"
                                         : std::to_string(o.times.front()) + " to " +
                                               std::to_string(o.times.back()) + " ms";
    std::printf("ostrel-sheet: %d frame%s of %d x %d, %s, into %s (%d x %d) in %.1f s\n", count,
                count == 1 ? "" : "s", o.width, o.height, times.c_str(), o.output.c_str(),
                sheet.width, sheet.height, seconds);
    return 0;
}

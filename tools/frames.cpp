// ostrel-frames: frames of the show at chosen moments, written to a frame
// file or compared with one.
//
//   ostrel-frames -o FILE [--size 128x96] [--every 2000 | --times MS,MS,...]
//                 [--dof 0|1]
//   ostrel-frames --compare FILE
//
// The first form draws the moments (by default every 2 s of the whole show,
// as ostrel-sheet does, with depth of field) into one PNG (tools/picture.h),
// and prints how long start-up (createRenderResources) and the first frame
// took; Mesa's shader cache stays as the environment sets it, as in the show.
// The second draws the moments of FILE, at its size and depth-of-field
// setting, with this build, and prints for each frame the share of pixels
// within 2/255 in every channel, the mean absolute difference and the
// largest; it exits with status 1 when a frame is not the same picture (at
// least 99 % within, mean at most 0.5/255).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/picture.h"

namespace {

const char* const kUsage =
    "usage: ostrel-frames -o FILE [--size WxH] [--every ms | --times ms,ms,...] [--dof 0|1]\n"
    "       ostrel-frames --compare FILE\n";

struct Options {
    std::string output, reference;
    int width = 128, height = 96, every = 2000;
    std::vector<int> times;
    int dof = 1;
};

bool number(const char* text, int low, int high, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high) return false;
    value = int(v);
    return true;
}

// Returns 0 when the options are good, 1 for --help, 2 with a line on
// stderr otherwise.
int parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return 1;
        if (i + 1 >= argc) {
            std::fprintf(stderr, "ostrel-frames: %s needs a value\n", arg.c_str());
            return 2;
        }
        const char* value = argv[++i];
        bool good = true;
        if (arg == "-o") {
            o.output = value;
        } else if (arg == "--compare") {
            o.reference = value;
        } else if (arg == "--size") {
            good = std::sscanf(value, "%dx%d", &o.width, &o.height) == 2 && o.width > 0 &&
                   o.height > 0 && o.width <= 4096 && o.height <= 4096;
        } else if (arg == "--every") {
            good = number(value, 1, 3600000, o.every);
        } else if (arg == "--times") {
            good = picture::parseTimes(value, o.times);
        } else if (arg == "--dof") {
            good = number(value, 0, 1, o.dof);
        } else {
            std::fprintf(stderr, "ostrel-frames: unknown option %s\n", arg.c_str());
            return 2;
        }
        if (!good) {
            std::fprintf(stderr, "ostrel-frames: bad value for %s: %s\n", arg.c_str(), value);
            return 2;
        }
    }
    if (o.output.empty() == o.reference.empty()) {
        std::fprintf(stderr, "ostrel-frames: give either -o FILE or --compare FILE\n");
        return 2;
    }
    return 0;
}

int compare(const std::string& path) {
    picture::Frames reference, drawn;
    std::string error;
    if (!picture::read(path, reference, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    drawn.width = reference.width;
    drawn.height = reference.height;
    drawn.dof = reference.dof;
    drawn.times = reference.times;
    if (!picture::draw(drawn, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    int failed = 0;
    std::printf("show ms   within 2/255   mean /255   largest /255\n");
    for (std::size_t i = 0; i < reference.times.size(); ++i) {
        const picture::Difference d = picture::compare(reference.rgb[i], drawn.rgb[i]);
        const bool same = picture::alike(d);
        failed += same ? 0 : 1;
        std::printf("%7d   %10.2f %%   %9.3f   %12d%s\n", reference.times[i], 100.0 * d.within,
                    d.mean, d.largest, same ? "" : "   DIFFERENT");
    }
    std::printf("%zu frames of %d x %d (depth of field %s) against %s: %s\n",
                reference.times.size(), reference.width, reference.height,
                reference.dof ? "on" : "off", path.c_str(),
                failed ? "some differ" : "the same picture");
    return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    const int parsed = parse(argc, argv, o);
    if (parsed != 0) {
        std::fputs(kUsage, parsed == 1 ? stdout : stderr);
        return parsed == 1 ? 0 : 2;
    }
    if (!o.reference.empty()) return compare(o.reference);

    picture::Frames frames;
    frames.width = o.width;
    frames.height = o.height;
    frames.dof = o.dof != 0;
    frames.times = o.times;
    std::string error;
    if ((frames.times.empty() && !picture::wholeShow(o.every, frames.times, &error)) ||
        !picture::draw(frames, &error) || !picture::write(o.output, frames, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("ostrel-frames: %zu frames of %d x %d into %s\n", frames.times.size(), o.width,
                o.height, o.output.c_str());
    std::printf("start-up %.1f ms, first frame %.1f ms\n", frames.startupMs, frames.firstFrameMs);
    return 0;
}

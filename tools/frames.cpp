// ostrel-frames: frames of the show at chosen moments, written to a frame
// file or compared with one (tools/picture.h).
//
//   ostrel-frames -o FILE [--size 128x96] [--times MS,MS,...] [--dof 0|1]
//   ostrel-frames --compare FILE [--size 128x96] [--times MS,...] [--dof 0|1]
//   ostrel-frames --from-sheet SHEET -o FILE [--size 128x96]
//
// The first form draws the moments (by default every 2 s of the whole show,
// as ostrel-sheet spaces them; depth of field on unless --dof 0) into one
// PNG. The second draws them with this build and compares each with its
// frame in FILE, one line per frame: the share of pixels within 2/255 in
// every channel, the mean absolute difference and the largest; it exits
// with status 1 when a frame is not the same picture (at least 99 % within,
// a mean of at most 0.5/255). The third cuts the frames out of a contact
// sheet drawn with one column (ostrel-sheet --columns 1), for reference
// frames from a revision that has no ostrel-frames.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/options.h"
#include "tools/picture.h"

namespace {

int compare(const std::string& path, int width, int height, int dof,
            std::vector<std::int64_t>& times) {
    picture::Frames reference, drawn;
    std::string error;
    if (!picture::read(path, width, height, reference, &error) ||
        !picture::draw(width, height, dof, times, drawn, &error)) {
        std::fprintf(stderr, "ostrel-frames: %s\n", error.c_str());
        return 1;
    }
    if (reference.rgb.size() != times.size()) {
        std::fprintf(stderr, "ostrel-frames: %s holds %zu frames, for %zu show times\n",
                     path.c_str(), reference.rgb.size(), times.size());
        return 1;
    }
    int differ = 0;
    std::printf("show ms   within 2/255   mean /255   largest /255\n");
    for (std::size_t i = 0; i < times.size(); ++i) {
        const picture::Difference d = picture::compare(reference.rgb[i], drawn.rgb[i]);
        const bool same = picture::alike(d);
        differ += same ? 0 : 1;
        std::printf("%7lld   %10.2f %%   %9.3f   %12d%s\n", static_cast<long long>(times[i]),
                    100.0 * d.within, d.mean, d.largest, same ? "" : "   DIFFERENT");
    }
    std::printf("%zu frames of %d x %d (depth of field %s) against %s: %s\n", times.size(), width,
                height, dof ? "on" : "off", path.c_str(),
                differ ? "some differ" : "the same picture");
    return differ ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string output, reference, sheet;
    int width = 128, height = 96, dof = 1;
    std::vector<std::int64_t> times;
    OptionParser parser("ostrel-frames", "(-o FILE | --compare FILE | --from-sheet SHEET -o FILE) [options]",
                        "Draws moments of the show into a frame file (frames stacked in one PNG), "
                        "or compares this\nbuild's frames with one, or cuts a one-column contact "
                        "sheet into one.");
    parser.text("-o", "FILE", &output, "the frame file to write");
    parser.text("--compare", "FILE", &reference, "compare this build's frames with FILE");
    parser.text("--from-sheet", "SHEET", &sheet,
                "take the frames from a contact sheet drawn with --columns 1");
    parser.size("--size", 4096, &width, &height, "size of each frame (default 128x96)");
    parser.list("--times", "MS,MS,...", 0, 3600000, &times,
                "these show times (default: every 2 s of the whole show)");
    parser.integer("--dof", "0|1", 0, 1, &dof, "depth of field off or on (default 1)");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;
    if (!reference.empty()) {
        if (!output.empty() || !sheet.empty())
            return parser.refuse("--compare takes neither -o nor --from-sheet");
        return compare(reference, width, height, dof, times);
    }
    if (output.empty()) return parser.refuse("give -o FILE or --compare FILE (see --help)");

    picture::Frames frames;
    std::string error;
    const bool ok = sheet.empty() ? picture::draw(width, height, dof, times, frames, &error)
                                  : picture::fromSheet(sheet, width, height, frames, &error);
    if (!ok || !picture::write(output, frames, &error)) {
        std::fprintf(stderr, "ostrel-frames: %s\n", error.c_str());
        return 1;
    }
    std::printf("ostrel-frames: %zu frames of %d x %d into %s\n", frames.rgb.size(), width,
                height, output.c_str());
    return 0;
}

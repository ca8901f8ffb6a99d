// ostrel-frames: frames of the show at chosen moments, written to a frame
// file or compared with one (tools/picture.h).
//
//   ostrel-frames -o FILE [--size 128x96] [--times MS,MS,...] [--dof 0|1]
//   ostrel-frames --compare FILE [--size WxH] [--times MS,...] [--dof 0|1]
//   ostrel-frames --from-sheet SHEET -o FILE [--size 128x96]
//
// The first form draws the moments (by default every 2 s of the whole show,
// as ostrel-sheet spaces them; depth of field as the tweak settings say)
// into one PNG whose comment says what they were drawn with. The second
// draws the moments FILE was drawn at, with its size and depth of field,
// with this build and compares each with its frame in FILE, one line per
// frame: the share of pixels within 2/255 in every channel, the mean
// absolute difference and the largest; it exits with status 1 when a frame
// is not the same picture (at least 99 % within, a mean of at most 0.5/255).
// Options that ask for other frames than FILE holds are refused before
// anything is drawn; for a file that does not say (cut from a sheet), the
// options say, and the frame count must match. The third cuts the frames
// out of a contact sheet drawn with one column (ostrel-sheet --columns 1),
// for reference frames from a revision that has no ostrel-frames.
#include <cstdio>
#include <string>
#include <vector>

#include "sync/content.h"
#include "sync/show_tracks.h"
#include "tools/common/checks.h"
#include "tools/common/options.h"
#include "tools/picture.h"

namespace {

struct Options {
    std::string output, reference, sheet;
    int width = 0, height = 0;  // 0: not given (128x96, or the file's)
    int dof = -1;               // -1: not given (the tweak settings, or the file's)
    std::vector<std::int64_t> times;
};

std::string timesText(const std::vector<std::int64_t>& times) {
    if (times.empty()) return "none";
    std::string text = std::to_string(times.front());
    if (times.size() > 1) text += " to " + std::to_string(times.back());
    return text + " ms (" + std::to_string(times.size()) +
           (times.size() == 1 ? " time)" : " times)");
}

// Fills in what FILE says, refusing options that ask for other frames.
// Status -1 to go on.
int takeReference(const OptionParser& parser, Options& o, picture::Frames& reference) {
    std::string error;
    if (picture::readDescribed(o.reference, reference, &error)) {
        const std::string head = o.reference + " holds ";
        if (o.width && (o.width != reference.width || o.height != reference.height))
            return parser.refuse(head + "frames of " + std::to_string(reference.width) + "x" +
                                 std::to_string(reference.height) + ", not --size " +
                                 std::to_string(o.width) + "x" + std::to_string(o.height));
        if (o.dof >= 0 && o.dof != reference.dof)
            return parser.refuse(head + "frames drawn with depth of field " +
                                 (reference.dof ? "on" : "off") + ", not --dof " +
                                 std::to_string(o.dof));
        if (!o.times.empty() && o.times != reference.times)
            return parser.refuse(head + "the show times " + timesText(reference.times) +
                                 ", not --times " + timesText(o.times));
        o.width = reference.width;
        o.height = reference.height;
        o.dof = reference.dof;
        o.times = reference.times;
        return -1;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "ostrel-frames: %s\n", error.c_str());
        return 1;
    }
    // A file that does not say: the options do.
    if (!o.width) o.width = 128, o.height = 96;
    if (o.times.empty() && !picture::defaultTimes(o.times, &error)) {
        std::fprintf(stderr, "ostrel-frames: %s\n", error.c_str());
        return 1;
    }
    if (!picture::read(o.reference, o.width, o.height, reference, &error)) {
        std::fprintf(stderr, "ostrel-frames: %s\n", error.c_str());
        return 1;
    }
    if (reference.rgb.size() != o.times.size())
        return parser.refuse(o.reference + " holds " + std::to_string(reference.rgb.size()) +
                             (reference.rgb.size() == 1 ? " frame of " : " frames of ") + std::to_string(o.width) + "x" +
                             std::to_string(o.height) + ", and " + timesText(o.times) +
                             " are asked for (give --times)");
    return -1;
}

int compare(const OptionParser& parser, Options& o) {
    picture::Frames reference, drawn;
    const int status = takeReference(parser, o, reference);
    if (status >= 0) return status;
    std::string error;
    if (!picture::draw(o.width, o.height, o.dof, o.times, drawn, &error)) {
        std::fprintf(stderr, "ostrel-frames: %s\n", error.c_str());
        return 1;
    }
    int differ = 0;
    std::printf("show ms   within 2/255   mean /255   largest /255\n");
    for (std::size_t i = 0; i < o.times.size(); ++i) {
        const picture::Difference d = picture::compare(reference.rgb[i], drawn.rgb[i]);
        const bool same = picture::alike(d);
        differ += same ? 0 : 1;
        std::printf("%7lld   %10.2f %%   %9.3f   %12d%s\n", static_cast<long long>(o.times[i]),
                    100.0 * d.within, d.mean, d.largest, same ? "" : "   DIFFERENT");
    }
    const std::size_t n = o.times.size();
    std::printf("%zu frame%s of %d x %d (depth of field %s) against %s: %s\n", n,
                n == 1 ? "" : "s", o.width, o.height, drawn.dof ? "on" : "off",
                o.reference.c_str(),
                differ == 0 ? "the same picture"
                : differ == 1 ? "1 differs"
                              : (std::to_string(differ) + " differ").c_str());
    return differ ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    OptionParser parser("ostrel-frames",
                        "(-o FILE | --compare FILE | --from-sheet SHEET -o FILE) [options]",
                        "Draws moments of the show into a frame file (frames stacked in one PNG), "
                        "or compares this\nbuild's frames with one, or cuts a one-column contact "
                        "sheet into one.");
    parser.text("-o", "FILE", &o.output, "the frame file to write");
    parser.text("--compare", "FILE", &o.reference,
                "compare this build's frames with FILE (at the times, size and depth of field\n"
                "it was drawn with)");
    parser.text("--from-sheet", "SHEET", &o.sheet,
                "take the frames from a contact sheet drawn with --columns 1");
    parser.size("--size", &o.width, &o.height,
                "size of each frame, sides 1 to 8192 (default 128x96)");
    parser.list("--times", "MS,MS,...", 0, 3600000, &o.times,
                "these show times, up to the show's last frame (default: every 2 s of the\n"
                "whole show)");
    parser.integer("--dof", "0|1", 0, 1, &o.dof,
                   "depth of field off or on (default: as the tweak settings say)");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;
    std::string error;
    if (!o.times.empty()) {
        ShowTracks tracks;
        if (!loadShowTracks(ostrelContent, tracks, &error)) {
            std::fprintf(stderr, "ostrel-frames: %s\n", error.c_str());
            return 1;
        }
        const std::int32_t last = showLastFrame(tracks);
        for (std::int64_t t : o.times)
            if (!withinShow("--times " + std::to_string(t), t, last, &error))
                return parser.refuse(error);
    }
    if (!o.reference.empty()) {
        if (!o.output.empty() || !o.sheet.empty())
            return parser.refuse("--compare takes neither -o nor --from-sheet");
        return compare(parser, o);
    }
    if (o.output.empty()) return parser.refuse("give -o FILE or --compare FILE (see --help)");
    if (!o.width) o.width = 128, o.height = 96;
    if (!outputCreatable("-o", o.output, &error)) return parser.refuse(error);

    picture::Frames frames;
    const bool ok = o.sheet.empty()
                        ? picture::draw(o.width, o.height, o.dof, o.times, frames, &error)
                        : picture::fromSheet(o.sheet, o.width, o.height, frames, &error);
    if (!ok || !picture::write(o.output, frames, &error)) {
        std::fprintf(stderr, "ostrel-frames: %s\n", error.c_str());
        return 1;
    }
    const std::size_t n = frames.rgb.size();
    std::printf("ostrel-frames: %zu frame%s of %d x %d into %s\n", n, n == 1 ? "" : "s", o.width,
                o.height, o.output.c_str());
    return 0;
}

// ostrel-soundtrack: renders the show's score into a RIFF/WAVE file.
//
// Usage: ostrel-soundtrack [--score FILE] [--seconds S] [--levels] [--image] OUT.wav
//
// Reads the score (by default the one in the source tree,
// content/score/ostrel.score), synthesises it and writes 16-bit stereo at
// 44100 Hz: the music as long as it lasts (or --seconds S of it, ending
// with the usual fade), to listen to:
//
//     build/bin/ostrel-soundtrack /tmp/ostrel.wav     (then any player)
//
// --image writes instead the complete image that the show carries, whose
// layout the content block fixes: 168.311 s, the music first and silence
// after its end. The build runs it so whenever the score or the synthesiser
// changes and hands the image to the content builder. OUT "-" is standard
// output (the summary then goes to standard error). --levels also prints
// every instrument's own loudness in the final mix, to balance them. The
// program prints the render time and the measured levels: integrated
// loudness, the limiter's deepest reduction, sample peak and DC.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "content/score/score.h"
#include "content/synth/mixer.h"
#include "content/wav_writer.h"
#include "tools/common/options.h"
#include "tools/common/paths.h"

#ifndef OSTREL_SCORE
#define OSTREL_SCORE "content/score/ostrel.score"
#endif

namespace {

// A loudness as people read it: "silent" for an instrument that plays nothing.
std::string loudnessText(double lufs) {
    if (!(lufs > -150.0)) return "silent";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f LUFS", lufs);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::string scorePath = OSTREL_SCORE;
    double seconds = -1.0;
    bool levels = false, image = false;
    std::vector<std::string> out;
    OptionParser parser("ostrel-soundtrack", "[--score FILE] [--seconds S] [--levels] [--image] OUT.wav",
                        "Renders the score into a RIFF/WAVE file (16-bit stereo, 44100 Hz): the "
                        "music, or with\n--image the show's whole soundtrack image.");
    parser.positional("OUT.wav", 1, 1, &out, "the file to write; - for standard output");
    parser.text("--score", "FILE", &scorePath, "the score to render (default: the show's own)");
    parser.number("--seconds", "S", 0.0, 86400.0, true, &seconds,
                  "end the music after S seconds, above 0 (default: the whole piece)");
    parser.flag("--levels", &levels, "also print every instrument's loudness in the mix");
    parser.flag("--image", &image,
                "write the show's image: 168.311 s, silence after the music (the build's)");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;
    const std::string outPath = out.front();
    std::string error;
    if (!outputCreatable("", outPath, &error)) return parser.refuse(error);
    std::FILE* summary = outPath == "-" ? stderr : stdout;

    const auto started = std::chrono::steady_clock::now();
    std::ifstream in(scorePath, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "ostrel-soundtrack: cannot read the score %s\n", scorePath.c_str());
        return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    score::Score sc;
    if (!score::parseScore(text, sc, error)) {
        std::fprintf(stderr, "ostrel-soundtrack: %s:%s\n", scorePath.c_str(), error.c_str());
        return 1;
    }
    if (seconds > 0.0 && seconds < sc.end)
        sc.piece.end = std::int64_t(seconds * synth::sampleRate + 0.5);

    // The music is mixed into the image's length either way, so that what
    // is heard is the image's start sample for sample.
    synth::MixStats stats;
    const std::vector<std::int16_t> samples = synth::mixPiece(sc.piece, soundtrackFrames, &stats, levels);
    const std::uint32_t frames =
        image ? soundtrackFrames
              : std::uint32_t(std::min<std::int64_t>(stats.musicFrames, soundtrackFrames));
    if (!writeWaveFile(outPath, buildWaveImage(samples.data(), frames), error)) {
        std::fprintf(stderr, "ostrel-soundtrack: %s\n", error.c_str());
        return 1;
    }
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::size_t sections = sc.sections.size(), instruments = sc.piece.tracks.size();
    std::fprintf(summary,
                 "ostrel-soundtrack: %.3f s of music (%zu section%s, %zu instrument%s) in %.2f s: "
                 "%s (gain %+.2f dB, limiter %.2f dB), peak %.2f dBFS, DC %.1e / %.1e; %.3f s "
                 "written%s\n",
                 double(stats.musicFrames) / synth::sampleRate, sections, sections == 1 ? "" : "s",
                 instruments, instruments == 1 ? "" : "s", took, loudnessText(stats.loudness).c_str(),
                 stats.gain, stats.limiting, stats.peak, stats.dcLeft, stats.dcRight,
                 double(frames) / synth::sampleRate, image ? " (the show's image)" : "");
    for (std::size_t t = 0; t < stats.trackLoudness.size(); ++t)
        std::fprintf(summary, "  %-8s %9s\n", sc.piece.tracks[t].name.c_str(),
                     loudnessText(stats.trackLoudness[t]).c_str());
    return 0;
}

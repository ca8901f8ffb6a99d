// ostrel-soundtrack: renders the show's score into the soundtrack image.
//
// Usage: ostrel-soundtrack [--score FILE] [--seconds S] [--levels] OUT.wav
//
// Reads the score (by default the one in the source tree,
// content/score/ostrel.score), synthesises it and writes the complete
// RIFF/WAVE image that the show carries: 168.311 s of 16-bit stereo at
// 44100 Hz, the music first and silence after its end. The build runs it
// whenever the score or the synthesiser changes and hands the image to the
// content builder; run it by hand to listen to the piece:
//
//     build/bin/ostrel-soundtrack /tmp/ostrel.wav     (then any player)
//
// --seconds S ends the music after S seconds (with the usual fade), for
// quick trials. --levels also prints every instrument's own loudness in the
// final mix, to balance them. The program prints the render time and the measured levels:
// integrated loudness, the limiter's deepest reduction, sample peak and DC.
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

#ifndef OSTREL_SCORE
#define OSTREL_SCORE "content/score/ostrel.score"
#endif

int main(int argc, char** argv) {
    std::string scorePath = OSTREL_SCORE;
    double seconds = -1.0;
    bool levels = false;
    std::vector<std::string> out;
    OptionParser parser("ostrel-soundtrack", "[--score FILE] [--seconds S] [--levels] OUT.wav",
                        "Renders the score into the show's soundtrack image (RIFF/WAVE, 16-bit "
                        "stereo, 44100 Hz).");
    parser.positional("OUT.wav", 1, 1, &out, "the image to write");
    parser.text("--score", "FILE", &scorePath, "the score to render (default: the show's own)");
    parser.number("--seconds", "S", 0.0, 86400.0, true, &seconds,
                  "end the music after S seconds, for quick trials");
    parser.flag("--levels", &levels, "also print every instrument's loudness in the mix");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;
    const std::string outPath = out.front();

    const auto started = std::chrono::steady_clock::now();
    std::ifstream in(scorePath, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "soundtrack: cannot read the score %s\n", scorePath.c_str());
        return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    score::Score sc;
    std::string error;
    if (!score::parseScore(text, sc, error)) {
        std::fprintf(stderr, "soundtrack: %s:%s\n", scorePath.c_str(), error.c_str());
        return 1;
    }
    if (seconds > 0.0 && seconds < sc.end)
        sc.piece.end = std::int64_t(seconds * synth::sampleRate + 0.5);

    synth::MixStats stats;
    const std::vector<std::int16_t> samples = synth::mixPiece(sc.piece, soundtrackFrames, &stats, levels);
    if (!writeWaveFile(outPath, buildWaveImage(samples.data(), soundtrackFrames), error)) {
        std::fprintf(stderr, "soundtrack: %s\n", error.c_str());
        return 1;
    }
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf(
        "soundtrack: %.3f s of music (%zu sections, %zu instruments) in %.2f s: "
        "%.2f LUFS (gain %+.2f dB, limiter %.2f dB), peak %.2f dBFS, DC %.1e / %.1e\n",
        double(stats.musicFrames) / synth::sampleRate, sc.sections.size(), sc.piece.tracks.size(),
        took, stats.loudness, stats.gain, stats.limiting, stats.peak, stats.dcLeft, stats.dcRight);
    for (std::size_t t = 0; t < stats.trackLoudness.size(); ++t)
        std::printf("  %-8s %7.1f LUFS\n", sc.piece.tracks[t].name.c_str(), stats.trackLoudness[t]);
    return 0;
}

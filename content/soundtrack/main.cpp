// ostrel-soundtrack: writes the show's soundtrack image.
//
// Usage: ostrel-soundtrack OUT.wav
//
// The build runs it and hands the image to the content builder. Until the
// show has a score, the image holds silence in the soundtrack's exact
// arrangement, and the program says so.
#include <cstdio>
#include <string>
#include <vector>

#include "content/wav_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ostrel-soundtrack OUT.wav\n");
        return 2;
    }
    std::vector<std::int16_t> samples(std::size_t(soundtrackFrames) * 2, 0);
    std::printf("soundtrack: no score yet, writing %u frames of silence\n", soundtrackFrames);
    std::string error;
    if (!writeWaveFile(argv[1], buildWaveImage(samples.data(), soundtrackFrames), error)) {
        std::fprintf(stderr, "soundtrack: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

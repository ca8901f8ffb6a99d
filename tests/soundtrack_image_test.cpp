// The whole soundtrack as the show carries it: the image the build
// rendered from the shipped score, checked for its exact arrangement, its
// levels (peak, loudness, DC), music in every section, a real ending before
// the show stops the sound and silence after; and a fresh render of the
// score (a few seconds) that must give the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "content/score/score.h"
#include "content/synth/effects.h"
#include "content/synth/mixer.h"
#include "content/wav_writer.h"
#include "sync/wave.h"

namespace {

score::Score shippedScore() {
    score::Score s;
    std::ifstream in(OSTREL_SCORE, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    EXPECT_TRUE(score::parseScore(text, s, error)) << error;
    return s;
}

struct Built {
    score::Score score;
    std::vector<std::uint8_t> image;
    std::vector<std::int16_t> samples;  // decoded from the image's data chunk
};

const Built& built() {
    static const Built b = [] {
        Built out;
        out.score = shippedScore();
        std::ifstream in(OSTREL_SOUNDTRACK_IMAGE, std::ios::binary);
        EXPECT_TRUE(in) << OSTREL_SOUNDTRACK_IMAGE;
        out.image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (out.image.size() == 29692182u) {
            out.samples.resize(std::size_t(soundtrackFrames) * 2);
            for (std::size_t i = 0; i < out.samples.size(); ++i)
                out.samples[i] = std::int16_t(out.image[80 + 2 * i] | out.image[81 + 2 * i] << 8);
        }
        return out;
    }();
    return b;
}

std::uint32_t read32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t read16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint16_t(b[at] | b[at + 1] << 8);
}
bool tagAt(const std::vector<std::uint8_t>& b, std::size_t at, const char* tag) {
    return std::memcmp(b.data() + at, tag, 4) == 0;
}

std::size_t frameAt(double seconds) { return std::size_t(std::floor(seconds * 44100.0 + 0.5)); }

// RMS in dBFS of both channels over [from, to) seconds.
double rmsDb(const std::vector<std::int16_t>& x, double from, double to) {
    double e = 0;
    const std::size_t a = frameAt(from), b = frameAt(to);
    for (std::size_t i = 2 * a; i < 2 * b; ++i) e += double(x[i]) * x[i];
    return 10 * std::log10(e / double(2 * (b - a)) / (32768.0 * 32768.0) + 1e-30);
}

}  // namespace

TEST(SoundtrackImage, HasTheShowsExactArrangement) {
    const std::vector<std::uint8_t>& b = built().image;
    ASSERT_EQ(b.size(), 29692182u);
    EXPECT_TRUE(tagAt(b, 0, "RIFF"));
    EXPECT_EQ(read32(b, 4), 29692174u);
    EXPECT_TRUE(tagAt(b, 8, "WAVE"));
    EXPECT_TRUE(tagAt(b, 12, "JUNK"));
    EXPECT_EQ(read32(b, 16), 28u);
    for (std::size_t i = 20; i < 48; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_TRUE(tagAt(b, 48, "fmt "));
    EXPECT_EQ(read32(b, 52), 16u);
    EXPECT_EQ(read16(b, 56), 1);
    EXPECT_EQ(read16(b, 58), 2);
    EXPECT_EQ(read32(b, 60), 44100u);
    EXPECT_EQ(read32(b, 64), 176400u);
    EXPECT_EQ(read16(b, 68), 4);
    EXPECT_EQ(read16(b, 70), 16);
    EXPECT_TRUE(tagAt(b, 72, "data"));
    EXPECT_EQ(read32(b, 76), 29690092u);
    EXPECT_EQ(29690092u / 4, 7422523u);
    EXPECT_TRUE(tagAt(b, 29690172, "iXML"));
    EXPECT_EQ(read32(b, 29690176), 2002u);
    // The chunks add up to the RIFF size: WAVE + JUNK + fmt + data + iXML.
    EXPECT_EQ(4 + (8 + 28) + (8 + 16) + (8 + 29690092) + (8 + 2002), 29692174);
    // And the show's own reader takes it.
    WaveFormat format;
    const char* error = nullptr;
    ASSERT_TRUE(readWave(b.data(), b.size(), format, &error)) << error;
    EXPECT_TRUE(isShowFormat(format));
    EXPECT_EQ(format.samples, b.data() + 80);
    EXPECT_EQ(format.sampleBytes, 29690092u);
}

TEST(SoundtrackImage, LevelsPeakLoudnessAndDc) {
    const std::vector<std::int16_t>& x = built().samples;
    ASSERT_FALSE(x.empty());
    int peak = 0;
    double sumL = 0, sumR = 0;
    for (std::size_t i = 0; i < x.size(); i += 2) {
        peak = std::max(peak, std::max(std::abs(int(x[i])), std::abs(int(x[i + 1]))));
        sumL += x[i];
        sumR += x[i + 1];
    }
    const double peakDb = 20 * std::log10(peak / 32768.0);
    EXPECT_LE(peakDb, -0.3);
    EXPECT_GT(peakDb, -6.0) << "the piece is far quieter than its ceiling";
    const std::size_t music = frameAt(100.0);
    EXPECT_LT(std::fabs(sumL / double(x.size() / 2) / 32768.0), 1e-3);
    EXPECT_LT(std::fabs(sumR / double(x.size() / 2) / 32768.0), 1e-3);
    std::vector<float> l(music), r(music);
    for (std::size_t i = 0; i < music; ++i) {
        l[i] = float(x[2 * i] / 32768.0);
        r[i] = float(x[2 * i + 1] / 32768.0);
    }
    EXPECT_NEAR(synth::integratedLoudness(l.data(), r.data(), music), -14.0, 1.0);
}

TEST(SoundtrackImage, MusicInEverySectionARealEndingAndSilenceAfter) {
    const Built& s = built();
    ASSERT_FALSE(s.samples.empty());
    for (const score::Section& section : s.score.sections) {
        const double from = section.start, to = section.start + section.beats * section.beatLength;
        EXPECT_GT(rmsDb(s.samples, from, to), -30.0) << section.name;
    }
    // The last section opens with the final hit and rings out: loud at
    // first, 20 dB down a second and a half later, near silence when the
    // show stops the sound at 100.334 s, and digital silence after.
    const score::Section& last = s.score.sections.back();
    const double hit = rmsDb(s.samples, last.start, last.start + 0.4);
    EXPECT_GT(hit, -20.0);
    EXPECT_LT(rmsDb(s.samples, last.start + 1.5, last.start + 1.9), hit - 20.0);
    int tail = 0;
    for (std::size_t i = 2 * frameAt(100.234); i < 2 * frameAt(100.334); ++i) tail = std::max(tail, std::abs(int(s.samples[i])));
    EXPECT_LT(20 * std::log10((tail + 1) / 32768.0), -50.0);
    for (std::size_t i = 2 * frameAt(100.334); i < s.samples.size(); ++i) ASSERT_EQ(s.samples[i], 0) << i / 2;
}

TEST(SoundtrackImage, AFreshRenderOfTheScoreIsTheBuiltImage) {
    // Another process, another time: the same bytes, written the same way.
    score::Score s = shippedScore();
    const std::vector<std::int16_t> samples = synth::mixPiece(s.piece, soundtrackFrames, nullptr);
    const std::vector<std::uint8_t> image = buildWaveImage(samples.data(), soundtrackFrames);
    ASSERT_EQ(image.size(), built().image.size());
    EXPECT_TRUE(image == built().image) << "the build's soundtrack differs from a fresh render of the score";
    EXPECT_EQ(std::int16_t(read16(image, 80 + 4 * 500000)), samples[2 * 500000]);
}

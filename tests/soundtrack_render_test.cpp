// Rendering a small fixed piece that uses every instrument kind, both send
// effects, automation, ducking and the master stage: it must come out the
// same twice in a process and byte for byte what this code has always
// rendered (a recorded hash), so a build on another machine, compiler or
// optimisation level that renders different bytes fails here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "content/score/score.h"
#include "content/synth/mixer.h"

namespace {

const char* const piece =
    "master loudness -16 ceiling -1.5 fade 0.3 sidechain kick\n"
    "reverb time 1.5 level 0.6\n"
    "delay time 0.25 feedback 0.5\n"
    "instrument kick kick level -3\n"
    "instrument snare snare claps 2\n"
    "instrument hat hat decay 0.1 pan 0.5\n"
    "instrument pad synth unison 3 detune 20 cutoff 800 fenv 1 attack 0.3 release 0.5\n"
    "    reverb 0.5 duck 0.7 lforate 0.5 lfocutoff 1 vibrato 10 drive 0.5 sub 0.3 noise 0.05\n"
    "instrument bell fm ratio 3.5 index 3 delay 0.5 pan -0.5\n"
    "chord Cm C3 Eb3 G3\n"
    "pattern beat 4 X . x . o . x . X . . x . . x .\n"
    "pattern back 1 . x . x\n"
    "pattern hats 4 x o\n"
    "pattern chords 1 Cm - - - G2+D3+G3 - - -\n"
    "pattern tune 2 C5 Eb5 G5 - . C6! Bb5? .\n"
    "section one row 0 beats 8\n"   // four seconds, 120 beats a minute
    "play kick beat\n"
    "play snare back\n"
    "play hat hats from 4\n"
    "play pad chords\n"
    "ramp pad cutoff 300 3000 to 6\n"
    "play bell tune from 2 transpose -12\n"
    "section two row 96 beats 4\n"  // the last second
    "play kick beat to 2\n"
    "play pad chords to 2\n"
    "set pad level -12 at 1\n"
    "end row 120\n";

constexpr std::uint32_t frames = 6 * 44100;

std::vector<std::int16_t> renderPiece(synth::MixStats* stats = nullptr) {
    score::Score s;
    std::string error;
    EXPECT_TRUE(score::parseScore(piece, s, error)) << error;
    return synth::mixPiece(s.piece, frames, stats);
}

std::uint64_t fnv1a(const std::vector<std::int16_t>& samples) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::int16_t s : samples)
        for (int b = 0; b < 2; ++b) {
            h ^= std::uint8_t(std::uint16_t(s) >> (8 * b));
            h *= 0x100000001b3ull;
        }
    return h;
}

}  // namespace

TEST(SoundtrackRender, SamePieceSameBytesEveryTimeAndEverywhere) {
    synth::MixStats stats;
    const std::vector<std::int16_t> a = renderPiece(&stats);
    const std::vector<std::int16_t> b = renderPiece();
    ASSERT_EQ(a.size(), std::size_t(frames) * 2);
    EXPECT_TRUE(a == b) << "two renders of one piece differ";
    // Recorded from this code (g++ 12 at -O0, -O3 and -O3 -march=native,
    // clang 14 at -O2 all render it); a change to the synthesiser that
    // alters the sound on purpose records the new value here.
    EXPECT_EQ(fnv1a(a), 0x667b092583459745ull) << std::hex << "rendered 0x" << fnv1a(a);
    // The master stage did its job on this piece too.
    EXPECT_NEAR(stats.loudness, -16.0, 0.1);
    EXPECT_LE(stats.peak, -1.5 + 0.01);
    EXPECT_EQ(stats.musicFrames, 5 * 44100);
}

TEST(SoundtrackRender, MusicEndsAtTheEndWithAFadeAndSilenceAfter) {
    const std::vector<std::int16_t> x = renderPiece();
    const std::size_t end = 5 * 44100;
    int lastTenth = 0, fadeStart = 0;
    for (std::size_t i = 2 * (end - 4410); i < 2 * end; ++i) lastTenth = std::max(lastTenth, std::abs(int(x[i])));
    for (std::size_t i = 2 * (end - 13230); i < 2 * (end - 11025); ++i) fadeStart = std::max(fadeStart, std::abs(int(x[i])));
    EXPECT_GT(fadeStart, 300);
    EXPECT_LT(lastTenth, fadeStart / 4);
    EXPECT_EQ(x[2 * end - 2], 0);
    for (std::size_t i = 2 * end; i < x.size(); ++i) ASSERT_EQ(x[i], 0) << i;
}

TEST(SoundtrackRender, SidechainDucksTheInstrumentUnderEveryHit) {
    // A held tone with a kick every beat: right after each kick the tone is
    // pulled down, and it comes back before the next.
    const char* text =
        "master sidechain kick\n"
        "instrument kick kick level -60\n"
        "instrument tone synth wave sine cutoff 15000 attack 0.01 sustain 1 duck 0.75 duckrelease 0.2\n"
        "pattern beat 1 x\n"
        "pattern hold 1 A3 - - - - - - -\n"
        "section one row 0 beats 8\n"
        "play kick beat\n"
        "play tone hold\n"
        "end row 96\n";
    score::Score s;
    std::string error;
    ASSERT_TRUE(score::parseScore(text, s, error)) << error;
    s.piece.master.lowcut = 10;
    const std::vector<std::int16_t> x = synth::mixPiece(s.piece, 4 * 44100, nullptr);
    auto peak = [&](double from, double to) {
        int p = 0;
        for (std::size_t i = std::size_t(from * 44100); i < std::size_t(to * 44100); ++i)
            p = std::max(p, std::abs(int(x[2 * i])));
        return double(p);
    };
    for (double beat = 1.0; beat < 3.5; beat += 0.5) {
        // 4 ms after the hit the pull is complete (a quarter is left); one
        // period of the 220 Hz tone later it has barely let go.
        const double ducked = peak(beat + 0.004, beat + 0.0095);
        const double recovered = peak(beat + 0.3, beat + 0.45);
        EXPECT_NEAR(ducked / recovered, 0.27, 0.04) << "beat at " << beat << " s";
    }
}

// The score's parser: note names, where notes land in time (sections that
// start on show rows, repeated patterns, holds and rests, chords, velocity
// marks, transposition), automation, the faults it must name by line, and
// the shipped score's agreement with the show's cuts.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>

#include "content/score/score.h"

using score::Score;

namespace {

const char* const header =
    "instrument lead synth level -6 cutoff 1200\n"
    "instrument drum kick\n"
    "chord Dm D3 F3 A3\n";

Score parsed(const std::string& text) {
    Score s;
    std::string error;
    EXPECT_TRUE(score::parseScore(text, s, error)) << error;
    return s;
}

std::string faultOf(const std::string& text) {
    Score s;
    std::string error;
    EXPECT_FALSE(score::parseScore(text, s, error)) << "accepted:\n" << text;
    return error;
}

std::int64_t sampleOf(double seconds) { return std::int64_t(std::floor(seconds * 44100.0 + 0.5)); }

const synth::Track& trackNamed(const Score& s, const std::string& name) {
    for (const synth::Track& t : s.piece.tracks)
        if (t.name == name) return t;
    ADD_FAILURE() << "no track " << name;
    return s.piece.tracks.front();
}

}  // namespace

TEST(SoundtrackScore, NoteNames) {
    EXPECT_EQ(score::noteNumber("C4"), 60);
    EXPECT_EQ(score::noteNumber("A4"), 69);
    EXPECT_EQ(score::noteNumber("C#4"), 61);
    EXPECT_EQ(score::noteNumber("Bb2"), 46);
    EXPECT_EQ(score::noteNumber("Cb4"), 59);
    EXPECT_EQ(score::noteNumber("C-1"), 0);
    EXPECT_EQ(score::noteNumber("G9"), 127);
    for (const char* bad : {"", "H2", "C", "Dm9", "Bbmaj7", "C10", "G#9", "c4", "C4x", "Cb-1"})
        EXPECT_EQ(score::noteNumber(bad), -1) << bad;
}

TEST(SoundtrackScore, SectionsStartOnTheirRowsAndTheirBeatsFillThem) {
    const Score s = parsed(std::string(header) +
                           "section a row 0 beats 8\n"
                           "section b row 240 beats 6\n"  // 10 s
                           "end row 384\n");              // 16 s
    ASSERT_EQ(s.sections.size(), 2u);
    EXPECT_EQ(s.sections[0].start, 0.0);
    EXPECT_DOUBLE_EQ(s.sections[0].beatLength, 10.0 / 8);
    EXPECT_DOUBLE_EQ(s.sections[1].start, 10.0);
    EXPECT_DOUBLE_EQ(s.sections[1].beatLength, 1.0);
    EXPECT_DOUBLE_EQ(s.end, 16.0);
    EXPECT_EQ(s.piece.end, 16 * 44100);
    EXPECT_EQ(s.piece.tracks.size(), 2u);
    EXPECT_EQ(s.piece.tracks[0].patch.level, -6.0);
    EXPECT_EQ(s.piece.tracks[0].patch.cutoff, 1200.0);
}

TEST(SoundtrackScore, PatternsRepeatHoldRestAndStopAtTheirSpan) {
    const Score s = parsed(std::string(header) +
                           "pattern p 2  C4 - . D4! | Dm? E4 # two steps a beat\n"
                           "section a row 0 beats 4\n"
                           "section b row 96 beats 8\n"  // 4 s: half a second a beat
                           "play lead p from 1 to 6 transpose 2\n"
                           "end row 192\n");
    const synth::Track& lead = trackNamed(s, "lead");
    // Steps of a quarter second from 4.5 s: C4 held two steps, a rest,
    // D4 (accented), the chord (soft, three notes), E4; then again from
    // C4, and the accented D4 is cut at beat 6 (7 s).
    struct Want {
        double start, end, note, velocity;
    };
    const Want want[] = {{4.5, 5.0, 62, 0.8},   {5.25, 5.5, 64, 1.0},  {5.5, 5.75, 52, 0.5},
                         {5.5, 5.75, 55, 0.5},  {5.5, 5.75, 59, 0.5},  {5.75, 6.0, 66, 0.8},
                         {6.0, 6.5, 62, 0.8},   {6.75, 7.0, 64, 1.0}};
    ASSERT_EQ(lead.notes.size(), std::size(want));
    for (std::size_t i = 0; i < lead.notes.size(); ++i) {
        const synth::NoteEvent& n = lead.notes[i];
        EXPECT_EQ(n.start, sampleOf(want[i].start)) << i;
        EXPECT_EQ(n.start + n.gate, sampleOf(want[i].end)) << i;
        EXPECT_EQ(n.note, want[i].note) << i;
        EXPECT_EQ(n.velocity, want[i].velocity) << i;
    }
}

TEST(SoundtrackScore, DrumHitsAndAutomation) {
    const Score s = parsed(std::string(header) +
                           "master sidechain drum\n"
                           "pattern k 1 X o x .\n"
                           "section a row 0 beats 4\n"  // 2 s: half a second a beat
                           "play drum k\n"
                           "ramp lead cutoff 200 4000 from 1 to 3\n"
                           "set lead level -20 at 2\n"
                           "end row 48\n");
    const synth::Track& drum = trackNamed(s, "drum");
    ASSERT_EQ(drum.notes.size(), 3u);
    EXPECT_EQ(drum.notes[0].velocity, 1.0);
    EXPECT_EQ(drum.notes[1].velocity, 0.5);
    EXPECT_EQ(drum.notes[2].start, sampleOf(1.0));
    EXPECT_EQ(s.piece.sidechain, 1);
    const synth::Track& lead = trackNamed(s, "lead");
    ASSERT_EQ(lead.ramps.size(), 2u);
    EXPECT_EQ(lead.ramps[0].target, synth::rampCutoff);
    EXPECT_EQ(lead.ramps[0].start, sampleOf(0.5));
    EXPECT_EQ(lead.ramps[0].end, sampleOf(1.5));
    EXPECT_EQ(lead.ramps[1].target, synth::rampLevel);
    EXPECT_EQ(lead.ramps[1].start, lead.ramps[1].end);
    // The curve holds the patch value before the ramp and the end value after.
    const std::vector<double> curve = synth::controlCurve(lead, synth::rampCutoff, 1200, s.piece.end);
    ASSERT_FALSE(curve.empty());
    EXPECT_NEAR(curve[100], 1200, 1e-6);
    // Halfway up the ramp it trails the straight line by its 15 ms of
    // smoothing (3800 Hz a second x 0.015 s).
    EXPECT_NEAR(curve[std::size_t(sampleOf(1.0)) / synth::controlBlock], 2100 - 57, 5);
    EXPECT_NEAR(curve.back(), 4000, 1e-6);
}

TEST(SoundtrackScore, FaultsNameTheirLine) {
    struct Case {
        std::string text;
        const char* where;
        const char* what;
    };
    const std::string h = header;  // three lines
    const Case cases[] = {
        {h + "instrument x organ\n", "4:", "unknown instrument kind"},
        {h + "instrument lead fm\n", "4:", "defined twice"},
        {h + "instrument y synth\n  cutof 100\n", "5:", "no setting 'cutof'"},
        {h + "instrument y synth cutoff 5\n", "4:", "outside"},
        {h + "instrument y synth wave bell\n", "4:", "not one of"},
        {h + "instrument y synth level loud\n", "4:", "not a number"},
        {h + "chord A7 A3 C#4\n", "4:", "reads as a note"},
        {h + "pattern p 4 C4 H4\n", "4:", "neither a note nor a chord"},
        {h + "pattern p 4\n", "4:", "no steps"},
        {h + "section a row 10 beats 4\nsection b row 10 beats 4\n", "5:", "does not start after"},
        {h + "pattern p 4 x\nplay drum p\n", "5:", "none has begun"},
        {h + "section a row 0 beats 4\nplay drum nothing\nend row 24\n", "5:", "unknown pattern"},
        {h + "pattern p 4 x\nsection a row 0 beats 4\nplay bass p\nend row 24\n", "6:", "unknown instrument"},
        {h + "pattern p 4 x\nsection a row 0 beats 4\nplay drum p to 5\nend row 24\n", "6:", "past the end"},
        {h + "pattern p 4 x\nsection a row 0 beats 4\nplay drum p from 3 to 2\nend row 24\n", "6:", "after 'to'"},
        {h + "section a row 0 beats 4\nramp drum cutoff 100 200\nend row 24\n", "5:", "only synth"},
        {h + "section a row 0 beats 4\nramp lead level 0 40\nend row 24\n", "5:", "outside"},
        {h + "section a row 0 beats 4\nend row 0\n", "5:", "does not come after"},
        {h + "section a row 0 beats 4\n", "1:", "no 'end row'"},
        {h + "section a row 0 beats 4\nend row 24\nplay drum p\n", "6:", "after the end"},
        {h + "master sidechain nobody\nsection a row 0 beats 4\nend row 24\n", "4:", "unknown sidechain"},
        {h + "tempo 120\n", "4:", "unknown statement"},
        {"  level 3\n", "1:", "continues nothing"},
        {h + "pattern p 1 C4\nsection a row 0 beats 4\nplay lead p transpose 80\nend row 24\n", "6:", "outside 0 .. 127"},
    };
    for (const Case& c : cases) {
        const std::string error = faultOf(c.text);
        EXPECT_EQ(error.rfind(c.where, 0), 0u) << error << "\n--- in ---\n" << c.text;
        EXPECT_NE(error.find(c.what), std::string::npos) << error << "\n--- in ---\n" << c.text;
    }
}

TEST(SoundtrackScore, TheShippedScoreFollowsTheShowsCuts) {
    std::ifstream in(OSTREL_SCORE, std::ios::binary);
    ASSERT_TRUE(in) << OSTREL_SCORE;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Score s = parsed(text);
    // The picture cuts at these rows; the music changes with them.
    const double cuts[] = {0, 189, 802, 1160, 1674, 2350};
    ASSERT_EQ(s.sections.size(), std::size(cuts));
    for (std::size_t i = 0; i < s.sections.size(); ++i) {
        EXPECT_EQ(s.sections[i].row, cuts[i]) << s.sections[i].name;
        // About 120 beats a minute everywhere (0.48 .. 0.51 s a beat).
        EXPECT_GT(s.sections[i].beatLength, 0.48) << s.sections[i].name;
        EXPECT_LT(s.sections[i].beatLength, 0.51) << s.sections[i].name;
    }
    // The show stops the sound at 100.334 s: the music has ended by then.
    EXPECT_LE(s.end, 100.334);
    EXPECT_GT(s.end, 100.0);
    std::size_t notes = 0;
    for (const synth::Track& t : s.piece.tracks) {
        for (const synth::NoteEvent& n : t.notes) EXPECT_LT(n.start, s.piece.end) << t.name;
        notes += t.notes.size();
    }
    EXPECT_GT(notes, 1000u);
}

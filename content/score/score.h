// score.h: reading the soundtrack's score.
//
// The score is a text that a musician edits without touching the
// synthesiser (content/score/ostrel.score; its opening comment explains the
// format). It names the instruments and their settings, chords, patterns of
// steps, and sections that start at the show's rows (24 rows a second) and
// hold a whole number of beats, so that every section change falls on a
// downbeat exactly when the picture cuts. Inside a section, `play` repeats a
// pattern on an instrument and `ramp` and `set` move its level, cutoff or
// sends. The parser checks everything and turns the score into a piece for
// the mixer, with every note placed in samples.
//
// A fault stops it with one message naming the line: "12: unknown instrument
// 'bas'".
#pragma once

#include <string>
#include <vector>

#include "content/synth/mixer.h"

namespace score {

constexpr double rowsPerSecond = 24.0;

struct Section {
    std::string name;
    double row = 0;         // the show row where it starts
    double beats = 0;       // beats it holds
    double start = 0;       // seconds
    double beatLength = 0;  // seconds a beat
};

struct Score {
    synth::Piece piece;
    std::vector<Section> sections;
    double end = 0;  // seconds: the music's end, silence after
};

// Reads the score. On a fault returns false with "LINE: what" in error.
bool parseScore(const std::string& text, Score& score, std::string& error);

// The note number of a name such as "C4" (60), "F#2", "Bb3"; -1 if the
// text is not a note name.
int noteNumber(const std::string& name);

}  // namespace score

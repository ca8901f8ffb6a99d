// panels.h: what the studio draws over the picture, with Dear ImGui.
//
// One interface library draws everything over the picture: the menu bar,
// the timeline (drawn into ImGui's background list, so that the pointer
// on it reaches the Editor's gestures and not ImGui's windows), the panel
// of the selected keys, the tweak panel, the heads-up line, the errors of
// the sources, the last refusal, and the questions (unsaved edits on quit,
// a file changed on disk under unsaved edits).
//
// The timeline, from the top: the ruler (seconds, the sections by name,
// the loop), one lane per track with its name, its curve as the show
// evaluates it (getTrackValue on the edit model's tracks) and a mark per
// key whose shape tells its interpolation (step: a square, linear: a
// diamond, smooth: a circle, ramp: a triangle); under the lanes the
// soundtrack's waveform (the sound that plays) with the score's beats,
// bars and sections, the cuts and the playhead across all of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/studio/editor.h"
#include "tools/studio/sound.h"

namespace studio {

// The soundtrack's loudest sample in each block of frames, for drawing.
struct Waveform {
    const SoundSamples* samples = nullptr;
    std::vector<std::uint16_t> peaks;  // per block, 0 to 32768
};
inline constexpr int waveformBlock = 256;
void makeWaveform(Waveform& waveform, const SoundSamples* samples);

struct PanelContent {
    std::string line;                 // the heads-up line
    std::vector<std::string> errors;  // the sources' errors
    std::vector<std::string> conflicts;  // files changed on disk under unsaved edits
    bool showTweaks = false;
};

// What the user asked for in the panels this frame.
struct PanelRequests {
    int keepMine = -1, takeTheirs = -1;  // a conflict's index
    bool toggleTweaks = false;
};

// Draws every panel for this frame (between ImGui's NewFrame and Render).
void drawPanels(Editor& e, const Waveform& waveform, const PanelContent& content,
                PanelRequests& requests);

}  // namespace studio

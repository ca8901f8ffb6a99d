// editor.h: the studio's input and its edits, without a window.
//
// Everything the user does to the studio goes through handleEvent: SDL
// events (keys, the mouse, the window's close) with the modifiers held and
// whether the interface library has taken the keyboard (a text field has
// focus) or the pointer (it is over a panel). So a test feeds it events
// as the window would, and sees what they do, without a window or a GL
// context. The window layer (main.cpp) draws what the Editor holds and
// turns its requests (quit, save, a new picture) into effects.
//
// Keys: while a text field has focus or Ctrl is held, no key reaches the
// free camera or the single-key commands. With Ctrl: Z undo, Shift+Z or Y
// redo, S save, K the six camera tracks keyed at the playhead (free camera
// on), C copy, V paste at the playhead, Q quit. Alone: as before (Space,
// arrows, Page Up/Down, Home, [ ] L, H, T, C, W A S D Q E, P, R, Escape),
// and F the whole show in the timeline, comma and period the previous and
// next beat (with Shift: section), I a key at the playhead in the current
// track with the value it has there, Delete the selected keys, 1 2 3 4
// their interpolation (step, linear, smooth, ramp), Enter the current
// track opened larger (or back), Tab the timeline shown or hidden.
//
// The pointer, on the timeline (tools/studio/timeline.h): the ruler seeks
// (and scrubs: while it is held the sound plays slices of 60 ms at the
// time under it); a key selects it (Shift: adds or takes it away) and
// dragging moves the selection in time, snapped to rows (Ctrl: beats,
// Ctrl+Shift: sections, Alt: other keys), and, in the track opened larger,
// in value too; dragging elsewhere in the lanes selects the keys in a box.
// The whole drag is one undo step. The wheel pans; with Ctrl it zooms
// about the pointer. The right or middle button drags the view.
//
// Edits go to the edit model (content/edit/model.h); a refused one changes
// nothing and its reason is shown (`message`) and written to stderr. The
// journal (tools/studio/journal.h) is written after every step.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

#include "content/edit/model.h"
#include "tools/studio/camera.h"
#include "tools/studio/timeline.h"
#include "tools/studio/transport.h"

namespace studio {

// Where the timeline lies in the window (pixels from the top left).
struct TimelineArea {
    bool shown = false;
    double top = 0, bottom = 0;         // the whole panel
    double rulerTop = 0, rulerBottom = 0;
    double waveTop = 0, waveBottom = 0;  // the waveform, under the lanes
    double lineTop = 0;                  // the heads-up line, at the bottom
    double namesRight = 0;               // lane names left of this
    double right = 0;
};

struct CopiedKey {
    Track track;
    std::int32_t offset;  // rows after the first copied key
    float value;
    std::int32_t type;
};

enum class Gesture { none, scrub, moveKeys, box, pan, camera };

// What the window's input was, beside the event.
struct InputState {
    double now = 0;             // clock, milliseconds
    double sentAt = -1;         // when the input was made, on that clock, if known
    std::uint16_t mods = 0;     // SDL's KMOD_ bits held
    bool keyboardTaken = false;  // a text field has the keys
    bool pointerTaken = false;   // the pointer is over a panel
};

struct Editor {
    EditModel* model = nullptr;
    Transport transport;
    FreeCamera camera;
    MusicGrid grid;
    TimelineView view;
    LaneLayout lanes;
    TimelineArea area;
    int width = 0, height = 0;  // the window's

    bool headsUp = true, timeline = true;
    int current = camPosX;                 // the current track
    std::vector<KeyRef> selection;         // sorted
    std::vector<CopiedKey> clipboard;

    // A gesture under way.
    Gesture gesture = Gesture::none;
    double pressX = 0, pressY = 0, pointerX = 0, pointerY = 0;
    KeyRef anchor{};                     // the key pressed
    std::vector<KeyRef> moving;          // the selection as the drag began
    std::int32_t movedBy = 0;            // rows moved so far
    std::vector<float> startValues;      // values of `moving` as it began
    double valueLow = 0, valueHigh = 1;  // the open lane's range as it began
    bool changedInGesture = false;
    // Scrubbing: a slice plays until `sliceEnds`; the next one at `scrubTo`.
    double sliceEnds = 0;
    std::int32_t scrubTo = -1;

    // Requests and news for the window layer.
    bool quit = false;         // quit now
    bool askingQuit = false;   // unsaved edits: the window asks
    bool interrupted = false;  // Ctrl-C in the terminal: quit, keep the journal
    bool saveRequested = false, quitAfterSave = false;
    bool discarded = false;    // quit without saving: the journal goes
    bool dirty = true;         // the picture must be drawn again
    bool remakeTargets = false;
    float sceneScale = 1.0f;
    double lastInput = -1e9;   // clock of the last input that changed the picture
    double inputWaiting = -1;  // the first input not yet in a picture, or -1
    double eventSentAt = -1;   // when the event being handled was made, if known
    bool seekByKey = false;    // that input was a seek by a key
    std::string message;       // the last refusal or notice, for the window
    double messageAt = 0;
    std::vector<std::string> said;  // lines for stdout, taken by the window layer
    std::uint64_t journalled = 0;   // the model revision the journal holds
};

// `model` must stay open while the editor is used.
void startEditor(Editor& e, EditModel& model, const score::Score& score);

// Lays the timeline out for a window of this size.
void layoutTimeline(Editor& e, int width, int height);

void handleEvent(Editor& e, const SDL_Event& event, const InputState& in);
// Once a frame: scrub slices end, the playhead stays in view.
void tickEditor(Editor& e, double now);

// Whether the user is dragging, scrubbing or typing (or did so in the last
// `quiet` ms): the picture is then drawn at a low resolution.
bool interacting(const Editor& e, double now, double quiet = 250.0);

// Edits the window's panels make.
bool typeValue(Editor& e, const std::string& text);  // the selected keys' value
bool typeTweak(Editor& e, const std::string& name, const std::string& text);
bool shiftAfterPlayhead(Editor& e, std::int32_t rows);
bool setSelectionInterpolation(Editor& e, std::int32_t type);
void undoStep(Editor& e);
void redoStep(Editor& e);
// The quit question answered: save and quit, quit and drop the edits (the
// journal goes), or go on.
enum class QuitAnswer { save, discard, stay };
void answerQuit(Editor& e, QuitAnswer answer);

// The show time of the playhead's row, and the row.
std::int32_t playheadRow(const Editor& e);

// A refusal or notice: shown in the window, and on stderr.
void refuse(Editor& e, const std::string& why);

}  // namespace studio

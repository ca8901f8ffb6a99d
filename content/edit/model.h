// model.h: the edit model of the show's keys and tweaks.
//
// How to use it:
//
//   EditModel m;
//   std::string error;
//   if (!openModel(m, sourceTree(root, ""), &error)) ...   // the 13 tracks and the tweak file
//   setKey(m, camPosX, 189, 2.5f, Linear, &error);        // one edit, one step
//   beginStep(m, "drag");                                 // several edits, one step:
//   moveKeys(m, camPosX, {189, 802}, 3, &error);          //   each is applied (and drawn)
//   moveKeys(m, camPosX, {192, 805}, 2, &error);          //   at once; one Ctrl+Z
//   endStep(m);                                           //   takes back all of them
//   undo(m); redo(m);
//   frameValuesAt(modelTracks(m).tracks, showTime);       // what the built show draws
//   saveModel(m, SaveMode::refuseChanged, &saved, &error); // changed files only, atomically
//
// The model holds the keys of the 13 track files and the tweak file's
// entries as the content builder's parsers read them (parseTrackText,
// parseTweakText), each key remembering the line it came from, so that
// the writer (content/edit/writer.h) puts a changed key back on its own
// line and leaves every other line as it was.
//
// Every edit is checked as a whole before anything changes: a refused edit
// returns false with one line in *error ("camPosX: a key already lies at
// row 189") and leaves the model as it was. Besides its own checks (two
// keys on one row, a row below 0, a value that is not finite, an unknown
// track, tweak or interpolation), every edit's result is written out as the
// file's new text and read back with the builder's parser and checks, so
// whatever the builder would refuse, an edit is refused for the same
// reason, and what is saved reads back as the model's keys.
//
// Undo and redo go by steps: a step is one user action however many keys
// it touches (a shift of 40 keys in 13 tracks is one step). Edits made
// between beginStep and endStep (nested pairs count as one) form one step;
// cancelStep takes them back and leaves no step. The history is unlimited.
//
// After every edit modelTracks gives the 13 tracks as the show evaluates
// them: loaded by loadShowTracks from the key data packTrackKeys packs,
// exactly what the built content block holds. Their memory comes from the
// sync layer's page allocator; closeModel gives it back (so a model is
// not copied: keep one, and pass it by reference).
//
// Files on disk: openModel keeps the bytes it read; saveModel writes only
// the files whose keys or values differ from those bytes, refuses (unless
// told to overwrite) a file whose bytes on disk are no longer the bytes
// read, and writes through the writer's atomic multi-file save. A failed
// save keeps every edit in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "content/builder/assets.h"
#include "content/builder/block.h"
#include "content/edit/writer.h"
#include "sync/show_tracks.h"
#include "sync/tracks.h"

// The files of the model: the 13 tracks in TrackData order, then the
// tweak file.
inline constexpr int tweakFile = trackCount;
inline constexpr int modelFileCount = trackCount + 1;

// One file as the model knows it.
struct ModelFile {
    std::string path;
    std::string bytes;  // as read, or as last saved: the base the writer edits
};

// What one file of a step was before and after it.
struct FileChange {
    int file = 0;  // a Track, or tweakFile
    std::vector<SourceKey> keysBefore, keysAfter;
    std::vector<SourceTweak> tweaksBefore, tweaksAfter;
};

struct EditStep {
    std::string what;                // "shift 48 rows from row 1160"
    std::vector<std::string> lines;  // one per key or tweak changed
    std::vector<FileChange> files;
};

struct EditModel {
    // The current keys and tweak entries (read them; change them only
    // through the edits below).
    std::vector<SourceKey> keys[trackCount];
    std::vector<SourceTweak> tweaks;
    ModelFile files[modelFileCount];
    // Bumped by every change of the keys or tweaks (edits, undo, redo), so
    // that a view knows when to draw again.
    std::uint64_t revision = 0;

    // Internals: the history, the open step, the packed key data and the
    // tracks loaded from it.
    std::vector<EditStep> undone, done;
    int stepDepth = 0;
    EditStep open;
    std::vector<std::uint8_t> packed[trackCount];
    ShowTracks shown{};
    bool loaded = false;
    WriteHooks hooks;  // the file system calls of a save (tests replace them)
};

// Reads the 13 track files and the tweak file of `sources` (sourceTree of
// content/builder/block.h) with the builder's parsers and checks. Leftover
// temporary files of a save that did not finish are reported in *notes
// (one line each), not refused. False with one line in *error.
bool openModel(EditModel& m, const ContentSources& sources, std::string* error,
               std::vector<std::string>* notes = nullptr);
// The same from texts already read: paths[f] and texts[f] for each file
// (the 13 tracks in TrackData order, then the tweak file).
bool openModelTexts(EditModel& m, const std::string paths[modelFileCount],
                    const std::string texts[modelFileCount], std::string* error);
// Gives back the tracks' memory; the model is empty afterwards.
void closeModel(EditModel& m);

// A track by its name ("camPosX"), or -1.
int trackByName(const std::string& name);
// An interpolation word ("step", "linear", "smooth", "ramp") to its type, or -1.
std::int32_t interpolationByName(const std::string& word);

// The edits. Each one is a step of its own unless a step is open; each
// returns false, with one line in *error and nothing changed, when refused.
// `type` -1 means: keep the key's interpolation, or for a new key the one
// of the key in force at that row (the first key's before it; linear in
// an empty track).
bool setKey(EditModel& m, int track, std::int32_t row, float value, std::int32_t type,
            std::string* error);
// Inserts a key where there is none (refused where one lies).
bool insertKey(EditModel& m, int track, std::int32_t row, float value, std::int32_t type,
               std::string* error);
bool deleteKeys(EditModel& m, int track, const std::vector<std::int32_t>& rows,
                std::string* error);
// Moves the keys at `rows` by `by` rows, together.
bool moveKeys(EditModel& m, int track, const std::vector<std::int32_t>& rows, std::int32_t by,
              std::string* error);
// Moves the key at `row` to `newRow`.
bool moveKey(EditModel& m, int track, std::int32_t row, std::int32_t newRow, std::string* error);
bool setValue(EditModel& m, int track, std::int32_t row, float value, std::string* error);
bool setInterpolation(EditModel& m, int track, std::int32_t row, std::int32_t type,
                      std::string* error);
// Moves every key at or after `from` by `by` rows, in the given tracks
// (all 13 when empty). Refused as a whole when a moved key would land on,
// or pass, a key that stays, or below row 0.
bool shiftKeys(EditModel& m, std::int32_t from, std::int32_t by, const std::vector<int>& tracks,
               std::string* error);
// Sets a tweak the show reads (one of tweakNames); a name the file lacks
// gets a new line.
bool setTweak(EditModel& m, const std::string& name, float value, std::string* error);
// The six camera tracks keyed at one row (camPosX .. camRotZ), one step.
bool keyCamera(EditModel& m, std::int32_t row, const float values[6], std::string* error);

// Steps.
void beginStep(EditModel& m, const std::string& what);
void endStep(EditModel& m);
void cancelStep(EditModel& m);
// False when there is nothing to undo or redo. *what: the step's text.
bool undo(EditModel& m, std::string* what = nullptr);
bool redo(EditModel& m, std::string* what = nullptr);
// The last finished step (null when none): what an edit changed, key by key.
const EditStep* lastStep(const EditModel& m);

// The tracks as the show evaluates them, after the latest change.
const ShowTracks& modelTracks(const EditModel& m);
// The key data of a track, as the builder packs it.
const std::vector<std::uint8_t>& modelKeyData(const EditModel& m, int track);

// Whether a file's keys or entries differ from its bytes on disk as read.
bool fileChanged(const EditModel& m, int file);
bool modelChanged(const EditModel& m);

enum class SaveMode { refuseChanged, overwrite };
// Writes every changed file (none when nothing changed) through
// writeFiles; *saved gets their paths. A file changed on disk since it was
// read is refused, naming it, unless `mode` is overwrite. On failure
// nothing is written and the edits stay.
bool saveModel(EditModel& m, SaveMode mode, std::vector<std::string>* saved, std::string* error);
// The new text of a file as a save would write it.
std::string fileText(const EditModel& m, int file);

// reload.h: the show drawn from its sources, with every save applied while
// it runs.
//
// The studio starts from the show as built (the content block linked into
// it: programs, tracks, tweak settings, soundtrack) and puts the sources on
// top: reloadAll reads every source file, reloadFiles the ones a save
// changed. Each goes through the content builder's own parsers and packers,
// so the studio takes what the build takes and refuses what it refuses:
//   - tracks: parseTrackText and packTrackKeys, then the 13 tracks loaded
//     anew with loadShowTracks into a new ShowTracks (new key data needs
//     new buffers: the sync device knows a track by its key data's address);
//     the replaced tracks' pages go back;
//   - tweaks: parseTweakText and packTweaks, then loadTweakBlob and
//     placeTweaks, as start-up places them;
//   - programs: the texts packed as the build packs them; a program is
//     built (buildPassProgram, buildNoiseProgram) only when its packed
//     texts differ from those it was last built from, and takes the place
//     of the old one only when it built; a new noise program also makes the
//     noise texture again;
//   - the score: parsed here; rendering it is the caller's (in the
//     background), when it differs from the one the sound was made from.
//
// A source that cannot be used (a track row out of order, a GLSL syntax
// error, a link failure, a deleted or unreadable file) changes nothing that
// is drawn: the last good version stays. Its error stays too, until a save
// makes that part good again; each is "file:line: fault" as the build
// words it, with the GLSL compiler's log mapped to the file and line of the
// part it points into (for the minified pass shaders the readable text is
// compiled once more to find the line). Every reload's new failures come
// back for stderr, and errors() lists what is wrong now, for the window.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "content/builder/assets.h"
#include "content/edit/model.h"
#include "content/score/score.h"
#include "host/moment.h"
#include "tools/studio/sources.h"

namespace studio {

// GL entry points beyond the show's table: for giving back what a reload
// or a new window size replaces.
struct ReleaseFunctions {
    void(OSTREL_GLAPI* deleteShader)(GLuint);
    void(OSTREL_GLAPI* getAttachedShaders)(GLuint, GLsizei, GLsizei*, GLuint*);
    void(OSTREL_GLAPI* deleteTextures)(GLsizei, const GLuint*);
    void(OSTREL_GLAPI* deleteFramebuffers)(GLsizei, const GLuint*);
};
bool loadReleaseFunctions(ReleaseFunctions& release, GlLookup lookup, void* context);

void releaseProgram(const GlFunctions& gl, const ReleaseFunctions& release, GLuint program);
void releaseTarget(const ReleaseFunctions& release, RenderTarget& target);

// The six programs in start-up order.
enum : int { programCount = 6 };

struct Studio {
    ShowMoment* moment = nullptr;
    ReleaseFunctions release{};
    SourceTree tree;
    // Every source file as last read; nothing when it could not be read.
    std::map<std::string, std::optional<std::string>> texts;
    // What is drawn now: the tracks' packed key data (the tracks point at
    // it), and each program's packed vertex and fragment (or compute) texts.
    std::vector<std::uint8_t> keys[trackCount];
    std::string built[programCount][2];
    std::string failed[programCount][2];  // the texts of the last build that failed
    std::string failure[programCount];    // and its error
    std::string scoreText;                // the score the sound is made from
    score::Score score;                   // parsed, when `scoreText` changed
    std::map<std::string, std::string> errors;  // by what fails: "track camPosX", ...
    // The tracks and tweaks come from the edit model instead (the studio
    // edits them): reloads leave those files to the caller.
    bool edited = false;
};

// What one reload did.
struct Reload {
    bool tracks = false, tweaks = false, score = false;
    std::vector<std::string> applied;   // each source file applied, for stdout
    std::vector<std::string> rebuilt;   // each program rebuilt, for stdout
    std::vector<std::string> mended;    // each program whose error a save took back, for stdout
    std::vector<std::string> failures;  // new errors, for stderr
};

// Takes over a prepared moment (programs, tracks and tweaks of its content
// block) to draw the sources under `root`; `builtScore` is the score the
// linked soundtrack was rendered from. Nothing is read yet.
bool startStudio(Studio& studio, ShowMoment& moment, const std::string& root,
                 const std::string& builtScore, GlLookup lookup, void* context,
                 std::string* error);

Reload reloadAll(Studio& studio);
// `paths` as the watcher names them; files outside the tree are ignored.
Reload reloadFiles(Studio& studio, const std::vector<std::string>& paths);

// The tweak entries packed and placed as a reload places the tweak file's.
// False, with the reason in the errors, when the packed blob does not parse.
bool applyTweaks(Studio& studio, const std::vector<SourceTweak>& tweaks);

// What is drawn is the edit model's: its tracks as the show evaluates them
// and its tweaks, placed as above.
void showModel(Studio& studio, const EditModel& model);

// What is wrong now, each message once, in the order of the sources.
std::vector<std::string> errors(const Studio& studio);

// Maps a GLSL compiler log onto source files: `parts` are the files the
// compiled text was joined from, with their line counts, in order (line 1
// of the text is line 1 of the first). Lines that point nowhere are kept
// as they are, after the name of the first file.
struct TextPart {
    std::string path;
    int lines;
};
std::string mapShaderLog(const std::string& log, const std::vector<TextPart>& parts);

}  // namespace studio

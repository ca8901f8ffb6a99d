// ostrel-studio: the show from its sources, live, in a window to work in.
//
// Draws the show as the show draws it (the same render resources, frame
// graph, track evaluation, end-of-show rule and clock: host/moment.h) from
// the sources under --source (default: the tree it was built from), and
// applies every save within a moment, without a restart
// (tools/studio/reload.h). A source with an error keeps the last good
// version drawing; the error shows in the window and on stderr until a
// save mends it. The soundtrack plays in step with the picture through
// every seek, pause and loop (tools/studio/transport.h, sound.h); a saved
// score is rendered again in the background and takes over where the sound
// is.
//
// On top of the picture, drawn with Dear ImGui (tools/studio/panels.h):
// the timeline of every track's keys over the music, the selected keys,
// the tweaks, the heads-up line and the errors. Keys and the pointer go
// through the editor (tools/studio/editor.h, which lists them); edits go
// to the edit model (content/edit/model.h), show in the picture at once,
// are kept in the journal after every step (tools/studio/journal.h) and
// saved with Ctrl+S.
//
// While the user drags, scrubs or types, the picture is drawn at a quarter
// of the window's size each way and scaled up; the full picture follows
// once the input stops. The heads-up line gives the time from the last
// input to its picture.
//
//   ostrel-studio [--source DIR] [--at MS] [--loop A-B] [--size WxH] [--scale S]
//
// Times past the show's end and a scale that leaves the scene pass no pixel
// are refused (status 2) once the sources are read. SIGINT and SIGTERM end
// it after the frame being drawn, with status 130 and 143.
//
// Platform: Linux, SDL2 (window, GL 4.3 core context, events, audio),
// inotify, Dear ImGui (its SDL2 and OpenGL 3 backends).
#include <SDL.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "content/edit/model.h"
#include "host/moment.h"
#include "sync/content.h"
#include "sync/sync.h"
#include "tools/common/checks.h"
#include "tools/common/options.h"
#include "tools/studio/camera.h"
#include "tools/studio/editor.h"
#include "tools/studio/hud.h"
#include "tools/studio/input_clock.h"
#include "tools/studio/pictures.h"
#include "tools/studio/journal.h"
#include "tools/studio/panels.h"
#include "tools/studio/reload.h"
#include "tools/studio/score_render.h"
#include "tools/studio/sound.h"
#include "tools/studio/sources.h"
#include "tools/studio/transport.h"

#ifndef OSTREL_SOURCE_DIR
#define OSTREL_SOURCE_DIR "."
#endif

// The score the linked soundtrack was rendered from (built_score.S).
extern "C" const char ostrelBuiltScore[];
extern "C" const char ostrelBuiltScoreEnd[];

namespace {

using namespace studio;

constexpr std::int32_t longestShow = 3600000;
// Saves settle this long before they are read (a save can be several
// writes, or a write and a rename).
constexpr double settleMilliseconds = 50.0;
constexpr double framePeriod = 1000.0 / 60.0;
// With nothing drawn and no input, the panels are drawn this often (a
// text field's cursor blinks, a message comes); after input, for a few
// frames at the frame rate (the interface settles a frame after a click).
constexpr double idlePeriod = 250.0;
constexpr int framesAfterInput = 4;
constexpr GLenum readFramebuffer = 0x8CA8, drawFramebuffer = 0x8CA9;
constexpr GLbitfield colourBufferBit = 0x00004000;
constexpr GLenum linearFilter = 0x2601;
using BlitFunction = void(OSTREL_GLAPI*)(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint,
                                         GLbitfield, GLenum);

// Input that asks for a new picture: a key, a button, the wheel, or the
// pointer moved with a button held.
bool inputWaiting() {
    SDL_PumpEvents();
    SDL_Event events[64];
    const int count = SDL_PeepEvents(events, 64, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_MOUSEWHEEL);
    for (int i = 0; i < count; ++i) {
        const Uint32 type = events[i].type;
        if (type == SDL_KEYDOWN || type == SDL_MOUSEBUTTONDOWN || type == SDL_MOUSEBUTTONUP ||
            type == SDL_MOUSEWHEEL || (type == SDL_MOUSEMOTION && events[i].motion.state != 0))
            return true;
    }
    return false;
}

struct Options {
    std::string source = OSTREL_SOURCE_DIR;
    std::int64_t at = -1;
    std::int64_t loopA = -1, loopB = -1;
    int width = 640, height = 480;
    float scale = 1.0f;
};

double readClock() {
    return 1000.0 * double(SDL_GetPerformanceCounter()) / double(SDL_GetPerformanceFrequency());
}

void say(const std::string& line) {
    std::printf("ostrel-studio: %s\n", line.c_str());
    std::fflush(stdout);
}

void warn(const std::string& line) {
    std::fprintf(stderr, "ostrel-studio: %s\n", line.c_str());
    std::fflush(stderr);
}

// SIGINT and SIGTERM: the loop ends after the frame, with 128 + the signal.
volatile std::sig_atomic_t stopSignal = 0;

void onSignal(int signal) { stopSignal = signal; }

void catchSignals() {
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void* lookupGl(const char* name, void*) { return SDL_GL_GetProcAddress(name); }

// The show's last frame: the first show time whose values end the show; a
// show that never ends lasts as long as its soundtrack.
std::int32_t showEnd(const ShowTracks& tracks, std::int32_t soundtrackLength) {
    const std::int32_t last = showLastFrame(tracks, soundtrackLength);
    return last < 0 ? soundtrackLength : last;
}

struct App {
    Options options;
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    GlFunctions gl{};
    BlitFunction blit = nullptr;
    ShowMoment moment{};
    Studio studio;
    EditModel model;
    Editor editor;
    Watcher watcher;
    SoundDevice sound;
    ScoreRender scoreRender;
    SoundSamples builtSamples;
    std::vector<std::unique_ptr<SoundSamples>> rendered;  // newest last
    Waveform waveform;
    std::int32_t soundtrackLength = 0;
    std::vector<std::uint8_t> sceneKeys;  // the `scene` track the cuts and end are from
    std::uint64_t revisionShown = ~0ull;
    std::vector<int> conflicts;       // model files changed on disk under unsaved edits
    std::map<int, std::string> fileErrors;  // model files whose saved text does not read
    bool showTweaks = false;
    Pictures shown;  // the full picture and the low one
    int width = 0, height = 0;
    double lastUiAt = 0.0, fps = 0.0;
    long uiFrames = 0;     // the panels' frames drawn so far
    int uiFramesOwed = 0;  // panels to draw at the frame rate, after input
    std::vector<double> frameTimes;  // when the last pictures were presented
    double latency = -1.0;           // input to picture, the last one
    const char* measuredFrom = "the studio's reading of the input";
    std::vector<double> gestureLatencies;
    std::vector<double> seekLatencies;  // every seek by a key, for the summary at the end
    double picturesMs = 0.0, presentsMs = 0.0;  // during the gesture
    int pictures = 0, presents = 0;
    Gesture lastGesture = Gesture::none;
    // A drag that began while a full picture was being drawn: the bands
    // of it drawn when it was given up for the drag (0: none).
    int dragBeganAfter = 0;
    int seeksDuringFull = 0;  // seeks by key that came while a full picture was drawn
    std::string title;
    std::int32_t endSaid = -1;
};

std::string relative(const App& app, std::string message) {
    const std::string prefix = app.studio.tree.root + "/";
    for (std::size_t at; (at = message.find(prefix)) != std::string::npos;)
        message.erase(at, prefix.size());
    return message;
}

// `start`: the first reading, where only what differs from the built show
// (programs, the score) is worth a line.
void applyReload(App& app, const Reload& reload, bool start = false) {
    if (!start)
        for (const std::string& line : reload.applied) say("reloaded " + line);
    for (const std::string& line : reload.rebuilt) say(line);
    for (const std::string& line : reload.mended) say(line);
    if (start && reload.score) say("the score is not the built soundtrack's: rendering it");
    for (const std::string& failure : reload.failures) warn(failure);
    if (reload.score) {
        renderScore(app.scoreRender, app.studio.score);
        app.editor.grid = musicGrid(app.studio.score);
    }
    app.editor.dirty = true;
}

// A new window size or scene scale: new pictures (the old ones go back).
void remakeTargets(App& app) {
    SDL_GL_GetDrawableSize(app.window, &app.width, &app.height);
    if (app.width <= 0 || app.height <= 0) return;
    std::string error;
    app.shown.sceneScale = app.editor.sceneScale;
    if (!makePictures(app.shown, app.moment, app.width, app.height, &error)) warn(error);
    layoutTimeline(app.editor, app.width, app.height);
    app.editor.dirty = true;
}

// The edit model's tracks and tweaks are what is drawn; the cuts and the
// end follow the `scene` track; the journal follows every step.
void followModel(App& app) {
    EditModel& m = app.model;
    if (m.revision == app.revisionShown) return;
    app.revisionShown = m.revision;
    showModel(app.studio, m);
    if (modelKeyData(m, scene) != app.sceneKeys) {
        app.sceneKeys = modelKeyData(m, scene);
        app.editor.transport.cuts = cutTimes(app.moment.tracks.tracks[scene]);
        setEnd(app.editor.transport, showEnd(app.moment.tracks, app.soundtrackLength));
        if (app.editor.transport.end != app.endSaid) {
            app.endSaid = app.editor.transport.end;
            say("the show ends at " + clockText(app.endSaid));
        }
    }
    app.editor.dirty = true;
}

void writeTheJournal(App& app) {
    if (app.model.stepDepth > 0 || app.editor.journalled == app.model.revision) return;
    std::string error;
    if (writeJournal(app.studio.tree.root, app.model, &error))
        app.editor.journalled = app.model.revision;
    else
        refuse(app.editor, error);
}

void setTitle(App& app) {
    const std::string title = modelChanged(app.model) ? "Ostrel studio *" : "Ostrel studio";
    if (title == app.title) return;
    app.title = title;
    SDL_SetWindowTitle(app.window, title.c_str());
}

bool save(App& app, SaveMode mode) {
    std::vector<std::string> saved;
    std::string error;
    if (!saveModel(app.model, mode, &saved, &error)) {
        refuse(app.editor, "not saved: " + relative(app, error));
        return false;
    }
    for (const std::string& path : saved) say("saved " + relative(app, path));
    if (saved.empty()) say("nothing to save");
    app.conflicts.clear();
    app.editor.journalled = ~0ull;
    writeTheJournal(app);
    app.editor.message.clear();
    return true;
}

int modelFile(const App& app, const std::string& path) {
    for (int f = 0; f < modelFileCount; ++f)
        if (app.model.files[f].path == path) return f;
    return -1;
}

void tookFile(App& app, int f, bool ok, const std::string& error, const char* what) {
    if (!ok) {
        app.fileErrors[f] = relative(app, error);
        warn(relative(app, error));
        return;
    }
    app.fileErrors.erase(f);
    app.conflicts.erase(std::remove(app.conflicts.begin(), app.conflicts.end(), f),
                        app.conflicts.end());
    say(std::string(what) + " " + relative(app, app.model.files[f].path));
}

// A track or the tweak file saved by someone else.
void modelFileChanged(App& app, int f) {
    std::string bytes, error;
    if (!readFile(app.model.files[f].path, bytes)) {
        app.fileErrors[f] = relative(app, app.model.files[f].path) + ": cannot read it";
        return;
    }
    switch (fileOnDisk(app.model, f, bytes, &error)) {
        case DiskNews::same: app.fileErrors.erase(f); break;
        case DiskNews::reloaded: tookFile(app, f, true, error, "reloaded"); break;
        case DiskNews::unreadable: tookFile(app, f, false, error, "reloaded"); break;
        case DiskNews::conflict:
            if (std::find(app.conflicts.begin(), app.conflicts.end(), f) != app.conflicts.end())
                break;
            app.conflicts.push_back(f);
            warn(relative(app, app.model.files[f].path) +
                 " changed on disk under unsaved edits: keep yours (save over it) or take the "
                 "file's, in the window");
            break;
    }
}

// Sources saved, a score rendered, the sound's news.
void follow(App& app, double now) {
    bool everything = false;
    double saved = now;
    std::vector<std::string> changed = takeChanges(app.watcher, app.studio.tree, now,
                                                   settleMilliseconds, everything, &saved);
    if (everything) {
        changed.clear();
        for (const SourceFile& f : app.studio.tree.files) changed.push_back(f.path);
    }
    std::vector<std::string> others;
    for (const std::string& path : changed) {
        const int f = modelFile(app, path);
        if (f >= 0)
            modelFileChanged(app, f);
        else
            others.push_back(path);
    }
    if (!others.empty()) {
        const Reload reload = reloadFiles(app.studio, others);
        applyReload(app, reload);
        if (!reload.applied.empty() || !reload.rebuilt.empty() || !reload.mended.empty())
            say("applied " + std::to_string(int(readClock() - saved)) + " ms after the save");
    }

    std::vector<std::int16_t> samples;
    double seconds = 0.0;
    if (takeRenderedScore(app.scoreRender, samples, &seconds)) {
        auto fresh = std::make_unique<SoundSamples>();
        ownedSamples(std::move(samples), *fresh);
        playSamples(app.sound, fresh.get());
        makeWaveform(app.waveform, fresh.get());
        app.rendered.push_back(std::move(fresh));
        char line[96];
        std::snprintf(line, sizeof line, "the sound follows the saved score (rendered in %.1f s)",
                      seconds);
        say(line);
    }
    // Renders the sound has let go of are freed.
    for (std::size_t i = 0; i + 1 < app.rendered.size();)
        if (soundUses(app.sound, app.rendered[i].get()))
            ++i;
        else
            app.rendered.erase(app.rendered.begin() + std::ptrdiff_t(i));

    sendCommand(app.sound, app.editor.transport.command);
}

// The picture of `time`, at full size or the low one, into its output.
// False when a full picture was given up for input.
bool drawPicture(App& app, std::int32_t time, double now, bool full) {
    Editor& e = app.editor;
    FrameValues frame = frameValuesAt(app.moment.tracks.tracks, time);
    setMuted(e.transport, frame.end.stopSoundtrack);
    if (e.camera.on) {
        flyCamera(e.camera, now, (SDL_GetModState() & KMOD_SHIFT) != 0);
        applyCamera(e.camera, frame.tracks);
    }
    std::string error;
    const bool drew = studio::drawPicture(app.shown, app.moment, frame.tracks, time, full, &error);
    if (!error.empty()) warn(error);
    if (drew) e.dirty = false;
    return drew;
}

std::string headsUpText(App& app, std::int32_t time) {
    const Editor& e = app.editor;
    HeadsUp h;
    h.time = time;
    h.row = std::int32_t(std::floor(rowAt(time)));
    h.scene = float(getTrackValue(app.moment.tracks.tracks[scene], h.row));
    h.frameMilliseconds = app.shown.milliseconds;
    h.framesPerSecond = app.fps;
    h.loopA = e.transport.loopA;
    h.loopB = e.transport.loopB;
    h.looping = e.transport.looping;
    h.paused = !e.transport.command.playing;
    h.camera = e.camera.on;
    h.sceneScale = e.sceneScale;
    std::string line = headsUpLine(h);
    if (app.latency >= 0) line += "  input>picture " + std::to_string(int(app.latency)) + " ms";
    if (!app.shown.shownFull) line += "  low-res";
    return line;
}

// The picture (blitted, scaled) and everything over it.
void present(App& app, std::int32_t time, double now) {
    Editor& e = app.editor;
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    ++app.uiFrames;
    PanelContent content;
    content.line = headsUpText(app, time);
    for (const std::string& message : errors(app.studio))
        content.errors.push_back(relative(app, message));
    for (const auto& [f, message] : app.fileErrors) content.errors.push_back(message);
    for (int f : app.conflicts) content.conflicts.push_back(relative(app, app.model.files[f].path));
    content.showTweaks = app.showTweaks;
    PanelRequests requests;
    drawPanels(e, app.waveform, content, requests);
    ImGui::Render();
    if (requests.toggleTweaks) app.showTweaks = !app.showTweaks;
    if (requests.keepMine >= 0) save(app, SaveMode::overwrite);
    if (requests.takeTheirs >= 0 && requests.takeTheirs < int(app.conflicts.size())) {
        const int f = app.conflicts[std::size_t(requests.takeTheirs)];
        std::string bytes, error;
        if (readFile(app.model.files[f].path, bytes))
            tookFile(app, f, takeFileVersion(app.model, f, bytes, "took", &error), error,
                     "took the file's");
    }

    const Picture& p = shownPicture(app.shown);
    app.gl.glBindFramebuffer(readFramebuffer, p.output.framebuffer);
    app.gl.glBindFramebuffer(drawFramebuffer, 0);
    app.blit(0, 0, p.width, p.height, 0, 0, app.width, app.height, colourBufferBit,
             linearFilter);
    app.gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    app.gl.glViewport(0, 0, app.width, app.height);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(app.window);
    app.lastUiAt = now;
}

void pictureShown(App& app, double end) {
    Editor& e = app.editor;
    if (e.inputWaiting >= 0) {
        app.latency = end - e.inputWaiting;
        if (e.gesture != Gesture::none) app.gestureLatencies.push_back(app.latency);
        if (e.seekByKey && e.gesture == Gesture::none) app.seekLatencies.push_back(app.latency);
        e.seekByKey = false;
        e.inputWaiting = -1;
    }
    app.frameTimes.push_back(end);
    // The pictures of the last second, and at least the last two.
    while (app.frameTimes.size() > 2 && end - app.frameTimes.front() > 1000.0)
        app.frameTimes.erase(app.frameTimes.begin());
    app.fps = app.frameTimes.size() < 2
                  ? 0.0
                  : double(app.frameTimes.size() - 1) * 1000.0 /
                        (app.frameTimes.back() - app.frameTimes.front());
}

// The seeks by key of the whole run, at its end: how soon each got its picture.
void seeksSummary(App& app) {
    std::vector<double>& l = app.seekLatencies;
    if (l.empty()) return;
    std::sort(l.begin(), l.end());
    char line[240];
    std::snprintf(line, sizeof line,
                  "seeks by key: %zu pictures, input to picture median %.0f ms, worst %.0f ms "
                  "(from %s; %d came while a full picture was being drawn)",
                  l.size(), l[l.size() / 2], l.back(), app.measuredFrom, app.seeksDuringFull);
    say(line);
}

// A drag's pictures, when it ends: how soon each followed its input.
void gestureEnded(App& app) {
    std::vector<double>& l = app.gestureLatencies;
    if (l.size() >= 2) {
        std::sort(l.begin(), l.end());
        char line[320];
        std::snprintf(line, sizeof line,
                      "drag: %zu pictures, input to picture median %.0f ms, worst %.0f ms "
                      "(from %s; a picture %.0f ms, the panels over it %.0f ms, on average)",
                      l.size(), l[l.size() / 2], l.back(), app.measuredFrom,
                      app.picturesMs / std::max(1, app.pictures),
                      app.presentsMs / std::max(1, app.presents));
        std::string said = line;
        if (app.dragBeganAfter > 0)
            said += "; it began while a full picture was being drawn, given up for it after "
                    "band " + std::to_string(app.dragBeganAfter) + " of " +
                    std::to_string(pictureBands) + " of one of its passes";
        say(said);
    }
    app.dragBeganAfter = 0;
    l.clear();
    app.picturesMs = app.presentsMs = 0.0;
    app.pictures = app.presents = 0;
}

bool openWindow(App& app, std::string* error) {
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        *error = std::string("window: no video system (") + SDL_GetError() + ")";
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")) &&
        !(asked && !std::strcmp(asked, driver))) {
        *error = "window: no display to open a window on (is DISPLAY set?)";
        return false;
    }
    // Times from the input itself, not from its reading, where X gives them.
    if (watchInputTimes()) app.measuredFrom = "the X server's time of the input";
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    app.window = SDL_CreateWindow("Ostrel studio", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                  app.options.width, app.options.height,
                                  SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE);
    if (app.window == nullptr) {
        *error = std::string("window: cannot open it (") + SDL_GetError() + ")";
        return false;
    }
    app.title = "Ostrel studio";
    app.context = SDL_GL_CreateContext(app.window);
    if (app.context == nullptr || SDL_GL_MakeCurrent(app.window, app.context) != 0) {
        *error = std::string("GL: no OpenGL 4.3 core context (") + SDL_GetError() + ")";
        return false;
    }
    SDL_GL_SetSwapInterval(0);  // the loop paces itself; a swap never waits
    loadGlFunctions(app.gl, lookupGl, nullptr);
    if (const char* missing = missingGlFunction(app.gl)) {
        *error = std::string("GL: the context has no ") + missing;
        return false;
    }
    app.blit = reinterpret_cast<BlitFunction>(SDL_GL_GetProcAddress("glBlitFramebuffer"));
    if (app.blit == nullptr) {
        *error = "GL: the context has no glBlitFramebuffer";
        return false;
    }
    SDL_GL_GetDrawableSize(app.window, &app.width, &app.height);
    // The panels: Dear ImGui, with its own GL loader (the one GL caller
    // outside the show's table), no settings file.
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;
    ImGui::StyleColorsDark();
    if (!ImGui_ImplSDL2_InitForOpenGL(app.window, app.context) ||
        !ImGui_ImplOpenGL3_Init("#version 430 core")) {
        *error = "window: the interface library does not start on this context";
        return false;
    }
    return true;
}

int run(App& app) {
    std::string error;
    if (!openWindow(app, &error)) {
        warn(error);
        return 1;
    }
    MomentOptions moment;
    moment.width = app.width;
    moment.height = app.height;
    moment.sceneScale = app.editor.sceneScale = app.options.scale;
    if (!prepareMoment(app.moment, app.gl, lookupGl, nullptr, ostrelContent, moment, &error)) {
        warn(error);
        return 1;
    }
    // Bands only where GL runs on the processor: a GPU draws the full
    // picture at once.
    const char* renderer = nullptr;
    if (auto getString = reinterpret_cast<const unsigned char*(OSTREL_GLAPI*)(GLenum)>(
            SDL_GL_GetProcAddress("glGetString")))
        renderer = reinterpret_cast<const char*>(getString(0x1F01));
    if (renderer && (std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe")))
        startBanding(app.moment.gl, lookupGl, nullptr, inputWaiting);
    const std::string builtScore(ostrelBuiltScore, std::size_t(ostrelBuiltScoreEnd - ostrelBuiltScore));
    if (!startStudio(app.studio, app.moment, app.options.source, builtScore, lookupGl, nullptr,
                     &error)) {
        warn(error);
        return 1;
    }
    // The moment's own targets give way to the two pictures.
    RenderResources& r = app.moment.resources;
    for (RenderTarget* target : {&r.sceneTarget, &r.bloomSwapTarget, &r.bloomTarget, &r.dofTarget,
                                 &app.moment.output})
        releaseTarget(app.studio.release, *target);
    app.shown.release = app.studio.release;

    // Watched before the first reading, which can take seconds of program
    // builds: a save meanwhile is seen once it is done.
    if (!openWatcher(app.watcher, app.studio.tree, &error)) warn(error + "; saves are not seen");
    // The tracks and tweaks: the edit model's, with the journal's unsaved
    // edits put back.
    say("reading the sources under " + app.options.source);
    std::vector<std::string> notes;
    if (!openModel(app.model, app.studio.tree.content, &error, &notes)) {
        warn(relative(app, error));
        return 1;
    }
    for (const std::string& note : notes) warn(relative(app, note));
    releaseShowTracks(app.moment.tracks);  // the content block's: the model's are drawn
    app.studio.edited = true;
    score::Score built;
    std::string scoreError;
    score::parseScore(builtScore, built, scoreError);
    Editor& e = app.editor;
    startEditor(e, app.model, built);
    const Recovery recovery = recoverJournal(app.studio.tree.root, app.model);
    if (recovery.found) say(recovery.line);
    e.journalled = recovery.applied ? ~0ull : app.model.revision;

    if (!imageSamples(ostrelContent.soundtrack, sizeof ostrelContent.soundtrack, app.builtSamples,
                      &error))
        warn("audio: " + error);
    app.soundtrackLength = timeOf(app.builtSamples.frames);
    makeWaveform(app.waveform, &app.builtSamples);
    if (!openSound(app.sound, readClock, &error)) warn(error + "; the studio runs silent");
    playSamples(app.sound, &app.builtSamples);

    Transport& t = e.transport;
    applyReload(app, reloadAll(app.studio), true);
    setEnd(t, app.soundtrackLength);
    followModel(app);
    // The times asked for, against the show the sources make.
    const std::int32_t end = t.end;
    const Options& o = app.options;
    if ((o.at >= 0 && !withinShow("--at " + std::to_string(o.at), o.at, end, &error)) ||
        (o.loopA >= 0 && !withinShow("--loop " + std::to_string(o.loopA) + "-" +
                                         std::to_string(o.loopB),
                                     o.loopB, end, &error))) {
        warn(error);
        return 2;
    }
    const std::int32_t start = o.at >= 0 ? std::int32_t(o.at)
                               : o.loopA >= 0 ? std::int32_t(o.loopA)
                                              : 0;
    const std::vector<std::int32_t> cuts = t.cuts;
    startTransport(t, start, end);
    t.cuts = cuts;
    if (app.options.loopA >= 0) {
        t.loopA = std::int32_t(app.options.loopA);
        t.loopB = std::int32_t(app.options.loopB);
        setEnd(t, end);  // keeps the marks inside the show
        setLooping(t, true);
    }
    setPlaying(t, true);
    say("playing from " + clockText(t.shown) + " (row " +
        std::to_string(int(std::floor(rowAt(t.shown)))) + ")");
    remakeTargets(app);

    std::uint16_t mods = 0;
    // The X server's time of the input the next event comes from, or -1.
    double sent = -1.0;
    // Dear ImGui 1.86 looks at each key once a frame, down or up: a key
    // pressed and let go between two frames (a quick Enter or Backspace
    // while a picture is drawn, or xdotool) would never reach a text field,
    // nor would Ctrl+A whose Ctrl is let go first. A release after a press
    // in the same frame waits for the next frame, and the events after it
    // stay queued behind it.
    bool pressed = false;  // a key went down since the last frame
    long pressedFrame = 0;
    bool holding = false;
    SDL_Event held{};
    double heldSent = -1.0;
    while (true) {
        SDL_Event event;
        ImGuiIO& io = ImGui::GetIO();
        if (pressedFrame != app.uiFrames) {
            pressed = false;
            pressedFrame = app.uiFrames;
        }
        while (holding ? !pressed : SDL_PollEvent(&event) != 0) {
            if (holding) {
                event = held;
                sent = heldSent;
                holding = false;
            }
            std::uint32_t server = 0;
            if (serverTime(event, &server)) {
                sent = sentAt(server, readClock(), monotonicMilliseconds());
                continue;
            }
            if (event.type == SDL_SYSWMEVENT) continue;
            const bool key = event.type == SDL_KEYDOWN || event.type == SDL_KEYUP;
            if (event.type == SDL_KEYUP && pressed) {
                holding = true;
                held = event;
                heldSent = sent;
                sent = -1.0;
                break;
            }
            if (event.type == SDL_KEYDOWN) pressed = true;
            app.uiFramesOwed = framesAfterInput;
            ImGui_ImplSDL2_ProcessEvent(&event);
            // The modifiers as the keys so far left them (SDL_GetModState,
            // which the backend reads, is the state after every event
            // waiting, not at this one).
            if (key) {
                mods = event.key.keysym.mod;
                io.KeyCtrl = (mods & KMOD_CTRL) != 0;
                io.KeyShift = (mods & KMOD_SHIFT) != 0;
                io.KeyAlt = (mods & KMOD_ALT) != 0;
                io.KeySuper = (mods & KMOD_GUI) != 0;
            }
            InputState in;
            in.now = readClock();
            in.sentAt = sent;
            sent = -1.0;
            in.mods = mods;
            in.keyboardTaken = io.WantTextInput;
            in.pointerTaken = io.WantCaptureMouse;
            handleEvent(e, event, in);
            if (event.type == SDL_WINDOWEVENT &&
                event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                remakeTargets(app);
        }
        for (const std::string& line : e.said)
            if (!line.empty() && line[0] == '\t')
                std::printf("%s\n", line.c_str() + 1);
            else
                say(line);
        std::fflush(stdout);
        e.said.clear();
        if (stopSignal) {  // the journal stays: the next start puts its edits back
            if (modelChanged(app.model)) say("interrupted; the unsaved edits stay in the journal");
            break;
        }
        if (e.remakeTargets) {
            e.remakeTargets = false;
            remakeTargets(app);
        }
        followModel(app);
        writeTheJournal(app);
        if (e.saveRequested) {
            e.saveRequested = false;
            const bool saved = save(app, SaveMode::refuseChanged);
            if (e.quitAfterSave && saved) e.quit = true;
            e.quitAfterSave = false;
        }
        if (e.quit) {
            if (e.discarded) removeJournal(app.studio.tree.root, nullptr);
            break;
        }
        setTitle(app);
        const double now = readClock();
        follow(app, now);
        followModel(app);  // a file reloaded into the model: new tracks
        std::string warning;
        const SoundCursor report = soundReport(app.sound, now, &warning);
        if (!warning.empty()) warn(warning);
        const bool wasPlaying = t.command.playing;
        const std::int32_t time = showTimeAt(t, report, now);
        if (wasPlaying && !t.command.playing)
            say("the show ended at " + clockText(time) + ": paused (Space plays it again)");
        tickEditor(e, now);
        if (app.lastGesture != Gesture::none && e.gesture == Gesture::none) gestureEnded(app);
        if (app.lastGesture == Gesture::none && e.gesture != Gesture::none)
            app.dragBeganAfter = app.shown.givenUp;
        if (e.seekByKey && app.shown.givenUp > 0) ++app.seeksDuringFull;
        app.shown.givenUp = 0;  // the events it was given up for are read
        app.lastGesture = e.gesture;
        if (app.width <= 0 || app.height <= 0) {
            SDL_WaitEventTimeout(nullptr, 20);
            continue;
        }
        // A new picture when anything changed: small while the user is at
        // it, then the full one.
        const bool busy = interacting(e, now);
        const bool changed = e.dirty || cameraFlying(e.camera) || time != app.shown.lastDrawn;
        bool drew = false;
        if (changed || (!busy && !app.shown.shownFull)) drew = drawPicture(app, time, now, !busy);
        if (drew && e.gesture != Gesture::none) {
            app.picturesMs += app.shown.milliseconds;
            ++app.pictures;
        }
        const double period = app.uiFramesOwed > 0 ? framePeriod : idlePeriod;
        if (drew || now - app.lastUiAt >= period) {
            if (app.uiFramesOwed > 0) --app.uiFramesOwed;
            const double before = readClock();
            present(app, time, now);
            if (e.gesture != Gesture::none) {
                app.presentsMs += readClock() - before;
                ++app.presents;
            }
            if (drew) pictureShown(app, readClock());
        } else {
            SDL_WaitEventTimeout(nullptr, 5);
        }
    }
    seeksSummary(app);
    closeSound(app.sound);
    closeWatcher(app.watcher);
    finishScoreRender(app.scoreRender);
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
    if (stopSignal) {
        warn(std::string("interrupted by ") + (stopSignal == SIGINT ? "SIGINT" : "SIGTERM"));
        return 128 + stopSignal;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    static App app;
    Options& o = app.options;
    OptionParser parser("ostrel-studio", "[options]",
                        "Plays the show from its sources, applying every save at once: tracks, "
                        "tweaks, shaders\nand the score, and edits its keys on a timeline over "
                        "the music. Keys: Space play/pause,\nLeft/Right 1 s (Shift: 1 row), Page "
                        "Up/Down cuts, comma/period beats (Shift: sections),\nHome start, [ ] L "
                        "loop, H panels, Tab timeline, F whole show, T track values, C free\n"
                        "camera (W A S D Q E, arrows or drag), P camera values, R scene scale, "
                        "I insert a key,\nDelete, 1-4 interpolation, Enter open a lane; Ctrl+Z "
                        "undo, Ctrl+Shift+Z or Ctrl+Y redo,\nCtrl+S save, Ctrl+K key the free "
                        "camera, Ctrl+C/V copy/paste, Ctrl+Q or Escape quit.\nUnsaved edits are "
                        "kept in .ostrel-studio-journal beside the sources.");
    parser.text("--source", "DIR", &o.source,
                "the source tree (default: the one it was built from)");
    parser.integer("--at", "MS", 0, longestShow, &o.at,
                   "start at this show time, 0 to the show's last frame (default 0)");
    parser.range("--loop", "A-B", 0, longestShow, &o.loopA, &o.loopB,
                 "loop between show times A and B (ms, A < B, both within the show),\n"
                 "starting at A",
                 false);
    parser.size("--size", &o.width, &o.height,
                "the window's size, sides 1 to 8192 (default 640x480)");
    parser.number("--scale", "S", 0.0, 1.0, true, &o.scale,
                  "render the scene pass at S times the window's size, above 0 up to 1\n"
                  "(default 1)");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;
    std::error_code missing;
    if (!std::filesystem::is_directory(o.source + "/content/tracks", missing))
        return parser.refuse("--source " + o.source + ": no show sources there (content/tracks)");
    std::string why;
    if (!sceneScaleFits(o.width, o.height, o.scale, &why)) return parser.refuse(why);
    // Signals end the loop, not SDL's quit event.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    catchSignals();
    const int result = run(app);
    closeModel(app.model);
    if (app.sound.stalled == 0) SDL_Quit();  // else SDL_Quit would wait for its audio thread
    return result;
}

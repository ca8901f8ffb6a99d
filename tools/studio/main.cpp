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
// Keys:
//   Space            play / pause
//   Left, Right      one second back / on; with Shift one row (1/24 s)
//   Page Up, Down    the previous / next cut (a key where `scene` changes)
//   Home             the start
//   [  ]  L          loop start, loop end at the time shown; looping on/off
//   H                the heads-up line and timeline on/off
//   T                the 13 track values at the current row, on stdout
//   C                free camera on/off (it overrides the six camera tracks)
//   W A S D Q E      fly (Shift: faster); arrows or a left-button drag turn
//   P                the six camera values as track lines, on stdout
//   R                scene scale 1 / 0.25
//   Escape           quit
// A click on the timeline seeks there.
//
//   ostrel-studio [--source DIR] [--at MS] [--loop A-B] [--size WxH] [--scale S]
//
// Platform: Linux, SDL2 (window, GL 4.3 core context, events, audio),
// inotify.
#include <SDL.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/moment.h"
#include "sync/content.h"
#include "sync/sync.h"
#include "tools/common/options.h"
#include "tools/studio/camera.h"
#include "tools/studio/hud.h"
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
    std::printf("studio: %s\n", line.c_str());
    std::fflush(stdout);
}

void warn(const std::string& line) {
    std::fprintf(stderr, "studio: %s\n", line.c_str());
    std::fflush(stderr);
}

void* lookupGl(const char* name, void*) { return SDL_GL_GetProcAddress(name); }

// The show's last frame: the first show time whose values end the show; a
// show that never ends lasts as long as its soundtrack.
std::int32_t showEnd(const ShowTracks& tracks, std::int32_t soundtrackLength) {
    for (std::int32_t t = 0; t < soundtrackLength; ++t)
        if (showEndsAt(tracks, t)) return t;
    return soundtrackLength;
}

struct App {
    Options options;
    SDL_Window* window = nullptr;
    GlFunctions gl{};
    ShowMoment moment{};
    Studio studio;
    Watcher watcher;
    Transport transport;
    SoundDevice sound;
    ScoreRender scoreRender;
    SoundSamples builtSamples;
    std::vector<std::unique_ptr<SoundSamples>> rendered;  // newest last
    std::int32_t soundtrackLength = 0;
    std::vector<std::uint8_t> sceneKeys;  // the `scene` track the cuts and end are from
    Overlay overlay;
    FreeCamera camera;
    bool headsUp = true, dragging = false, dirty = true, quit = false;
    float sceneScale = 1.0f;
    int width = 0, height = 0;
    std::int32_t lastDrawn = -1;
    double lastFrameAt = 0.0, frameMilliseconds = 0.0, fps = 0.0;
    std::vector<double> frameTimes;  // when the last frames were presented
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
    if (start && reload.score) say("the score is not the built soundtrack's: rendering it");
    for (const std::string& failure : reload.failures) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        std::fflush(stderr);
    }
    // The cuts and the end follow the `scene` track (finding the end takes
    // a while: every millisecond of the show).
    if (reload.tracks && app.studio.keys[scene] != app.sceneKeys) {
        app.sceneKeys = app.studio.keys[scene];
        app.transport.cuts = cutTimes(app.moment.tracks.tracks[scene]);
        setEnd(app.transport, showEnd(app.moment.tracks, app.soundtrackLength));
    }
    if (reload.score) renderScore(app.scoreRender, app.studio.score);
    app.dirty = true;
}

// A new render size or scene scale: new targets (the old ones go back).
void remakeTargets(App& app) {
    SDL_GL_GetDrawableSize(app.window, &app.width, &app.height);
    if (app.width <= 0 || app.height <= 0) return;
    EmbeddedContent& content = *app.moment.content;
    content.renderWidth = float(app.width);
    content.renderHeight = float(app.height);
    RenderResources& r = app.moment.resources;
    for (RenderTarget* target : {&r.sceneTarget, &r.bloomSwapTarget, &r.bloomTarget, &r.dofTarget})
        releaseTarget(app.studio.release, *target);
    std::string error;
    if (!createRenderTargets(app.gl, content, app.sceneScale, r, &error)) warn(error);
    app.dirty = true;
}

void moved(App& app, const char* what) {
    say(std::string(what) + " " + clockText(app.transport.shown) + " (row " +
        std::to_string(int(std::floor(rowAt(app.transport.shown)))) + ")");
    app.dirty = true;
}

void seekTo(App& app, std::int32_t time) {
    seek(app.transport, time);
    moved(app, "at");
}

std::int32_t currentRow(const App& app) {
    return std::int32_t(std::floor(rowAt(app.transport.shown)));
}

void printTracks(App& app) {
    const std::int32_t row = currentRow(app);
    TrackData values;
    evaluateTracks(app.moment.tracks.tracks, float(row), values);
    std::printf("# the tracks at row %d (%s)\n", row, clockText(app.transport.shown).c_str());
    for (int t = 0; t < trackCount; ++t)
        std::printf("%s\n", trackLine(app.moment.tracks.tracks[t], trackNames[t], row,
                                      values.value[t]).c_str());
    std::fflush(stdout);
}

void printCamera(App& app) {
    const std::int32_t row = currentRow(app);
    TrackData values;
    evaluateTracks(app.moment.tracks.tracks, float(row), values);
    if (app.camera.on) applyCamera(app.camera, values);
    std::printf("# the %s camera at row %d (%s)\n", app.camera.on ? "free" : "tracks'", row,
                clockText(app.transport.shown).c_str());
    for (int t = camPosX; t <= camRotZ; ++t)
        std::printf("%s\n", trackLine(app.moment.tracks.tracks[t], trackNames[t], row,
                                      values.value[t]).c_str());
    std::fflush(stdout);
}

bool cameraKey(SDL_Keycode key, CameraKey& which) {
    switch (key) {
        case SDLK_w: which = moveForward; return true;
        case SDLK_s: which = moveBack; return true;
        case SDLK_a: which = moveLeft; return true;
        case SDLK_d: which = moveRight; return true;
        case SDLK_q: which = moveDown; return true;
        case SDLK_e: which = moveUp; return true;
        case SDLK_LEFT: which = turnLeft; return true;
        case SDLK_RIGHT: which = turnRight; return true;
        case SDLK_UP: which = tiltUp; return true;
        case SDLK_DOWN: which = tiltDown; return true;
        default: return false;
    }
}

void keyDown(App& app, const SDL_KeyboardEvent& e) {
    Transport& t = app.transport;
    const bool shift = (e.keysym.mod & KMOD_SHIFT) != 0;
    CameraKey which;
    if (app.camera.on && cameraKey(e.keysym.sym, which)) {
        pressCameraKey(app.camera, which, readClock());
        app.dirty = true;
        return;
    }
    if (e.repeat && e.keysym.sym != SDLK_LEFT && e.keysym.sym != SDLK_RIGHT) return;
    switch (e.keysym.sym) {
        case SDLK_ESCAPE: app.quit = true; break;
        case SDLK_SPACE:
            setPlaying(t, !t.command.playing);
            moved(app, t.command.playing ? "playing from" : "paused at");
            break;
        case SDLK_LEFT: seekTo(app, shift ? rowStep(t.shown, -1) : t.shown - 1000); break;
        case SDLK_RIGHT: seekTo(app, shift ? rowStep(t.shown, +1) : t.shown + 1000); break;
        case SDLK_PAGEUP: seekTo(app, previousCut(t, t.shown)); break;
        case SDLK_PAGEDOWN: seekTo(app, nextCut(t, t.shown)); break;
        case SDLK_HOME: seekTo(app, 0); break;
        case SDLK_LEFTBRACKET:
            markLoopStart(t);
            moved(app, "loop start");
            break;
        case SDLK_RIGHTBRACKET:
            markLoopEnd(t);
            moved(app, "loop end");
            break;
        case SDLK_l: {
            setLooping(t, !t.looping);
            std::int32_t a = 0, b = 0;
            if (loopRange(t, a, b))
                say("looping " + clockText(a) + " to " + clockText(b));
            else
                say(t.looping ? "looping, once the marks enclose a time" : "looping off");
            app.dirty = true;
            break;
        }
        case SDLK_h:
            app.headsUp = !app.headsUp;
            app.dirty = true;
            break;
        case SDLK_t: printTracks(app); break;
        case SDLK_p: printCamera(app); break;
        case SDLK_c:
            if (app.camera.on) {
                app.camera.on = false;
                say("camera: back to the tracks");
            } else {
                startCamera(app.camera, frameValuesAt(app.moment.tracks.tracks, t.shown).tracks);
                say("camera: free (W A S D Q E, arrows or drag; P prints it)");
            }
            app.dirty = true;
            break;
        case SDLK_r:
            app.sceneScale = app.sceneScale == 1.0f ? 0.25f : 1.0f;
            remakeTargets(app);
            say(app.sceneScale == 1.0f ? "scene scale 1" : "scene scale 0.25");
            break;
        default: break;
    }
}

void handle(App& app, const SDL_Event& e) {
    switch (e.type) {
        case SDL_QUIT: app.quit = true; break;
        case SDL_KEYDOWN: keyDown(app, e.key); break;
        case SDL_KEYUP: {
            CameraKey which;
            if (cameraKey(e.key.keysym.sym, which)) releaseCameraKey(app.camera, which, readClock());
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
            if (e.button.button != SDL_BUTTON_LEFT) break;
            if (app.headsUp && onTimeline(e.button.y, app.height)) {
                seekTo(app, timelineTime(e.button.x, app.width, app.transport.end));
            } else {
                app.dragging = app.camera.on;
            }
            break;
        case SDL_MOUSEBUTTONUP:
            if (e.button.button == SDL_BUTTON_LEFT) app.dragging = false;
            break;
        case SDL_MOUSEMOTION:
            if (app.dragging && app.camera.on) {
                dragCamera(app.camera, e.motion.xrel, e.motion.yrel);
                app.dirty = true;
            }
            break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) remakeTargets(app);
            if (e.window.event == SDL_WINDOWEVENT_EXPOSED) app.dirty = true;
            break;
        default: break;
    }
}

// Sources saved, a score rendered, the sound's news.
void follow(App& app, double now) {
    bool everything = false;
    double saved = now;
    const std::vector<std::string> changed = takeChanges(app.watcher, app.studio.tree, now,
                                                         settleMilliseconds, everything, &saved);
    if (everything || !changed.empty()) {
        const Reload reload = everything ? reloadAll(app.studio) : reloadFiles(app.studio, changed);
        applyReload(app, reload);
        if (!reload.applied.empty() || !reload.rebuilt.empty())
            say("applied " + std::to_string(int(readClock() - saved)) + " ms after the save");
    }

    std::vector<std::int16_t> samples;
    double seconds = 0.0;
    if (takeRenderedScore(app.scoreRender, samples, &seconds)) {
        auto fresh = std::make_unique<SoundSamples>();
        ownedSamples(std::move(samples), *fresh);
        playSamples(app.sound, fresh.get());
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

    sendCommand(app.sound, app.transport.command);
}

void draw(App& app, std::int32_t time, double now) {
    const double start = readClock();
    FrameValues frame = frameValuesAt(app.moment.tracks.tracks, time);
    setMuted(app.transport, frame.end.stopSoundtrack);
    if (app.camera.on) {
        flyCamera(app.camera, now, (SDL_GetModState() & KMOD_SHIFT) != 0);
        applyCamera(app.camera, frame.tracks);
    }
    // The shaders see the clock of the frame before, as in the show; after
    // a jump, the frame's own.
    const bool onward = app.lastDrawn >= 0 && time >= app.lastDrawn && time - app.lastDrawn < 250;
    drawMoment(app.moment, frame.tracks, time, onward ? app.lastDrawn : time);

    HeadsUp h;
    h.time = time;
    h.row = std::int32_t(std::floor(rowAt(time)));
    h.scene = frame.tracks.value[scene];
    h.frameMilliseconds = app.frameMilliseconds;
    h.framesPerSecond = app.fps;
    h.loopA = app.transport.loopA;
    h.loopB = app.transport.loopB;
    h.looping = app.transport.looping;
    h.paused = !app.transport.command.playing;
    h.camera = app.camera.on;
    h.sceneScale = app.sceneScale;
    OverlayContent content;
    content.headsUp = app.headsUp;
    content.line = headsUpLine(h);
    for (const std::string& message : errors(app.studio))
        content.errors.push_back(relative(app, message));
    content.time = time;
    content.end = app.transport.end;
    content.cuts = app.transport.cuts;
    content.loopA = app.transport.loopA;
    content.loopB = app.transport.loopB;
    content.looping = app.transport.looping;
    int stripHeight = 0;
    const std::vector<std::uint8_t> strip = paintOverlay(content, app.width, &stripHeight);
    drawOverlay(app.gl, app.overlay, strip, app.width, stripHeight, app.width, app.height);
    SDL_GL_SwapWindow(app.window);

    const double end = readClock();
    app.frameMilliseconds = end - start;
    app.frameTimes.push_back(end);
    // The frames of the last second, and at least the last two.
    while (app.frameTimes.size() > 2 && end - app.frameTimes.front() > 1000.0)
        app.frameTimes.erase(app.frameTimes.begin());
    app.fps = app.frameTimes.size() < 2
                  ? 0.0
                  : double(app.frameTimes.size() - 1) * 1000.0 /
                        (app.frameTimes.back() - app.frameTimes.front());
    app.lastDrawn = time;
    app.lastFrameAt = now;
    app.dirty = false;
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
    SDL_GLContext context = SDL_GL_CreateContext(app.window);
    if (context == nullptr || SDL_GL_MakeCurrent(app.window, context) != 0) {
        *error = std::string("GL: no OpenGL 4.3 core context (") + SDL_GetError() + ")";
        return false;
    }
    SDL_GL_SetSwapInterval(1);  // refused where presentation never waits: fine
    loadGlFunctions(app.gl, lookupGl, nullptr);
    if (const char* missing = missingGlFunction(app.gl)) {
        *error = std::string("GL: the context has no ") + missing;
        return false;
    }
    SDL_GL_GetDrawableSize(app.window, &app.width, &app.height);
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
    moment.sceneScale = app.sceneScale = app.options.scale;
    if (!prepareMoment(app.moment, app.gl, lookupGl, nullptr, ostrelContent, moment, &error)) {
        warn(error);
        return 1;
    }
    app.moment.resources.outputFramebuffer = 0;  // the window
    if (!createOverlay(app.gl, ostrelContent.shaderTexts[vertexShaderText], app.overlay, &error)) {
        warn(error);
        return 1;
    }
    const std::string builtScore(ostrelBuiltScore, std::size_t(ostrelBuiltScoreEnd - ostrelBuiltScore));
    if (!startStudio(app.studio, app.moment, app.options.source, builtScore, lookupGl, nullptr,
                     &error)) {
        warn(error);
        return 1;
    }
    releaseTarget(app.studio.release, app.moment.output);  // drawn into the window instead

    if (!imageSamples(ostrelContent.soundtrack, sizeof ostrelContent.soundtrack, app.builtSamples,
                      &error))
        warn("audio: " + error);
    app.soundtrackLength = timeOf(app.builtSamples.frames);
    if (!openSound(app.sound, readClock, &error)) warn(error + "; the studio runs silent");
    playSamples(app.sound, &app.builtSamples);

    Transport& t = app.transport;
    // Watched before the first reading, which can take seconds of program
    // builds: a save meanwhile is seen once it is done.
    if (!openWatcher(app.watcher, app.studio.tree, &error)) warn(error + "; saves are not seen");
    say("reading the sources under " + app.options.source);
    applyReload(app, reloadAll(app.studio), true);
    const std::int32_t start = app.options.at >= 0 ? std::int32_t(app.options.at)
                               : app.options.loopA >= 0 ? std::int32_t(app.options.loopA)
                                                        : 0;
    const std::int32_t end = t.end;
    startTransport(t, start, end);
    if (app.options.loopA >= 0) {
        t.loopA = std::int32_t(app.options.loopA);
        t.loopB = std::int32_t(app.options.loopB);
        setEnd(t, end);  // keeps the marks inside the show
        setLooping(t, true);
    }
    setPlaying(t, true);
    moved(app, "playing from");

    while (!app.quit) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) handle(app, e);
        if (app.quit) break;
        const double now = readClock();
        follow(app, now);
        std::string warning;
        const SoundCursor report = soundReport(app.sound, now, &warning);
        if (!warning.empty()) warn(warning);
        const std::int32_t time = showTimeAt(t, report, now);
        const bool due = now - app.lastFrameAt >= framePeriod;
        if (app.width > 0 && app.height > 0 && due &&
            (app.dirty || cameraFlying(app.camera) || time != app.lastDrawn)) {
            draw(app, time, now);
        } else if (SDL_WaitEventTimeout(&e, 5)) {
            handle(app, e);
        }
    }
    closeSound(app.sound);
    closeWatcher(app.watcher);
    finishScoreRender(app.scoreRender);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    static App app;
    Options& o = app.options;
    OptionParser parser("ostrel-studio", "[options]",
                        "Plays the show from its sources, applying every save at once: tracks, "
                        "tweaks, shaders\nand the score. Keys: Space play/pause, Left/Right "
                        "1 s (Shift: 1 row), Page Up/Down cuts,\nHome start, [ ] L loop, H "
                        "heads-up line, T track values, C free camera (W A S D Q E,\narrows or "
                        "drag), P camera values, R scene scale 1/0.25, Escape quit; click the "
                        "timeline\nto seek.");
    parser.text("--source", "DIR", &o.source,
                "the source tree (default: the one it was built from)");
    parser.integer("--at", "MS", 0, longestShow, &o.at, "start at this show time");
    parser.range("--loop", "A-B", 0, longestShow, &o.loopA, &o.loopB,
                 "loop between these show times (ms), starting at A");
    parser.size("--size", 8192, &o.width, &o.height, "the window's size (default 640x480)");
    parser.number("--scale", "S", 0.0, 1.0, true, &o.scale,
                  "render the scene pass at S times the window's size (default 1)");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;
    std::error_code missing;
    if (!std::filesystem::is_directory(o.source + "/content/tracks", missing))
        return parser.refuse("--source " + o.source + ": no show sources there (content/tracks)");
    if (o.loopA >= 0 && o.loopA == o.loopB)
        return parser.refuse("--loop " + std::to_string(o.loopA) + "-" + std::to_string(o.loopB) +
                             " encloses no time");
    const int result = run(app);
    if (app.sound.stalled == 0) SDL_Quit();  // else SDL_Quit would wait for its audio thread
    return result;
}

// show.h: the show's start-up order and main loop, shared by every platform.
//
// A platform layer (SDL2 on Linux, Win32 on Windows) fills a Host with its
// window, GL context, event pump, clock and soundtrack player, and hands it
// to runShow, which does the rest the same way everywhere:
//
//   start-up  hide the pointer; load the platform's libraries; open the
//             window (it writes the render size into the content block);
//             make the GL context and fill GlFunctions; build the render
//             resources; create the sync device and its 13 tracks in
//             TrackData order; load the tweak settings; read the clock into
//             the frame reference, show time 0, start the soundtrack
//   loop      until the quit flag is set: read the clock, drain the events,
//             and when 1/60 s has passed run one frame: advance the show
//             time (host/loop.h), evaluate the 13 tracks at the row, apply
//             the end-of-show rule, render, present
//
// Start-up that cannot go on stops the show rather than running blind: no
// window, no OpenGL 4.3 context, a GL entry point missing, a shader that
// does not compile or a program that does not link, an incomplete
// framebuffer, no sync device or track. The host's reportFailure gets one
// line naming the subsystem and what failed, and runShow returns 1 without
// starting the soundtrack.
//
// Ending early follows one rule (inputAction), carried out by the host's
// pump: Escape and a close request end the process at once, Alt+Escape sets
// the quit flag, after which the current frame completes and runShow
// returns 0.
//
// Each platform layer defines platformHost; host/main.cpp, the one entry of
// every show build, hands it to runShow.
#pragma once

#include <cstdint>
#include <string>

#include "render/gl.h"

struct EmbeddedContent;

// The build's display variant, fixed at build time: a captioned window of a
// given outer size, or a borderless window covering the primary display.
struct WindowVariant {
    int width, height;  // outer size of a captioned window
    bool borderless;    // cover the primary display instead
};

struct Host {
    void* context;  // handed back to every call

    // Hides the mouse pointer over the show's window, for the whole run.
    void (*hideCursor)(void* context);
    // Loads what the window and GL context need.
    bool (*loadLibraries)(void* context, std::string* error);
    // Opens the window for the build's display variant and writes its
    // drawable size into content.renderWidth/renderHeight.
    bool (*createWindow)(void* context, EmbeddedContent& content, std::string* error);
    // Makes an OpenGL 4.3 core context current on this thread, switches off
    // swap synchronisation where offered, and fills the table.
    bool (*makeContext)(void* context, GlFunctions& gl, std::string* error);
    // Monotonic milliseconds, with sub-millisecond resolution.
    double (*clock)(void* context);
    // Handles every pending event without waiting. May set *quit or end the
    // process; keeps the render size up to date.
    void (*pump)(void* context, std::uint8_t* quit);
    // Shows the frame just rendered.
    void (*present)(void* context);
    // Starts the soundtrack image once, asynchronously, from its first
    // sample; a show without sound runs on (the host says why).
    void (*startSoundtrack)(void* context, const EmbeddedContent& content);
    // Stops the soundtrack at once; harmless when nothing plays.
    void (*stopSoundtrack)(void* context);
    // One line about the run: when the soundtrack starts, when the show ends.
    void (*note)(void* context, const char* line);
    // One line saying why start-up cannot go on.
    void (*reportFailure)(void* context, const char* line);
};

// The host of this platform (SDL2 on Linux, Win32 on Windows), for the
// build's display variant. One window per process.
Host platformHost(const WindowVariant& variant);

// The show's input, whatever the platform calls it, and what each does.
enum class ShowInput { escape, altEscape, closeRequest };
enum class InputAction {
    exitNow,         // the process ends at once with status 0xFFFFFFFF (255)
    quitAfterFrame,  // the quit flag: the frame completes, the show returns 0
};
InputAction inputAction(ShowInput input);

// Runs the whole show. Returns 0 when the loop ends through the quit flag,
// 1 when start-up cannot go on. `sceneScale` is the build's scale of the
// scene pass (1.0, or 0.25 per axis).
int runShow(const Host& host, EmbeddedContent& content, float sceneScale);

// Checks the context the host made: every entry point the show calls is
// there, and the version is 4.3 or later. On failure, one line in *error
// naming what was asked for and what the driver offers.
bool checkGlContext(const GlFunctions& gl, std::string* error);

// The line for a driver that gives no OpenGL 4.3 core context:
//   GL: the show needs OpenGL 4.3 core (WHY); the driver offers "VERSION" on "RENDERER"
// without the parenthesis when `why` is empty; "(unknown)" for a string the
// driver does not give; "no OpenGL context at all" in place of the strings
// when not even a context to ask could be had (anyContext false).
std::string contextRefusal(const std::string& why, const char* version, const char* renderer,
                           bool anyContext = true);

// show.cpp: start-up in its fixed order, then the paced main loop.
#include "host/show.h"

#include <cstdio>

#include "host/loop.h"
#include "render/frame.h"
#include "render/uniforms.h"
#include "sync/content.h"
#include "sync/show_tracks.h"

namespace {

int fail(const Host& host, const std::string& line) {
    host.reportFailure(host.context, line.c_str());
    return 1;
}

const char* glText(const GlFunctions& gl, GLenum name) {
    const GLubyte* text = gl.glGetString ? gl.glGetString(name) : nullptr;
    return text ? reinterpret_cast<const char*>(text) : "(unknown)";
}

// Version from the integer queries, or from the leading "major.minor" of
// the version string where the integer queries are not understood (before
// OpenGL 3.0 they leave the value alone).
void glVersion(const GlFunctions& gl, int& major, int& minor) {
    GLint queried[2] = {0, 0};
    if (gl.glGetIntegerv) {
        gl.glGetIntegerv(GL_MAJOR_VERSION, &queried[0]);
        gl.glGetIntegerv(GL_MINOR_VERSION, &queried[1]);
    }
    major = queried[0];
    minor = queried[1];
    if (major > 0) return;
    if (std::sscanf(glText(gl, GL_VERSION), "%d.%d", &major, &minor) != 2) major = minor = 0;
}

}  // namespace

InputAction inputAction(ShowInput input) {
    return input == ShowInput::altEscape ? InputAction::quitAfterFrame : InputAction::exitNow;
}

std::string contextRefusal(const std::string& why, const char* version, const char* renderer,
                           bool anyContext) {
    std::string line = "GL: the show needs OpenGL 4.3 core";
    if (!why.empty()) line += " (" + why + ")";
    line += "; the driver offers ";
    if (!anyContext) return line + "no OpenGL context at all";
    return line + "\"" + (version ? version : "(unknown)") + "\" on \"" +
           (renderer ? renderer : "(unknown)") + "\"";
}

bool checkGlContext(const GlFunctions& gl, std::string* error) {
    if (const char* missing = missingGlFunction(gl)) {
        if (error) *error = std::string("GL: the driver offers no entry point ") + missing;
        return false;
    }
    int major = 0, minor = 0;
    glVersion(gl, major, minor);
    if (major < 4 || (major == 4 && minor < 3)) {
        if (error) *error = contextRefusal("", glText(gl, GL_VERSION), glText(gl, GL_RENDERER));
        return false;
    }
    return true;
}

int runShow(const Host& host, EmbeddedContent& content, float sceneScale) {
    void* const h = host.context;
    std::string error;

    host.hideCursor(h);
    if (!host.loadLibraries(h, &error)) return fail(host, error);
    if (!host.createWindow(h, content, &error)) return fail(host, error);

    GlFunctions gl{};
    if (!host.makeContext(h, gl, &error)) return fail(host, error);
    if (!checkGlContext(gl, &error)) return fail(host, error);

    static RenderResources resources{};  // lives, like every GL object, until the process ends
    if (!createRenderResources(gl, content, sceneScale, resources, &error))
        return fail(host, error);

    ShowTracks tracks;
    if (!loadShowTracks(content, tracks, &error)) return fail(host, error);

    loadTweakSettings(content, resources.fd, resources.focus);

    const double start = host.clock(h);
    FramePacer pacer = startPacer(start);
    host.startSoundtrack(h, content);
    host.note(h, "soundtrack started");

    std::uint8_t quit = 0;
    std::int32_t frames = 0;
    double lastFrame = start, longestFrame = 0.0;  // clock readings, for the closing line
    while (!quit) {
        const double now = host.clock(h);
        host.pump(h, &quit);
        if (!paceFrame(pacer, now, content.advanceTime != 0)) continue;
        if (now - lastFrame > longestFrame) longestFrame = now - lastFrame;
        lastFrame = now;

        const FrameValues frame = frameValuesAt(tracks.tracks, pacer.showTime);
        if (frame.end.stopSoundtrack) host.stopSoundtrack(h);
        if (frame.end.quit) quit = 1;

        renderFrame(gl, resources, content, frame.tracks, pacer.showTime);
        host.present(h);
        ++frames;
    }

    char line[160];
    std::snprintf(line, sizeof line,
                  "show ended at show time %d ms, %.1f ms on the clock, after %d frames "
                  "(longest %.1f ms)",
                  int(pacer.showTime), host.clock(h) - start, int(frames), longestFrame);
    host.note(h, line);
    return 0;
}

// sdl_host.cpp: the SDL2 window, GL context, event pump, clock and player.
#include "host/sdl/sdl_host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/sdl/audio.h"
#include "sync/content.h"

namespace {

struct SdlState {
    WindowVariant variant;
    bool videoReady;
    std::string videoError;
    EmbeddedContent* content;
    SDL_Window* window;
    SDL_GLContext gl;
    SoundtrackPlayer player;
};

SdlState state{};

SdlState& of(void* context) { return *static_cast<SdlState*>(context); }

bool fail(std::string* error, const std::string& line) {
    if (error) *error = line;
    return false;
}

void readRenderSize(SdlState& s) {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(s.window, &w, &h);
    s.content->renderWidth = float(w);
    s.content->renderHeight = float(h);
}

void hideCursor(void* context) {
    // The pointer belongs to the video subsystem, so it starts here; a
    // failure is reported by the next step, which cannot go on without it.
    SdlState& s = of(context);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        s.videoError = SDL_GetError();
        return;
    }
    s.videoReady = true;
    SDL_ShowCursor(SDL_DISABLE);
}

bool loadLibraries(void* context, std::string* error) {
    SdlState& s = of(context);
    if (!s.videoReady) return fail(error, "window: no video system (" + s.videoError + ")");
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")) &&
        !(asked && !std::strcmp(asked, driver)))
        return fail(error, std::string("window: no display to open a window on (SDL found only "
                                       "its \"") + driver + "\" driver; is DISPLAY set?)");
    if (SDL_GL_LoadLibrary(nullptr) != 0)
        return fail(error, std::string("GL: cannot load the OpenGL library (") + SDL_GetError() +
                               ")");
    return true;
}

// Waits briefly for the window to reach the client size the window manager
// was asked for, so the render targets get the final size.
void awaitClientSize(SdlState& s, int w, int h) {
    for (Uint32 start = SDL_GetTicks(); SDL_GetTicks() - start < 250;) {
        SDL_PumpEvents();
        int dw = 0, dh = 0;
        SDL_GL_GetDrawableSize(s.window, &dw, &dh);
        if (dw == w && dh == h) return;
        SDL_Delay(5);
    }
}

bool createWindow(void* context, EmbeddedContent& content, std::string* error) {
    SdlState& s = of(context);
    s.content = &content;

    // The window's visual is chosen at creation from these.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);

    int x = 0, y = 0, w = s.variant.width, h = s.variant.height;
    Uint32 flags = SDL_WINDOW_OPENGL;
    if (s.variant.borderless) {
        SDL_Rect screen{};
        if (SDL_GetDisplayBounds(0, &screen) != 0)
            return fail(error, std::string("window: cannot read the primary display's size (") +
                                   SDL_GetError() + ")");
        x = screen.x, y = screen.y, w = screen.w, h = screen.h;
        flags |= SDL_WINDOW_BORDERLESS;
    }
    s.window = SDL_CreateWindow("Ostrel", x, y, w, h, flags);
    if (s.window == nullptr)
        return fail(error, "window: cannot open the " + std::to_string(w) + " x " +
                               std::to_string(h) + (s.variant.borderless ? " borderless" : "") +
                               " window (" + SDL_GetError() + ")");

    // The outer size of a captioned window is the variant's size: take the
    // borders the window manager reports (none under Xvfb) off the client.
    int top = 0, left = 0, bottom = 0, right = 0;
    if (!s.variant.borderless &&
        SDL_GetWindowBordersSize(s.window, &top, &left, &bottom, &right) == 0 &&
        (top | left | bottom | right) != 0) {
        const int cw = w - left - right, ch = h - top - bottom;
        if (cw > 0 && ch > 0) {
            SDL_SetWindowSize(s.window, cw, ch);
            SDL_SetWindowPosition(s.window, left, top);  // the frame's corner at (0, 0)
            awaitClientSize(s, cw, ch);
        }
    }

    // Applies the hidden pointer to the window that now exists.
    SDL_SetCursor(nullptr);
    readRenderSize(s);
    return true;
}

// Why no 4.3 core context, with what the driver offers: the version and
// renderer of the best core context, or else of any context.
std::string refusal(SdlState& s, const std::string& why) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 2);
    SDL_GLContext probe = SDL_GL_CreateContext(s.window);
    if (probe == nullptr) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 1);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
        probe = SDL_GL_CreateContext(s.window);
    }
    if (probe == nullptr) return contextRefusal(why, nullptr, nullptr, false);
    typedef const GLubyte*(OSTREL_GLAPI * GetString)(GLenum);
    GetString getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const GLubyte* version = getString ? getString(GL_VERSION) : nullptr;
    const GLubyte* renderer = getString ? getString(GL_RENDERER) : nullptr;
    const std::string line = contextRefusal(why, reinterpret_cast<const char*>(version),
                                            reinterpret_cast<const char*>(renderer));
    SDL_GL_DeleteContext(probe);
    return line;
}

void* lookupGl(const char* name, void*) { return SDL_GL_GetProcAddress(name); }

bool makeContext(void* context, GlFunctions& gl, std::string* error) {
    SdlState& s = of(context);
    s.gl = SDL_GL_CreateContext(s.window);
    if (s.gl == nullptr) return fail(error, refusal(s, std::string("SDL: ") + SDL_GetError()));
    if (SDL_GL_MakeCurrent(s.window, s.gl) != 0)
        return fail(error, std::string("GL: cannot make the context current (") + SDL_GetError() +
                               ")");
    SDL_GL_SetSwapInterval(0);  // refused where presentation never waits: fine
    loadGlFunctions(gl, lookupGl, nullptr);
    return true;
}

double readClock(void*) {
    // Queried anew each call, scale first: milliseconds with the counter's
    // own resolution (nanoseconds on Linux).
    const double scale = 1000.0 / double(SDL_GetPerformanceFrequency());
    return scale * double(SDL_GetPerformanceCounter());
}

[[noreturn]] void exitNow() {
    std::fflush(stdout);
    std::_Exit(-1);  // 0xFFFFFFFF: the shell sees 255
}

void pump(void* context, std::uint8_t* quit) {
    SdlState& s = of(context);
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (classifyEvent(event)) {
            case EventAction::none: break;
            case EventAction::quit: *quit = 1; break;
            case EventAction::exitNow: exitNow();
            case EventAction::resize: readRenderSize(s); break;
            case EventAction::minimise:
                s.content->renderWidth = 0.0f;
                s.content->renderHeight = 0.0f;
                break;
        }
    }
}

void present(void* context) { SDL_GL_SwapWindow(of(context).window); }

void note(void*, const char* line) {
    std::printf("ostrel: %s\n", line);
    std::fflush(stdout);
}

void reportFailure(void*, const char* line) { std::fprintf(stderr, "ostrel: %s\n", line); }

void startSound(void* context, const EmbeddedContent& content) {
    std::string warning;
    if (!startSoundtrack(of(context).player, content.soundtrack, sizeof content.soundtrack,
                         &warning))
        std::fprintf(stderr, "ostrel: %s\n", warning.c_str());
}

void stopSound(void* context) { stopSoundtrack(of(context).player); }

}  // namespace

EventAction classifyEvent(const SDL_Event& event) {
    auto act = [](ShowInput input) {
        return inputAction(input) == InputAction::exitNow ? EventAction::exitNow
                                                          : EventAction::quit;
    };
    switch (event.type) {
        case SDL_QUIT: return act(ShowInput::closeRequest);
        case SDL_KEYDOWN:
            if (event.key.keysym.sym != SDLK_ESCAPE) return EventAction::none;
            return act((event.key.keysym.mod & KMOD_ALT) ? ShowInput::altEscape
                                                         : ShowInput::escape);
        case SDL_WINDOWEVENT:
            switch (event.window.event) {
                case SDL_WINDOWEVENT_CLOSE: return act(ShowInput::closeRequest);
                case SDL_WINDOWEVENT_MINIMIZED: return EventAction::minimise;
                case SDL_WINDOWEVENT_RESIZED:
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                case SDL_WINDOWEVENT_RESTORED:
                case SDL_WINDOWEVENT_MAXIMIZED: return EventAction::resize;
                default: return EventAction::none;
            }
        default: return EventAction::none;
    }
}

Host platformHost(const WindowVariant& variant) {
    state.variant = variant;
    Host host{};
    host.context = &state;
    host.hideCursor = hideCursor;
    host.loadLibraries = loadLibraries;
    host.createWindow = createWindow;
    host.makeContext = makeContext;
    host.clock = readClock;
    host.pump = pump;
    host.present = present;
    host.startSoundtrack = startSound;
    host.stopSoundtrack = stopSound;
    host.note = note;
    host.reportFailure = reportFailure;
    return host;
}

// wgl.cpp: the WGL libraries, the OpenGL 4 context and the entry-point table.
#include <cstdint>
#include <cstring>

#include "host/win32/win32_host.h"

// The pixel format's flags, from the system's named ones.
static_assert((PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER) == 0x25,
              "pixel format flags");
static_assert(PFD_TYPE_RGBA == 0, "RGBA pixel type");
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "the pixel-format descriptor is 40 bytes");

namespace {

// WGL_ARB_create_context's attribute names (not in the system headers).
constexpr int wglContextMajorVersion = 0x2091;
constexpr int wglContextMinorVersion = 0x2092;

typedef int(WINAPI* ChoosePixelFormatFunction)(HDC, const PIXELFORMATDESCRIPTOR*);
typedef BOOL(WINAPI* SetPixelFormatFunction)(HDC, int, const PIXELFORMATDESCRIPTOR*);
typedef HGLRC(WINAPI* CreateContextAttribsFunction)(HDC, HGLRC, const int*);
typedef BOOL(WINAPI* SwapIntervalFunction)(int);
typedef const GLubyte*(WINAPI* GetStringFunction)(GLenum);

bool fail(std::string* error, const std::string& line) {
    if (error) *error = line;
    return false;
}

std::string lastError() { return " (error " + std::to_string(GetLastError()) + ")"; }

// A looked-up address as the function type it is known to have.
template <typename Function>
Function as(const void* address) {
    Function function;
    static_assert(sizeof function == sizeof address, "function and data pointers differ");
    std::memcpy(&function, &address, sizeof function);
    return function;
}

void* exported(HMODULE library, const char* name) {
    FARPROC found = library ? GetProcAddress(library, name) : nullptr;
    void* address;
    std::memcpy(&address, &found, sizeof address);
    return address;
}

// Drivers answer a name they do not know with 0, and some with 1, 2, 3 or -1.
bool isFunction(PROC found) {
    const auto value = reinterpret_cast<std::intptr_t>(found);
    return value != 0 && value != 1 && value != 2 && value != 3 && value != -1;
}

void* wglFunction(const WglLibraries& libraries, const char* name) {
    return glEntryPoint(name, libraries.wglGetProcAddress, nullptr);
}

struct Lookup {
    WglGetProcAddress wglGetProcAddress;
    HMODULE library;
};

void* lookupEntryPoint(const char* name, void* context) {
    const Lookup& lookup = *static_cast<const Lookup*>(context);
    return glEntryPoint(name, lookup.wglGetProcAddress, lookup.library);
}

// The version and renderer of the current context, as the driver names them.
// Why no OpenGL 4 context, with what the legacy context (current) offers.
std::string refusal(const WglLibraries& libraries, const char* why) {
    auto getString = as<GetStringFunction>(exported(libraries.opengl32, "glGetString"));
    const GLubyte* version = getString ? getString(GL_VERSION) : nullptr;
    const GLubyte* renderer = getString ? getString(GL_RENDERER) : nullptr;
    return contextRefusal(why, reinterpret_cast<const char*>(version),
                          reinterpret_cast<const char*>(renderer));
}

}  // namespace

const int contextAttributes[5] = {wglContextMajorVersion, 4, wglContextMinorVersion, 0, 0};

PIXELFORMATDESCRIPTOR pixelFormatRequest() {
    PIXELFORMATDESCRIPTOR request{};
    request.nSize = sizeof request;
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 24;
    request.cDepthBits = 16;
    return request;
}

void* glEntryPoint(const char* name, WglGetProcAddress wglGetProcAddress, HMODULE library) {
    PROC found = wglGetProcAddress ? wglGetProcAddress(name) : nullptr;
    if (isFunction(found)) {
        void* address;
        std::memcpy(&address, &found, sizeof address);
        return address;
    }
    return exported(library, name);
}

bool loadWglLibraries(WglLibraries& libraries, std::string* error) {
    libraries.gdi32 = LoadLibraryA("gdi32.dll");
    if (libraries.gdi32 == nullptr) return fail(error, "GL: cannot load gdi32.dll" + lastError());
    libraries.swapBuffers = as<decltype(libraries.swapBuffers)>(exported(libraries.gdi32, "SwapBuffers"));
    if (libraries.swapBuffers == nullptr)
        return fail(error, "GL: gdi32.dll has no SwapBuffers");

    libraries.opengl32 = LoadLibraryA("opengl32.dll");
    if (libraries.opengl32 == nullptr)
        return fail(error, "GL: cannot load opengl32.dll" + lastError());
    const char* const names[4] = {"wglCreateContext", "wglDeleteContext", "wglMakeCurrent",
                                  "wglGetProcAddress"};
    void* found[4];
    for (int i = 0; i < 4; ++i) {
        found[i] = exported(libraries.opengl32, names[i]);
        if (found[i] == nullptr) return fail(error, std::string("GL: opengl32.dll has no ") + names[i]);
    }
    libraries.wglCreateContext = as<decltype(libraries.wglCreateContext)>(found[0]);
    libraries.wglDeleteContext = as<decltype(libraries.wglDeleteContext)>(found[1]);
    libraries.wglMakeCurrent = as<decltype(libraries.wglMakeCurrent)>(found[2]);
    libraries.wglGetProcAddress = as<decltype(libraries.wglGetProcAddress)>(found[3]);
    return true;
}

bool makeWglContext(const WglLibraries& libraries, HDC dc, GlFunctions& gl, std::string* error) {
    const PIXELFORMATDESCRIPTOR request = pixelFormatRequest();
    auto choosePixelFormat =
        as<ChoosePixelFormatFunction>(exported(libraries.gdi32, "ChoosePixelFormat"));
    auto setPixelFormat = as<SetPixelFormatFunction>(exported(libraries.gdi32, "SetPixelFormat"));
    if (choosePixelFormat == nullptr || setPixelFormat == nullptr)
        return fail(error, "GL: gdi32.dll has no ChoosePixelFormat or SetPixelFormat");
    const int format = choosePixelFormat(dc, &request);
    if (format == 0)
        return fail(error, "GL: no pixel format for a double-buffered RGBA window with 24 colour "
                           "and 16 depth bits" + lastError());
    if (!setPixelFormat(dc, format, &request))
        return fail(error, "GL: cannot set pixel format " + std::to_string(format) + lastError());

    // The legacy context serves only to reach the context-creation extension
    // and as the new context's share context.
    HGLRC legacy = libraries.wglCreateContext(dc);
    if (legacy == nullptr)
        return fail(error, "GL: cannot create an OpenGL context for the window" + lastError());
    if (!libraries.wglMakeCurrent(dc, legacy))
        return fail(error, "GL: cannot make the first OpenGL context current" + lastError());

    auto createContextAttribs =
        as<CreateContextAttribsFunction>(wglFunction(libraries, "wglCreateContextAttribsARB"));
    HGLRC context =
        createContextAttribs ? createContextAttribs(dc, legacy, contextAttributes) : nullptr;
    if (context == nullptr)
        return fail(error, refusal(libraries, createContextAttribs
                                                  ? "wglCreateContextAttribsARB refused 4.0"
                                                  : "no wglCreateContextAttribsARB"));
    if (!libraries.wglMakeCurrent(dc, context))
        return fail(error, "GL: cannot make the OpenGL 4 context current" + lastError());
    libraries.wglDeleteContext(legacy);

    // Present without waiting for the display's refresh, where offered.
    if (auto swapInterval = as<SwapIntervalFunction>(wglFunction(libraries, "wglSwapIntervalEXT")))
        swapInterval(0);

    Lookup lookup{libraries.wglGetProcAddress, libraries.opengl32};
    loadGlFunctions(gl, lookupEntryPoint, &lookup);
    return true;
}

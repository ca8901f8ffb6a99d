// headless.cpp: GL through EGL's surfaceless platform.
#include "host/headless.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

namespace {

bool made = false;
GlFunctions table{};

void* lookup(const char* name, void*) {
    return reinterpret_cast<void*>(eglGetProcAddress(name));
}

bool fail(std::string* error, const std::string& message) {
    if (error) *error = "headless GL: " + message;
    return false;
}

}  // namespace

void* headlessGlFunction(const char* name) { return lookup(name, nullptr); }

bool createHeadlessContext(GlFunctions& gl, std::string* error) {
    if (made) {
        gl = table;
        return true;
    }
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return fail(error, "eglGetPlatformDisplayEXT is missing");
    EGLDisplay display =
        getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor))
        return fail(error, "no surfaceless EGL display");
    if (!eglBindAPI(EGL_OPENGL_API)) return fail(error, "EGL offers no desktop OpenGL");
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                 4,
                                 EGL_CONTEXT_MINOR_VERSION,
                                 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                 EGL_NONE};
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) return fail(error, "no OpenGL 4.3 core context");
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context))
        return fail(error, "cannot make the context current");
    loadGlFunctions(table, lookup, nullptr);
    if (const char* missing = missingGlFunction(table))
        return fail(error, std::string("entry point ") + missing + " is missing");
    made = true;
    gl = table;
    return true;
}

// headless.h: an OpenGL 4.3 core context without a window.
//
// Tests, the benchmark and the contact sheet render through the same
// GlFunctions table as the show, on a context that needs no display: EGL on
// Mesa's surfaceless platform (llvmpipe on a machine without a GPU). The
// context is made current on the calling thread and lives until the process
// ends. Rendering goes into framebuffers the caller makes; there is no
// default framebuffer to draw into.
#pragma once

#include <string>

#include "render/gl.h"

// Creates the context (once per process; later calls reuse it) and fills the
// table. On failure returns false with one line in *error.
bool createHeadlessContext(GlFunctions& gl, std::string* error);

// Any GL entry point by name, for tools and tests that need calls beyond the
// show's table (reading pixels back, timer queries). Null if unknown.
void* headlessGlFunction(const char* name);

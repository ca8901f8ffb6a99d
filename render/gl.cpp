// gl.cpp: filling the entry-point table in look-up order.
#include "render/gl.h"

#include <cstring>

const char* const glFunctionNames[glFunctionCount] = {
#define OSTREL_GL_NAME(group, result, name, params) #name,
    OSTREL_GL_FUNCTIONS(OSTREL_GL_NAME)
#undef OSTREL_GL_NAME
};

void loadGlFunctions(GlFunctions& gl, GlLookup lookup, void* context) {
    // Each slot is filled from the pointer the host found, converted to the
    // slot's own function type.
#define OSTREL_GL_LOAD(group, result, name, params)                                                \
    {                                                                                              \
        void* found = lookup(#name, context);                                                      \
        std::memcpy(&gl.name, &found, sizeof gl.name);                                             \
    }
    OSTREL_GL_FUNCTIONS(OSTREL_GL_LOAD)
#undef OSTREL_GL_LOAD
}

const char* missingGlFunction(const GlFunctions& gl) {
#define OSTREL_GL_CHECK(group, result, name, params)                                               \
    if (gl.name == nullptr && std::strcmp(#name, "glDeleteProgram") != 0 &&                        \
        std::strcmp(#name, "glTexImage3D") != 0)                                                   \
        return #name;
    OSTREL_GL_FUNCTIONS(OSTREL_GL_CHECK)
#undef OSTREL_GL_CHECK
    return nullptr;
}

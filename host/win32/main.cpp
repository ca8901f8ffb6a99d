// main.cpp: the entry of the Windows show, one build per display variant.
//
// A windowed program with an ordinary main: the C runtime's start-up calls
// it and ends the process with its result. The variant is fixed at build
// time (host/CMakeLists.txt): the captioned window's outer size or the
// borderless mode, and the scale of the scene pass; the start render size
// comes with the content block the build links. The three arguments are
// unused: there is no command line and no configuration.
#include "host/show.h"
#include "host/win32/win32_host.h"
#include "sync/content.h"

#if !defined(OSTREL_WINDOW_WIDTH) || !defined(OSTREL_WINDOW_HEIGHT) || \
    !defined(OSTREL_BORDERLESS) || !defined(OSTREL_SCENE_SCALE)
#error "a show build defines its display variant and scene scale"
#endif

int main(int, char**, char**) {
    const WindowVariant variant{OSTREL_WINDOW_WIDTH, OSTREL_WINDOW_HEIGHT, OSTREL_BORDERLESS != 0};
    return runShow(win32Host(variant), ostrelContent, OSTREL_SCENE_SCALE);
}

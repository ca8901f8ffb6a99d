// main.cpp: the entry of the Linux show, one build per display variant.
//
// The variant is fixed at build time (host/CMakeLists.txt): the window's
// outer size or the borderless mode, and the scale of the scene pass. The
// start render size comes with the content block the build links. There is
// no command line and no configuration: the three arguments are unused.
#include "host/sdl/sdl_host.h"
#include "host/show.h"
#include "sync/content.h"

#if !defined(OSTREL_WINDOW_WIDTH) || !defined(OSTREL_WINDOW_HEIGHT) || \
    !defined(OSTREL_BORDERLESS) || !defined(OSTREL_SCENE_SCALE)
#error "a show build defines its display variant and scene scale"
#endif

int main(int, char**, char**) {
    const WindowVariant variant{OSTREL_WINDOW_WIDTH, OSTREL_WINDOW_HEIGHT, OSTREL_BORDERLESS != 0};
    return runShow(sdlHost(variant), ostrelContent, OSTREL_SCENE_SCALE);
}

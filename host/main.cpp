// main.cpp: the entry of every show build, on every platform.
//
// The build fixes the display variant (the captioned window's outer size
// or the borderless mode) and the scale of the scene pass
// (host/CMakeLists.txt), and links the platform's host (platformHost) and
// the content block with the matching start render size. The C runtime's
// start-up calls main and ends the process with its result; on Windows the
// program is a windowed one with this same ordinary main. There is no
// command line and no configuration: the three arguments are unused.
#include "host/show.h"
#include "sync/content.h"

#if !defined(OSTREL_WINDOW_WIDTH) || !defined(OSTREL_WINDOW_HEIGHT) || \
    !defined(OSTREL_BORDERLESS) || !defined(OSTREL_SCENE_SCALE)
#error "a show build defines its display variant and scene scale"
#endif

int main(int, char**, char**) {
    const WindowVariant variant{OSTREL_WINDOW_WIDTH, OSTREL_WINDOW_HEIGHT, OSTREL_BORDERLESS != 0};
    return runShow(platformHost(variant), ostrelContent, OSTREL_SCENE_SCALE);
}

// input_clock.cpp: the X server's input times, through SDL's window-system
// events (only the events' fields are read: nothing of Xlib is called).
#include "tools/studio/input_clock.h"

#include <SDL_syswm.h>

#include <ctime>
#include <cstring>

namespace studio {

bool watchInputTimes() {
#if defined(SDL_VIDEO_DRIVER_X11)
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0) return false;
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    return true;
#else
    return false;
#endif
}

bool serverTime(const SDL_Event& event, std::uint32_t* milliseconds) {
#if defined(SDL_VIDEO_DRIVER_X11)
    if (event.type != SDL_SYSWMEVENT || !event.syswm.msg ||
        event.syswm.msg->subsystem != SDL_SYSWM_X11)
        return false;
    const XEvent& x = event.syswm.msg->msg.x11.event;
    switch (x.type) {
        case KeyPress: case KeyRelease: *milliseconds = std::uint32_t(x.xkey.time); return true;
        case ButtonPress: case ButtonRelease:
            *milliseconds = std::uint32_t(x.xbutton.time);
            return true;
        case MotionNotify: *milliseconds = std::uint32_t(x.xmotion.time); return true;
        default: return false;
    }
#else
    (void)event;
    (void)milliseconds;
    return false;
#endif
}

double sentAt(std::uint32_t serverMilliseconds, double now, std::uint64_t monotonic) {
    // Unsigned: the server's 32-bit clock wraps every 49 days.
    const std::uint32_t age = std::uint32_t(monotonic) - serverMilliseconds;
    if (age > 60000) return -1.0;
    return now - double(age);
}

std::uint64_t monotonicMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::uint64_t(t.tv_sec) * 1000u + std::uint64_t(t.tv_nsec) / 1000000u;
}

}  // namespace studio

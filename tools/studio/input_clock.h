// input_clock.h: when an input was made, not when the studio read it.
//
// An input that arrives while a picture is drawn waits in the X server's
// socket until the studio reads it; the time from input to picture counts
// that wait too. Under X11 each key, button and pointer event carries the
// server's time of the input (milliseconds of the system's monotonic
// clock, 32 bits); with SDL's window-system events on, the event before
// each input is the X event it came from. Elsewhere the time is unknown
// and the studio's reading time stands in.
#pragma once

#include <SDL.h>

#include <cstdint>

namespace studio {

// Turns on the window-system events that carry the server's times, where
// the video driver is X11. False where there are none.
bool watchInputTimes();

// The server's time of an X input event carried by `event`, if it is one.
bool serverTime(const SDL_Event& event, std::uint32_t* milliseconds);

// `serverMilliseconds` as a time of the clock that read `now` (the same
// moment as the system's monotonic clock's `monotonic` ms). -1 when it is
// not within the last minute: the times are not of one clock.
double sentAt(std::uint32_t serverMilliseconds, double now, std::uint64_t monotonic);

// The system's monotonic clock, milliseconds.
std::uint64_t monotonicMilliseconds();

}  // namespace studio

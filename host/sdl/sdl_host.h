// sdl_host.h: the Linux host: window, GL context, events, clock and sound on SDL2.
//
// Its platformHost (host/show.h) fills the Host for one display variant:
//   captioned   a non-resizable window titled "Ostrel" at (0, 0) whose outer
//               size is the variant's size: where the window manager
//               reports borders, the client area is that size less them;
//               where it reports none (Xvfb has no window manager) the
//               client area is the whole size
//   borderless  an undecorated window at (0, 0) covering the primary
//               display, without changing the video mode
// The pointer is hidden over the window. The render size is the drawable
// size, read right after creation (X11 delivers no size event inside
// creation) and on every size change; a minimised window has the render
// size 0 x 0 until it is restored.
//
// GL: a double-buffered RGBA window surface with at least 8 bits a colour
// channel and a 16-bit depth buffer, an OpenGL 4.3 core context, swap
// interval 0 where offered (Xvfb refuses it, which is no error). When no
// 4.3 core context can be had, the failure names what the driver offers.
//
// Input: Escape, Alt+Escape and the close request do what inputAction
// (host/show.h) says; nothing else has an effect.
//
// Platform note: without DISPLAY, SDL silently picks its offscreen driver;
// unless SDL_VIDEODRIVER asks for it by name, that counts as no window.
#pragma once

#include <SDL.h>

#include "host/show.h"

// What an event asks of the show.
enum class EventAction { none, quit, exitNow, resize, minimise };

EventAction classifyEvent(const SDL_Event& event);

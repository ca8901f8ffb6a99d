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
// (host/show.h) says; nothing else has an effect. SIGINT and SIGTERM keep
// their default action: the process ends at once, killed by the signal
// (the shell reports 130 and 143), and the sound server drops its stream.
//
// Clock and sound: the show clock is the monotonic clock held and steered
// by host/sdl/sound_clock.h, so the show time is the music heard (to within
// a few milliseconds) wherever a sound device plays it; without one, or with
// a driver that plays nothing, it is the monotonic clock. A device that goes
// away mid-show (SDL reports it) leaves the show running silent, with one
// line on stderr.
//
// Frame log: with OSTREL_FRAME_LOG=PATH in the environment the host writes
// one line per presented frame to PATH, "SHOWTIME_MS PRESENTED_NS
// CREDITED_NS WIDTH HEIGHT": the show time the frame showed, CLOCK_MONOTONIC
// right after the swap and at the moment the show time stood for, and the
// render size. It is for measuring the picture against the sound and
// watching the window's size; without the variable nothing is written.
//
// Platform note: without DISPLAY, SDL silently picks its offscreen driver;
// unless SDL_VIDEODRIVER asks for it by name, that counts as no window.
#pragma once

#include <SDL.h>

#include "host/show.h"

// What an event asks of the show.
enum class EventAction { none, quit, exitNow, resize, minimise, soundLost };

EventAction classifyEvent(const SDL_Event& event);

// win32_host.h: the Windows host: window, WGL context, message pump, clock
// and soundtrack player on the Win32 API.
//
// Its platformHost (host/show.h) fills the Host for one display variant:
//   captioned   a window of class "WindowClass0" titled "Ostrel", outer size
//               the variant's, at (0, 0), with a caption and system menu but
//               no sizing border or minimise/maximise box; its client area,
//               smaller by the caption and frame, is the render size
//   borderless  created captioned and maximised at the screen's size, shown,
//               restyled as a visible popup and moved over the whole primary
//               screen: no decoration, client area = screen
// Every size report (WM_SIZE) writes the client size into the content
// block's render size, also 0 x 0 for a minimised window.
//
// Libraries: the programs import only kernel32 and user32 of the system's
// own (and the C runtime). gdi32 (pixel format, buffer swap), opengl32 (WGL
// and every GL entry point) and winmm (PlaySoundA) are loaded by name.
//
// GL: the pixel format asks for a double-buffered RGBA window with 24 colour
// and 16 depth bits; a legacy context is made current only to reach
// wglCreateContextAttribsARB, which makes the OpenGL 4 context (major 4,
// minor 0, no profile or flags: the driver's core profile of 4.0 or any later
// version compatible with it), then the legacy context is deleted. Swap
// interval 0 where wglSwapIntervalEXT exists. Each table entry is asked of
// wglGetProcAddress first and taken from opengl32's exports where it gives
// nothing (OpenGL 1.1 functions are only exported).
//
// Input, by the rule of inputAction (host/show.h): Escape (without Alt) and
// the close request post the quit message; the pump, on retrieving it, ends
// the process at once with exit code 0xFFFFFFFF. Alt+Escape arrives as a
// system key-down: the pump sets the quit flag, the current frame completes
// and the show returns 0.
//
// Start-up that cannot go on (a library, an entry point, the window, the
// pixel format or the OpenGL 4 context missing) is reported in a message box
// titled "Ostrel", so a user who started the program from the desktop sees
// why; the line also goes to stderr where the program has one (a windowed
// program started from a console, or under Wine) and to the debugger
// (OutputDebugStringA). The run's notes (soundtrack started, show ended) go
// to stdout where there is one, and to the debugger.
//
// Platform note: PlaySoundA with SND_MEMORY plays the RIFF/WAVE image in
// place: it must stay in memory while it plays (the content block does).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "host/show.h"

struct EmbeddedContent;

// ---- The host's steps (window.cpp, wgl.cpp) ----

// Registers the class, creates the window for the variant (the borderless
// sequence included) and gets its device context. The render size is the
// client size by the time it returns (the size reports come inside the
// creating and resizing calls).
bool openWindow(const WindowVariant& variant, EmbeddedContent& content, HWND* window, HDC* dc,
                std::string* error);

// Drains the thread's message queue without waiting. Alt+Escape sets *quit;
// the quit message ends the process at once with exit code 0xFFFFFFFF.
void pumpMessages(std::uint8_t* quit);

// The libraries and entry points of the first phase, kept for the process.
struct WglLibraries {
    HMODULE gdi32, opengl32;
    BOOL(WINAPI* swapBuffers)(HDC);
    HGLRC(WINAPI* wglCreateContext)(HDC);
    BOOL(WINAPI* wglDeleteContext)(HGLRC);
    BOOL(WINAPI* wglMakeCurrent)(HDC, HGLRC);
    PROC(WINAPI* wglGetProcAddress)(LPCSTR);
};

// First phase, before the window: gdi32 with SwapBuffers, opengl32 with the
// four context entry points.
bool loadWglLibraries(WglLibraries& libraries, std::string* error);

// Second phase, with the window's device context: pixel format, legacy
// context, the OpenGL 4 context made current, the legacy one deleted, swap
// interval 0 where offered, the table filled.
bool makeWglContext(const WglLibraries& libraries, HDC dc, GlFunctions& gl, std::string* error);

// ---- Pieces with behaviour of their own, exposed for the tests ----

// The window procedure. WM_SIZE writes the client size into the content
// block given to setWindowContent (nothing while none is given).
LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void setWindowContent(EmbeddedContent* content);

// The pump's own test of a message: Escape as a key-down or a system
// key-down sets the quit flag.
bool isEscapeDown(const MSG& message);

// The pixel-format request: 40 bytes, version 1, draw to window + OpenGL +
// double buffer, RGBA, 24 colour bits, 16 depth bits, every other field 0.
PIXELFORMATDESCRIPTOR pixelFormatRequest();

// Attributes of the OpenGL 4 context, with the terminating 0.
extern const int contextAttributes[5];

typedef PROC(WINAPI* WglGetProcAddress)(LPCSTR name);

// One entry point: wglGetProcAddress's answer, or the library's export where
// that answer is no function. Besides 0, some drivers answer 1, 2, 3 or -1
// for a name they do not know; none of these is ever called.
void* glEntryPoint(const char* name, WglGetProcAddress wglGetProcAddress, HMODULE library);

// Milliseconds from the performance counter: 1000 / frequency, times the
// count (both queried anew on every call).
double millisecondClock();

// win32_host.cpp: the Windows host assembled: clock, soundtrack player,
// notes and start-up failure reports, and the Host that runShow drives.
#include "host/win32/win32_host.h"

#include <mmsystem.h>

#include <cstring>

#include "sync/content.h"

static_assert((SND_ASYNC | SND_MEMORY) == 5, "asynchronous playback of an image in memory");

namespace {

struct Win32State {
    WindowVariant variant;
    WglLibraries libraries;
    HWND window;
    HDC dc;
};

Win32State state{};

Win32State& of(void* context) { return *static_cast<Win32State*>(context); }

// Writes to the standard handle where the program has one: a windowed
// program started from the desktop has none.
void writeLine(DWORD which, const char* line) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    const std::string text = std::string("ostrel: ") + line + "\n";
    DWORD written = 0;
    WriteFile(handle, text.data(), DWORD(text.size()), &written, nullptr);
}

void debugLine(const char* line) {
    const std::string text = std::string("ostrel: ") + line + "\n";
    OutputDebugStringA(text.c_str());
}

typedef BOOL(WINAPI* PlaySoundFunction)(LPCSTR, HMODULE, DWORD);

// winmm.dll is loaded anew for every request (a library already loaded is
// only counted up) and never released.
PlaySoundFunction playSound() {
    HMODULE winmm = LoadLibraryA("winmm.dll");
    FARPROC found = winmm ? GetProcAddress(winmm, "PlaySoundA") : nullptr;
    PlaySoundFunction function;
    std::memcpy(&function, &found, sizeof function);
    return function;
}

void hideCursor(void*) { ShowCursor(FALSE); }

bool loadLibraries(void* context, std::string* error) {
    return loadWglLibraries(of(context).libraries, error);
}

bool createWindow(void* context, EmbeddedContent& content, std::string* error) {
    Win32State& s = of(context);
    return openWindow(s.variant, content, &s.window, &s.dc, error);
}

bool makeContext(void* context, GlFunctions& gl, std::string* error) {
    Win32State& s = of(context);
    return makeWglContext(s.libraries, s.dc, gl, error);
}

double readClock(void*) { return millisecondClock(); }

void pump(void*, std::uint8_t* quit) { pumpMessages(quit); }

void present(void* context) {
    Win32State& s = of(context);
    s.libraries.swapBuffers(s.dc);
}

void startSound(void*, const EmbeddedContent& content) {
    // Played in place from the content block, which lives as long as the
    // process; no loop flag: once, then silence.
    PlaySoundFunction play = playSound();
    const char* why = nullptr;
    if (play == nullptr)
        why = "sound: winmm.dll offers no PlaySoundA; the show runs silent";
    else if (!play(reinterpret_cast<LPCSTR>(content.soundtrack), nullptr, SND_ASYNC | SND_MEMORY))
        why = "sound: PlaySoundA refused the soundtrack; the show runs silent";
    if (why) {
        writeLine(STD_ERROR_HANDLE, why);
        debugLine(why);
    }
}

void stopSound(void*) {
    if (PlaySoundFunction play = playSound()) play(nullptr, nullptr, 0);
}

void note(void*, const char* line) {
    writeLine(STD_OUTPUT_HANDLE, line);
    debugLine(line);
}

void reportFailure(void* context, const char* line) {
    writeLine(STD_ERROR_HANDLE, line);
    debugLine(line);
    // The pointer comes back and the empty window goes, so the box can be
    // seen and answered.
    ShowCursor(TRUE);
    if (HWND window = of(context).window) ShowWindow(window, SW_HIDE);
    const std::string text = std::string("The show cannot start.\n\n") + line;
    MessageBoxA(nullptr, text.c_str(), "Ostrel", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace

double millisecondClock() {
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    const double scale = 1000.0 / double(frequency.QuadPart);
    return scale * double(count.QuadPart);
}

Host platformHost(const WindowVariant& variant) {
    state.variant = variant;
    Host host{};
    host.context = &state;
    host.hideCursor = hideCursor;
    host.loadLibraries = loadLibraries;
    host.createWindow = createWindow;
    host.makeContext = makeContext;
    host.clock = readClock;
    host.pump = pump;
    host.present = present;
    host.startSoundtrack = startSound;
    host.stopSoundtrack = stopSound;
    host.note = note;
    host.reportFailure = reportFailure;
    return host;
}

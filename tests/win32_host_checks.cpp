// The Win32 host's own checks, cross-built and run under Wine (in Xvfb) by
// the native ostrel-wine-tests: page memory from VirtualAlloc and the sync
// device on it, the content block as the Windows linker laid it out, the
// window for both kinds of build, the window procedure and the pump, the
// GL entry-point look-up with its fallback, the OpenGL 4 context, the clock.
//
// No test framework builds for Windows here: CHECK counts failures and names
// each one; the exit status is the number of failures. `--pump-quit` makes
// the program a child that retrieves a quit message through the pump, whose
// exit code the parent checks.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/win32/win32_host.h"
#include "render/gl.h"
#include "sync/content.h"
#include "sync/pages.h"
#include "sync/sync.h"
#include "sync/tracks.h"

namespace {

int failures = 0;

#define CHECK(condition, ...)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ++failures;                                                                            \
            std::printf("%s:%d: failed: %s ", __FILE__, __LINE__, #condition);                     \
            std::printf(__VA_ARGS__);                                                              \
            std::printf("\n");                                                                     \
        }                                                                                          \
    } while (0)

void section(const char* name) { std::printf("-- %s\n", name); }

std::size_t pageSize() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

void pages() {
    section("page memory");
    const std::size_t page = pageSize();
    for (std::size_t bytes : {std::size_t(1), std::size_t(12), page - 1, page, 3 * page + 5,
                              std::size_t(1) << 20}) {
        auto* region = static_cast<std::uint8_t*>(allocatePages(bytes, pagesReadWrite));
        CHECK(region != nullptr, "%zu bytes", bytes);
        if (!region) continue;
        const std::size_t size = regionSize(region);
        CHECK(size >= bytes && size % page == 0 && size < bytes + page, "%zu bytes: size %zu",
              bytes, size);
        bool zero = true;
        for (std::size_t i = 0; i < size; ++i) zero = zero && region[i] == 0;
        CHECK(zero, "%zu bytes: not zero-filled", bytes);
        std::memset(region, 0xEE, size);  // all of it is writable
        // An address inside the region is not a region.
        CHECK(regionSize(region + size / 2) == 0, "inside a region of %zu bytes", bytes);
        releasePages(region + 1);  // not a region's start: nothing happens
        CHECK(regionSize(region) == size, "a release of an inner address kept the region");
        releasePages(region);
        CHECK(regionSize(region) == 0, "%zu bytes: still there after release", bytes);
    }
    CHECK(allocatePages(0, pagesReadWrite) == nullptr, "0 bytes");
    CHECK(allocatePages(SIZE_MAX - 8, pagesReadWrite) == nullptr, "an impossible size");
    CHECK(regionSize(nullptr) != 0, "null is the empty list, with a non-zero size");
    releasePages(nullptr);
    int onStack = 0;
    CHECK(regionSize(&onStack) == 0, "a stack address");
    CHECK(regionSize(&failures) == 0, "a static variable");

    // The sync device grows its list of tracks one region at a time.
    std::uint8_t data[trackCount][4 + 9] = {};
    SyncDevice* device = createSyncDevice();
    CHECK(device != nullptr, "no sync device");
    if (!device) return;
    for (int t = 0; t < trackCount; ++t) {
        data[t][0] = 1;
        const float value = float(t) * 0.5f;
        std::memcpy(&data[t][8], &value, 4);
        CHECK(getTrack(device, data[t]) != nullptr, "track %d", t);
    }
    CHECK(device->trackCount == trackCount, "%d tracks", int(device->trackCount));
    for (int t = 0; t < trackCount && t < device->trackCount; ++t) {
        CHECK(device->tracks[t]->keyData == data[t], "track %d moved", t);
        CHECK(getTrackValue(device->tracks[t], 100.0) == double(t) * 0.5, "track %d value", t);
    }
}

// The block's references are relocated by the Windows linker: each must
// point at what the builder put there.
void contentBlock() {
    section("content block");
    const EmbeddedContent& c = ostrelContent;
    CHECK(c.shaderTexts[vertexShaderText] && !std::strncmp(c.shaderTexts[0], "#version", 8),
          "vertex shader text");
    CHECK(c.shaderTexts[reservedShaderText] == nullptr, "entry 1 is reserved");
    for (int i = bloomBlurShaderText; i < shaderTextCount; ++i)
        CHECK(c.shaderTexts[i] && !std::strncmp(c.shaderTexts[i], "#version", 8),
              "shader text %d", i);
    CHECK(c.renderWidth == 512.0f && c.renderHeight == 384.0f, "start render size %g x %g",
          double(c.renderWidth), double(c.renderHeight));
    CHECK(c.advanceTime == 1, "advanceTime %d", c.advanceTime);
    CHECK(!std::strncmp(c.sceneShaderText, "#version", 8), "scene text");
    CHECK(!std::memcmp(c.soundtrack, "RIFF", 4) && !std::memcmp(c.soundtrack + 8, "WAVE", 4),
          "soundtrack image");
    for (int t = 0; t < trackCount; ++t)
        CHECK(c.trackKeyData[t] >= c.trackKeyBlocks &&
                  c.trackKeyData[t] < c.trackKeyBlocks + sizeof c.trackKeyBlocks,
              "key data of %s lies outside the key blocks", trackNames[t]);

    // The scene track decoded from the block: its cuts and the end.
    SyncDevice* device = createSyncDevice();
    SyncTrack* sceneTrack = device ? getTrack(device, c.trackKeyData[scene]) : nullptr;
    CHECK(sceneTrack && sceneTrack->keyCount == 6, "scene track");
    if (!sceneTrack) return;
    const struct {
        double row, value;
    } keys[] = {{0, 0.0}, {1160, 2.5}, {1674, 3.5}, {2350, 0.0}, {2408, -1.0}, {2432, -3.0}};
    for (const auto& key : keys)
        CHECK(getTrackValue(sceneTrack, key.row) == key.value, "scene at row %g: %g", key.row,
              getTrackValue(sceneTrack, key.row));
}

EmbeddedContent sized{};  // render size written by the window procedure

bool quitPosted() {
    MSG message;
    return PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

void forgetWindow(HWND window) {
    setWindowContent(nullptr);
    DestroyWindow(window);
    UnregisterClassA("WindowClass0", GetModuleHandleA(nullptr));
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

void windowProcedureAndPump(HWND window) {
    section("window procedure and pump");
    setWindowContent(&sized);
    // Low and high 16 bits, unsigned; the kind of report does not matter.
    windowProcedure(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(500, 345));
    CHECK(sized.renderWidth == 500.0f && sized.renderHeight == 345.0f, "%g x %g",
          double(sized.renderWidth), double(sized.renderHeight));
    windowProcedure(window, WM_SIZE, SIZE_MINIMIZED, 0);
    CHECK(sized.renderWidth == 0.0f && sized.renderHeight == 0.0f, "minimised: %g x %g",
          double(sized.renderWidth), double(sized.renderHeight));
    windowProcedure(window, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(40000, 65535));
    CHECK(sized.renderWidth == 40000.0f && sized.renderHeight == 65535.0f, "%g x %g",
          double(sized.renderWidth), double(sized.renderHeight));

    // Escape and the close request post the quit message; the window stays.
    CHECK(windowProcedure(window, WM_KEYDOWN, VK_ESCAPE, 0) == 0, "Escape's result");
    CHECK(quitPosted(), "Escape posts no quit message");
    CHECK(windowProcedure(window, WM_CLOSE, 0, 0) == 0, "close's result");
    CHECK(quitPosted(), "the close request posts no quit message");
    CHECK(IsWindow(window), "the close request destroyed the window");
    windowProcedure(window, WM_KEYDOWN, 'A', 0);
    windowProcedure(window, WM_SYSKEYDOWN, VK_ESCAPE, 1 << 29);
    CHECK(!quitPosted(), "another key, or Alt+Escape, posted a quit message");

    // The pump: Alt+Escape (a system key-down) sets the quit flag and posts
    // nothing; other keys do nothing.
    std::uint8_t quit = 0;
    PostMessageA(window, WM_KEYDOWN, 'A', 0);
    PostMessageA(window, WM_KEYUP, VK_ESCAPE, 0);
    pumpMessages(&quit);
    CHECK(quit == 0, "a key other than Escape set the quit flag");
    PostMessageA(window, WM_SYSKEYDOWN, VK_ESCAPE, 1 << 29);
    pumpMessages(&quit);
    CHECK(quit == 1, "Alt+Escape did not set the quit flag");
    CHECK(!quitPosted(), "Alt+Escape posted a quit message");

    // A child retrieves a quit message through the pump: it ends at once
    // with exit code 0xFFFFFFFF.
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string command = std::string("\"") + path + "\" --pump-quit";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &child)) {
        WaitForSingleObject(child.hProcess, 30000);
        DWORD code = 0;
        GetExitCodeProcess(child.hProcess, &code);
        CHECK(code == 0xFFFFFFFF, "the quit message ended the child with %#lx",
              static_cast<unsigned long>(code));
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    } else {
        CHECK(false, "cannot start the child (error %lu)", GetLastError());
    }
}

void captionedWindowAndContext() {
    section("captioned window and OpenGL context");
    WglLibraries libraries{};
    std::string error;
    CHECK(loadWglLibraries(libraries, &error), "%s", error.c_str());

    sized.renderWidth = sized.renderHeight = -1.0f;
    HWND window = nullptr;
    HDC dc = nullptr;
    const bool opened = openWindow(WindowVariant{512, 384, false}, sized, &window, &dc, &error);
    CHECK(opened, "%s", error.c_str());
    if (!opened) return;
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    CHECK(!std::strcmp(name, "WindowClass0"), "class %s", name);
    CHECK(GetClassLongA(window, GCL_STYLE) == CS_OWNDC, "class style %#lx",
          GetClassLongA(window, GCL_STYLE));
    GetWindowTextA(window, name, sizeof name);
    CHECK(!std::strcmp(name, "Ostrel"), "title %s", name);
    // The system adds WS_CLIPSIBLINGS to every top-level window.
    CHECK((DWORD(GetWindowLongA(window, GWL_STYLE)) & ~WS_CLIPSIBLINGS) == 0x10C80000, "style %#lx",
          GetWindowLongA(window, GWL_STYLE));
    RECT outer{}, client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    CHECK(outer.left == 0 && outer.top == 0 && outer.right == 512 && outer.bottom == 384,
          "outer %ld,%ld %ld,%ld", outer.left, outer.top, outer.right, outer.bottom);
    // The render size is the client area, smaller by the caption and frame.
    CHECK(sized.renderWidth == float(client.right) && sized.renderHeight == float(client.bottom),
          "render size %g x %g, client %ld x %ld", double(sized.renderWidth),
          double(sized.renderHeight), client.right, client.bottom);
    CHECK(client.bottom < 384 && client.right <= 512, "client %ld x %ld", client.right,
          client.bottom);
    CHECK(dc == GetDC(window), "not the window's own device context");

    GlFunctions gl{};
    const bool made = makeWglContext(libraries, dc, gl, &error);
    CHECK(made, "%s", error.c_str());
    if (made) {
        CHECK(missingGlFunction(gl) == nullptr, "missing %s", missingGlFunction(gl));
        // OpenGL 1.1 functions come from opengl32's exports, later ones from
        // wglGetProcAddress.
        FARPROC exportedViewport = GetProcAddress(libraries.opengl32, "glViewport");
        CHECK(reinterpret_cast<void*>(gl.glViewport) == reinterpret_cast<void*>(exportedViewport),
              "glViewport is not opengl32's export");
        CHECK(GetProcAddress(libraries.opengl32, "glCreateShader") == nullptr &&
                  gl.glCreateShader != nullptr,
              "glCreateShader");
        GLint major = 0, minor = 0;
        gl.glGetIntegerv(GL_MAJOR_VERSION, &major);
        gl.glGetIntegerv(GL_MINOR_VERSION, &minor);
        CHECK(major > 4 || (major == 4 && minor >= 3), "OpenGL %d.%d", major, minor);
        const char* version = reinterpret_cast<const char*>(gl.glGetString(GL_VERSION));
        std::printf("   context: %s\n", version ? version : "(none)");
        CHECK(version && std::strstr(version, "Core Profile"), "not a core profile: %s",
              version ? version : "(none)");
    }
    windowProcedureAndPump(window);
    forgetWindow(window);
}

void borderlessWindow() {
    section("borderless window");
    sized.renderWidth = sized.renderHeight = -1.0f;
    HWND window = nullptr;
    HDC dc = nullptr;
    std::string error;
    const bool opened = openWindow(WindowVariant{512, 384, true}, sized, &window, &dc, &error);
    CHECK(opened, "%s", error.c_str());
    if (!opened) return;
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    CHECK((DWORD(GetWindowLongA(window, GWL_STYLE)) & ~WS_CLIPSIBLINGS) == 0x90000000, "style %#lx",
          GetWindowLongA(window, GWL_STYLE));
    RECT outer{}, client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    CHECK(outer.left == 0 && outer.top == 0 && outer.right == width && outer.bottom == height,
          "outer %ld,%ld %ld,%ld on a %d x %d screen", outer.left, outer.top, outer.right,
          outer.bottom, width, height);
    CHECK(client.right == width && client.bottom == height, "client %ld x %ld", client.right,
          client.bottom);
    CHECK(sized.renderWidth == float(width) && sized.renderHeight == float(height),
          "render size %g x %g", double(sized.renderWidth), double(sized.renderHeight));
    forgetWindow(window);
}

// A stand-in for wglGetProcAddress: known names answer what a driver might.
PROC WINAPI fakeWglGetProcAddress(LPCSTR name) {
    if (!std::strcmp(name, "answersOne")) return reinterpret_cast<PROC>(std::intptr_t(1));
    if (!std::strcmp(name, "answersTwo")) return reinterpret_cast<PROC>(std::intptr_t(2));
    if (!std::strcmp(name, "answersThree")) return reinterpret_cast<PROC>(std::intptr_t(3));
    if (!std::strcmp(name, "answersMinusOne")) return reinterpret_cast<PROC>(std::intptr_t(-1));
    if (!std::strcmp(name, "GetTickCount") || !std::strcmp(name, "answersItself"))
        return reinterpret_cast<PROC>(reinterpret_cast<std::intptr_t>(&fakeWglGetProcAddress));
    return nullptr;
}

void entryPointLookup() {
    section("entry-point look-up");
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    const void* self = reinterpret_cast<const void*>(&fakeWglGetProcAddress);
    // wglGetProcAddress's answer wins where it is a function.
    CHECK(glEntryPoint("GetTickCount", fakeWglGetProcAddress, kernel32) == self, "answer");
    CHECK(glEntryPoint("answersItself", fakeWglGetProcAddress, kernel32) == self, "answer");
    // Where it is none, the library's export, or nothing.
    const void* exported = reinterpret_cast<const void*>(GetProcAddress(kernel32, "GetVersion"));
    CHECK(exported != nullptr, "kernel32 exports GetVersion");
    CHECK(glEntryPoint("GetVersion", fakeWglGetProcAddress, kernel32) == exported, "fallback");
    for (const char* name : {"answersOne", "answersTwo", "answersThree", "answersMinusOne"})
        CHECK(glEntryPoint(name, fakeWglGetProcAddress, kernel32) == nullptr, "%s", name);
    CHECK(glEntryPoint("nowhere", fakeWglGetProcAddress, kernel32) == nullptr, "nowhere");
    CHECK(glEntryPoint("GetVersion", nullptr, kernel32) == exported, "no wglGetProcAddress");
}

void clock() {
    section("clock");
    const double first = millisecondClock(), second = millisecondClock();
    CHECK(second >= first && second - first < 50.0, "%f then %f", first, second);
    Sleep(100);
    const double later = millisecondClock();
    CHECK(later - second >= 90.0 && later - second < 1000.0, "100 ms of sleep read %f ms",
          later - second);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && !std::strcmp(argv[1], "--pump-quit")) {
        std::uint8_t quit = 0;
        PostQuitMessage(0);
        pumpMessages(&quit);
        return 3;  // not reached: the pump ends the process
    }
    pages();
    contentBlock();
    entryPointLookup();
    clock();
    captionedWindowAndContext();
    borderlessWindow();
    std::printf("%d failure(s)\n", failures);
    std::fflush(stdout);
    return failures;
}

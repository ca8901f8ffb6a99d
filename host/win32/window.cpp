// window.cpp: the show's window, its window procedure and the message pump.
#include "host/win32/win32_host.h"

#include <string>

#include "sync/content.h"

// The window styles of the two kinds of build, from the system's named
// styles, and the values they must come to.
constexpr DWORD captionedStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
constexpr DWORD maximisedStyle = WS_VISIBLE | WS_MAXIMIZE | WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX;
constexpr DWORD borderlessStyle = WS_POPUP | WS_VISIBLE;
static_assert(captionedStyle == 0x10C80000, "captioned window style");
static_assert(maximisedStyle == 0x11C90000, "borderless builds' style at creation");
static_assert(borderlessStyle == 0x90000000, "borderless style");
static_assert(VK_ESCAPE == 0x1B, "Escape's key code");

namespace {

const char className[] = "WindowClass0";

// The block whose render size the size reports write.
EmbeddedContent* sizedContent = nullptr;

bool fail(std::string* error, const std::string& line) {
    if (error) *error = line + " (error " + std::to_string(GetLastError()) + ")";
    return false;
}

}  // namespace

void setWindowContent(EmbeddedContent* content) { sizedContent = content; }

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
        case WM_DESTROY: return 0;
        case WM_SIZE:
            // Taken as it comes: a minimised window reports 0 x 0.
            if (sizedContent) {
                sizedContent->renderWidth = float(LOWORD(lParam));
                sizedContent->renderHeight = float(HIWORD(lParam));
            }
            return 0;
        case WM_CLOSE:
            // The window stays; the pump ends the process on the quit message.
            if (inputAction(ShowInput::closeRequest) == InputAction::exitNow) PostQuitMessage(0);
            return 0;
        case WM_KEYDOWN:
            // Escape with Alt comes as a system key-down, which the pump sees.
            if (wParam == VK_ESCAPE && inputAction(ShowInput::escape) == InputAction::exitNow) {
                PostQuitMessage(0);
                return 0;
            }
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool isEscapeDown(const MSG& message) {
    return (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) &&
           message.wParam == VK_ESCAPE;
}

bool openWindow(const WindowVariant& variant, EmbeddedContent& content, HWND* window, HDC* dc,
                std::string* error) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.style = CS_OWNDC;  // one private device context for the window's life
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = className;  // no background brush, no menu
    if (RegisterClassA(&windowClass) == 0)
        return fail(error, "window: cannot register the window class \"WindowClass0\"");

    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const DWORD style = variant.borderless ? maximisedStyle : captionedStyle;
    const int width = variant.borderless ? screenWidth : variant.width;
    const int height = variant.borderless ? screenHeight : variant.height;

    setWindowContent(&content);
    *window = CreateWindowExA(0, className, "Ostrel", style, 0, 0, width, height, nullptr, nullptr,
                              instance, nullptr);
    if (*window == nullptr)
        return fail(error, "window: cannot open the " + std::to_string(width) + " x " +
                               std::to_string(height) +
                               (variant.borderless ? " borderless" : " captioned") + " window");

    if (variant.borderless) {
        // Drop the caption, frame and maximised state, then cover the
        // screen; the last size report is the screen's size.
        ShowWindow(*window, SW_SHOW);
        SetWindowLongA(*window, GWL_STYLE, LONG(borderlessStyle));
        SetWindowPos(*window, HWND_TOP, 0, 0, screenWidth, screenHeight, SWP_FRAMECHANGED);
    }

    *dc = GetDC(*window);
    if (*dc == nullptr) return fail(error, "window: no device context for the window");
    return true;
}

void pumpMessages(std::uint8_t* quit) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        if (message.message == WM_QUIT) ExitProcess(0xFFFFFFFF);  // at once: nothing is released
        // Escape with Alt comes as a system key-down. What ends the process at
        // once does so through the quit message the window procedure posts.
        if (isEscapeDown(message)) {
            const ShowInput input =
                message.message == WM_SYSKEYDOWN ? ShowInput::altEscape : ShowInput::escape;
            if (inputAction(input) == InputAction::quitAfterFrame) *quit = 1;
        }
        DispatchMessageA(&message);
    }
}

// x_session.h: an X server of the test's own, the show as a child process,
// and what the end-to-end tests do to its window.
//
// Each XSession starts Xvfb with -displayfd (the server picks a free display
// number; other programs on the machine use fixed ones) and ends it when it
// goes out of scope. A ShowProcess runs one show executable on that display,
// collects its stdout and stderr line by line with the time each line
// arrived, and kills the show if the test leaves it running. Nothing is left
// behind: every child is waited for.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using SteadyTime = std::chrono::steady_clock::time_point;

class XSession {
public:
    XSession(int width, int height);
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool ok() const { return display_ != nullptr; }
    const std::string& name() const { return name_; }  // ":N"
    Display* display() const { return display_; }
    std::string error() const { return error_; }

    // The mapped top-level window titled `title`, or 0 after `seconds`.
    Window findWindow(const char* title, double seconds);
    // Runs `xdotool key --window WINDOW keys` against this display.
    int sendKeys(Window window, const char* keys);
    // A close request, as a window manager sends it: the WM_DELETE_WINDOW
    // client message of the WM_PROTOCOLS protocol.
    void sendCloseRequest(Window window);
    // Moves the pointer to (x, y) of the root window.
    void movePointer(int x, int y);
    // True when the current cursor image is wholly transparent.
    bool cursorHidden();

    struct Geometry {
        int x, y, width, height;
    };
    Geometry geometry(Window window);
    std::string title(Window window);  // _NET_WM_NAME, else WM_NAME

    // The window's pixels as 0xRRGGBB, row by row from the top.
    std::vector<std::uint32_t> grab(Window window, int& width, int& height);

private:
    pid_t server_ = -1;
    std::string name_;
    Display* display_ = nullptr;
    std::string error_;
};

class ShowProcess {
public:
    // Starts `path` with the session's DISPLAY, SDL_AUDIODRIVER=dummy and
    // the extra variables given ("NAME=value", or "NAME" to remove one).
    ShowProcess(const std::string& path, const std::string& display,
                const std::vector<std::string>& environment = {});
    // The same for a whole command line (a loader and its program).
    ShowProcess(const std::vector<std::string>& argv, const std::string& display,
                const std::vector<std::string>& environment = {});
    ~ShowProcess();

    // The time the first line containing `text` arrived on stdout, waiting
    // up to `seconds` for it.
    std::optional<SteadyTime> waitForLine(const std::string& text, double seconds);
    // The exit status (a signal N shows as 128 + N) and when the process
    // ended, waiting up to `seconds`.
    std::optional<int> waitForExit(double seconds);
    bool running();
    pid_t pid() const { return pid_; }
    SteadyTime endedAt() const { return ended_; }
    std::string out();
    std::string err();

private:
    void collect(int fd, std::vector<std::pair<SteadyTime, std::string>>& lines);

    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = 0;
    SteadyTime ended_{};
    std::mutex mutex_;
    std::vector<std::pair<SteadyTime, std::string>> out_, err_;
    std::thread outReader_, errReader_;
};

// Sends keys, or a close request, to the show's window until the show ends,
// at most ten times over `seconds`: one sent while the show is still
// starting can be lost. The exit status, or nothing if the show runs on.
std::optional<int> keysUntilExit(XSession& x, ShowProcess& show, Window window, const char* keys,
                                 double seconds);
std::optional<int> closeUntilExit(XSession& x, ShowProcess& show, Window window, double seconds);

// Starts `argv` with this process's environment and the changes applied
// ("NAME=value" sets, "NAME" removes one); stdin is /dev/null, stdout and
// stderr go to `outFd` and `errFd` (-1: /dev/null). The child dies with the
// test; the caller waits for it.
pid_t startChild(const std::vector<std::string>& argv, const std::vector<std::string>& changes,
                 int outFd = -1, int errFd = -1);

// Runs a program to its end with the given DISPLAY and extra variables,
// discarding its output.
int runProgram(const std::vector<std::string>& argv, const std::string& display,
               const std::vector<std::string>& environment = {});

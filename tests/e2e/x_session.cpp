// x_session.cpp: Xvfb, child processes and window operations for the
// end-to-end tests.
#include "tests/e2e/x_session.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace {

double since(SteadyTime start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The environment for a child: ours, with the changes applied ("NAME=value"
// sets, "NAME" removes). Built before fork, so the child only calls execve.
std::vector<std::string> childEnvironment(const std::vector<std::string>& changes) {
    std::vector<std::string> result;
    for (char** e = environ; *e; ++e) result.push_back(*e);
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('='));
        for (auto it = result.begin(); it != result.end();)
            it = it->compare(0, name.size() + 1, name + "=") == 0 ? result.erase(it) : it + 1;
        if (change.find('=') != std::string::npos) result.push_back(change);
    }
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Forks and runs argv with envp; the child's stdin is /dev/null, its stdout
// and stderr go to outFd and errFd (-1: /dev/null), `keepFd` stays open, and
// the child dies with the test.
pid_t spawn(std::vector<std::string> argv, std::vector<std::string> env, int outFd, int errFd,
            int keepFd = -1) {
    std::vector<char*> args = pointers(argv), envp = pointers(env);
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(outFd >= 0 ? outFd : null, 1);
    dup2(errFd >= 0 ? errFd : null, 2);
    for (int fd = 3; fd < 1024; ++fd)
        if (fd != keepFd) close(fd);
    execve(args[0], args.data(), envp.data());
    _exit(127);
}

int decode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Windows come and go while the tests look at them (SDL makes short-lived
// helper windows): an X error on one of them is no reason to end the test.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

int shift(unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) mask >>= 1, ++s;
    return s;
}

}  // namespace

// ---- XSession ----------------------------------------------------------------

XSession::XSession(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) {
        error_ = "pipe failed";
        return;
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    server_ = spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                     screen, "-nolisten", "tcp"},
                    childEnvironment({}), -1, -1, fds[1]);
    close(fds[1]);
    std::string number;
    const SteadyTime start = std::chrono::steady_clock::now();
    while (since(start) < 15.0 && number.find('\n') == std::string::npos) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[16];
        ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, std::size_t(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        error_ = "Xvfb told no display number";
        return;
    }
    name_ = ":" + number.substr(0, number.find('\n'));
    XSetErrorHandler(ignoreXError);
    display_ = XOpenDisplay(name_.c_str());
    if (display_ == nullptr) error_ = "cannot connect to Xvfb on " + name_;
}

XSession::~XSession() {
    if (display_) XCloseDisplay(display_);
    if (server_ > 0) {
        kill(server_, SIGTERM);
        int status;
        waitpid(server_, &status, 0);
    }
}

std::string XSession::title(Window window) {
    std::string result;
    Atom netName = XInternAtom(display_, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window, netName, 0, 256, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data && type == utf8)
        result.assign(reinterpret_cast<char*>(data), count);
    if (data) XFree(data);
    if (!result.empty()) return result;
    char* name = nullptr;
    if (XFetchName(display_, window, &name) && name) {
        result = name;
        XFree(name);
    }
    return result;
}

Window XSession::findWindow(const char* title, double seconds) {
    const SteadyTime start = std::chrono::steady_clock::now();
    do {
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count && !found; ++i) {
                XWindowAttributes a;
                if (XGetWindowAttributes(display_, children[i], &a) &&
                    a.map_state == IsViewable && this->title(children[i]) == title)
                    found = children[i];
            }
            if (children) XFree(children);
        }
        if (found) return found;
        usleep(50000);
    } while (since(start) < seconds);
    return 0;
}

int XSession::sendKeys(Window window, const char* keys) {
    return runProgram({"/usr/bin/xdotool", "key", "--window", std::to_string(window), keys},
                      name_);
}

void XSession::sendCloseRequest(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XFlush(display_);
}

void XSession::movePointer(int x, int y) {
    XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, x, y);
    XSync(display_, False);
}

bool XSession::cursorHidden() {
    int event, error;
    if (!XFixesQueryExtension(display_, &event, &error)) return false;
    XFixesCursorImage* image = XFixesGetCursorImage(display_);
    if (image == nullptr) return false;
    bool transparent = true;
    for (unsigned long i = 0; i < std::size_t(image->width) * image->height; ++i)
        if ((image->pixels[i] >> 24) & 0xFF) transparent = false;
    XFree(image);
    return transparent;
}

XSession::Geometry XSession::geometry(Window window) {
    XWindowAttributes a{};
    XGetWindowAttributes(display_, window, &a);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
    return Geometry{x, y, a.width, a.height};
}

std::vector<std::uint32_t> XSession::grab(Window window, int& width, int& height) {
    Geometry g = geometry(window);
    width = g.width;
    height = g.height;
    std::vector<std::uint32_t> pixels;
    XImage* image = XGetImage(display_, window, 0, 0, unsigned(width), unsigned(height),
                              AllPlanes, ZPixmap);
    if (image == nullptr) return pixels;
    const int rs = shift(image->red_mask), gs = shift(image->green_mask),
              bs = shift(image->blue_mask);
    pixels.reserve(std::size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned long p = XGetPixel(image, x, y);
            std::uint32_t r = std::uint32_t((p & image->red_mask) >> rs) & 0xFF;
            std::uint32_t gr = std::uint32_t((p & image->green_mask) >> gs) & 0xFF;
            std::uint32_t b = std::uint32_t((p & image->blue_mask) >> bs) & 0xFF;
            pixels.push_back(r << 16 | gr << 8 | b);
        }
    XDestroyImage(image);
    return pixels;
}

// ---- ShowProcess -------------------------------------------------------------

ShowProcess::ShowProcess(const std::string& path, const std::string& display,
                         const std::vector<std::string>& environment)
    : ShowProcess(std::vector<std::string>{path}, display, environment) {}

ShowProcess::ShowProcess(const std::vector<std::string>& argv, const std::string& display,
                         const std::vector<std::string>& environment) {
    std::vector<std::string> changes = {"DISPLAY=" + display, "SDL_AUDIODRIVER=dummy"};
    changes.insert(changes.end(), environment.begin(), environment.end());
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = spawn(argv, childEnvironment(changes), out[1], err[1]);
    close(out[1]);
    close(err[1]);
    outReader_ = std::thread([this, fd = out[0]] { collect(fd, out_); });
    errReader_ = std::thread([this, fd = err[0]] { collect(fd, err_); });
}

ShowProcess::~ShowProcess() {
    if (pid_ > 0 && !exited_) {
        kill(pid_, SIGKILL);
        int status;
        waitpid(pid_, &status, 0);
    }
    if (outReader_.joinable()) outReader_.join();
    if (errReader_.joinable()) errReader_.join();
}

void ShowProcess::collect(int fd, std::vector<std::pair<SteadyTime, std::string>>& lines) {
    std::string pending;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        const SteadyTime now = std::chrono::steady_clock::now();
        pending.append(buffer, std::size_t(n));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines.emplace_back(now, pending.substr(0, end));
            pending.erase(0, end + 1);
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!pending.empty()) lines.emplace_back(std::chrono::steady_clock::now(), pending);
    close(fd);
}

std::optional<SteadyTime> ShowProcess::waitForLine(const std::string& text, double seconds) {
    const SteadyTime start = std::chrono::steady_clock::now();
    do {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const auto& line : out_)
                if (line.second.find(text) != std::string::npos) return line.first;
        }
        if (!running()) return std::nullopt;
        usleep(2000);
    } while (since(start) < seconds);
    return std::nullopt;
}

bool ShowProcess::running() {
    if (pid_ <= 0 || exited_) return false;
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = std::chrono::steady_clock::now();
        exited_ = true;
        status_ = decode(status);
        return false;
    }
    return true;
}

std::optional<int> ShowProcess::waitForExit(double seconds) {
    const SteadyTime start = std::chrono::steady_clock::now();
    while (running()) {
        if (since(start) >= seconds) return std::nullopt;
        usleep(2000);
    }
    if (!exited_) return std::nullopt;
    // The readers finish once the pipes close with the process.
    if (outReader_.joinable()) outReader_.join();
    if (errReader_.joinable()) errReader_.join();
    return status_;
}

std::string ShowProcess::out() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string all;
    for (const auto& line : out_) all += line.second + "\n";
    return all;
}

std::string ShowProcess::err() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string all;
    for (const auto& line : err_) all += line.second + "\n";
    return all;
}

int runProgram(const std::vector<std::string>& argv, const std::string& display,
               const std::vector<std::string>& environment) {
    std::vector<std::string> changes = {"DISPLAY=" + display};
    changes.insert(changes.end(), environment.begin(), environment.end());
    pid_t pid = spawn(argv, childEnvironment(changes), -1, -1);
    int status = 0;
    waitpid(pid, &status, 0);
    return decode(status);
}

pid_t startChild(const std::vector<std::string>& argv, const std::vector<std::string>& changes,
                 int outFd, int errFd) {
    return spawn(argv, childEnvironment(changes), outFd, errFd);
}

std::optional<int> keysUntilExit(XSession& x, ShowProcess& show, Window window, const char* keys,
                                 double seconds) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        x.sendKeys(window, keys);
        if (auto status = show.waitForExit(seconds / 10)) return status;
    }
    return std::nullopt;
}

std::optional<int> closeUntilExit(XSession& x, ShowProcess& show, Window window, double seconds) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        x.sendCloseRequest(window);
        if (auto status = show.waitForExit(seconds / 10)) return status;
    }
    return std::nullopt;
}

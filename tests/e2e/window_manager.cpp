// The show under a real window manager: openbox on an Xvfb of the test's
// own, both started by the test. The window's outer size and place, its
// client area against the render size (the show's frame log), the
// borderless builds, minimise and restore (time and sound go on, the
// picture comes back whole), focus, a move, a resize attempt, and the keys
// and the manager's own close. Mesa reports any GL error on stderr
// (MESA_DEBUG=1), which must stay empty.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sync/wave.h"
#include "tests/e2e/frame_log.h"
#include "tests/e2e/sound_server.h"
#include "tests/e2e/x_session.h"

namespace {

constexpr double windowWait = 60.0;
constexpr double exitWait = 60.0;

// openbox on the session's display, with a home of its own (its default
// configuration, nothing of the user's).
class WindowManager {
public:
    explicit WindowManager(XSession& x) : x_(x) {
        char home[] = "/tmp/ostrel-wm-XXXXXX";
        if (mkdtemp(home)) home_ = home;
        pid_ = startChild({"/usr/bin/openbox", "--sm-disable"},
                          {"DISPLAY=" + x.name(), "HOME=" + home_});
        // Running once it has named itself on the root window.
        for (int i = 0; i < 200 && !running(); ++i) usleep(50000);
    }
    ~WindowManager() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status;
            waitpid(pid_, &status, 0);
        }
        if (!home_.empty()) std::filesystem::remove_all(home_);
    }
    bool running() { return !windows("_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty(); }

    // A window property of 32-bit items (of the root window by default).
    std::vector<long> windows(const char* name, Atom type, Window window = 0) {
        std::vector<long> items;
        Atom actual;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        Display* d = x_.display();
        if (XGetWindowProperty(d, window ? window : DefaultRootWindow(d),
                               XInternAtom(d, name, False), 0, 1024, False, type, &actual,
                               &format, &count, &after, &data) == Success &&
            data && format == 32)
            items.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
        if (data) XFree(data);
        return items;
    }
    // The managed window titled `title` (the manager's client list), or 0.
    Window client(const char* title, double seconds) {
        const auto start = std::chrono::steady_clock::now();
        do {
            for (long w : windows("_NET_CLIENT_LIST", XA_WINDOW))
                if (x_.title(Window(w)) == title) return Window(w);
            usleep(50000);
        } while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds));
        return 0;
    }
    // Left, right, top and bottom of the manager's frame around `window`.
    std::vector<long> frame(Window window) {
        std::vector<long> e = windows("_NET_FRAME_EXTENTS", XA_CARDINAL, window);
        e.resize(4, 0);
        return e;
    }
    // The active window, once it is `expected` or after five seconds (xdotool's
    // own waiting has no end).
    Window active(Window expected) {
        Window now = 0;
        for (int i = 0; i < 100 && now != expected; ++i) {
            std::vector<long> a = windows("_NET_ACTIVE_WINDOW", XA_WINDOW);
            now = a.empty() ? 0 : Window(a[0]);
            if (now != expected) usleep(50000);
        }
        return now;
    }
    int xdotool(const std::vector<std::string>& words) {
        std::vector<std::string> argv = {"/usr/bin/xdotool"};
        argv.insert(argv.end(), words.begin(), words.end());
        return runProgram(argv, x_.name());
    }

private:
    XSession& x_;
    std::string home_;
    pid_t pid_ = -1;
};

// The brightest channel over a region of the picture.
std::uint32_t brightest(const std::vector<std::uint32_t>& pixels, int width, int x0, int y0,
                        int x1, int y1) {
    std::uint32_t most = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const std::uint32_t p = pixels[std::size_t(y) * width + x];
            most = std::max({most, p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF});
        }
    return most;
}

// A whole picture, within `seconds`: black bars over the whole width of the
// top and bottom tenths of the window (the tone curve lifts black to 12 of
// 255) and a lit band between. What a window shows where nothing was drawn
// (Xvfb's grey weave), or a picture of another size, breaks the bars.
::testing::AssertionResult wholePicture(XSession& x, Window window, double seconds = 60.0) {
    const auto start = std::chrono::steady_clock::now();
    std::string why;
    do {
        int w = 0, h = 0;
        const std::vector<std::uint32_t> p = x.grab(window, w, h);
        const int bar = h / 10 - 1;
        if (p.empty())
            why = "no picture";
        else if (brightest(p, w, 0, 0, w, bar) > 13 || brightest(p, w, 0, h - bar, w, h) > 13)
            why = "the bars of the " + std::to_string(w) + " x " + std::to_string(h) +
                  " picture are not black";
        else if (brightest(p, w, 0, h / 10 + 1, w, h - h / 10 - 1) <= 26)
            why = "the band is dark";
        else
            return ::testing::AssertionSuccess();
        usleep(250000);
    } while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds));
    return ::testing::AssertionFailure() << why;
}

class ShowUnderWindowManager : public ::testing::Test {
protected:
    void open(int width, int height) {
        x = std::make_unique<XSession>(width, height);
        ASSERT_TRUE(x->ok()) << x->error();
        wm = std::make_unique<WindowManager>(*x);
        ASSERT_TRUE(wm->running()) << "openbox did not start";
    }
    // Starts a show with its frame log and Mesa's error reports; returns its
    // managed window once the show has presented `frames` frames.
    Window start(const char* path, std::size_t frames = 1,
                 std::vector<std::string> environment = {}) {
        environment.push_back(log.variable());
        environment.push_back("MESA_DEBUG=1");
        show = std::make_unique<ShowProcess>(path, x->name(), environment);
        Window window = wm->client("Ostrel", windowWait);
        EXPECT_NE(window, 0u) << "no managed window titled \"Ostrel\"; stderr:\n" << show->err();
        EXPECT_GE(log.awaitFrames(*show, frames, windowWait).size(), frames) << show->err();
        return window;
    }
    // A window of the test's own takes the focus. Keys sent to the show's
    // window then travel as events to it (xdotool uses XTEST, the real
    // keyboard, for the focused window, and openbox keeps Alt+Escape for
    // itself: lower the window).
    Window focusElsewhere() {
        Display* d = x->display();
        if (other == 0) {
            other = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 200, 150, 0, 0, 0);
            XStoreName(d, other, "other");
            XMapWindow(d, other);
            XFlush(d);
            EXPECT_NE(wm->client("other", 10.0), 0u);
        }
        wm->xdotool({"windowactivate", std::to_string(other)});
        EXPECT_EQ(wm->active(other), other);
        return other;
    }
    void TearDown() override {
        show.reset();
        if (other && x) XDestroyWindow(x->display(), other);
        other = 0;
        wm.reset();
        x.reset();
    }
    Window other = 0;
    FrameLog log;
    std::unique_ptr<XSession> x;
    std::unique_ptr<WindowManager> wm;
    std::unique_ptr<ShowProcess> show;
};

// The captioned builds: the frame is the build's size at (0, 0), the client
// area inside it is smaller by the manager's decorations, and the show
// renders exactly that. Closing through the manager (its Alt+F4) and Escape
// end them with 255.
TEST_F(ShowUnderWindowManager, CaptionedBuildsHaveTheirOuterSizeAndRenderTheClientArea) {
    struct Case {
        const char* path;
        int width, height;
        bool closeByManager;
    } cases[] = {{OSTREL_SHOW_512, 512, 384, true}, {OSTREL_SHOW_1024, 1024, 768, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        open(1280, 1024);
        Window window = start(c.path);
        ASSERT_NE(window, 0u);
        const std::vector<long> f = wm->frame(window);  // left, right, top, bottom
        const XSession::Geometry g = x->geometry(window);
        std::printf("%s: client %d x %d at (%d, %d), frame %ld %ld %ld %ld\n", c.path, g.width,
                    g.height, g.x, g.y, f[0], f[1], f[2], f[3]);
        EXPECT_GT(f[2], 0) << "no title bar";
        EXPECT_EQ(g.x - f[0], 0);
        EXPECT_EQ(g.y - f[2], 0);
        EXPECT_EQ(g.width + f[0] + f[1], c.width);
        EXPECT_EQ(g.height + f[2] + f[3], c.height);
        const std::vector<FrameLine> frames = log.read();
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back().width, g.width);
        EXPECT_EQ(frames.back().height, g.height);
        EXPECT_TRUE(wholePicture(*x, window));

        if (c.closeByManager) {
            // The manager's close goes to the focused window.
            wm->xdotool({"windowactivate", std::to_string(window)});
            EXPECT_EQ(wm->active(window), window);
            std::optional<int> status;
            for (int i = 0; i < 10 && !status; ++i) {
                wm->xdotool({"key", "alt+F4"});
                status = show->waitForExit(exitWait / 10);
            }
            EXPECT_EQ(status, 255);
        } else {
            EXPECT_EQ(keysUntilExit(*x, *show, window, "Escape", exitWait), 255);
        }
        EXPECT_EQ(show->err(), "");
        TearDown();
    }
}

TEST_F(ShowUnderWindowManager, BorderlessBuildsCoverTheScreenWithoutDecoration) {
    for (const char* path : {OSTREL_SHOW_FULL, OSTREL_SHOW_FULL_QUARTER}) {
        SCOPED_TRACE(path);
        open(640, 480);
        Window window = start(path);
        ASSERT_NE(window, 0u);
        // The screen, no frame, and the render size is the screen's.
        const XSession::Geometry g = x->geometry(window);
        EXPECT_EQ((std::vector<int>{g.x, g.y, g.width, g.height}),
                  (std::vector<int>{0, 0, 640, 480}));
        EXPECT_EQ(wm->frame(window), (std::vector<long>{0, 0, 0, 0}));
        const std::vector<FrameLine> frames = log.read();
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ((std::vector<int>{frames.back().width, frames.back().height}),
                  (std::vector<int>{640, 480}));
        EXPECT_TRUE(wholePicture(*x, window));
        if (path == std::string(OSTREL_SHOW_FULL)) {
            EXPECT_EQ(keysUntilExit(*x, *show, window, "Escape", exitWait), 255);
        } else {
            focusElsewhere();
            EXPECT_EQ(keysUntilExit(*x, *show, window, "alt+Escape", exitWait), 0);
        }
        EXPECT_EQ(show->err(), "");
        TearDown();
    }
}

// Minimised by the manager the window reports 0 x 0 and the show draws
// nothing (no GL error, no division by zero); its time and the sound go on.
// Restored, the first frame shows the music being heard and the picture is
// whole.
TEST_F(ShowUnderWindowManager, MinimisedAndRestoredTheTimeAndTheSoundGoOn) {
    SoundServer sound;
    ASSERT_TRUE(sound.ok()) << sound.error();
    ASSERT_TRUE(sound.startRecording());
    open(1024, 768);
    Window window = start(OSTREL_SHOW_512, 2, sound.clientEnvironment());
    ASSERT_NE(window, 0u);
    const int width = log.read().back().width, height = log.read().back().height;

    EXPECT_EQ(wm->xdotool({"windowminimize", std::to_string(window)}), 0);
    const auto minimised = std::chrono::steady_clock::now();
    // Frames at 0 x 0 for at least three seconds.
    std::vector<FrameLine> frames;
    int hidden = 0;
    while (std::chrono::steady_clock::now() - minimised < std::chrono::seconds(3) ||
           hidden < 3) {
        ASSERT_TRUE(show->running()) << show->err();
        frames = log.read();
        hidden = int(std::count_if(frames.begin(), frames.end(), [](const FrameLine& f) {
            return f.width == 0 && f.height == 0;
        }));
        ASSERT_LT(std::chrono::steady_clock::now() - minimised, std::chrono::seconds(60));
        usleep(50000);
    }
    const std::size_t beforeRestore = frames.size();
    const auto restored = std::chrono::steady_clock::now();
    EXPECT_EQ(wm->xdotool({"windowactivate", std::to_string(window)}), 0);

    // The first frame at the full size again, and the picture after it.
    FrameLine back;
    for (bool found = false; !found;) {
        ASSERT_TRUE(show->running()) << show->err();
        ASSERT_LT(std::chrono::steady_clock::now() - restored, std::chrono::seconds(60));
        frames = log.read();
        for (std::size_t i = beforeRestore; i < frames.size() && !found; ++i)
            if (frames[i].width == width && frames[i].height == height)
                back = frames[i], found = true;
        usleep(20000);
    }
    EXPECT_TRUE(wholePicture(*x, window));
    EXPECT_EQ(keysUntilExit(*x, *show, window, "Escape", exitWait), 255);
    EXPECT_EQ(show->err(), "") << "GL errors or other complaints";
    sound.stopRecording();

    // The music heard while that frame was drawn brackets its show time.
    const SoundServer::Recording recording = sound.recording();
    std::ifstream in(OSTREL_SOUNDTRACK_IMAGE, std::ios::binary);
    const std::vector<std::uint8_t> image(std::istreambuf_iterator<char>(in), {});
    WaveFormat format;
    ASSERT_TRUE(readWave(image.data(), image.size(), format, nullptr));
    const auto* soundtrack = reinterpret_cast<const std::int16_t*>(format.samples);
    const std::size_t moment = std::size_t(back.showTime * 44.1);
    const auto at = recording.find(soundtrack, moment);
    ASSERT_TRUE(at) << "the music of show time " << back.showTime << " ms was not heard";
    const double heard = recording.playedAt(double(*at));
    std::printf("first frame after the restore: show time %d ms, drawn from %+.3f s to %+.3f s "
                "of when its music was heard\n",
                back.showTime, back.credited - heard, back.presented - heard);
    EXPECT_LE(back.credited - heard, 0.05);
    EXPECT_GE(back.presented - heard, -0.05);

    // The sound went on while the window was hidden: every half second of
    // that stretch the recording holds music of the soundtrack.
    int moments = 0, music = 0;
    for (double t = steadySeconds(minimised); t < steadySeconds(restored); t += 0.5) {
        const double frame = recording.frameAt(t);
        if (frame < 0 || frame + 64 > double(recording.frames())) continue;
        const std::int16_t* heardThen = recording.samples.data() + 2 * std::size_t(frame);
        ++moments;
        const bool loud = std::any_of(heardThen, heardThen + 128,
                                      [](std::int16_t v) { return std::abs(v) > 64; });
        music += loud && memmem(format.samples, format.sampleBytes, heardThen, 64 * 4);
    }
    EXPECT_GE(moments, 6);
    EXPECT_EQ(music, moments) << "silence or noise while the window was hidden";
}

// Focus taken by another window and given back, a move and a resize
// attempt: the show goes on, its client area and render size stay.
TEST_F(ShowUnderWindowManager, FocusMoveAndResizeAttemptLeaveTheShowAsItWas) {
    open(1024, 768);
    Window window = start(OSTREL_SHOW_512);
    ASSERT_NE(window, 0u);
    const XSession::Geometry before = x->geometry(window);

    focusElsewhere();
    std::size_t seen = log.read().size();
    EXPECT_GT(log.awaitFrames(*show, seen + 1, windowWait).size(), seen);
    wm->xdotool({"windowactivate", std::to_string(window)});
    EXPECT_EQ(wm->active(window), window);

    wm->xdotool({"windowmove", std::to_string(window), "200", "150"});
    XSession::Geometry moved = x->geometry(window);
    for (int i = 0; i < 100 && moved.x == before.x; ++i, moved = x->geometry(window))
        usleep(50000);
    EXPECT_NE(moved.x, before.x);
    EXPECT_NE(moved.y, before.y);

    // Not resizable: the manager keeps the size.
    wm->xdotool({"windowsize", std::to_string(window), "800", "600"});
    usleep(500000);
    const XSession::Geometry sized = x->geometry(window);
    EXPECT_EQ(sized.width, before.width);
    EXPECT_EQ(sized.height, before.height);
    seen = log.read().size();
    const std::vector<FrameLine> frames = log.awaitFrames(*show, seen + 1, windowWait);
    ASSERT_GT(frames.size(), seen);
    EXPECT_EQ(frames.back().width, before.width);
    EXPECT_EQ(frames.back().height, before.height);
    EXPECT_TRUE(wholePicture(*x, window));

    focusElsewhere();
    EXPECT_EQ(keysUntilExit(*x, *show, window, "alt+Escape", exitWait), 0);
    EXPECT_EQ(show->err(), "");
}

}  // namespace

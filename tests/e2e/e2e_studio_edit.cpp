// The studio's timeline end to end, on an Xvfb of its own, with the real
// pointer and keys (xdotool) on a copy of the sources: a key dragged,
// undone, redone and saved leaves the file with that one line changed and
// every other line as it was; a drag not saved when the studio is killed
// with SIGKILL is found by the next start and saved then; a tweak typed
// with keys quicker than a frame is saved, and a word typed is refused.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/x_session.h"
#include "tests/support/source_copy.h"
#include "tools/studio/editor.h"

namespace {

using namespace studio;
using Clock = std::chrono::steady_clock;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool waitForTitle(XSession& x, Window window, const std::string& title, double seconds) {
    const auto start = Clock::now();
    while (std::chrono::duration<double>(Clock::now() - start).count() < seconds) {
        if (x.title(window) == title) return true;
        usleep(100000);
    }
    return false;
}

// The show's end as the studio says it, in ms.
int endOf(ShowProcess& studio) {
    const std::string out = studio.out();
    const std::size_t at = out.find("the show ends at ");
    if (at == std::string::npos) return -1;
    int minutes = 0, seconds = 0, ms = 0;
    std::sscanf(out.c_str() + at + 17, "%d:%d.%d", &minutes, &seconds, &ms);
    return (minutes * 60 + seconds) * 1000 + ms;
}

struct Studio {
    XSession& x;
    ShowProcess process;
    Window window = 0;
    Editor layout;  // where the timeline lies in a window of this size

    Studio(XSession& session, const std::string& root)
        : x(session),
          process({OSTREL_STUDIO, "--source", root, "--at", "8000", "--size", "640x480",
                   "--scale", "0.25"},
                  session.name()) {
        window = x.findWindow("Ostrel studio", 60.0);
        if (window == 0 || !process.waitForLine("playing from", 60.0)) return;
        layout.transport.end = endOf(process);
        layoutTimeline(layout, 640, 480);
        for (int i = 0; i < 10 && !process.waitForLine("paused at", 3.0); ++i)
            x.sendKeys(window, "space");
    }
    double keyX(std::int32_t row) const { return pixelAt(layout.view, rowMilliseconds(row)); }
    double laneY(Track t) const {
        double top = 0, bottom = 0;
        laneSpan(layout.lanes, t, top, bottom);
        return (top + bottom) * 0.5;
    }
    // Presses on a key's mark and drags it `pixels` to the right.
    void drag(Track t, std::int32_t row, int pixels) {
        const std::string w = std::to_string(window);
        const int x0 = int(std::lround(keyX(row))), y = int(std::lround(laneY(t)));
        runProgram({"/usr/bin/xdotool", "mousemove", "--window", w, std::to_string(x0), std::to_string(y)},
                   x.name());
        runProgram({"/usr/bin/xdotool", "mousedown", "1"}, x.name());
        for (int i = 1; i <= pixels; ++i) {
            runProgram({"/usr/bin/xdotool", "mousemove", "--window", w, std::to_string(x0 + i),
                        std::to_string(y)},
                       x.name());
            usleep(30000);
        }
        runProgram({"/usr/bin/xdotool", "mouseup", "1"}, x.name());
    }
    // A click of the left button at (x, y) of the window, a moment for the
    // panels to answer it.
    void click(int px, int py) {
        runProgram({"/usr/bin/xdotool", "mousemove", "--window", std::to_string(window),
                    std::to_string(px), std::to_string(py), "click", "1"},
                   x.name());
        usleep(800000);
    }
    // The text field at (px, py) emptied and `text` typed into it, then
    // Enter. xdotool presses and lets go of each key within one frame, and
    // lets go of Ctrl before the A.
    void retype(int px, int py, const char* text) {
        click(px, py);
        x.sendKeys(window, "ctrl+a");
        x.sendKeys(window, "BackSpace");
        runProgram({"/usr/bin/xdotool", "type", "--window", std::to_string(window), text}, x.name());
        x.sendKeys(window, "Return");
    }
    // The row a key dragged `pixels` lands on.
    std::int32_t landing(std::int32_t row, int pixels) const {
        return nearestRow(rowMilliseconds(row) + pixels * layout.view.msPerPixel);
    }
};

// The lines of `after` against `before`: all the same but the one that
// started with `row`, now starting with `moved`.
void expectOneLineMoved(const std::string& before, const std::string& after, std::int32_t row,
                        std::int32_t moved) {
    const std::vector<std::string> a = linesOf(before), b = linesOf(after);
    ASSERT_EQ(a.size(), b.size()) << after;
    int differing = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) continue;
        ++differing;
        int rowA = 0, rowB = 0;
        float valueA = 0, valueB = 0;
        char typeA[16] = {}, typeB[16] = {};
        ASSERT_EQ(std::sscanf(a[i].c_str(), "%d %f %15s", &rowA, &valueA, typeA), 3) << a[i];
        ASSERT_EQ(std::sscanf(b[i].c_str(), "%d %f %15s", &rowB, &valueB, typeB), 3) << b[i];
        EXPECT_EQ(rowA, row) << a[i];
        EXPECT_EQ(rowB, moved) << b[i];
        EXPECT_EQ(valueA, valueB) << "the value stays: " << b[i];
        EXPECT_STREQ(typeA, typeB) << "the interpolation stays: " << b[i];
    }
    EXPECT_EQ(differing, 1) << after;
}

}  // namespace

TEST(StudioEndToEnd, DragUndoRedoSaveAndAKillLosesNothing) {
    SourceCopy sources{OSTREL_SOURCE_DIR};
    const std::string track = "content/tracks/camPosY.track";
    const std::string original = sources.read(track);
    XSession x(800, 600);
    ASSERT_TRUE(x.ok()) << x.error();
    std::string saved;
    {
        Studio s(x, sources.root.string());
        ASSERT_NE(s.window, 0u) << s.process.err();
        ASSERT_GT(s.layout.transport.end, 90000) << s.process.out();
        ASSERT_TRUE(s.process.waitForLine("paused at", 1.0)) << s.process.out();
        const std::int32_t moved = s.landing(1000, 12);
        ASSERT_NE(moved, 1000);
        s.drag(camPosY, 1000, 12);
        ASSERT_TRUE(waitForTitle(x, s.window, "Ostrel studio *", 60.0)) << s.process.out() << s.process.err();
        x.sendKeys(s.window, "ctrl+z");
        ASSERT_TRUE(s.process.waitForLine("undid drag 1 keys", 60.0)) << s.process.out();
        EXPECT_TRUE(waitForTitle(x, s.window, "Ostrel studio", 30.0));
        x.sendKeys(s.window, "ctrl+shift+z");
        ASSERT_TRUE(s.process.waitForLine("redid drag 1 keys", 60.0)) << s.process.out();
        x.sendKeys(s.window, "ctrl+s");
        ASSERT_TRUE(s.process.waitForLine("saved " + track, 60.0)) << s.process.out()
                                                                   << s.process.err();
        EXPECT_TRUE(waitForTitle(x, s.window, "Ostrel studio", 30.0));
        saved = sources.read(track);
        expectOneLineMoved(original, saved, 1000, moved);
        EXPECT_FALSE(std::filesystem::exists(sources.path(".ostrel-studio-journal")));

        // Another drag, not saved; the journal has it; kill -9.
        s.drag(camPosY, 1424, 12);
        ASSERT_TRUE(waitForTitle(x, s.window, "Ostrel studio *", 60.0)) << s.process.out() << s.process.err();
        for (int i = 0; i < 100 && !std::filesystem::exists(sources.path(".ostrel-studio-journal"));
             ++i)
            usleep(100000);
        ASSERT_TRUE(std::filesystem::exists(sources.path(".ostrel-studio-journal")));
        ::kill(s.process.pid(), SIGKILL);
        const std::optional<int> status = s.process.waitForExit(10.0);
        ASSERT_TRUE(status);
        EXPECT_EQ(*status, 128 + SIGKILL);
        EXPECT_EQ(sources.read(track), saved) << "nothing was saved by the kill";
    }
    Studio s(x, sources.root.string());
    ASSERT_NE(s.window, 0u) << s.process.err();
    ASSERT_TRUE(s.process.waitForLine("found 1 unsaved edit in 1 file", 10.0)) << s.process.out();
    EXPECT_TRUE(waitForTitle(x, s.window, "Ostrel studio *", 30.0));
    const std::int32_t moved = s.landing(1424, 12);
    x.sendKeys(s.window, "ctrl+s");
    ASSERT_TRUE(s.process.waitForLine("saved " + track, 60.0)) << s.process.out();
    expectOneLineMoved(saved, sources.read(track), 1424, moved);
    const std::optional<int> status = keysUntilExit(x, s.process, s.window, "Escape", 60.0);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 0);
}

TEST(StudioEndToEnd, ATweakTypedWithQuickKeysIsSavedAndAWordIsRefused) {
    SourceCopy sources{OSTREL_SOURCE_DIR};
    const std::string file = "content/tweaks.txt";
    const std::string original = sources.read(file);
    XSession x(800, 600);
    ASSERT_TRUE(x.ok()) << x.error();
    Studio s(x, sources.root.string());
    ASSERT_NE(s.window, 0u) << s.process.err();
    ASSERT_TRUE(s.process.waitForLine("paused at", 1.0)) << s.process.out();
    // Where Dear ImGui's default style puts them in a 640 x 480 window: the
    // View menu, its Tweaks item, and the panel's second field (lum).
    s.click(114, 9);
    s.click(119, 68);
    s.retype(58, 83, "0.7");
    ASSERT_TRUE(waitForTitle(x, s.window, "Ostrel studio *", 30.0)) << s.process.out() << s.process.err();
    x.sendKeys(s.window, "ctrl+s");
    ASSERT_TRUE(s.process.waitForLine("saved " + file, 30.0)) << s.process.out() << s.process.err();
    const std::vector<std::string> before = linesOf(original), after = linesOf(sources.read(file));
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < before.size(); ++i)
        if (before[i].rfind("lum ", 0) == 0)
            EXPECT_EQ(after[i], "lum    0.7        # BloomData luminance");
        else
            EXPECT_EQ(after[i], before[i]);

    s.retype(58, 83, "bright");
    bool refused = false;
    for (int i = 0; i < 300 && !refused; ++i, usleep(100000))
        refused = s.process.err().find("lum: 'bright' is not a number") != std::string::npos;
    EXPECT_TRUE(refused) << s.process.err();
    EXPECT_EQ(x.title(s.window), "Ostrel studio");
    EXPECT_EQ(linesOf(sources.read(file)), after);
    const std::optional<int> status = keysUntilExit(x, s.process, s.window, "Escape", 60.0);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 0) << "nothing unsaved, nothing asked";
}

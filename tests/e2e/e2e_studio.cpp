// The studio end to end, on an Xvfb of its own with the dummy audio driver,
// on a copy of the sources: a saved track changes the window's picture, a
// shader typo shows on stderr with its file and line while the window goes
// on drawing (with the error in it), and keys seek; a save made while it
// starts is seen; and with a sound server of the test's own that stops
// answering (SIGSTOP), the studio goes on, silent, and says so.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/sound_server.h"
#include "tests/e2e/x_session.h"
#include "tests/support/source_copy.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The picture above the heads-up strip (whose frame time changes with
// every frame), and how many pixels of the strip have the error
// background's colour.
struct Shot {
    std::vector<std::uint32_t> pixels;
    int width = 0, height = 0;
    std::vector<std::uint32_t> picture() const {
        return std::vector<std::uint32_t>(pixels.begin(),
                                          pixels.begin() + std::ptrdiff_t(width) * (height * 3 / 4));
    }
    int errorPixels() const {
        return int(std::count(pixels.begin(), pixels.end(), std::uint32_t(0x460000)));
    }
};

Shot grab(XSession& x, Window window) {
    Shot s;
    s.pixels = x.grab(window, s.width, s.height);
    return s;
}

// Waits for a line containing `text` on stderr.
bool waitForError(ShowProcess& studio, const std::string& text, double seconds) {
    const auto start = Clock::now();
    while (secondsSince(start) < seconds) {
        if (studio.err().find(text) != std::string::npos) return true;
        usleep(50000);
    }
    return false;
}

}  // namespace

TEST(StudioEndToEnd, SavesShowAtOnceErrorsKeepItDrawingAndKeysSeek) {
    SourceCopy sources{OSTREL_SOURCE_DIR};
    XSession x(800, 600);
    ASSERT_TRUE(x.ok()) << x.error();
    ShowProcess studio({OSTREL_STUDIO, "--source", sources.root.string(), "--at", "8000",
                        "--size", "256x192", "--scale", "0.25"},
                       x.name());
    const Window window = x.findWindow("Ostrel studio", 60.0);
    ASSERT_NE(window, 0u) << studio.err();
    ASSERT_TRUE(studio.waitForLine("playing from 0:08.000", 60.0)) << studio.out() << studio.err();

    // Paused, the picture holds still.
    for (int i = 0; i < 10 && !studio.waitForLine("paused at", 3.0); ++i)
        x.sendKeys(window, "space");
    ASSERT_TRUE(studio.waitForLine("paused at", 1.0)) << studio.out();
    Shot still = grab(x, window);
    for (int i = 0; i < 20; ++i) {
        usleep(500000);
        const Shot again = grab(x, window);
        if (again.picture() == still.picture()) break;
        still = again;
    }

    // A saved key: the picture changes, with no restart.
    const std::string track = "content/tracks/camPosY.track";
    std::string text = sources.read(track);
    text.replace(text.find("189   3.0"), 9, "189   6.0");
    const auto saved = Clock::now();
    sources.write(track, text);
    const std::optional<SteadyTime> reloaded = studio.waitForLine("reloaded " + track, 20.0);
    ASSERT_TRUE(reloaded) << studio.out() << studio.err();
    bool changed = false;
    while (!changed && secondsSince(saved) < 20.0) {
        changed = grab(x, window).picture() != still.picture();
        if (!changed) usleep(50000);
    }
    EXPECT_TRUE(changed) << "the picture did not change after the save";
    std::printf("a saved key: reloaded after %.2f s, the picture changed after %.2f s\n",
                std::chrono::duration<double>(*reloaded - saved).count(), secondsSince(saved));

    // A shader typo: stderr names its file and line, the window shows the
    // error and goes on drawing the last good scene.
    x.sendKeys(window, "space");
    ASSERT_TRUE(studio.waitForLine("playing from", 10.0)) << studio.out();
    const std::string part = "shaders/scene/scenes.glsl";
    std::string scene = sources.read(part);
    std::size_t at = 0;
    for (int line = 1; line < 10; ++line) at = scene.find('\n', at) + 1;
    scene.insert(at, "float broken = ;\n");
    sources.write(part, scene);
    EXPECT_TRUE(waitForError(studio, sources.path(part) + ":10: error", 30.0)) << studio.err();
    Shot before = grab(x, window);
    for (int i = 0; i < 40 && before.errorPixels() < 100; ++i) {
        usleep(250000);
        before = grab(x, window);
    }
    EXPECT_GE(before.errorPixels(), 100) << "no error strip in the window";
    bool drawing = false;
    for (int i = 0; i < 40 && !drawing; ++i) {
        usleep(250000);
        drawing = grab(x, window).picture() != before.picture();
    }
    EXPECT_TRUE(drawing) << "the window stopped drawing after the shader error";

    // Keys seek; stdout tells where to.
    x.sendKeys(window, "Home");
    EXPECT_TRUE(studio.waitForLine("at 0:00.000 (row 0)", 10.0)) << studio.out();
    x.sendKeys(window, "Page_Down");
    EXPECT_TRUE(studio.waitForLine("at 0:48.334 (row 1160)", 10.0)) << studio.out();
    x.sendKeys(window, "shift+Right");
    EXPECT_TRUE(studio.waitForLine("(row 1161)", 10.0)) << studio.out();

    const std::optional<int> status = keysUntilExit(x, studio, window, "Escape", 30.0);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
}

TEST(StudioEndToEnd, ASaveWhileItStartsIsSeen) {
    // A scene part unlike the built one, so that the first reading says when
    // it is done ("scene program rebuilt"); the save comes then, while the
    // studio still starts (it finds the show's end, every millisecond of it).
    SourceCopy sources{OSTREL_SOURCE_DIR};
    const std::string part = "shaders/scene/scenes.glsl";
    sources.write(part, sources.read(part) + "\nconst float studioTestUnused = 1.0;\n");
    XSession x(800, 600);
    ASSERT_TRUE(x.ok()) << x.error();
    ShowProcess studio({OSTREL_STUDIO, "--source", sources.root.string(), "--at", "8000",
                        "--size", "128x96", "--scale", "0.25"},
                       x.name());
    ASSERT_TRUE(studio.waitForLine("scene program rebuilt", 60.0)) << studio.out() << studio.err();
    const std::string track = "content/tracks/camPosY.track";
    std::string text = sources.read(track);
    text.replace(text.find("189   3.0"), 9, "189   6.0");
    sources.write(track, text);
    const SteadyTime saved = std::chrono::steady_clock::now();
    const std::optional<SteadyTime> started = studio.waitForLine("playing from", 60.0);
    ASSERT_TRUE(started) << studio.out() << studio.err();
    EXPECT_GT(*started, saved) << "the save came once the studio had started: nothing tested";
    EXPECT_TRUE(studio.waitForLine("reloaded " + track, 20.0)) << studio.out() << studio.err();
}

TEST(StudioEndToEnd, ASoundServerThatStopsAnsweringLeavesTheStudioGoingSilently) {
    SoundServer sound;
    ASSERT_TRUE(sound.ok()) << sound.error();
    SourceCopy sources{OSTREL_SOURCE_DIR};
    XSession x(800, 600);
    ASSERT_TRUE(x.ok()) << x.error();
    ShowProcess studio({OSTREL_STUDIO, "--source", sources.root.string(), "--size", "128x96",
                        "--scale", "0.25"},
                       x.name(), sound.clientEnvironment());
    const Window window = x.findWindow("Ostrel studio", 60.0);
    ASSERT_NE(window, 0u) << studio.err();
    ASSERT_TRUE(studio.waitForLine("playing from", 60.0)) << studio.out() << studio.err();
    EXPECT_EQ(studio.err().find("runs silent"), std::string::npos) << studio.err();

    sound.stop();
    EXPECT_TRUE(waitForError(studio, "audio device stopped; the studio goes on silently", 20.0))
        << studio.err();
    // It answers keys, draws on, and quits.
    x.sendKeys(window, "Home");
    EXPECT_TRUE(studio.waitForLine("at 0:00.000 (row 0)", 10.0)) << studio.out();
    Shot first = grab(x, window);
    bool drawing = false;
    for (int i = 0; i < 40 && !drawing; ++i) {
        usleep(250000);
        drawing = grab(x, window).pixels != first.pixels;
    }
    EXPECT_TRUE(drawing) << "the window stopped drawing";
    const std::optional<int> status = keysUntilExit(x, studio, window, "Escape", 20.0);
    sound.resume();
    ASSERT_TRUE(status.has_value()) << "the studio did not quit";
    EXPECT_EQ(*status, 0);
    const std::string err = studio.err(), said = "studio: audio: the audio device stopped";
    EXPECT_EQ(err.find(said), err.rfind(said)) << "said once: " << err;
}

// The Windows executables of both builds, x86-64 and 32-bit x86: their
// import tables, and the programs run under Wine, each on an Xvfb of its own
// (no window manager): the Win32 host's own checks, the window with the
// picture's black bars, the keys and the close request with their exit
// statuses, the borderless builds, a start-up failure's message box, and one
// whole run that ends by itself. Every test runs for each build; its name
// ends in the build's name (WineShow.CloseRequestEndsWith255/i686).
//
// The programs come from the cross builds (tools/build-windows.sh). Where
// they or the build's Wine are missing (wine64 for x86-64; wine32 for i686,
// on a machine with the i386 architecture) the tests skip, unless
// OSTREL_REQUIRE_WINDOWS is set (CI sets it), when they fail instead; on a
// kernel that cannot run 32-bit x86 programs the i686 ones skip even then. Each
// build's programs run in a Wine prefix of their own beside them (64-bit,
// or WINEARCH=win32 for i686; created on first use, ~10 to 25 s), with
// Wine's debug output off, no browser or .NET helpers, no sound drivers and
// no crash dialog; every Wine step runs under timeout, and each test ends
// the prefix's wineserver (and every process of it) before its X server
// goes. Two tests never share a prefix at once: CTest gives each prefix a
// lock (tests/CMakeLists.txt). The whole run has a prefix of its own
// (wineprefix-whole), so that it can go on beside its build's other tests.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/x_session.h"

namespace {

// One build of the Windows programs: where they are and the Wine that runs
// them.
struct WindowsBuild {
    const char* name;     // as the tests' names end
    std::string bin;      // the programs
    std::string loader;   // Wine's loader for the architecture, "" when not found
    const char* wine;     // what provides the loader
    const char* arch;     // WINEARCH of the prefix
    const char* format;   // the programs' file format as objdump names it
};

const WindowsBuild x86_64{"x86_64", OSTREL_WINDOWS_BIN_DIR, OSTREL_WINE, "Wine (wine64)", "win64",
                          "pei-x86-64"};
const WindowsBuild i686{"i686", OSTREL_WINDOWS_I686_BIN_DIR, OSTREL_WINE32,
                        "32-bit Wine (wine32, with the i386 architecture)", "win32", "pei-i386"};
const std::string wineServer = OSTREL_WINESERVER;
const std::string objdump = OSTREL_MINGW_OBJDUMP;

const char* const shows[] = {"ostrel-512", "ostrel-1024", "ostrel-full", "ostrel-full-quarter"};

constexpr double windowWait = 90.0;  // Wine's start, the program builds, the noise texture
constexpr double exitWait = 60.0;
constexpr std::uint32_t barLevel = 13;  // the tone curve lifts black to 12 of 255

bool exists(const std::string& path) {
    struct stat s;
    return stat(path.c_str(), &s) == 0;
}

std::string exe(const std::string& dir, const char* name) { return dir + "/" + name + ".exe"; }

// Empty when everything is there; otherwise what is missing.
std::string missing(const WindowsBuild& build, bool needWine) {
    if (needWine && (build.loader.empty() || !exists(build.loader))) return build.wine;
    if (needWine && (wineServer.empty() || !exists(wineServer))) return "wineserver";
    for (const char* name : shows)
        if (!exists(exe(build.bin, name))) return exe(build.bin, name);
    return "";
}

// Whether the kernel runs the program at all: one built without 32-bit x86
// emulation refuses the 32-bit loader with ENOEXEC, whatever is installed.
// (posix_spawn hands back the exec's error and never retries with a shell.)
bool kernelRuns(const std::string& program) {
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&quiet, 1, 2);
    const char* const argv[] = {program.c_str(), "--version", nullptr};
    pid_t child = 0;
    const int error =
        posix_spawn(&child, program.c_str(), &quiet, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (error == 0) waitpid(child, nullptr, 0);
    return error != ENOEXEC;
}

// Skips (or, with OSTREL_REQUIRE_WINDOWS, fails) where the build or its Wine
// is missing. A kernel that cannot run the build's Wine skips even then:
// nothing a setup installs changes that.
#define REQUIRE_WINDOWS_BUILD(build, needWine)                                                     \
    do {                                                                                           \
        const std::string what = missing(build, needWine);                                         \
        if (!what.empty()) {                                                                       \
            if (std::getenv("OSTREL_REQUIRE_WINDOWS")) FAIL() << what << " is missing";            \
            GTEST_SKIP() << what << " is missing (tools/debian-setup.sh installs Wine, "           \
                         << "tools/build-windows.sh builds the programs)";                          \
        }                                                                                          \
        if ((needWine) && !kernelRuns((build).loader))                                             \
            GTEST_SKIP() << "this machine's kernel cannot run " << (build).loader                  \
                         << " (exec: Exec format error; a kernel without 32-bit x86 emulation)";    \
    } while (0)

// A prefix: the folder and the architecture it is made for.
struct Prefix {
    std::string path;
    const WindowsBuild& build;
};

std::vector<std::string> wineEnvironment(const Prefix& prefix) {
    return {"WINEPREFIX=" + prefix.path, std::string("WINEARCH=") + prefix.build.arch,
            "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml=;winealsa.drv,winepulse.drv=d"};
}

std::vector<std::string> underTimeout(int seconds, std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"/usr/bin/timeout", std::to_string(seconds)});
    return argv;
}

// Makes a prefix on first use: Wine's own files, and no crash dialog (a
// crash must end the program, not wait for a click).
void ensurePrefix(const Prefix& prefix, const std::string& display) {
    const WindowsBuild& build = prefix.build;
    if (exists(prefix.path + "/system.reg") && exists(prefix.path + "/.ostrel-ready")) return;
    const std::vector<std::string> environment = wineEnvironment(prefix);
    ASSERT_EQ(runProgram(underTimeout(180, {build.loader, "wineboot", "--init"}), display,
                         environment),
              0)
        << "wineboot";
    ASSERT_EQ(runProgram(underTimeout(60, {build.loader, "reg", "add",
                                           "HKCU\\Software\\Wine\\WineDbg", "/v",
                                           "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f"}),
                         display, environment),
              0)
        << "reg add";
    runProgram(underTimeout(60, {wineServer, "-w"}), display, environment);
    if (FILE* f = std::fopen((prefix.path + "/.ostrel-ready").c_str(), "w")) std::fclose(f);
}

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t brightest(int y0, int y1) const {
        std::uint32_t most = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint32_t p = pixels[std::size_t(y) * width + x];
                most = std::max({most, p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF});
            }
        return most;
    }
    // The band is |2v - 1| < 0.8; a row either side of its edges is left out.
    std::uint32_t bars() const {
        return std::max(brightest(0, height / 10 - 1), brightest(height - height / 10 + 1, height));
    }
    std::uint32_t band() const { return brightest(height / 10 + 1, height - height / 10 - 1); }
    void save(const std::string& path) const {  // binary PPM, for a look by hand
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fprintf(f, "P6\n%d %d\n255\n", width, height);
            for (std::uint32_t p : pixels) {
                const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                              static_cast<unsigned char>(p >> 8),
                                              static_cast<unsigned char>(p)};
                std::fwrite(rgb, 1, 3, f);
            }
            std::fclose(f);
        }
    }
};

class WineShow : public ::testing::TestWithParam<const WindowsBuild*> {
protected:
    const WindowsBuild& build() const { return *GetParam(); }
    std::string program(const char* name) const { return exe(build().bin, name); }
    Prefix prefix() const { return {build().bin + "/../" + prefixName, build()}; }
    // An X server of the given size, and the prefix.
    void open(int width, int height) {
        x = std::make_unique<XSession>(width, height);
        ASSERT_TRUE(x->ok()) << x->error();
        ensurePrefix(prefix(), x->name());
    }
    void run(const std::string& program, const std::vector<std::string>& extra = {},
             int seconds = 300) {
        std::vector<std::string> environment = wineEnvironment(prefix());
        environment.insert(environment.end(), extra.begin(), extra.end());
        show = std::make_unique<ShowProcess>(underTimeout(seconds, {build().loader, program}),
                                             x->name(), environment);
    }
    // Starts a show and waits for its window.
    Window start(const char* name, const std::vector<std::string>& extra = {}) {
        run(program(name), extra);
        Window window = x->findWindow("Ostrel", windowWait);
        EXPECT_NE(window, 0u) << "no window titled \"Ostrel\"; stderr:\n" << show->err();
        return window;
    }
    Picture litPicture(Window window, double seconds) {
        Picture picture;
        const auto begin = std::chrono::steady_clock::now();
        do {
            picture.pixels = x->grab(window, picture.width, picture.height);
            if (!picture.pixels.empty() && picture.band() > 2 * barLevel) break;
            usleep(250000);
        } while (std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count() <
                 seconds);
        return picture;
    }
    void TearDown() override {
        show.reset();
        if (x && x->ok())  // every process of the prefix, before its X server goes
            runProgram(underTimeout(60, {wineServer, "-k"}), x->name(), wineEnvironment(prefix()));
        x.reset();
    }
    std::string prefixName = "wineprefix";
    std::unique_ptr<XSession> x;
    std::unique_ptr<ShowProcess> show;
};

// The import tables need no Wine.
class WindowsExecutables : public ::testing::TestWithParam<const WindowsBuild*> {};

std::string buildName(const ::testing::TestParamInfo<const WindowsBuild*>& info) {
    return info.param->name;
}

// Output of a command, or "" when it cannot run.
std::string capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

}  // namespace

// The system's own libraries the programs import: kernel32, user32 and the C
// runtime; gdi32, opengl32 and winmm are loaded by name at run time, and
// nothing else (no compiler runtime DLL) is needed beside the program.
TEST_P(WindowsExecutables, ImportOnlyKernel32User32AndTheCRuntime) {
    const WindowsBuild& build = *GetParam();
    REQUIRE_WINDOWS_BUILD(build, false);
    if (objdump.empty()) {
        if (std::getenv("OSTREL_REQUIRE_WINDOWS")) FAIL() << "no x86_64-w64-mingw32-objdump";
        GTEST_SKIP() << "no x86_64-w64-mingw32-objdump";
    }
    const std::string format = build.format;
    for (const char* name : shows) {
        const std::string path = exe(build.bin, name);
        SCOPED_TRACE(path);
        const std::string dump = capture("'" + objdump + "' -p '" + path + "'");
        ASSERT_NE(dump.find("file format " + format), std::string::npos) << dump.substr(0, 200);
        EXPECT_NE(dump.find("(Windows GUI)"), std::string::npos) << "not a windowed program";
        std::set<std::string> imported;
        for (std::size_t at = dump.find("DLL Name: "); at != std::string::npos;
             at = dump.find("DLL Name: ", at + 1)) {
            const std::size_t begin = at + 10;
            imported.insert(dump.substr(begin, dump.find('\n', begin) - begin));
        }
        std::printf("%s (%s) imports:", path.c_str(), format.c_str());
        for (const std::string& name : imported) std::printf(" %s", name.c_str());
        std::printf("\n");
        EXPECT_EQ(imported, (std::set<std::string>{"KERNEL32.dll", "USER32.dll", "msvcrt.dll"}));
    }
}

TEST_P(WineShow, Win32HostChecksPass) {
    REQUIRE_WINDOWS_BUILD(build(), true);
    const std::string checks = program("ostrel-win32-tests");
    ASSERT_TRUE(exists(checks)) << checks;
    open(800, 600);
    run(checks, {}, 180);
    const std::optional<int> status = show->waitForExit(200);
    ASSERT_TRUE(status) << show->out();
    EXPECT_EQ(*status, 0) << show->out() << show->err();
    std::printf("%s", show->out().c_str());
}

TEST_P(WineShow, CaptionedWindowDrawsTheBandWithBarsAndEscapeEndsWith255) {
    REQUIRE_WINDOWS_BUILD(build(), true);
    open(1024, 768);
    Window window = start("ostrel-512");
    ASSERT_NE(window, 0u);
    EXPECT_EQ(x->title(window), "Ostrel");
    // The X window is the client area: inside the 512 x 384 outer rectangle
    // at (0, 0), smaller by the caption and frame Wine takes off.
    const XSession::Geometry g = x->geometry(window);
    EXPECT_GE(g.x, 0);
    EXPECT_GT(g.y, 0) << "no room for a caption";
    EXPECT_LE(g.x + g.width, 512);
    EXPECT_LE(g.y + g.height, 384);
    EXPECT_GT(g.width, 400);
    EXPECT_GT(g.height, 300);

    ASSERT_TRUE(show->waitForLine("soundtrack started", windowWait)) << show->err();
    x->movePointer(g.x + 100, g.y + 100);
    EXPECT_TRUE(x->cursorHidden()) << "the pointer shows over the window";

    const Picture picture = litPicture(window, 90.0);
    picture.save(std::string("wine-ostrel-512-") + build().name + ".ppm");
    std::printf("%d x %d picture: brightest channel %u in the band, %u in the bars\n",
                picture.width, picture.height, picture.band(), picture.bars());
    EXPECT_GT(picture.band(), 2 * barLevel) << "the band stayed dark";
    EXPECT_LE(picture.bars(), barLevel) << "the top and bottom tenths are not black";

    EXPECT_EQ(keysUntilExit(*x, *show, window, "Escape", exitWait), 255);
    EXPECT_EQ(show->out().find("show ended"), std::string::npos) << "Escape ends at once";
    EXPECT_EQ(show->err(), "");
}

TEST_P(WineShow, AltEscapeCompletesTheFrameAndEndsWithZero) {
    REQUIRE_WINDOWS_BUILD(build(), true);
    open(1024, 768);
    Window window = start("ostrel-512");
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(show->waitForLine("soundtrack started", windowWait)) << show->err();
    EXPECT_EQ(keysUntilExit(*x, *show, window, "alt+Escape", exitWait), 0);
    EXPECT_NE(show->out().find("show ended at show time"), std::string::npos) << show->out();
}

TEST_P(WineShow, CloseRequestEndsWith255) {
    REQUIRE_WINDOWS_BUILD(build(), true);
    open(1280, 1024);
    Window window = start("ostrel-1024");
    ASSERT_NE(window, 0u);
    const XSession::Geometry g = x->geometry(window);
    EXPECT_LE(g.x + g.width, 1024);
    EXPECT_LE(g.y + g.height, 768);
    EXPECT_GT(g.width, 900);
    ASSERT_TRUE(show->waitForLine("soundtrack started", windowWait)) << show->err();
    EXPECT_EQ(closeUntilExit(*x, *show, window, exitWait), 255);
    EXPECT_EQ(show->out().find("show ended"), std::string::npos);
}

TEST_P(WineShow, BorderlessBuildsCoverTheScreenWithBars) {
    REQUIRE_WINDOWS_BUILD(build(), true);
    for (const char* name : {"ostrel-full", "ostrel-full-quarter"}) {
        SCOPED_TRACE(name);
        open(640, 480);
        ASSERT_NE(start(name), 0u);
        // The window shows captioned and maximised before it is restyled:
        // look again once start-up is over.
        ASSERT_TRUE(show->waitForLine("soundtrack started", windowWait)) << show->err();
        Window window = x->findWindow("Ostrel", windowWait);
        ASSERT_NE(window, 0u);
        const XSession::Geometry g = x->geometry(window);
        EXPECT_EQ(g.x, 0);
        EXPECT_EQ(g.y, 0);
        EXPECT_EQ(g.width, 640);
        EXPECT_EQ(g.height, 480);
        const Picture picture = litPicture(window, 90.0);
        EXPECT_GT(picture.band(), 2 * barLevel) << "the band stayed dark";
        EXPECT_LE(picture.bars(), barLevel);
        EXPECT_EQ(keysUntilExit(*x, *show, window, "Escape", exitWait), 255);
        TearDown();
    }
}

// Without OpenGL 4.3 the show stops with a message box titled "Ostrel" that
// names what the driver offers (and the same line on stderr); answering it
// ends the program with status 1. Nothing is started.
TEST_P(WineShow, WithoutOpenGl43AMessageBoxSaysWhy) {
    REQUIRE_WINDOWS_BUILD(build(), true);
    open(1280, 1024);
    run(program("ostrel-1024"),
        {"MESA_GL_VERSION_OVERRIDE=3.3", "MESA_GLSL_VERSION_OVERRIDE=330"});
    // The show's own window (about 1018 x 743) is hidden before the box
    // appears; the box is far narrower.
    Window box = 0;
    const auto begin = std::chrono::steady_clock::now();
    while (!box && show->running() &&
           std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count() <
               windowWait) {
        if (Window w = x->findWindow("Ostrel", 1.0))
            if (x->geometry(w).width < 900) box = w;
    }
    ASSERT_NE(box, 0u) << "no message box; stderr:\n" << show->err();
    EXPECT_TRUE(show->running()) << "the box did not wait for an answer";
    EXPECT_EQ(keysUntilExit(*x, *show, box, "Return", exitWait), 1);
    const std::string err = show->err();
    std::printf("%s", err.c_str());
    EXPECT_EQ(err.rfind("ostrel: GL: the show needs OpenGL 4.3 core", 0), 0u) << err;
    EXPECT_NE(err.find("offers \"3.3"), std::string::npos) << err;
    EXPECT_NE(err.find("llvmpipe"), std::string::npos) << err;
    EXPECT_EQ(show->out(), "");
}

// The quarter-size borderless build on a 160 x 120 screen, the build that
// runs fastest on llvmpipe, for the whole show. The shipped tracks end it at
// show time 101334 ms: measured from the show's "soundtrack started" line to
// the end of the Wine process. The run waits on the show's clock, so it goes
// on beside other tests (tests/CMakeLists.txt), in a prefix of its own; its
// end is therefore allowed, as the 512 run's is, half a second and two of
// its own longest frames (a busy processor lengthens the last frame). The
// half-second bound of the millisecond credit is the native small-size
// run's, which runs alone; here the Win32 clock against the test's.
TEST_P(WineShow, AWholeRunEndsByItselfWithZero) {
    REQUIRE_WINDOWS_BUILD(build(), true);
    prefixName = "wineprefix-whole";
    open(160, 120);
    run(program("ostrel-full-quarter"));
    const std::optional<SteadyTime> started = show->waitForLine("soundtrack started", windowWait);
    ASSERT_TRUE(started) << show->err();
    const std::optional<int> status = show->waitForExit(101.334 + 60.0);
    ASSERT_TRUE(status) << "the show did not end by itself";
    EXPECT_EQ(*status, 0) << show->err();
    EXPECT_EQ(show->err(), "");
    const double seconds = std::chrono::duration<double>(show->endedAt() - *started).count();

    const std::string out = show->out();
    const std::size_t at = out.find("show ended at show time");
    ASSERT_NE(at, std::string::npos) << out;
    int showTime = 0, frames = 0;
    double clock = 0.0, longest = 0.0;
    ASSERT_EQ(std::sscanf(out.c_str() + at,
                          "show ended at show time %d ms, %lf ms on the clock, after %d frames "
                          "(longest %lf ms)",
                          &showTime, &clock, &frames, &longest),
              4)
        << out;
    std::printf("whole run under Wine: the process ended %.3f s after the soundtrack started "
                "(%+.3f s); the show's own line: %s",
                seconds, seconds - 101.334, out.c_str() + at);
    RecordProperty("endSeconds", std::to_string(seconds));
    EXPECT_GE(showTime, 101334);
    EXPECT_LT(showTime, 101334 + longest + 1.0);
    EXPECT_GE(seconds, 101.334 - 0.1);
    EXPECT_LE(seconds, 101.334 + 0.5 + 2.0 * longest / 1000.0);
}

INSTANTIATE_TEST_SUITE_P(, WindowsExecutables, ::testing::Values(&x86_64, &i686), buildName);
INSTANTIATE_TEST_SUITE_P(, WineShow, ::testing::Values(&x86_64, &i686), buildName);

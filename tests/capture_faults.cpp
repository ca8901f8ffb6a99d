// ostrel-capture where runs go wrong: an encoder that fails under a parent
// that ignores SIGCHLD, a signal while ffmpeg finishes or while a reader of
// standard output does not read, names with a colon or a percent sign, a
// sequence resumed over damaged frames, and every file flushed to the disk
// before it takes its final name. Most use a stand-in ffmpeg on PATH.
//
// OSTREL_CAPTURE_PROGRAM in the environment runs these against another
// build of the program (an earlier revision, to see a test fail there).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "host/moment.h"
#include "support/png_header.h"
#include "support/run_command.h"
#include "sync/content.h"
#include "tools/capture/pipeline.h"
#include "tools/common/png.h"

namespace {

std::string captureProgram() {
    const char* other = std::getenv("OSTREL_CAPTURE_PROGRAM");
    return other && *other ? other : OSTREL_CAPTURE;
}

// A fresh folder with a stand-in ffmpeg in bin/ running `script` (sh, with
// $out the file it was asked to write, "file:" taken off).
std::string faultFolder(const char* name, const std::string& script = "") {
    const std::string dir = freshFolder(std::string("ostrel-capture-faults-") + name);
    std::string ignored;
    runCommand("mkdir -p '" + dir + "/bin'", ignored);
    if (!script.empty()) {
        std::ofstream(dir + "/bin/ffmpeg")
            << "#!/bin/sh\nfor a; do out=${a#file:}; done\n" << script << "\n";
        runCommand("chmod +x '" + dir + "/bin/ffmpeg'", ignored);
    }
    return dir;
}

// Runs `command` in `dir` with its stand-in first on PATH; the status.
int runIn(const std::string& dir, const std::string& command, std::string& output) {
    return runCommand("{ cd '" + dir + "' || exit 99; PATH=$PWD/bin:$PATH; " + command + "; }",
                      output);
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

const char* const tiny = " --size 64x36 --frames 0-1 --quiet";

TEST(CaptureFaults, AFailingEncoderFailsTheRunEvenWithSigchldIgnored) {
    // It writes a file and fails; the parent ignores SIGCHLD, which
    // survives exec and would have the kernel reap ffmpeg unseen.
    const std::string dir =
        faultFolder("sigchld", "cat >/dev/null; echo junk > \"$out\"; exit 1");
    std::string output;
    EXPECT_EQ(runIn(dir, "env --ignore-signal=CHLD " + captureProgram() + " -o out.mkv" + tiny,
                    output),
              1)
        << output;
    EXPECT_NE(output.find("ffmpeg exited with status 1"), std::string::npos) << output;
    EXPECT_FALSE(exists(dir + "/out.mkv"));
    EXPECT_FALSE(exists(dir + "/out.mkv.part"));
}

TEST(CaptureFaults, ASignalBeforeTheRenameEndsTheRunWhateverItWaitsOn) {
    // After the last frame, while ffmpeg finishes (8 s): 130 or 143, and no
    // file, soon after the signal (ffmpeg is ended, not waited for).
    const std::string dir = faultFolder(
        "finishing", "cat >/dev/null; : > finishing; sleep 8 </dev/null >/dev/null 2>&1; "
                     "echo video > \"$out\"");
    for (const char* signal : {"INT", "TERM"}) {
        std::string output;
        EXPECT_EQ(runIn(dir, "rm -f finishing; " + captureProgram() + " -o out.mkv" + tiny +
                                 " & pid=$!; timeout 60 sh -c 'until [ -e finishing ]; do sleep 0.05; done'; "
                                 "start=$(date +%s%N); kill -" + signal +
                                 " $pid; wait $pid; echo status $? after "
                                 "$(( ($(date +%s%N) - start) / 100000000 ))",
                        output),
                  0);
        EXPECT_NE(output.find(signal[0] == 'I' ? "status 130 after " : "status 143 after "),
                  std::string::npos)
            << output;
        EXPECT_NE(output.find("interrupted by SIG" + std::string(signal)), std::string::npos)
            << output;
        const std::size_t after = output.find(" after ");
        ASSERT_NE(after, std::string::npos) << output;
        EXPECT_LT(std::atoi(output.c_str() + after + 7), 30) << "not within 3 s: " << output;
        EXPECT_FALSE(exists(dir + "/out.mkv"));
        EXPECT_FALSE(exists(dir + "/out.mkv.part"));
    }

    // -o - into a reader that never reads: the pipe holds four frames, and
    // the writer is blocked in a write of the fifth when SIGTERM comes. A
    // watchdog ends a capture that hangs (137).
    std::string output;
    EXPECT_EQ(runIn(dir, "mkfifo video; { head -c 64 >/dev/null; exec sleep 60; } "
                         "< video > /dev/null 2>&1 & reader=$!; " + captureProgram() +
                         " -o - --size 128x72 --frames 0-19 > video 2> log & pid=$!; "
                         "( sleep 20; kill -KILL $pid ) > /dev/null 2>&1 & watchdog=$!; "
                         "timeout 60 sh -c 'until grep -q \"frame 4 of\" log; do sleep 0.1; done'; "
                         "sleep 1; kill -TERM $pid; wait $pid; echo status $?; "
                         "kill $reader $watchdog 2>/dev/null; cat log",
                    output),
              0);
    EXPECT_NE(output.find("status 143"), std::string::npos) << output;
    EXPECT_NE(output.find("interrupted by SIGTERM"), std::string::npos) << output;
}

TEST(CaptureFaults, NamesWithAColonOrAPercentSignAreFilesOfThatName) {
    // ffmpeg itself: a colon is no protocol.
    const std::string dir = faultFolder("names");
    std::string output;
    EXPECT_EQ(runIn(dir, captureProgram() + " -o 'take:1.mkv'" + tiny, output), 0) << output;
    EXPECT_TRUE(exists(dir + "/take:1.mkv"));
    EXPECT_EQ(runIn(dir, captureProgram() + " -o '100%%.png' --size 64x36 --frames 0-0 --quiet",
                    output),
              0)
        << output;
    EXPECT_TRUE(exists(dir + "/100%.png"));
    EXPECT_FALSE(exists(dir + "/100%%.png"));
}

TEST(CaptureFaults, ResumeReadsEveryFrameKeptAndDrawsAgainFromTheFirstDamagedOne) {
    const std::string dir = faultFolder("resume");
    const std::string capture = captureProgram() + " -o '%02d.png' --size 64x36 --frames 0-5";
    std::string output;
    ASSERT_EQ(runIn(dir, capture + " --quiet", output), 0) << output;
    auto frame = [&](int i) { return dir + "/0" + std::to_string(i) + ".png"; };
    std::vector<std::uint8_t> rgb, good[6];
    int w = 0, h = 0;
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(png::read(frame(i), w, h, good[i], &output));

    // A frame in the middle empty under its name, as after a power cut; the
    // last frame claiming about 10^6 x 10^6 pixels.
    ASSERT_EQ(runIn(dir, ": > 02.png && " + capture + " --resume", output), 0) << output;
    EXPECT_NE(output.find("resuming at frame 2"), std::string::npos) << output;
    ASSERT_TRUE(claimPngSize(frame(5), 1000000, 1000000));
    EXPECT_EQ(runIn(dir, capture + " --resume", output), 0) << output;
    EXPECT_NE(output.find("resuming at frame 5"), std::string::npos) << output;
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(png::read(frame(i), w, h, rgb, &output)) << output;
        EXPECT_TRUE(rgb == good[i]) << i;
    }
}

// A driver that cannot map the frame's buffer (out of memory at a large
// size, a lost context).
void* OSTREL_GLAPI noMapping(GLenum, GLintptr, GLsizeiptr, GLbitfield) { return nullptr; }

TEST(CapturePipeline, AFrameBufferThatCannotBeMappedFailsTheRunWithOneLine) {
    static ShowMoment moment;
    MomentOptions options;
    options.width = 32;
    options.height = 18;
    std::string error;
    ASSERT_TRUE(openMoment(moment, ostrelContent, options, &error)) << error;
    moment.mapBufferRange = noMapping;
    const std::string dir = faultFolder("unmapped");
    Output out;
    ASSERT_TRUE(parseOutputName(dir + "/%02d.png", out.name, &error)) << error;
    out.width = 32;
    out.height = 18;
    out.fps = 10;
    ASSERT_TRUE(openOutput(out, {}, &error)) << error;
    const FramePlan plan{10, 0, 3, 3, 4};
    Progress progress = startProgress(nullptr, false, 4);
    const StopFlag stop{0};
    const CaptureRun run = runCapture(moment, out, plan, 0, progress, stop);
    EXPECT_TRUE(run.failed);
    EXPECT_EQ(run.written, 0);
    EXPECT_NE(run.error.find("cannot read frame 0 back"), std::string::npos) << run.error;
    EXPECT_EQ(run.error.find('\n'), std::string::npos) << run.error;
    EXPECT_FALSE(exists(dir + "/00.png"));
}

// What `strace -f -y` recorded, checked: every rename of a ".part" file
// comes after an fsync, on the same thread, of a descriptor on that file.
// The failures, one a line (empty when all are flushed), and the renames.
std::string unflushedRenames(const std::string& trace, int& renames) {
    std::istringstream lines(trace);
    std::string line, failures;
    std::vector<std::string> flushed;  // "pid /path" of each fsync
    renames = 0;
    while (std::getline(lines, line)) {
        const std::string pid = line.substr(0, line.find(' '));
        const std::size_t open = line.find('<'), quote = line.find('"');
        if (line.find(" fsync(") != std::string::npos && open != std::string::npos) {
            flushed.push_back(pid + " " + line.substr(open + 1, line.find('>') - open - 1));
        } else if (line.find(" rename") != std::string::npos && quote != std::string::npos) {
            const std::string path = line.substr(quote + 1, line.find('"', quote + 1) - quote - 1);
            if (path.size() < 5 || path.compare(path.size() - 5, 5, ".part") != 0) continue;
            ++renames;
            bool found = false;
            for (const std::string& f : flushed)
                found = found || (f.compare(0, pid.size() + 1, pid + " ") == 0 &&
                                  f.size() >= path.size() &&
                                  f.compare(f.size() - path.size(), path.size(), path) == 0);
            if (!found) failures += path + " renamed unflushed\n";
        }
    }
    return failures;
}

TEST(CaptureFaults, EveryFileIsFlushedToDiskBeforeItTakesItsName) {
    const std::string dir = faultFolder("flush", "cat >/dev/null; echo video > \"$out\"");
    // (LeakSanitizer cannot run under ptrace: off for the sanitizers' build.)
    const std::string traced =
        "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 "
        "strace -f -y -qq --seccomp-bpf -e trace=fsync,rename,renameat,renameat2 "
        "-o trace " + captureProgram();
    const struct {
        std::string output;
        int renames;
    } cases[] = {{"out.mkv", 1}, {"'%02d.png'", 2}};
    for (const auto& c : cases) {
        std::string output;
        ASSERT_EQ(runIn(dir, traced + " -o " + c.output + tiny + " && cat trace", output), 0)
            << output;
        int renames = 0;
        EXPECT_EQ(unflushedRenames(output, renames), "") << c.output;
        EXPECT_EQ(renames, c.renames) << c.output;
    }
}

}  // namespace

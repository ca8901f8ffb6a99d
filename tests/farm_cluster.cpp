// ostrel-farm end to end, on a one-machine Slurm cluster the suite starts
// (tools/slurm-cluster.sh) and on this machine (--scheduler local): the
// whole show at 32 x 18 and 6 fps in five parts against one lossless
// ostrel-capture of the same settings, frame for frame and sample for
// sample, with a part's capture and another part's task killed while they
// run; an incomplete part; Ctrl-C during a run, then a second run; on Slurm,
// a work folder or an ostrel-capture the tasks cannot see, and a missing
// sbatch. Where Slurm cannot be started the Slurm tests skip, and
// fail instead when OSTREL_REQUIRE_SLURM is set (CI).
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/run_command.h"

namespace {

const std::string farm = OSTREL_FARM;
const std::string capture = OSTREL_CAPTURE;
const std::string clusterScript = OSTREL_SOURCE_DIR "/tools/slurm-cluster.sh";
const std::string clusterDir = OSTREL_SLURM_DIR;
// At 6 fps five parts of the show's 610 frames are parts of 123 (a multiple
// of 3: 20.5 s), not 122, which would end on a fraction of a millisecond.
const std::string settings = "--size 32x18 --fps 6 --quality 0";

std::string folder(const std::string& name) {
    return freshFolder("ostrel-farm-" + name);
}

std::string output(const std::string& command) {
    std::string text;
    runCommand(command, text);
    return text;
}

// The decoded picture (one line a frame: time and checksum) and sound.
std::string pictureOf(const std::string& file) {
    return output("ffmpeg -v error -i '" + file + "' -map 0:v -f framemd5 - | grep -v '^#'");
}
std::string soundOf(const std::string& file) {
    return output("ffmpeg -v error -i '" + file + "' -map 0:a -f md5 -");
}

// ostrel-capture processes whose command line names `dir`, with the part
// each captures ("part-002").
std::vector<std::pair<pid_t, std::string>> capturesIn(const std::string& dir) {
    std::vector<std::pair<pid_t, std::string>> found;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return found;
    while (dirent* e = readdir(proc)) {
        const pid_t pid = std::atoi(e->d_name);
        if (pid <= 0) continue;
        std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
        std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (char& c : cmdline)
            if (c == '\0') c = ' ';
        const std::size_t at = cmdline.find(dir + "/parts/");
        if (cmdline.find("ostrel-capture ") != std::string::npos && at != std::string::npos)
            found.push_back({pid, cmdline.substr(at + dir.size() + 7, 8)});
    }
    closedir(proc);
    return found;
}

// The process that started `pid` (the task's shell for a capture).
pid_t parentOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, 5, "PPid:") == 0) return std::atoi(line.c_str() + 5);
    return -1;
}

// ostrel-farm started in the background, its output into a file.
struct Farm {
    pid_t pid = -1;
    std::string log;

    void start(const std::string& arguments, const std::string& logFile) {
        log = logFile;
        pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", ("exec '" + farm + "' " + arguments + " > '" + log +
                                          "' 2>&1").c_str(),
                  (char*)nullptr);
            _exit(127);
        }
    }
    // The exit status, or -1 when it runs past `seconds` (then it is killed).
    int wait(int seconds) {
        for (int i = 0; i < seconds * 10; ++i) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    std::string text() const { return output("cat '" + log + "'"); }
};

// Waits until a capture of the folder runs, of a part not in `besides`, and
// returns its id (-1: none), its part in *part.
pid_t awaitCapture(const std::string& dir, int seconds, const std::string& besides = "",
                   std::string* part = nullptr) {
    for (int i = 0; i < seconds * 20; ++i) {
        for (const auto& c : capturesIn(dir))
            if (besides.find(c.second) == std::string::npos) {
                if (part) *part = c.second;
                return c.first;
            }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

class FarmRun : public ::testing::TestWithParam<std::string> {
protected:
    static void SetUpTestSuite() {
        // One lossless capture of the whole show: what the farm must equal.
        referenceDir = folder("reference");
        reference = referenceDir + "/one.mkv";
        std::string text;
        if (runCommand("'" + capture + "' -o '" + reference + "' " + settings + " --quiet", text) != 0)
            reference.clear();
    }
    // The cluster this suite started goes, whatever the tests did (CTest
    // also stops it after the last of them, should a test process die).
    static void TearDownTestSuite() {
        std::string text;
        if (clusterStarted) runCommand("'" + clusterScript + "' stop '" + clusterDir + "'", text);
        clusterStarted = false;
    }
    void SetUp() override {
        ASSERT_FALSE(reference.empty()) << "the reference capture failed";
        if (GetParam() == "slurm" && !clusterStarted && slurmWhy.empty()) {
            std::string text;
            if (runCommand("'" + clusterScript + "' start '" + clusterDir + "'", text) != 0) {
                slurmWhy = text.empty() ? "tools/slurm-cluster.sh start failed" : text;
            } else {
                clusterStarted = true;
                setenv("SLURM_CONF", (clusterDir + "/slurm.conf").c_str(), 1);
            }
        }
        if (GetParam() == "slurm" && !slurmWhy.empty()) {
            if (std::getenv("OSTREL_REQUIRE_SLURM"))
                FAIL() << "Slurm is required (OSTREL_REQUIRE_SLURM) and cannot be started: "
                       << slurmWhy;
            GTEST_SKIP() << "Slurm cannot be started here, so the Slurm tests skip: " << slurmWhy;
        }
    }
    std::string runArgs(const std::string& dir) const {
        return "run -o '" + dir + "/show.mkv' " + settings + " --parts 5 --tries 2 --scheduler " +
               GetParam() + (GetParam() == "local" ? " --jobs 2" : "");
    }
    // No task of this folder left, in the scheduler or as a process.
    void expectNothingRuns(const std::string& dir) {
        EXPECT_TRUE(capturesIn(dir).empty()) << "a capture of " << dir << " still runs";
        if (GetParam() == "slurm") {
            EXPECT_EQ(output("squeue -h -o %i"), "") << "Slurm still holds a task";
        }
    }

    static std::string referenceDir, reference, slurmWhy;
    static bool clusterStarted;
};
std::string FarmRun::referenceDir, FarmRun::reference, FarmRun::slurmWhy;
bool FarmRun::clusterStarted = false;

// One part's capture killed (the task records status 137), and another
// part's task itself (its shell, the capture's parent: no record at all, as
// when a node is lost): both are captured again.
TEST_P(FarmRun, WholeShowEqualsOneCaptureThoughACaptureAndATaskAreKilled) {
    const std::string dir = folder("whole-" + GetParam());
    Farm f;
    f.start(runArgs(dir), dir + "/farm.log");
    std::string first, second;
    const pid_t victim = awaitCapture(dir + "/show.mkv.farm", 60, "", &first);
    ASSERT_GT(victim, 0) << f.text();
    kill(victim, SIGKILL);
    const pid_t other = awaitCapture(dir + "/show.mkv.farm", 60, first, &second);
    ASSERT_GT(other, 0) << f.text();
    const pid_t task = parentOf(other);
    ASSERT_GT(task, 1);
    kill(task, SIGKILL);
    ASSERT_EQ(f.wait(240), 0) << f.text();
    EXPECT_NE(f.text().find(first + " (frames"), std::string::npos) << f.text();
    EXPECT_NE(f.text().find("exited with status 137"), std::string::npos) << f.text();
    EXPECT_NE(f.text().find(second + " (frames"), std::string::npos) << f.text();
    EXPECT_NE(f.text().find("its task ended without a record"), std::string::npos) << f.text();
    EXPECT_NE(f.text().find("submitting it again (try 2 of 2)"), std::string::npos) << f.text();
    const std::string out = dir + "/show.mkv";
    EXPECT_EQ(output("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                     "stream=nb_read_frames -of csv=p=0 '" + out + "'"),
              "610\n");
    EXPECT_EQ(output("ffmpeg -v error -i '" + out + "' -f null - 2>&1"), "");
    EXPECT_EQ(pictureOf(out), pictureOf(reference));
    EXPECT_EQ(soundOf(out), soundOf(reference));
    expectNothingRuns(dir);

    // status reads the records; join makes the output again from the parts.
    EXPECT_NE(output("'" + farm + "' status --dir '" + dir + "/show.mkv.farm'")
                  .find("610 of 610 frames, 5 of 5 parts done"),
              std::string::npos);
    std::remove(out.c_str());
    std::string text;
    EXPECT_EQ(runCommand("'" + farm + "' join --dir '" + dir + "/show.mkv.farm'", text), 0) << text;
    EXPECT_EQ(pictureOf(out), pictureOf(reference));
}

TEST_P(FarmRun, CtrlCCancelsTheTasksAndASecondRunFinishes) {
    const std::string dir = folder("interrupt-" + GetParam());
    Farm f;
    f.start(runArgs(dir), dir + "/farm.log");
    ASSERT_GT(awaitCapture(dir + "/show.mkv.farm", 60), 0) << f.text();
    kill(f.pid, SIGINT);
    EXPECT_EQ(f.wait(60), 130) << f.text();
    EXPECT_NE(f.text().find("run the same command again"), std::string::npos) << f.text();
    expectNothingRuns(dir);
    EXPECT_EQ(access((dir + "/show.mkv").c_str(), F_OK), -1);

    // Another setting is refused; the same ones resume and finish.
    std::string text;
    EXPECT_EQ(runCommand("'" + farm + "' run -o '" + dir + "/show.mkv' --size 64x36 --fps 6 "
                         "--quality 0 --parts 5 --scheduler " + GetParam(),
                         text),
              1);
    EXPECT_NE(text.find("--size 32x18 (the folder's) and not 64x36"), std::string::npos) << text;
    Farm again;
    again.start(runArgs(dir), dir + "/again.log");
    ASSERT_EQ(again.wait(240), 0) << again.text();
    EXPECT_NE(again.text().find("resuming"), std::string::npos);
    EXPECT_EQ(pictureOf(dir + "/show.mkv"), pictureOf(reference));
    EXPECT_EQ(soundOf(dir + "/show.mkv"), soundOf(reference));
}

INSTANTIATE_TEST_SUITE_P(, FarmRun, ::testing::Values("slurm", "local"),
                         [](const auto& info) { return info.param; });

// A capture that exits 0 with a frame missing from its part (the first
// time only, through a wrapper given as --capture) is caught by the part's
// check and captured again; the output holds every frame.
TEST(FarmLocal, AnIncompletePartIsCapturedAgain) {
    const std::string dir = folder("incomplete");
    const std::string wrapper = dir + "/capture.sh";
    std::string text;
    ASSERT_EQ(runCommand("printf '%s\\n' '#!/bin/sh' "
                         "'if [ ! -e \"" + dir + "/once\" ] && [ \"$1\" = -o ]; then' "
                         "'  touch \"" + dir + "/once\"; exec \"" + capture + "\" \"$@\" --frames 0-3; fi' "
                         "'exec \"" + capture + "\" \"$@\"' > '" + wrapper + "' && chmod +x '" +
                             wrapper + "'",
                         text),
              0)
        << text;
    const int status = runCommand("'" + farm + "' run -o '" + dir + "/show.mkv' " + settings +
                                      " --frames 0-9 --parts 2 --jobs 1 --scheduler local "
                                      "--capture '" + wrapper + "'",
                                  text);
    ASSERT_EQ(status, 0) << text;
    EXPECT_NE(text.find("part-000 (frames 0-5) failed on"), std::string::npos) << text;
    EXPECT_NE(text.find("holds 4 frames, not 6"), std::string::npos) << text;
    EXPECT_EQ(output("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                     "stream=nb_read_frames -of csv=p=0 '" + dir + "/show.mkv'"),
              "10\n");
}

// Faults found before or at the first task, on Slurm.
class FarmSlurmFault : public FarmRun {};

TEST_P(FarmSlurmFault, AFolderOrCaptureTheTasksCannotSeeOrNoSbatchIsOneLine) {
    // The farm in a mount namespace of its own, its work folder on a tmpfs
    // there: the tasks, run by slurmd outside it, find an empty folder.
    const std::string dir = folder("unshared");
    std::string text;
    const int status = runCommand(
        "unshare --mount --propagation private sh -c \"mount -t tmpfs none '" + dir + "' && '" +
            farm + "' run -o '" + dir + "/show.mkv' " + settings + " --frames 0-9 --parts 2\"",
        text);
    EXPECT_EQ(status, 1) << text;
    EXPECT_NE(text.find("the tasks cannot see the work folder"), std::string::npos) << text;
    expectNothingRuns(dir);

    // The other way round: the folder shared, ostrel-capture only where the
    // farm runs (a copy on its private tmpfs).
    const std::string shared = folder("capture-missing"), own = folder("own-capture");
    EXPECT_EQ(runCommand("unshare --mount --propagation private sh -c \"mount -t tmpfs none '" +
                             own + "' && cp '" + capture + "' '" + own + "/' && '" + farm +
                             "' run -o '" + shared + "/show.mkv' " + settings +
                             " --frames 0-9 --parts 2 --capture '" + own + "/ostrel-capture'\"",
                         text),
              1)
        << text;
    EXPECT_NE(text.find("ostrel-capture is not on"), std::string::npos) << text;
    EXPECT_NE(text.find(own + "/ostrel-capture"), std::string::npos) << text;
    expectNothingRuns(shared);

    // A PATH with ffmpeg and no Slurm.
    const std::string bin = folder("no-sbatch-bin"), empty = folder("no-sbatch");
    runCommand("ln -s \"$(command -v ffmpeg)\" \"$(command -v ffprobe)\" '" + bin + "'", text);
    EXPECT_EQ(runCommand("PATH='" + bin + "' '" + farm + "' run -o '" + empty + "/show.mkv' " +
                             settings,
                         text),
              1);
    EXPECT_NE(text.find("needs Slurm's sbatch"), std::string::npos) << text;
    EXPECT_EQ(output("ls -A '" + empty + "'"), "") << "something was written before the check";
}

INSTANTIATE_TEST_SUITE_P(, FarmSlurmFault, ::testing::Values("slurm"),
                         [](const auto& info) { return info.param; });

}  // namespace

// ostrel-farm: the show captured across many machines, part by part, then
// joined and checked.
//
//   ostrel-farm run -o show.mp4 [capture options] [--parts N | --frames-per-part N]
//                   [--dir WORK] [--scheduler slurm|local] [--jobs N] [--tries N]
//                   [--partition P] [--no-wait] [-- sbatch options]
//   ostrel-farm status --dir WORK
//   ostrel-farm join --dir WORK
//
// `run` asks ostrel-capture for its plan of the range, cuts it into parts
// (tools/farm/manifest.h), has each part captured by a task (picture only,
// tools/farm/task.h) through the scheduler (tools/farm/scheduler.h),
// follows the tasks through the records they write, checks each part that
// ends, submits again what failed (a non-zero exit, a task that vanished, a
// part file that is incomplete) up to --tries times, then joins the parts
// with the sound of the whole range and checks the result before it takes
// the output's name (tools/farm/verify.h). Run again on the same folder, it
// keeps the parts done and checked and follows or submits the rest.
//
// Status 0 when the output is complete and checked, 1 when it could not be
// made, 2 for a refused option, 128 + the signal's number when interrupted
// (the tasks cancelled, the folder left to resume).
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/common/options.h"
#include "tools/farm/manifest.h"
#include "tools/farm/process.h"
#include "tools/farm/scheduler.h"
#include "tools/farm/task.h"
#include "tools/farm/verify.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stopSignal = 0;

void onSignal(int signal) { stopSignal = signal; }

void catchSignals() {
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void say(const std::string& line);

int fail(const std::string& line) {
    say(line);
    return 1;
}

// Whether the progress bar is on the terminal's last line: a message
// takes its place, and the bar comes back at the next poll.
bool barShown = false;

void say(const std::string& line) {
    if (barShown) std::fputs("\r\033[K", stderr);
    barShown = false;
    std::fprintf(stderr, "ostrel-farm: %s\n", line.c_str());
    std::fflush(stderr);
}

std::string lastLine(const std::string& text) {
    std::size_t end = text.find_last_not_of("\n\r");
    if (end == std::string::npos) return "";
    const std::size_t start = text.find_last_of("\n\r", end);
    return text.substr(start == std::string::npos ? 0 : start + 1,
                       end - (start == std::string::npos ? 0 : start + 1) + 1);
}

std::string beside(const char* name) {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return name;
    std::string path(self, std::size_t(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}

bool endsWith(const std::string& s, const char* tail) {
    const std::string t(tail);
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

std::string partText(const FarmPart& p) {
    return partName(p.index) + " (frames " + std::to_string(p.first) + "-" +
           std::to_string(p.last) + ")";
}

TaskRecord recordOf(const std::string& work, const FarmPart& p) {
    TaskRecord r;
    std::string text;
    if (readText(recordFile(work, p.index, p.round, "start"), &text)) readRecord(text, r);
    if (readText(recordFile(work, p.index, p.round, "end"), &text)) readRecord(text, r);
    return r;
}

bool loadManifest(const std::string& work, Manifest& m, std::string* why) {
    std::string text;
    if (!readText(work + "/manifest", &text)) {
        *why = work + " is no farm folder (it holds no manifest)";
        return false;
    }
    if (parseManifest(text, m, why)) return true;
    *why = work + "/manifest: " + *why;
    return false;
}

// One run or join at a time on a folder: the lock lasts as long as the
// process (its descriptor is never closed).
bool lockFolder(const std::string& work, std::string* why) {
    static bool locked = false;
    if (locked) return true;
    const int fd = open((work + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) return locked = true;
    *why = work + " is in use by another ostrel-farm run or join (" + work + "/lock is held)";
    if (fd >= 0) close(fd);
    return false;
}

bool saveManifest(const std::string& work, const Manifest& m) {
    std::string why;
    if (writeTextAtomic(work + "/manifest", manifestText(m), &why)) return true;
    fail(why);
    return false;
}

std::string settingsArgs(const FarmSettings& s) {
    return "--size " + std::to_string(s.width) + "x" + std::to_string(s.height) + " --fps " +
           std::to_string(s.fps) + " --scale " + s.scale + " --quality " +
           std::to_string(s.quality) + " --frames " + std::to_string(s.first) + "-" +
           std::to_string(s.last);
}

// The sound of the whole range, the join and its check; the output renamed
// into place only when all holds. A wrong part goes back to pending.
int joinAndCheck(Manifest& m, const std::string& work) {
    for (const FarmPart& p : m.parts)
        if (p.state != PartState::done)
            return fail(partText(p) + " is not done: run ostrel-farm run again on " + work);
    std::string why;
    if (!haveFfmpeg(&why)) return fail(why);
    const auto start = Clock::now();
    const FarmSettings& s = m.settings;
    const std::string sound = work + "/sound.wav";
    std::string err;
    const int status =
        runProgram({m.capture, "-o", sound, "--fps", std::to_string(s.fps), "--frames",
                    std::to_string(s.first) + "-" + std::to_string(s.last), "--quiet"},
                   nullptr, &err);
    if (status != 0)
        return fail("the sound of frames " + std::to_string(s.first) + "-" +
                    std::to_string(s.last) + " was not written: " + lastLine(err));
    const bool mp4 = endsWith(m.output, ".mp4");
    const std::string temp = m.output + ".part";
    if (!joinParts(m, work, sound, temp, mp4, &why)) {
        std::remove(temp.c_str());
        return fail(why);
    }
    const double joined = std::chrono::duration<double>(Clock::now() - start).count();
    if (!checkOutput(m, temp, sound, mp4, &why)) {
        std::remove(temp.c_str());
        const std::size_t at = why.rfind("part-");
        if (at != std::string::npos) {
            const int index = std::atoi(why.c_str() + at + 5);
            if (index >= 0 && std::size_t(index) < m.parts.size()) {
                m.parts[std::size_t(index)].state = PartState::pending;
                m.parts[std::size_t(index)].bytes = 0;
                saveManifest(work, m);
            }
        }
        return fail(why + "; " + m.output + " not written, the parts kept in " + work);
    }
    if (std::rename(temp.c_str(), m.output.c_str()) != 0) {
        std::remove(temp.c_str());
        return fail("cannot rename " + temp + " to " + m.output);
    }
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    char line[256];
    std::snprintf(line, sizeof line,
                  "%s: %lld frames of %dx%d at %d fps with their sound, checked; "
                  "joined in %.1f s, checked in %.1f s, %.1f MB",
                  m.output.c_str(), (long long)(s.last - s.first + 1), s.width, s.height, s.fps,
                  joined, total - joined, double(fileBytes(m.output)) / 1e6);
    say(line);
    return 0;
}

struct RunOptions {
    std::string output, dir, scheduler = "slurm", partition, capture;
    int width = 1280, height = 720, fps = 60, quality = 18, jobs = 0, tries = 3;
    float scale = 1.0f;
    std::int64_t from = -1, to = -1, first = -1, last = -1, parts = -1, perPart = -1;
    bool noWait = false;
    std::vector<std::string> extra;
};

std::unique_ptr<Scheduler> schedulerFor(const std::string& kind, const RunOptions& o) {
    if (kind == "local") return localScheduler(o.jobs > 0 ? o.jobs : 2);
    SlurmOptions s;
    s.partition = o.partition;
    s.jobs = o.jobs;
    s.extra = o.extra;
    return slurmScheduler(s);
}

// Follows the running parts and submits the pending ones until none is
// left, or the signal, or a fault no retry mends.
int follow(Manifest& m, const std::string& work, Scheduler& scheduler, const RunOptions& o) {
    const bool terminal = isatty(STDERR_FILENO) != 0;
    const auto start = Clock::now();
    auto lastShown = start - std::chrono::seconds(60);
    const std::int64_t doneAtStart = countParts(m, {}).framesDone;
    std::map<int, int> unseen;  // polls a part's task was neither listed nor recorded
    int schedulerFailures = 0;
    std::string fatal;
    bool noWaitSubmitted = false;
    for (;;) {
        std::vector<int> pending;
        for (const FarmPart& p : m.parts)
            if (p.state == PartState::pending) pending.push_back(p.index);
        if (!stopSignal && fatal.empty() && !pending.empty()) {
            std::string job, why;
            if (!scheduler.submit(work, pending, m.round + 1, &job, &why)) {
                fatal = why;
            } else {
                ++m.round;
                for (int i : pending) {
                    FarmPart& p = m.parts[std::size_t(i)];
                    p.state = PartState::running;
                    p.round = m.round;
                    p.job = job;
                    ++p.tries;
                }
                if (!saveManifest(work, m)) fatal = "the manifest cannot be written";
                say("submitted " + std::to_string(pending.size()) + " part" +
                    (pending.size() == 1 ? "" : "s") + " (" + o.scheduler + " job " + job + ")");
                noWaitSubmitted = true;
            }
        }
        std::vector<FarmPart*> running;
        for (FarmPart& p : m.parts)
            if (p.state == PartState::running) running.push_back(&p);
        if (stopSignal || !fatal.empty()) {
            std::vector<std::string> jobs;
            for (const FarmPart* p : running)
                if (jobs.empty() || jobs.back() != p->job) jobs.push_back(p->job);
            if (!running.empty()) say("cancelling the tasks still queued or running");
            scheduler.cancel(jobs);
            // What finished before the end is kept; the rest is captured again.
            for (FarmPart* p : running) {
                const TaskRecord r = recordOf(work, *p);
                std::string bad;
                const bool whole = r.ended && r.status == 0 &&
                                   checkPart(m.settings, *p, partFile(work, p->index), &bad);
                p->state = whole ? PartState::done : PartState::pending;
                if (whole) p->bytes = fileBytes(partFile(work, p->index));
            }
            saveManifest(work, m);
            if (!fatal.empty()) return fail(fatal);
            say(std::string("interrupted by ") + (stopSignal == SIGINT ? "SIGINT" : "SIGTERM") +
                ": " + std::to_string(countParts(m, {}).done) + " of " +
                std::to_string(m.parts.size()) + " parts done; run the same command again to "
                "go on");
            return 128 + stopSignal;
        }
        if (o.noWait && noWaitSubmitted) {
            say("not waiting: ostrel-farm status --dir " + work + " shows how far it is, "
                "ostrel-farm join --dir " + work + " joins it once done");
            return 0;
        }
        if (running.empty()) break;

        std::vector<const FarmPart*> asked(running.begin(), running.end());
        std::vector<bool> alive;
        std::string why;
        if (!scheduler.active(asked, alive, &why)) {
            if (++schedulerFailures > 240) fatal = why;
            alive.assign(running.size(), true);
        } else {
            schedulerFailures = 0;
        }
        bool changed = false;
        std::vector<std::int64_t> partial(m.parts.size(), -1);
        for (std::size_t i = 0; i < running.size(); ++i) {
            FarmPart& p = *running[i];
            const TaskRecord r = recordOf(work, p);
            std::string failure;
            if (r.ended) {
                if (r.status == 0) {
                    std::string bad;
                    if (checkPart(m.settings, p, partFile(work, p.index), &bad)) {
                        p.bytes = fileBytes(partFile(work, p.index));
                        endTry(p, true, o.tries);
                        changed = true;
                        continue;
                    }
                    failure = "its file is incomplete: " + bad;
                } else if (r.status == captureMissingStatus) {
                    fatal = partText(p) + ": " + r.error + " (install the build where every "
                            "node sees it, or give --capture)";
                    break;
                } else {
                    std::string log;
                    readText(logFile(work, p.index, p.round), &log);
                    failure = "ostrel-capture exited with status " + std::to_string(r.status) +
                              (lastLine(log).empty() ? "" : " (\"" + lastLine(log) + "\")");
                }
            } else if (!alive[i]) {
                if (++unseen[p.index] < 3) continue;
                const int code = scheduler.exitStatus(p);
                if (code == markerMissingStatus) {
                    fatal = "the tasks cannot see the work folder " + work + " (" + partText(p) +
                            "'s task found no marker there): put it on a file system every "
                            "node shares, and give it as --dir";
                    break;
                }
                failure = "its task ended without a record (" +
                          (code >= 0 ? "exit status " + std::to_string(code)
                                     : std::string("killed, or its node lost")) + ")";
            } else {
                unseen[p.index] = 0;
                std::string log;
                if (r.started)
                    partial[std::size_t(p.index)] =
                        readText(logFile(work, p.index, p.round), &log) ? framesInLog(log) : 0;
                continue;
            }
            unseen[p.index] = 0;
            endTry(p, false, o.tries);
            changed = true;
            say(partText(p) + " failed" + (r.host.empty() ? "" : " on " + r.host) + ": " +
                failure + (p.state == PartState::failed
                               ? "; no tries left (" + std::to_string(o.tries) + ")"
                               : "; submitting it again (try " + std::to_string(p.tries + 1) +
                                     " of " + std::to_string(o.tries) + ")"));
        }
        if (changed && !saveManifest(work, m)) fatal = "the manifest cannot be written";
        const auto now = Clock::now();
        const FarmCounts c = countParts(m, partial);
        const double seconds = std::chrono::duration<double>(now - start).count();
        if (terminal || now - lastShown >= std::chrono::seconds(30)) {
            const std::string line = progressLine(c, c.framesDone - doneAtStart, seconds, terminal);
            if (terminal) {
                std::fprintf(stderr, "\r%s\033[K", line.c_str());
                barShown = true;
            } else
                std::fprintf(stderr, "ostrel-farm: %s\n", line.c_str());
            std::fflush(stderr);
            lastShown = now;
        }
        if (fatal.empty() && !stopSignal) usleep(terminal ? 500000 : 1000000);
    }
    if (barShown) std::fputs("\n", stderr);  // the last bar stays
    barShown = false;
    const FarmCounts c = countParts(m, {});
    if (c.failed > 0) {
        std::string names;
        for (const FarmPart& p : m.parts)
            if (p.state == PartState::failed) names += (names.empty() ? "" : ", ") + partName(p.index);
        return fail(std::to_string(c.failed) + " of " + std::to_string(c.parts) +
                    " parts failed after " + std::to_string(o.tries) + " tries (" + names +
                    "); the parts done are kept in " + work + ": run again to retry the rest");
    }
    return joinAndCheck(m, work);
}

int runCommandLine(int argc, char** argv) {
    RunOptions o;
    std::string size;
    OptionParser parser(
        "ostrel-farm run", "-o FILE [options] [-- sbatch options]",
        "Captures the show across a Slurm cluster (or this machine), one part of frames a task,\n"
        "retrying what fails, then joins the parts with the sound and checks the result. FILE:\n"
        "NAME.mp4 (AAC sound) or NAME.mkv (FLAC). Run again on the same --dir to resume.");
    parser.text("-o", "FILE", &o.output, "the video to make (required)");
    parser.size("--size", 4096, &o.width, &o.height, "the frame size (default 1280x720)");
    parser.integer("--fps", "N", 1, 240, &o.fps, "frames a second (default 60)");
    parser.number("--scale", "S", 0.0, 1.0, true, &o.scale, "scene scale (as ostrel-capture's)");
    parser.integer("--quality", "CRF", 0, 51, &o.quality,
                   "H.264 constant rate factor: 0 lossless, 51 worst (default 18)");
    parser.integer("--from", "MS", 0, 3600000, &o.from, "the first frame at or after this show time");
    parser.integer("--to", "MS", 1, 3600000, &o.to, "end before this show time");
    parser.range("--frames", "A-B", 0, 216000000, &o.first, &o.last,
                 "frames A to B (numbered from the start of the show)");
    parser.integer("--parts", "N", 1, 100000, &o.parts, "cut the range into N parts");
    parser.integer("--frames-per-part", "N", 1, 216000000, &o.perPart,
                   "frames a part (default 500)");
    parser.text("--dir", "WORK", &o.dir,
                "the work folder, shared by every node (default FILE.farm beside FILE)");
    parser.custom("--scheduler", "slurm|local",
                  [&o](const std::string& v, std::string* why) {
                      if (v != "slurm" && v != "local") {
                          *why = "is not slurm or local";
                          return false;
                      }
                      o.scheduler = v;
                      return true;
                  },
                  "where the tasks run (default slurm)");
    parser.integer("--jobs", "N", 1, 100000, &o.jobs,
                   "tasks at once (local: default 2; Slurm: as many as it gives)");
    parser.integer("--tries", "N", 1, 100, &o.tries, "tries a part gets (default 3)");
    parser.text("--partition", "P", &o.partition, "the Slurm partition");
    parser.text("--capture", "PATH", &o.capture,
                "ostrel-capture, at the same path on every node (default: beside ostrel-farm)");
    parser.flag("--no-wait", &o.noWait,
                "Slurm: submit and exit (status and join later, or run again to follow)");
    parser.positional("SBATCH-OPTION", 0, 1000, &o.extra, "after --: passed to sbatch");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;
    bool dashes = false;
    for (int i = 1; i < argc; ++i) dashes = dashes || std::string(argv[i]) == "--";
    if (!o.extra.empty() && !dashes)
        return parser.refuse("\"" + o.extra[0] + "\" is no option (sbatch options go after --)");
    if (!o.extra.empty() && o.scheduler != "slurm")
        return parser.refuse("options after -- are sbatch's, for --scheduler slurm");
    if (o.noWait && o.scheduler != "slurm")
        return parser.refuse("--no-wait is for --scheduler slurm (local tasks are this run's)");
    if (o.output.empty()) return parser.refuse("the option -o FILE is required (see --help)");
    if (!endsWith(o.output, ".mp4") && !endsWith(o.output, ".mkv"))
        return parser.refuse("-o \"" + o.output + "\": a farm writes NAME.mp4 or NAME.mkv");
    if (o.width % 2 || o.height % 2)
        return parser.refuse("H.264 in 4:2:0 needs an even width and height, not --size " +
                             std::to_string(o.width) + "x" + std::to_string(o.height));
    if (o.parts > 0 && o.perPart > 0)
        return parser.refuse("--parts and --frames-per-part exclude each other");
    if (o.first >= 0 && (o.from >= 0 || o.to >= 0))
        return parser.refuse("--frames and --from or --to exclude each other");

    o.output = absolutePath(o.output);
    const std::string work = absolutePath(o.dir.empty() ? o.output + ".farm" : o.dir);
    o.capture = absolutePath(o.capture.empty() ? beside("ostrel-capture") : o.capture);
    // Hours of work must not end on an output that cannot be written.
    const std::string outputFolder = o.output.substr(0, o.output.rfind('/') + 1);
    if (access(outputFolder.c_str(), W_OK) != 0)
        return fail("cannot write " + o.output + ": " + outputFolder + " " +
                    (isFolder(outputFolder) ? "is not writable" : "does not exist"));
    if (findProgram(o.capture).empty())
        return fail("ostrel-capture is not at " + o.capture + ": build it, or give --capture PATH");
    std::string why;
    if (!haveFfmpeg(&why)) return fail(why);
    std::unique_ptr<Scheduler> scheduler = schedulerFor(o.scheduler, o);
    if (!scheduler->check(&why)) return fail(why);

    // ostrel-capture's own plan of the range.
    std::vector<std::string> planArgs = {o.capture, "--plan", "--fps", std::to_string(o.fps)};
    if (o.first >= 0)
        planArgs.insert(planArgs.end(),
                        {"--frames", std::to_string(o.first) + "-" + std::to_string(o.last)});
    if (o.from >= 0) planArgs.insert(planArgs.end(), {"--from", std::to_string(o.from)});
    if (o.to >= 0) planArgs.insert(planArgs.end(), {"--to", std::to_string(o.to)});
    std::string planText, err;
    const int planned = runProgram(planArgs, &planText, &err);
    CapturePlan plan;
    if (planned != 0) return fail("ostrel-capture --plan: " + lastLine(err));
    if (!parseCapturePlan(planText, plan, &why)) return fail(why);

    FarmSettings s;
    s.width = o.width;
    s.height = o.height;
    s.fps = o.fps;
    char scale[32];
    std::snprintf(scale, sizeof scale, "%g", double(o.scale));
    s.scale = scale;
    s.quality = o.quality;
    s.first = plan.first;
    s.last = plan.last;
    const std::int64_t asked = o.perPart > 0 ? o.perPart
                               : o.parts > 0 ? framesPerPart(plan.first, plan.last, o.parts)
                                             : 500;
    s.perPart = alignedPerPart(asked, o.fps);
    if (s.perPart != asked && (o.perPart > 0 || o.parts > 0))
        say("parts of " + std::to_string(s.perPart) + " frames rather than " +
            std::to_string(asked) + ": at " + std::to_string(o.fps) + " fps a part must be a "
            "multiple of " + std::to_string(alignedPerPart(1, o.fps)) + " frames to last whole "
            "milliseconds");

    Manifest m;
    if (fileBytes(work + "/manifest") >= 0) {
        if (!lockFolder(work, &why)) return fail(why);
        if (!loadManifest(work, m, &why)) return fail(why);
        const std::string difference = settingsDifference(m.settings, s);
        if (!difference.empty())
            return fail(work + " holds a capture with other settings: " + difference +
                        "; give those settings, or another --dir");
        // Tasks of another scheduler still at work on the folder are ended
        // first: this run submits their parts again.
        if (m.scheduler != o.scheduler) {
            std::vector<std::string> jobs;
            for (const FarmPart& p : m.parts)
                if (p.state == PartState::running) jobs.push_back(p.job);
            if (m.scheduler == "slurm" && !jobs.empty()) schedulerFor("slurm", o)->cancel(jobs);
            for (FarmPart& p : m.parts)
                if (p.state == PartState::running) p.state = PartState::pending;
        }
        std::vector<PartFacts> facts;
        for (const FarmPart& p : m.parts) {
            PartFacts f;
            f.fileBytes = fileBytes(partFile(work, p.index));
            f.fileExists = f.fileBytes >= 0;
            facts.push_back(f);
        }
        std::vector<bool> wasRunning;
        for (const FarmPart& p : m.parts) wasRunning.push_back(p.state == PartState::running);
        resumeParts(m, facts);
        // A task still at work from an earlier run is followed, not doubled.
        for (FarmPart& p : m.parts)
            if (wasRunning[std::size_t(p.index)]) {
                p.state = PartState::running;
                p.tries = 1;
            }
        const FarmCounts c = countParts(m, {});
        say("resuming " + work + ": " + std::to_string(c.done) + " of " +
            std::to_string(c.parts) + " parts done and kept, " + std::to_string(c.running) +
            " still submitted");
    } else {
        if (isFolder(work)) {
            std::string listing;
            runProgram({"ls", "-A", work}, &listing, nullptr);
            if (!listing.empty())
                return fail(work + " is not empty and holds no farm manifest: give an empty or "
                            "new --dir");
        }
        m.settings = s;
        m.parts = planParts(s.first, s.last, s.perPart);
    }
    m.output = o.output;
    m.capture = o.capture;
    m.scheduler = o.scheduler;
    for (const std::string& d : {work, work + "/parts", work + "/records", work + "/logs"})
        if (!makeFolder(d, &why)) return fail(why);
    if (!lockFolder(work, &why)) return fail(why);
    // The marker and the script are written afresh: tasks of an earlier run
    // still queued find the new token too, as they capture the same frames.
    std::string token;
    if (!readText(work + "/marker", &token) || token.empty()) token = randomToken();
    if (!writeTextAtomic(work + "/marker", token, &why) ||
        !writeTextAtomic(work + "/task.sh", taskScript(m, work, token), &why) ||
        !saveManifest(work, m))
        return fail(why);
    say(std::to_string(s.last - s.first + 1) + " frames (" + std::to_string(s.first) + "-" +
        std::to_string(s.last) + ") in " + std::to_string(m.parts.size()) + " parts of " +
        std::to_string(s.perPart) + ", " + settingsArgs(s) + ", work folder " + work);
    catchSignals();
    return follow(m, work, *scheduler, o);
}

// The one option of status and join: the work folder, made absolute; or
// the parser's status where it answered (--help, a refusal).
int workFolderOption(const char* name, const char* about, int argc, char** argv,
                     std::string* work) {
    std::string dir;
    OptionParser parser(name, "--dir WORK", about);
    parser.text("--dir", "WORK", &dir, "the work folder (required)");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;
    if (dir.empty()) return parser.refuse("the option --dir WORK is required (see --help)");
    *work = absolutePath(dir);
    return -1;
}

int statusCommandLine(int argc, char** argv) {
    std::string work;
    const int status = workFolderOption("ostrel-farm status",
                                        "Says how far a farm capture is, from its manifest and "
                                        "the records its tasks wrote.",
                                        argc, argv, &work);
    if (status >= 0) return status;
    Manifest m;
    std::string why;
    if (!loadManifest(work, m, &why)) return fail(why);
    const FarmSettings& s = m.settings;
    std::printf("output: %s\nsettings: %s\nparts: %zu, %lld frames each (%s)\n", m.output.c_str(),
                settingsArgs(s).c_str(), m.parts.size(), (long long)s.perPart,
                m.scheduler.c_str());
    std::vector<std::int64_t> partial(m.parts.size(), -1);
    double firstStart = 0;
    const double now = double(std::time(nullptr));
    for (FarmPart& p : m.parts) {
        if (p.state != PartState::running) {
            if (p.state != PartState::done)
                std::printf("%s: %s after %d tr%s\n", partText(p).c_str(),
                            p.state == PartState::failed ? "failed" : "not submitted", p.tries,
                            p.tries == 1 ? "y" : "ies");
            continue;
        }
        const TaskRecord r = recordOf(work, p);
        if (r.started && (firstStart == 0 || r.start < firstStart)) firstStart = r.start;
        std::string log;
        readText(logFile(work, p.index, p.round), &log);
        if (r.ended && r.status == 0) {
            partial[std::size_t(p.index)] = p.last - p.first + 1;
            std::printf("%s: captured on %s, to be checked\n", partText(p).c_str(), r.host.c_str());
        } else if (r.ended) {
            std::printf("%s: failed on %s with status %d (%s)\n", partText(p).c_str(),
                        r.host.c_str(), r.status, r.error.empty() ? lastLine(log).c_str() : r.error.c_str());
        } else if (r.started) {
            partial[std::size_t(p.index)] = framesInLog(log);
            std::printf("%s: running on %s for %.0f s, frame %lld of %lld\n", partText(p).c_str(),
                        r.host.c_str(), now - r.start, (long long)framesInLog(log),
                        (long long)(p.last - p.first + 1));
        } else {
            std::printf("%s: queued (job %s)\n", partText(p).c_str(), p.job.c_str());
        }
    }
    const FarmCounts c = countParts(m, partial);
    std::int64_t thisRound = 0;
    for (const std::int64_t n : partial) thisRound += n > 0 ? n : 0;
    std::printf("%s\n",
                progressLine(c, thisRound, firstStart > 0 ? now - firstStart : 0, false).c_str());
    if (fileBytes(m.output) >= 0 && c.done == c.parts)
        std::printf("joined: %s\n", m.output.c_str());
    return 0;
}

int joinCommandLine(int argc, char** argv) {
    std::string work;
    const int status = workFolderOption("ostrel-farm join",
                                        "Checks the parts of a farm capture whose tasks have "
                                        "ended, joins them with the sound and checks the output.",
                                        argc, argv, &work);
    if (status >= 0) return status;
    Manifest m;
    std::string why;
    if (!loadManifest(work, m, &why) || !lockFolder(work, &why)) return fail(why);
    if (!haveFfmpeg(&why)) return fail(why);
    bool changed = false;
    for (FarmPart& p : m.parts) {
        if (p.state != PartState::running) continue;
        const TaskRecord r = recordOf(work, p);
        if (!r.ended) return fail(partText(p) + " is still queued or running: see ostrel-farm status");
        if (r.status != 0 || !checkPart(m.settings, p, partFile(work, p.index), &why)) {
            p.state = PartState::pending;
            saveManifest(work, m);
            return fail(partText(p) + " failed (" +
                        (r.status != 0 ? "status " + std::to_string(r.status) : why) +
                        "): run ostrel-farm run again to capture it");
        }
        p.state = PartState::done;
        p.bytes = fileBytes(partFile(work, p.index));
        changed = true;
    }
    if (changed && !saveManifest(work, m)) return 1;
    return joinAndCheck(m, work);
}

}  // namespace

int main(int argc, char** argv) {
    // A parent that ignores SIGCHLD would leave the farm no exit status to read.
    std::signal(SIGCHLD, SIG_DFL);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "run") return runCommandLine(argc - 1, argv + 1);
    if (command == "status") return statusCommandLine(argc - 1, argv + 1);
    if (command == "join") return joinCommandLine(argc - 1, argv + 1);
    const char* usage =
        "usage: ostrel-farm run -o FILE [options] [-- sbatch options]\n"
        "       ostrel-farm status --dir WORK\n"
        "       ostrel-farm join --dir WORK\n"
        "Captures the show in parts across a Slurm cluster or this machine, retried, resumed,\n"
        "joined and checked. ostrel-farm COMMAND --help for each command's options.\n";
    if (command == "--help" || command == "-h") {
        std::fputs(usage, stdout);
        return 0;
    }
    std::fprintf(stderr, "ostrel-farm: %s\n",
                 command.empty() ? "a command is required: run, status or join (see --help)"
                                 : ("\"" + command + "\" is no command: run, status or join").c_str());
    return 2;
}

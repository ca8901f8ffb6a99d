// manifest.h: a render farm's plan and its record of the work, decided
// without a scheduler.
//
// A farm capture is one ostrel-capture range cut into parts of consecutive
// frames, each captured by a task of its own into a picture-only Matroska
// file, then joined with the sound of the whole range. The work folder holds:
//
//   manifest         the settings, then one line a part (this file's format)
//   marker           a token the submitting side writes: a task that cannot
//                    read it runs where the folder is not the one submitted from
//   task.sh          the script every task runs (tools/farm/task.h)
//   parts/part-NNN.mkv, records/part-NNN.rR.start|end, logs/part-NNN.rR.log
//
// The manifest is text a person can read:
//
//   ostrel-farm manifest 1
//   output /data/show.mp4
//   capture /opt/ostrel/bin/ostrel-capture
//   scheduler slurm
//   size 1920x1080
//   fps 60
//   scale 1
//   quality 18
//   frames 0-6081
//   frames-per-part 500
//   round 3
//   part 0 0-499 done tries 1 round 1 job 41 bytes 1234567
//   part 1 500-999 pending tries 2 round 2 job 42 bytes 0
//
// Rounds number the submissions: each task writes its records under the
// round it was submitted in, so the records of an earlier try never pass for
// those of a later one, whatever the scheduler remembers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What makes two captures the same frames: a work folder keeps these.
struct FarmSettings {
    int width = 1280, height = 720, fps = 60;
    std::string scale = "1";  // as written to ostrel-capture's --scale
    int quality = 18;
    std::int64_t first = 0, last = -1;  // the frames, both included
    std::int64_t perPart = 500;
};

enum class PartState { pending, running, done, failed };

struct FarmPart {
    int index = 0;
    std::int64_t first = 0, last = 0;
    PartState state = PartState::pending;
    int tries = 0;      // tries of this run
    int round = 0;      // the round of the latest try; 0: never submitted
    std::string job;    // the scheduler's id of that try
    std::int64_t bytes = 0;  // the part file's size once verified
};

struct Manifest {
    std::string output, capture, scheduler;
    FarmSettings settings;
    int round = 0;  // the latest round submitted
    std::vector<FarmPart> parts;
};

// Frames [first, last] cut into parts of `perPart` (the last may be shorter).
std::vector<FarmPart> planParts(std::int64_t first, std::int64_t last, std::int64_t perPart);
// Parts of about equal size for `parts` parts of frames [first, last].
std::int64_t framesPerPart(std::int64_t first, std::int64_t last, std::int64_t parts);
// Matroska keeps times in whole milliseconds, and the join starts each part
// where the one before ends: a part must last a whole number of
// milliseconds, or every join shifts the frames after it by up to half a
// millisecond more. The frames a part holds are therefore a multiple of
// fps / gcd(fps, 1000) (3 at 60, 30 and 24 fps; 1 at 25): `perPart` rounded
// up to one.
std::int64_t alignedPerPart(std::int64_t perPart, int fps);

// The frames and the sound samples of `ostrel-capture --plan`'s output.
struct CapturePlan {
    std::int64_t first = -1, last = -1, soundBegin = -1, soundEnd = -1;
};
bool parseCapturePlan(const std::string& text, CapturePlan& plan, std::string* why);

std::string manifestText(const Manifest& m);
bool parseManifest(const std::string& text, Manifest& m, std::string* why);

// Empty when the settings agree; otherwise one line naming the first that
// does not, as "--size 320x180 (the folder's) and not 640x360".
std::string settingsDifference(const FarmSettings& folder, const FarmSettings& asked);

// A task's records (tools/farm/task.h): the start record's host and time,
// the end record's status and time.
struct TaskRecord {
    bool started = false, ended = false;
    std::string host, error;
    int status = -1;
    double start = 0, end = 0;
};
// Reads "KEY VALUE" lines into the record; unknown keys are left alone.
void readRecord(const std::string& text, TaskRecord& record);

// What the folder shows of a part when a run starts again.
struct PartFacts {
    bool fileExists = false;
    std::int64_t fileBytes = 0;
};
// Resume: a part is kept only if it was verified done and its file is still
// the file verified (same size); every other part is captured again, and
// the tries start over.
void resumeParts(Manifest& m, const std::vector<PartFacts>& facts);

// A try has ended: done when it exited 0 and its file checked out;
// otherwise pending again while tries remain, failed when none do.
void endTry(FarmPart& part, bool succeeded, int maxTries);

// The frames a part of `frames` frames has done from its capture log's
// last progress line ("ostrel-capture: 40% (frame 20 of 50), ...").
std::int64_t framesInLog(const std::string& log);

// The first frame whose time is not i / fps (i counted from the range's
// first frame) within 0.6 ms (Matroska keeps whole milliseconds), -1 when all are; `times` in
// presentation order. A count that differs shows as the first frame missing
// or extra.
std::int64_t firstFrameOutOfPlace(const std::vector<double>& times, int fps,
                                  std::int64_t count);
// The part holding frame `frame` of the range (counted from the range's first).
int partOfFrame(const Manifest& m, std::int64_t frame);

// Counts over the parts, and the progress line of a run.
struct FarmCounts {
    std::int64_t frames = 0, framesDone = 0;
    int parts = 0, done = 0, running = 0, queued = 0, failed = 0, pending = 0;
};
// `partial` holds the frames done so far of each submitted part; -1 (or
// none) for one whose task has not started: queued.
FarmCounts countParts(const Manifest& m, const std::vector<std::int64_t>& partial);
// "[####....] 1200 of 6082 frames, 2 of 13 parts done, 2 running, 9 queued,
// 0 failed, 4:21 left": the time left from the frames a second done since
// `seconds` ago.
std::string progressLine(const FarmCounts& c, std::int64_t framesThisRun, double seconds,
                         bool bar);

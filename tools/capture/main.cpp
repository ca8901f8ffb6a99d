// ostrel-capture: the show rendered to a video file, frame by frame, with its
// soundtrack.
//
// Draws every frame of the show headless (EGL; llvmpipe on a machine
// without a GPU) with the show's own render code and track evaluation, at a
// steady frame rate whatever the time a frame takes, and writes them with
// the embedded soundtrack: frame i is the show at t_i = floor(i x 1000 /
// fps) ms, and the capture ends with the frame on which the show ends
// (tools/capture/plan.h). The output's name chooses what is written
// (tools/capture/output.h): MP4 or Matroska through the ffmpeg program, a
// PNG sequence, one PNG, the sound alone as WAVE, or YUV4MPEG2 on stdout.
//
//   ostrel-capture -o FILE [--size 1280x720] [--fps 60] [--scale 1]
//                  [--from MS] [--to MS] [--frames A-B] [--quality 18]
//                  [--no-sound] [--resume] [--quiet] [--plan] [--render-only]
//
// Status 0 when the output is complete, 1 when it could not be made, 2 for
// a refused option, 128 + the signal's number when interrupted (SIGINT,
// SIGTERM); only a complete output carries its final name.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

#include "host/moment.h"
#include "sync/content.h"
#include "tools/capture/output.h"
#include "tools/capture/pipeline.h"
#include "tools/capture/plan.h"
#include "tools/common/checks.h"
#include "tools/common/progress.h"
#include "tools/capture/sound.h"
#include "tools/common/options.h"

namespace {

// SIGINT or SIGTERM once one has come. The handler may run on any thread;
// it does not restart the call it interrupts, so that a write blocked on a
// reader gives up (tools/capture/pipeline.h).
StopFlag stopSignal{0};

void onSignal(int signal) { stopSignal.store(signal); }

void catchSignals() {
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a reader that goes shows as EPIPE
    // A SIGCHLD ignored by whoever started us survives exec, and would have
    // ffmpeg reaped unseen: its status is what says the file is complete.
    std::signal(SIGCHLD, SIG_DFL);
}

struct Options {
    std::string output;
    int width = 1280, height = 720;
    PlanRequest request;  // frame rate and the part of the show
    float scale = 1.0f;
    int quality = -1;
    bool resume = false, quiet = false, plan = false, renderOnly = false, noSound = false;
};

// Processor seconds of this process, and of the encoder once it has ended.
double cpuSeconds(int who) {
    struct rusage usage;
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

int fail(const std::string& line) {
    std::fprintf(stderr, "ostrel-capture: %s\n", line.c_str());
    return 1;
}

std::string framesText(std::int64_t first, std::int64_t count) {
    if (count <= 0) return "no frame";
    if (count == 1) return "frame " + std::to_string(first);
    return "frames " + std::to_string(first) + "-" + std::to_string(first + count - 1);
}

std::string countText(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

void printPlan(const FramePlan& p) {
    std::printf("frames: %lld\nfirst frame: %lld\nlast frame: %lld\nshow's last frame: %lld\n",
                (long long)(p.last - p.first + 1), (long long)p.first, (long long)p.last,
                (long long)p.end);
    std::printf("show time: %d to %d ms\nvideo: %.3f s at %d fps\n", frameTime(p.fps, p.first),
                frameTime(p.fps, p.last), double(p.last - p.first + 1) / p.fps, p.fps);
    std::printf("sound samples: %lld to %lld\n", (long long)frameSample(p.fps, p.first),
                (long long)frameSample(p.fps, p.last + 1));
    if (p.stop <= p.end)
        std::printf("soundtrack stops at frame: %lld (%d ms)\n", (long long)p.stop,
                    frameTime(p.fps, p.stop));
}

// What became of a run that did not complete, and the status to exit with.
int reportUnfinished(Output& out, const CaptureRun& run, std::int64_t from,
                     std::int64_t total) {
    const int signal = stopSignal.load();  // once: a second signal may follow
    std::string why = run.error;
    if (!signal && usesFfmpeg(out.name.kind) && out.encoder.pid > 0) {
        std::string status;
        if (!finishEncoder(out.encoder, &status)) why += " (" + status + ")";
    }
    abandonOutput(out);
    const std::string head =
        signal ? std::string("interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") : why;
    std::string line = head + "; " + std::to_string(run.written) + " of " +
                       countText(total, "frame", "frames") + " written";
    if (out.name.kind == OutputKind::pngSequence) {
        if (run.written > 0) line += " (" + framesText(from, run.written) + ")";
        line += "; --resume goes on from frame " + std::to_string(from + run.written);
    } else if (out.name.kind != OutputKind::y4m) {
        line += "; " + frameFileName(out.name, from) + " not written";
    }
    fail(line);
    return signal ? 128 + signal : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    OptionParser parser(
        "ostrel-capture", "-o FILE [options]",
        "Renders the show headless, frame by frame at a steady rate, into a video with its\n"
        "soundtrack. FILE: NAME.mp4 (H.264 and AAC), NAME.mkv (H.264 and FLAC), NAME%05d.png\n"
        "(a PNG sequence), NAME.png (one frame), NAME.wav (the sound alone), - (YUV4MPEG2 on\n"
        "standard output). Frame i shows the show at floor(i x 1000 / fps) ms.");
    parser.text("-o", "FILE", &o.output, "what to write (required, but for --plan and --render-only)");
    parser.size("--size", &o.width, &o.height, "the frame size, sides 1 to 8192 (default 1280x720)");
    parser.integer("--fps", "N", 1, 240, &o.request.fps, "frames a second, 1 to 240 (default 60)");
    parser.number("--scale", "S", 0.0, 1.0, true, &o.scale,
                  "scene scale: the scene pass at S times the size, above 0 up to 1 (default 1;\n"
                  "0.25 as the quarter build)");
    parser.integer("--from", "MS", 0, 3600000, &o.request.from,
                   "the first frame at or after this show time, up to the show's last frame\n(default 0)");
    parser.integer("--to", "MS", 1, 3600000, &o.request.to,
                   "end before this show time, 1 or more (default, and at most: with the frame\non which the show ends)");
    parser.range("--frames", "A-B", 0, 216000000, &o.request.firstFrame, &o.request.lastFrame,
                 "frames A to B, A <= B (numbered from the start of the show; B past the show's\nend ends with it), for splitting the work");
    parser.integer("--quality", "CRF", 0, 51, &o.quality,
                   "H.264 constant rate factor: 0 best, 51 worst (default 18)");
    parser.flag("--no-sound", &o.noSound,
                "MP4 and Matroska: the picture alone, no sound stream (a render farm's part)");
    parser.flag("--resume", &o.resume, "PNG sequence: go on after the last frame written");
    parser.flag("--quiet", &o.quiet, "no progress and no summary");
    parser.flag("--plan", &o.plan, "print the frames, show times and samples asked for, and exit");
    parser.flag("--render-only", &o.renderOnly,
                "draw the frames and write nothing (to time rendering alone)");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;

    OutputName name{};
    if (o.renderOnly && !o.output.empty())
        return parser.refuse("--render-only writes nothing: leave out -o");
    if (o.output.empty() && !o.plan && !o.renderOnly)
        return parser.refuse("the option -o FILE is required (see --help)");
    std::string why;
    if (!o.output.empty() && !parseOutputName(o.output, name, &why))
        return parser.refuse("-o " + why);
    const PlanRequest& r = o.request;
    if (r.firstFrame >= 0 && (r.from >= 0 || r.to >= 0))
        return parser.refuse("--frames and --from or --to exclude each other");
    if (r.from >= 0 && r.to >= 0 && r.to <= r.from)
        return parser.refuse("--to " + std::to_string(r.to) + " is not after --from " +
                             std::to_string(r.from));
    if (!o.output.empty() && usesFfmpeg(name.kind) && (o.width % 2 || o.height % 2))
        return parser.refuse("H.264 in 4:2:0 needs an even width and height, not --size " +
                             std::to_string(o.width) + "x" + std::to_string(o.height) +
                             " (try " + std::to_string(o.width + o.width % 2) + "x" +
                             std::to_string(o.height + o.height % 2) + ")");
    if (o.quality >= 0 && (o.output.empty() || !usesFfmpeg(name.kind)))
        return parser.refuse("--quality is for .mp4 and .mkv outputs");
    if (o.noSound && (o.output.empty() || !usesFfmpeg(name.kind)))
        return parser.refuse("--no-sound is for .mp4 and .mkv outputs");
    if (o.resume && (o.output.empty() || name.kind != OutputKind::pngSequence))
        return parser.refuse("--resume is for PNG sequences (-o frames/%05d.png)");
    if (!sceneScaleFits(o.width, o.height, o.scale, &why)) return parser.refuse(why);

    ShowTracks tracks;
    if (!loadShowTracks(ostrelContent, tracks, &why)) return fail(why);
    FramePlan plan;
    if (!planFrames(tracks.tracks, r, plan, &why)) return parser.refuse(why);
    if (o.plan) {
        printPlan(plan);
        return 0;
    }
    const std::int64_t total = plan.last - plan.first + 1;
    if (name.kind == OutputKind::png && total > 1 && !o.renderOnly)
        return parser.refuse("-o " + o.output + " holds one frame, and " + std::to_string(total) +
                             " are asked for: name a sequence (%05d) or give --frames N-N");
    const auto start = std::chrono::steady_clock::now();
    catchSignals();

    Output out;
    out.name = name;
    out.width = o.width;
    out.height = o.height;
    out.fps = r.fps;
    out.firstFrame = plan.first;
    out.stop = &stopSignal;
    if (o.quality >= 0) out.quality = o.quality;
    out.sound = !o.noSound;
    std::int64_t from = plan.first;
    if (o.resume) {
        if (!resumeFrom(out, plan.first, plan.last, &from, &why)) return fail(why);
        if (from > plan.last) {
            if (!o.quiet)
                fail(total == 1 ? std::string("the frame is written already")
                                : "all " + std::to_string(total) + " frames are written already");
            return 0;
        }
        out.firstFrame = from;
        if (!o.quiet && from > plan.first)
            fail("resuming at frame " + std::to_string(from));
    }
    std::vector<std::uint8_t> sound;
    if (!o.renderOnly && ((usesFfmpeg(name.kind) && !o.noSound) || name.kind == OutputKind::wav) &&
        !soundOfFrames(plan, ostrelContent.soundtrack, sizeof ostrelContent.soundtrack, sound,
                       &why))
        return fail(why);
    if (!o.renderOnly && !openOutput(out, std::move(sound), &why)) return fail(why);

    CaptureRun run;
    const std::int64_t frames = plan.last - from + 1;
    double startup = 0.0;
    auto framesStart = start;
    double framesCpu = 0.0;
    if (drawsFrames(name.kind) || o.renderOnly) {
        MomentOptions options;
        options.width = o.width;
        options.height = o.height;
        options.sceneScale = o.scale;
        static ShowMoment moment;
        if (!openMoment(moment, ostrelContent, options, &why)) {
            abandonOutput(out);
            return fail(why);
        }
        framesStart = std::chrono::steady_clock::now();
        framesCpu = cpuSeconds(RUSAGE_SELF);
        startup = std::chrono::duration<double>(framesStart - start).count();
        Progress progress = startProgress(o.quiet ? nullptr : stderr, isatty(STDERR_FILENO) != 0,
                                          frames);
        run = o.renderOnly ? renderOnly(moment, plan, from, progress, stopSignal)
                           : runCapture(moment, out, plan, from, progress, stopSignal);
        // PNG files take their names as they are written: once the last has
        // its name, the output is complete, whenever a signal came.
        const bool named = !o.renderOnly && !run.failed && run.written == frames &&
                           (name.kind == OutputKind::png || name.kind == OutputKind::pngSequence);
        if ((stopSignal && !named) || run.failed) return reportUnfinished(out, run, from, frames);
    }
    if (!o.renderOnly && !finishOutput(out, &why)) {
        run.failed = true;
        run.error = why;
        return reportUnfinished(out, run, from, frames);
    }

    // The frames' time runs to the end of the encoding, whose last frames
    // ffmpeg holds back until the picture ends.
    const double framesSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - framesStart).count();
    framesCpu = cpuSeconds(RUSAGE_SELF) - framesCpu;
    const double encoderCpu = cpuSeconds(RUSAGE_CHILDREN);
    if (!o.quiet) {
        const double seconds = double(frames) / plan.fps;
        std::string what = drawsFrames(name.kind) || o.renderOnly
                               ? framesText(from, frames) + " of " + std::to_string(o.width) +
                                     " x " + std::to_string(o.height) + " at " +
                                     std::to_string(r.fps) + " fps"
                               : "the sound of " + framesText(from, frames);
        const std::string times =
            frames == 1 ? std::to_string(frameTime(plan.fps, from)) + " ms"
                        : std::to_string(frameTime(plan.fps, from)) + " to " +
                              std::to_string(frameTime(plan.fps, plan.last)) + " ms";
        std::fprintf(stderr, "ostrel-capture: %s (show time %s, %.3f s)%s", what.c_str(),
                     times.c_str(), seconds,
                     o.renderOnly ? ", drawn and not written" : (", into " + o.output).c_str());
        // Only what ran: no writer for --render-only, no ffmpeg but for
        // .mp4 and .mkv.
        if (drawsFrames(name.kind) || o.renderOnly) {
            std::fprintf(stderr,
                         ": %.1f s for the frames (%.2f fps) after %.1f s of start-up; "
                         "processor s: %.1f drawing%s",
                         framesSeconds, double(frames) / framesSeconds, startup,
                         framesCpu - run.writerCpu, o.renderOnly ? "" : " and reading back");
            if (!o.renderOnly) std::fprintf(stderr, ", %.1f converting and writing", run.writerCpu);
            if (!o.renderOnly && usesFfmpeg(name.kind))
                std::fprintf(stderr, ", %.1f in ffmpeg", encoderCpu);
        }
        std::fprintf(stderr, "\n");
    }
    return 0;
}

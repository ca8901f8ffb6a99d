// pipeline.h: drawing a capture's frames and writing them, side by side.
//
// The renderer's thread (the one with the GL context) draws frame i, queues
// its read-back into a pixel-pack buffer, and only then takes the pixels of
// frame i - 1, which a GPU has copied meanwhile; it hands them to the
// writer thread, which converts and writes them (a PNG, or Y'CbCr to ffmpeg
// or standard output). At most two frames wait between the threads, so the
// renderer waits only when the writer falls that far behind.
//
// A signal (the flag `stop`, set by the program's handler) or a writer that
// fails ends the run after the frame being drawn; the frames not yet
// written are dropped. A writer blocked on a reader that does not read
// (standard output, ffmpeg) is cut loose: ffmpeg is ended, and the writer's
// thread gets the signal again until its write gives up. A frame buffer that
// cannot be mapped ends the run as a writer's failure does.
#pragma once

#include <cstdint>
#include <string>

#include "host/moment.h"
#include "tools/capture/output.h"
#include "tools/capture/plan.h"
#include "tools/capture/progress.h"

struct CaptureRun {
    std::int64_t written = 0;  // frames written, from the first on
    bool failed = false;       // the writer failed: `error` says why
    std::string error;
    double writerCpu = 0.0;    // processor seconds the writer thread took
};

// Captures frames [from, plan.last] into `out`.
CaptureRun runCapture(ShowMoment& moment, Output& out, const FramePlan& plan, std::int64_t from,
                      Progress& progress, const StopFlag& stop);

// Draws the same frames back to back and writes nothing, returning when the
// last is complete (rendering alone, to compare a capture's time with).
CaptureRun renderOnly(ShowMoment& moment, const FramePlan& plan, std::int64_t from,
                      Progress& progress, const StopFlag& stop);

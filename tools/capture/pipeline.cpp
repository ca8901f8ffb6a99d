// pipeline.cpp: the renderer's loop and the writer thread.
#include "tools/capture/pipeline.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

struct Slot {
    std::int64_t frame;
    std::vector<float> rgba;
};

// What passes between the renderer and the writer.
struct Handoff {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Slot> ready;          // frames to write, in order
    std::vector<Slot> spare;         // buffers for the renderer to fill
    bool closed = false;             // no more frames will come
    bool dropping = false;           // stop: write nothing more
    bool failed = false;
    bool done = false;               // the writer's thread has returned
    std::string error;
    std::int64_t written = 0;
    double writerCpu = 0.0;          // processor seconds of the writer thread
};

double threadCpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void writeFrames(Handoff& h, Output& out) {
    std::unique_lock<std::mutex> held(h.lock);
    for (;;) {
        h.changed.wait(held, [&] { return !h.ready.empty() || h.closed || h.dropping; });
        if (h.dropping || h.ready.empty()) return;
        Slot slot = std::move(h.ready.front());
        h.ready.pop_front();
        held.unlock();
        std::string error;
        const bool ok = writeFrame(out, slot.frame, slot.rgba.data(), &error);
        held.lock();
        if (!ok) {
            h.failed = true;
            h.error = error;
            h.changed.notify_all();
            return;
        }
        ++h.written;
        h.spare.push_back(std::move(slot));
        h.changed.notify_all();
    }
}

void writerLoop(Handoff& h, Output& out) {
    writeFrames(h, out);
    const double cpu = threadCpuSeconds();
    std::lock_guard<std::mutex> held(h.lock);
    h.writerCpu = cpu;
    h.done = true;
    h.changed.notify_all();
}

// Waits for the writer to return. Once a signal has come, a writer blocked
// in a write (a reader that does not read) is cut loose: ffmpeg is ended,
// and the signal is sent on to the writer's thread, whose write then gives
// up (the handler does not restart it), again until it has returned, since
// the signal may come just before the write starts.
void awaitWriter(Handoff& h, std::thread& writer, const Output& out, const StopFlag& stop) {
    std::unique_lock<std::mutex> held(h.lock);
    while (!h.done) {
        if (const int signal = stop.load()) {
            held.unlock();
            interruptOutput(out);
            pthread_kill(writer.native_handle(), signal);
            held.lock();
        }
        h.changed.wait_for(held, std::chrono::milliseconds(20));
    }
    held.unlock();
    writer.join();
}

// Takes the oldest queued read-back and hands it to the writer; false when
// the run is to end instead.
bool handOver(Handoff& h, ShowMoment& m, MomentReadback& readback, std::int64_t frame,
              const StopFlag& stop) {
    std::unique_lock<std::mutex> held(h.lock);
    while (h.spare.empty() && !h.failed && !stop)
        h.changed.wait_for(held, std::chrono::milliseconds(100));
    if (h.failed || stop) return false;
    Slot slot = std::move(h.spare.back());
    h.spare.pop_back();
    held.unlock();
    slot.frame = frame;
    // Null when the buffer could not be made (too large for the driver's
    // memory) or the context is lost; its pixels lost when unmapping fails.
    const float* pixels = mapRead(m, readback);
    if (pixels) std::memcpy(slot.rgba.data(), pixels, slot.rgba.size() * sizeof(float));
    const bool read = unmapRead(m, readback) && pixels;
    held.lock();
    if (!read) {
        h.failed = true;
        h.error = "cannot read frame " + std::to_string(frame) +
                  " back: the GL driver did not map its pixel-pack buffer of " +
                  std::to_string(m.width) + " x " + std::to_string(m.height) +
                  " (out of memory, or the context was lost)";
        h.changed.notify_all();
        return false;
    }
    h.ready.push_back(std::move(slot));
    h.changed.notify_all();
    return true;
}

}  // namespace

CaptureRun runCapture(ShowMoment& m, Output& out, const FramePlan& plan, std::int64_t from,
                      Progress& progress, const StopFlag& stop) {
    Handoff h;
    try {
        for (int i = 0; i < 2; ++i)
            h.spare.push_back(
                {0, std::vector<float>(std::size_t(m.width) * std::size_t(m.height) * 4u)});
    } catch (const std::bad_alloc&) {
        CaptureRun run;
        run.failed = true;
        run.error = "no memory for two frames of " + std::to_string(m.width) + " x " +
                    std::to_string(m.height);
        return run;
    }
    MomentReadback readback;
    openReadback(m, readback);
    std::thread writer(writerLoop, std::ref(h), std::ref(out));

    bool going = true;
    for (std::int64_t i = from; i <= plan.last && going && !stop; ++i) {
        renderMoment(m, frameTime(plan.fps, i), frameClock(plan.fps, i));
        queueRead(m, readback);
        if (i > from) going = handOver(h, m, readback, i - 1, stop);
        std::int64_t written;
        {
            std::lock_guard<std::mutex> held(h.lock);
            written = h.written;
        }
        showProgress(progress, written, false);
    }
    if (going && !stop) going = handOver(h, m, readback, plan.last, stop);

    {
        std::lock_guard<std::mutex> held(h.lock);
        h.closed = true;
        if (!going || stop) h.dropping = true;
        h.changed.notify_all();
    }
    awaitWriter(h, writer, out, stop);

    CaptureRun run;
    run.written = h.written;
    run.failed = h.failed;
    run.error = h.error;
    run.writerCpu = h.writerCpu;
    if (!run.failed && !stop) showProgress(progress, run.written, true);
    return run;
}

CaptureRun renderOnly(ShowMoment& m, const FramePlan& plan, std::int64_t from,
                      Progress& progress, const StopFlag& stop) {
    CaptureRun run;
    for (std::int64_t i = from; i <= plan.last && !stop; ++i) {
        renderMoment(m, frameTime(plan.fps, i), frameClock(plan.fps, i));
        ++run.written;
        showProgress(progress, run.written, false);
    }
    finishMoment(m);
    if (!stop) showProgress(progress, run.written, true);
    return run;
}

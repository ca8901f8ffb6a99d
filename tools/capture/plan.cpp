// plan.cpp: frame numbers, show times and sample positions of a capture.
#include "tools/capture/plan.h"

#include "host/loop.h"

namespace {

// The longest show looked for an end in: one hour.
constexpr std::int64_t longestShowMs = 3600000;

}  // namespace

std::int32_t frameTime(int fps, std::int64_t frame) {
    return std::int32_t(frame * 1000 / fps);
}

std::int32_t frameClock(int fps, std::int64_t frame) {
    return frame == 0 ? 0 : frameTime(fps, frame - 1);
}

std::int64_t frameSample(int fps, std::int64_t frame) { return frame * soundRate / fps; }

bool planFrames(SyncTrack* const tracks[trackCount], const PlanRequest& request,
                FramePlan& plan, std::string* why) {
    plan.fps = request.fps;
    plan.stop = -1;
    std::int64_t i = 0;
    for (;; ++i) {
        if (frameTime(request.fps, i) > longestShowMs) {
            *why = "the show does not end within an hour of show time";
            return false;
        }
        const FrameValues values = frameValuesAt(tracks, frameTime(request.fps, i));
        if (plan.stop < 0 && values.end.stopSoundtrack) plan.stop = i;
        if (values.end.quit) break;
    }
    plan.end = i;
    if (plan.stop < 0) plan.stop = plan.end + 1;

    // Frame i lies at or after `from` when i x 1000 / fps >= from, and
    // before `to` when i < to x fps / 1000.
    const std::int64_t fps = request.fps;
    plan.first = request.firstFrame >= 0 ? request.firstFrame
                 : request.from >= 0     ? (request.from * fps + 999) / 1000
                                         : 0;
    plan.last = request.lastFrame >= 0 ? request.lastFrame
                : request.to >= 0      ? (request.to * fps + 999) / 1000 - 1
                                       : plan.end;
    if (plan.last > plan.end) plan.last = plan.end;
    if (plan.first > plan.end) {
        *why = "the show's last frame at " + std::to_string(request.fps) + " fps is frame " +
               std::to_string(plan.end) + " (" + std::to_string(frameTime(request.fps, plan.end)) +
               " ms); nothing to capture from frame " + std::to_string(plan.first);
        return false;
    }
    if (plan.first > plan.last) {
        *why = "no frame of the show lies between --from and --to";
        return false;
    }
    return true;
}

// plan.h: which frames a capture draws, at which show times, with which
// sound.
//
// Frame i of a capture at N frames a second is what the show draws at show
// time t_i = floor(i x 1000 / N) ms when its frames come steadily every
// 1000/N ms: the tracks at t_i's row, the shaders seeing the clock T0 of
// the frame before (t_{i-1}; 0 for frame 0), as the show's clock lags one
// frame. Frame i lasts from i/N to (i+1)/N seconds of the video.
//
// Frames are numbered from the start of the show whatever part is captured,
// and frame i's sound starts at sample floor(i x 44100 / N) of the
// soundtrack: a part is exactly those frames of the whole, and parts joined
// end to end are the whole, picture and sound.
//
// The show's last frame is the first whose values end the show (the
// end-of-show rule). The soundtrack falls silent from the first frame whose
// values stop it, as the show stops its player there.
#pragma once

#include <cstdint>
#include <string>

#include "content/wav_writer.h"
#include "sync/tracks.h"

struct SyncTrack;

inline constexpr std::int64_t soundRate = soundtrackSampleRate;  // sample frames a second

// What the options ask for; -1 where not given.
struct PlanRequest {
    int fps = 60;
    std::int64_t from = -1, to = -1;              // show milliseconds: [from, to)
    std::int64_t firstFrame = -1, lastFrame = -1;  // frame numbers: [first, last]
};

struct FramePlan {
    int fps;
    std::int64_t first, last;  // the frames to capture, both included
    std::int64_t end;          // the show's last frame
    std::int64_t stop;         // the first frame that stops the soundtrack (end + 1: none)
};

// The show time, the shaders' clock and the first sound sample of frame i.
std::int32_t frameTime(int fps, std::int64_t frame);
std::int32_t frameClock(int fps, std::int64_t frame);
std::int64_t frameSample(int fps, std::int64_t frame);

// Finds the show's last frame and the soundtrack's stop, and the frames the
// request asks for: by time, the frames whose show time lies in [from, to);
// by number, [first, last]. Either ends at the show's last frame. False,
// with one line in *why, when the request holds no frame of the show or the
// show does not end within an hour.
bool planFrames(SyncTrack* const tracks[trackCount], const PlanRequest& request,
                FramePlan& plan, std::string* why);

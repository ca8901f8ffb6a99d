// score_render.h: a saved score rendered into a soundtrack in the background.
//
// The synthesiser takes seconds for the whole piece, so the studio renders
// on a thread of its own while the picture and the old sound go on; the
// main thread picks the result up when it is done and hands it to the
// sound, which crossfades to it at the frame it is playing. A score saved
// while a render is under way waits for it; only the newest waits, and the
// finished render it replaces is dropped.
//
// The render runs at the picture's priority: a few seconds of two cores.
// (At a lower one, on a busy machine that draws with its processor, it
// starved for over half a minute.)
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "content/score/score.h"

namespace studio {

struct ScoreRender {
    std::thread worker;
    std::atomic<bool> finished{false};
    std::vector<std::int16_t> result;  // the worker's, until finished
    bool waiting = false;
    score::Score next;
    std::chrono::steady_clock::time_point started;
};

// Starts rendering the score, or queues it behind the render under way.
void renderScore(ScoreRender& render, score::Score score);

// True, with the samples (the show's soundtrack length, interleaved
// stereo) and the seconds the render took, when the newest render has
// finished; then starts a queued one.
bool takeRenderedScore(ScoreRender& render, std::vector<std::int16_t>& samples, double* seconds);

bool scoreRendering(const ScoreRender& render);

// Waits for a render under way; for the end of the program.
void finishScoreRender(ScoreRender& render);

}  // namespace studio

// score_render.cpp: the synthesiser on a worker thread.
#include "tools/studio/score_render.h"

#include "content/synth/mixer.h"
#include "content/wav_writer.h"

namespace studio {

namespace {

void start(ScoreRender& r, score::Score score) {
    r.finished.store(false);
    r.started = std::chrono::steady_clock::now();
    r.worker = std::thread([&r, s = std::move(score)] {
        r.result = synth::mixPiece(s.piece, soundtrackFrames, nullptr);
        r.finished.store(true, std::memory_order_release);
    });
}

}  // namespace

void renderScore(ScoreRender& r, score::Score score) {
    if (r.worker.joinable()) {
        r.next = std::move(score);
        r.waiting = true;
        return;
    }
    start(r, std::move(score));
}

bool scoreRendering(const ScoreRender& r) { return r.worker.joinable(); }

bool takeRenderedScore(ScoreRender& r, std::vector<std::int16_t>& samples, double* seconds) {
    if (!r.worker.joinable() || !r.finished.load(std::memory_order_acquire)) return false;
    r.worker.join();
    if (r.waiting) {
        r.waiting = false;
        start(r, std::move(r.next));
        return false;
    }
    samples = std::move(r.result);
    r.result.clear();
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - r.started).count();
    return true;
}

void finishScoreRender(ScoreRender& r) {
    if (r.worker.joinable()) r.worker.join();
}

}  // namespace studio

// transport.cpp: show time from the sound's position, and the moves.
#include "tools/studio/transport.h"

#include <algorithm>
#include <cmath>

#include "host/loop.h"
#include "sync/sync.h"

namespace studio {

namespace {

// Between two reports the clock carries the show time on; a sound that
// stops reporting (a stalled device) holds the picture this much later.
constexpr double maxLead = 250.0;
// Previous cut: a cut this recent counts as the current one, so that a
// second press goes on to the one before.
constexpr std::int32_t cutGrace = 500;

void updateLoop(Transport& t) {
    std::int32_t a = 0, b = 0;
    const bool on = loopRange(t, a, b);
    t.command.loopStart = on ? frameOf(a) : 0;
    t.command.loopEnd = on ? frameOf(b) : 0;
}

// Whether play from `time` would leave a loop that is on: only play that
// starts inside the loop reaches its end and wraps.
bool outsideLoop(const Transport& t, std::int32_t time, std::int32_t& a) {
    std::int32_t b = 0;
    return loopRange(t, a, b) && (time < a || time >= b);
}

// Every move: a new epoch at `time`, shown until the sound takes it. Play
// that would start outside a loop that is on starts at the loop's start.
void jump(Transport& t, std::int32_t time, bool playing) {
    time = std::clamp(time, 0, t.end);
    std::int32_t a = 0;
    if (playing && outsideLoop(t, time, a)) time = a;
    t.command.epoch += 1;
    t.command.frame = frameOf(time);
    t.command.playing = playing;
    t.command.muted = false;
    t.held = t.shown = time;
    t.shownWraps = 0;
}

// After the loop or its marks change while playing: back into the loop.
void keepInLoop(Transport& t) {
    std::int32_t a = 0;
    if (t.command.playing && outsideLoop(t, t.shown, a)) jump(t, a, true);
}

}  // namespace

std::int64_t frameOf(std::int32_t showTime) {
    // ceil(t x 44.1): the first frame whose time rounds down to t.
    return (std::int64_t(std::max(showTime, 0)) * 441 + 9) / 10;
}

std::int32_t timeOf(std::int64_t frame) {
    return std::int32_t(std::max<std::int64_t>(frame, 0) * 10 / 441);
}

bool follow(SoundCursor& c, const SoundCommand& command) {
    if (c.epoch == command.epoch) return false;
    c.epoch = command.epoch;
    c.frame = command.frame;
    c.wraps = 0;
    return true;
}

std::int64_t framesBeforeWrap(const SoundCursor& c, const SoundCommand& command,
                              std::int64_t frames) {
    if (command.loopEnd > command.loopStart && c.frame < command.loopEnd)
        return std::min(frames, command.loopEnd - c.frame);
    return frames;
}

bool advance(SoundCursor& c, const SoundCommand& command, std::int64_t frames) {
    const bool inLoop = command.loopEnd > command.loopStart && c.frame < command.loopEnd;
    c.frame += frames;
    if (!inLoop || c.frame < command.loopEnd) return false;
    c.frame = command.loopStart;
    c.wraps += 1;
    return true;
}

void runClockSound(ClockSound& s, const SoundCommand& command, double now) {
    if (follow(s.cursor, command)) {  // a jump starts from now
        s.last = now;
        s.carry = 0.0;
    }
    if (command.playing && now > s.last) {
        const double frames = (now - s.last) * double(soundRate) / 1000.0 + s.carry;
        std::int64_t n = std::int64_t(std::floor(frames));
        s.carry = frames - double(n);
        while (n > 0) {
            const std::int64_t k = framesBeforeWrap(s.cursor, command, n);
            advance(s.cursor, command, k);
            n -= k;
        }
    } else {
        s.carry = 0.0;
    }
    s.last = now;
    s.cursor.clock = now;
}

void startTransport(Transport& t, std::int32_t at, std::int32_t end) {
    t.end = std::max(end, 0);
    updateLoop(t);
    jump(t, at, false);
}

std::int32_t showTimeAt(Transport& t, const SoundCursor& report, double now) {
    if (report.epoch != t.command.epoch) return t.shown = t.held;

    double ms = double(report.frame) * 1000.0 / double(soundRate);
    if (t.command.playing) ms += std::clamp(now - report.clock, 0.0, maxLead);
    std::int64_t time = std::int64_t(std::floor(ms));
    std::int32_t a = 0, b = 0;
    const bool beforeLoopEnd = loopRange(t, a, b) && report.frame < frameOf(b);
    if (beforeLoopEnd) time = std::min<std::int64_t>(time, b - 1);
    time = std::min<std::int64_t>(time, t.end);

    if (report.wraps == t.shownWraps) {
        time = std::max<std::int64_t>(time, t.shown);
    } else {
        t.command.muted = false;  // back at the loop's start: the stop is lifted
        t.shownWraps = report.wraps;
    }
    t.shown = std::int32_t(time);
    if (t.command.playing && t.shown >= t.end && !beforeLoopEnd) jump(t, t.end, false);
    return t.shown;
}

void seek(Transport& t, std::int32_t showTime) { jump(t, showTime, t.command.playing); }

void setPlaying(Transport& t, bool playing) {
    if (playing == t.command.playing) return;
    std::int32_t a = 0, b = 0;
    // Play at the end starts over: from the loop's start, or the show's.
    if (playing && t.shown >= t.end) return jump(t, loopRange(t, a, b) ? a : 0, true);
    jump(t, t.shown, playing);
}

void setMuted(Transport& t, bool muted) { t.command.muted = t.command.muted || muted; }

void setEnd(Transport& t, std::int32_t end) {
    t.end = std::max(end, 0);
    if (t.loopA > t.end) t.loopA = t.end;
    if (t.loopB > t.end) t.loopB = t.end;
    updateLoop(t);
    if (t.shown > t.end) jump(t, t.end, false);
}

std::int32_t rowStart(std::int32_t row) {
    if (row <= 0) return 0;
    std::int32_t t = std::max(0, std::int32_t(double(row) / double(rowsPerMillisecond)) - 2);
    while (rowAt(t) < float(row)) ++t;
    return t;
}

std::int32_t rowStep(std::int32_t showTime, int direction) {
    const std::int32_t row = std::int32_t(std::floor(rowAt(showTime)));
    if (direction > 0) return rowStart(row + 1);
    const std::int32_t start = rowStart(row);
    return start < showTime ? start : rowStart(row - 1);
}

std::int32_t nextCut(const Transport& t, std::int32_t showTime) {
    for (std::int32_t cut : t.cuts)
        if (cut > showTime) return std::min(cut, t.end);
    return t.end;
}

std::int32_t previousCut(const Transport& t, std::int32_t showTime) {
    std::int32_t found = 0;
    for (std::int32_t cut : t.cuts)
        if (cut < showTime - cutGrace) found = cut;
    return found;
}

void markLoopStart(Transport& t) {
    t.loopA = t.shown;
    if (t.loopB >= 0 && t.loopA > t.loopB) std::swap(t.loopA, t.loopB);
    updateLoop(t);
    keepInLoop(t);
}

void markLoopEnd(Transport& t) {
    t.loopB = t.shown;
    if (t.loopA >= 0 && t.loopA > t.loopB) std::swap(t.loopA, t.loopB);
    updateLoop(t);
    keepInLoop(t);
}

void setLooping(Transport& t, bool looping) {
    t.looping = looping;
    updateLoop(t);
    keepInLoop(t);
}

bool loopRange(const Transport& t, std::int32_t& a, std::int32_t& b) {
    a = t.loopA < 0 ? 0 : t.loopA;
    b = t.loopB < 0 ? t.end : t.loopB;
    return t.looping && a < b;
}

std::vector<std::int32_t> cutTimes(const SyncTrack* scene) {
    std::vector<std::int32_t> cuts;
    if (scene == nullptr || scene->keys == nullptr) return cuts;
    for (std::int32_t k = 1; k < scene->keyCount; ++k)
        if (scene->keys[k].value != scene->keys[k - 1].value)
            cuts.push_back(rowStart(scene->keys[k].row));
    return cuts;
}

}  // namespace studio

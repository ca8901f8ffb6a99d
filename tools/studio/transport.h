// transport.h: where the studio is in the show, and where its sound is.
//
// The studio moves freely through the show: it plays and pauses, seeks by
// seconds, rows and cuts, and loops between two marks. Picture and sound
// must stay together through all of it: after any move the sample that
// plays is the one at the show time, and the two never drift apart. So the
// sound leads. The transport tells the sound where to play from (a
// SoundCommand: every jump starts a new epoch at a sample frame); the sound
// keeps its own cursor, moves it on by the frames it plays, wraps it at the
// loop's end, and reports it with the clock reading at which it was there.
// The show time is read off that report, plus the clock time since (the
// sound reports once per audio buffer). Where there is no sound device, a
// ClockSound moves the cursor by the clock instead, so the logic is the
// same with or without sound.
//
// Positions are sample frames of the soundtrack, 44100 a second. Show time
// t (whole milliseconds) starts at frame frameOf(t), the first frame whose
// time, rounded down, is t; the two conversions are exact inverses there.
//
// A new epoch holds the picture at its time until the sound has taken it
// (one audio buffer at most), so the picture never runs ahead of a seek.
// Within an epoch the show time never goes back, except at a loop wrap.
// Playing past the show's end pauses there. A loop that is on holds
// wherever play begins: play, a seek while playing, or a loop set while
// playing, at a time outside the loop (its end included) goes to its start.
//
// Cuts are the keys where the `scene` track changes its value; rows are
// 1/24 s (the show's rowAt). Pure logic: no clock, device or platform.
#pragma once

#include <cstdint>
#include <vector>

#include "content/wav_writer.h"

struct SyncTrack;

namespace studio {

inline constexpr std::int64_t soundRate = soundtrackSampleRate;

// The first frame of a show time, and the show time of a frame.
std::int64_t frameOf(std::int32_t showTime);
std::int32_t timeOf(std::int64_t frame);

// What the sound is told to do.
struct SoundCommand {
    std::uint32_t epoch = 0;  // a new epoch: jump to `frame`
    std::int64_t frame = 0;
    bool playing = false;
    bool muted = false;  // the end-of-show rule stopped the soundtrack
    // With loopEnd > loopStart, reaching loopEnd goes on from loopStart.
    std::int64_t loopStart = 0, loopEnd = 0;
};

// Where the sound is, as the sound keeps it and reports it: at the clock
// reading `clock` (milliseconds) it was at `frame` of epoch `epoch`, after
// `wraps` loop wraps in that epoch.
struct SoundCursor {
    std::uint32_t epoch = 0;
    std::int64_t frame = 0;
    std::uint32_t wraps = 0;
    double clock = 0.0;
};

// Takes the command: a new epoch moves the cursor to its frame. True when
// the cursor jumped.
bool follow(SoundCursor& cursor, const SoundCommand& command);
// How many of the next `frames` frames play before the loop's end.
std::int64_t framesBeforeWrap(const SoundCursor& cursor, const SoundCommand& command,
                              std::int64_t frames);
// Moves the cursor on by `frames` (at most framesBeforeWrap); at the loop's
// end it wraps to the loop's start and returns true.
bool advance(SoundCursor& cursor, const SoundCommand& command, std::int64_t frames);

// The sound's part played by a clock, where there is no sound device.
struct ClockSound {
    SoundCursor cursor;
    double last = 0.0;   // clock reading the cursor was last moved at
    double carry = 0.0;  // fraction of a frame not yet played
};
void runClockSound(ClockSound& sound, const SoundCommand& command, double now);

struct Transport {
    SoundCommand command;
    std::int32_t end = 0;               // the show's last frame: playing stops there
    std::int32_t loopA = -1, loopB = -1;  // the marks, -1 while unset
    bool looping = false;
    std::vector<std::int32_t> cuts;  // show times where `scene` changes, rising
    std::int32_t held = 0;           // shown until the sound takes the command
    std::int32_t shown = 0;          // the last show time handed out
    std::uint32_t shownWraps = 0;    // the sound's loop wraps behind it
};

// Paused at `at` (clamped to the show).
void startTransport(Transport& t, std::int32_t at, std::int32_t end);

// The show time at clock `now`, from the sound's report. Call once a frame.
std::int32_t showTimeAt(Transport& t, const SoundCursor& report, double now);

void seek(Transport& t, std::int32_t showTime);  // clamped to [0, end]
void setPlaying(Transport& t, bool playing);
// The end-of-show rule's stop request for the frame shown; a jump lifts it.
void setMuted(Transport& t, bool muted);
// A new end (the tracks changed): the marks and the show time stay inside.
void setEnd(Transport& t, std::int32_t end);

// Seek targets from the time shown.
std::int32_t rowStep(std::int32_t showTime, int direction);  // +1 or -1 row
std::int32_t nextCut(const Transport& t, std::int32_t showTime);
std::int32_t previousCut(const Transport& t, std::int32_t showTime);

// Loop marks at the time shown; `[` sets A, `]` sets B (the two are kept
// in order). Looping needs A < B; an unset A counts as 0, an unset B as
// the end.
void markLoopStart(Transport& t);
void markLoopEnd(Transport& t);
void setLooping(Transport& t, bool looping);
// The loop in show times, when looping is on and the marks allow it.
bool loopRange(const Transport& t, std::int32_t& a, std::int32_t& b);

// The first show time at which the show's row reaches `row`.
std::int32_t rowStart(std::int32_t row);
// The cut times of a `scene` track: its keys whose value differs from the
// key before.
std::vector<std::int32_t> cutTimes(const SyncTrack* scene);

}  // namespace studio

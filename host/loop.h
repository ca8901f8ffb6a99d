// loop.h: the pacing of the main loop and the end-of-show rule, as pure logic.
//
// The main loop polls a millisecond clock and runs at most one frame every
// 1/60 s. Each frame adds the time since the frame reference to the show
// time, in whole milliseconds: 40.9 ms add 40 ms. The fraction of a
// millisecond that a frame does not credit stays on the clock for the next
// frame (the frame reference moves on by the milliseconds credited, not to
// the reading), so the show time never falls a whole millisecond behind the
// clock and the picture keeps step with the music over the whole show.
//
// The end-of-show rule reads the frame's `scene` track value: strictly
// between -2.0 and -0.5 it asks for the soundtrack to stop (again in every
// such frame); strictly below -2.0 it ends the show after the frame. The
// boundaries themselves and NaN do nothing.
//
// Nothing here reads a clock or touches a platform: the host core feeds it
// readings, and tests feed it made-up ones.
#pragma once

#include <cstdint>

#include "render/uniforms.h"

struct SyncTrack;

// One frame every 1/60 s at most.
inline constexpr double framePeriodSeconds = 0.016666666666666666;
// row = show time x 0.024: 24 rows a second.
inline constexpr float rowsPerMillisecond = 0.024f;

struct FramePacer {
    double reference;        // clock reading, in ms, up to which show time is credited
    std::int32_t showTime;   // milliseconds since the soundtrack started
};

// Starts the show clock: show time 0 at the clock reading `now`.
FramePacer startPacer(double now);

// Decides whether a frame runs at the clock reading `now`. When one does,
// returns true after crediting the whole milliseconds since the reference to
// the show time (only while `advanceTime` is set) and moving the reference on
// by the same amount. Readings earlier than the reference, or not a number,
// run no frame.
bool paceFrame(FramePacer& pacer, double now, bool advanceTime);

// The sync row of a show time, in single precision as the tracks are keyed.
float rowAt(std::int32_t showTime);

// The 13 track values of a frame at `row`, exactly as the frame loop hands
// them to the render: the row widened to double for each track, each value
// narrowed to single. Tools and tests that show a moment of the show use it
// too, so they see what the show sees.
void evaluateTracks(SyncTrack* const tracks[trackCount], float row, TrackData& values);

struct EndOfShow {
    bool stopSoundtrack;  // scene strictly between -2.0 and -0.5
    bool quit;            // scene strictly below -2.0: this frame is the last
};

EndOfShow endOfShow(float scene);

// Everything the show decides for the frame at a show time: the 13 track
// values at its row and what the end-of-show rule makes of them. The frame
// loop, the tools and the tests all take a frame's values from here.
struct FrameValues {
    TrackData tracks;
    EndOfShow end;
};

FrameValues frameValuesAt(SyncTrack* const tracks[trackCount], std::int32_t showTime);

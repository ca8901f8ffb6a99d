// checks.h: what a program checks once its content is known, before it
// draws, renders or writes anything.
//
// The option parser (options.h) takes each value whole and in range; what
// it cannot judge alone is checked here, the same way in every program:
//   - a show time against the show's end (the end-of-show rule on the
//     tracks): a time at which something is drawn or started must lie in
//     [0, the show's last frame];
//   - a scene scale against the render size: the scene target must have at
//     least one pixel each way;
//   - an output file against the file system (tools/common/paths.h).
// Each check returns false with one line in *why (no program name: the
// caller refuses through OptionParser::refuse, status 2).
#pragma once

#include <cstdint>
#include <string>

#include "tools/common/paths.h"

struct ShowTracks;

// The show's last frame: the first show time (ms) whose values end the
// show (showEndsAt); -1 when the show does not end by `within` (an hour).
std::int32_t showLastFrame(const ShowTracks& tracks, std::int32_t within = 3600000);

// "1:41.334" for 101334 ms.
std::string showClockText(std::int64_t ms);

// `what` names the value in the line ("--at 999999"); `last` is
// showLastFrame's answer (-1: the show does not end, every time goes).
bool withinShow(const std::string& what, std::int64_t ms, std::int32_t last, std::string* why);

// The scene target of width x height at `scale` (truncated, as the render
// code makes it) has a pixel each way.
bool sceneScaleFits(int width, int height, float scale, std::string* why);

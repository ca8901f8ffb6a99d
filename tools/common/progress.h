// progress.h: how far a long run (a capture, a contact sheet) has got, on
// stderr.
//
// On a terminal, one line redrawn in place at most four times a second: a
// bar, frame n of N, frames per second, the time elapsed and the time left.
// Elsewhere (a log, a render farm's output) one line at every tenth of the
// frames. Nothing when quiet.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

struct Progress {
    std::FILE* out;       // null: quiet
    const char* program;  // the lines' prefix
    bool terminal;
    std::int64_t total;   // frames to draw in this run
    std::int64_t shownTenths;
    std::chrono::steady_clock::time_point start, lastDrawn;
};

Progress startProgress(std::FILE* out, bool terminal, std::int64_t total,
                       const char* program = "ostrel-capture");

// `done` frames written so far; `last` when the capture is over.
void showProgress(Progress& progress, std::int64_t done, bool last);

// A time in seconds as "1:05" or "1:02:05".
std::string clockText(double seconds);

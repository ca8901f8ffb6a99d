// frame_log.h: reading the frame log a Linux show writes when
// OSTREL_FRAME_LOG names a file: one line a presented frame, "SHOWTIME_MS
// PRESENTED_NS CREDITED_NS WIDTH HEIGHT" (CLOCK_MONOTONIC, the steady clock
// of the tests).
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/x_session.h"

struct FrameLine {
    int showTime = 0;
    double presented = 0.0, credited = 0.0;  // steady-clock seconds
    int width = 0, height = 0;               // render size
};

// A fresh, empty file for a frame log; removed with the object.
struct FrameLog {
    std::string path;
    FrameLog() {
        char name[] = "/tmp/ostrel-frames-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path = name;
    }
    ~FrameLog() { std::remove(path.c_str()); }
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;

    std::string variable() const { return "OSTREL_FRAME_LOG=" + path; }

    std::vector<FrameLine> read() const {
        std::vector<FrameLine> frames;
        std::ifstream in(path);
        long long presented, credited;
        FrameLine f;
        while (in >> f.showTime >> presented >> credited >> f.width >> f.height) {
            f.presented = double(presented) * 1e-9;
            f.credited = double(credited) * 1e-9;
            frames.push_back(f);
        }
        return frames;
    }

    // Waits until the show has presented `count` frames in all and returns
    // them, or returns what there is once it ends or `seconds` pass.
    std::vector<FrameLine> awaitFrames(ShowProcess& show, std::size_t count,
                                       double seconds) const {
        const auto start = std::chrono::steady_clock::now();
        std::vector<FrameLine> frames;
        while ((frames = read()).size() < count && show.running() &&
               std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds))
            usleep(20000);
        return frames;
    }
};

// sound_server.h: a PulseAudio server of the test's own, with a null sink
// whose monitor the test records, to hear what the show plays.
//
// The server runs as a child of the test with a runtime folder of its own
// (so it meets no other server on the machine), one null sink at 44.1 kHz
// and the native protocol without authentication; it ends with the object.
// The recorder runs parec on the sink's monitor with a 5 ms latency and
// notes, for every read, how many sample frames have arrived and when
// (steady clock). The null sink plays by the monotonic clock, so what
// arrives early is on time: a frame's playing time is the earliest
// "arrival less frames/rate" of the reads around it, plus its place.
// (PulseAudio's null sink counts its time in whole microseconds per block:
// it plays about 200 ppm fast; the anchor is taken near each frame.)
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class SoundServer {
public:
    SoundServer();
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // What a client needs to find this server, and SDL to use it.
    std::vector<std::string> clientEnvironment() const;
    // Ends the server at once (a sound device that goes away).
    void kill();
    // Stops the server where it is (SIGSTOP: a server that no longer
    // answers, its clients' calls stuck), and lets it go on (SIGCONT).
    void stop();
    void resume();
    // How many streams play into the sink now (-1 if the server does not answer).
    int streams();

    // Recording the sink's monitor, 16-bit stereo at 44.1 kHz.
    bool startRecording();
    void stopRecording();
    struct Recording {
        std::vector<std::int16_t> samples;  // interleaved
        struct Read {
            std::uint64_t frames;  // frames arrived so far
            std::chrono::steady_clock::time_point at;
        };
        std::vector<Read> reads;
        std::size_t frames() const { return samples.size() / 2; }
        // Steady-clock seconds at which recorded frame `frame` played, and
        // the recorded frame that played at `seconds`.
        double playedAt(double frame) const;
        double frameAt(double seconds) const;
        // The first recorded frame holding the 64 frames of `sound` from
        // `from` on, exactly (the server plays the samples untouched);
        // looked for from recorded frame `near` on first, then everywhere.
        std::optional<std::int64_t> find(const std::int16_t* sound, std::size_t from,
                                         std::int64_t near = 0) const;
    };
    Recording recording();

private:
    std::string dir_, error_;
    pid_t server_ = -1, recorder_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    Recording recording_;
};

// Steady-clock seconds of a time point (the frame log's clock, the monotonic one).
double steadySeconds(std::chrono::steady_clock::time_point t);

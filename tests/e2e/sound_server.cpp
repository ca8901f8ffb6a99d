// sound_server.cpp: PulseAudio with a null sink, and parec on its monitor.
#include "tests/e2e/sound_server.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tests/e2e/x_session.h"
#include "tests/support/run_command.h"

namespace {

constexpr double rate = 44100.0;

void end(pid_t& pid, int signal) {
    if (pid <= 0) return;
    ::kill(pid, SIGCONT);  // a stopped server would not end
    ::kill(pid, signal);
    int status;
    waitpid(pid, &status, 0);
    pid = -1;
}

}  // namespace

double steadySeconds(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

SoundServer::SoundServer() {
    char dir[] = "/tmp/ostrel-sound-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        error_ = "cannot make a runtime folder";
        return;
    }
    dir_ = dir;
    chmod(dir, 0700);
    server_ = startChild({"/usr/bin/pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
                          "--use-pid-file=no", "--disallow-exit",
                          "--load=module-null-sink sink_name=null rate=44100",
                          "--load=module-native-protocol-unix auth-anonymous=1"},
                         {"XDG_RUNTIME_DIR=" + dir_, "HOME=" + dir_});
    // It answers within a second or two.
    std::string out;
    for (int i = 0; i < 100; ++i) {
        if (runCommand("env PULSE_SERVER=unix:" + dir_ + "/pulse/native pactl info", out) == 0)
            return;
        usleep(100000);
    }
    error_ = "pulseaudio did not answer: " + out;
}

SoundServer::~SoundServer() {
    stopRecording();
    end(server_, SIGTERM);
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
}

std::vector<std::string> SoundServer::clientEnvironment() const {
    return {"PULSE_SERVER=unix:" + dir_ + "/pulse/native", "SDL_AUDIODRIVER=pulseaudio"};
}

void SoundServer::kill() { end(server_, SIGKILL); }

void SoundServer::stop() {
    if (server_ > 0) ::kill(server_, SIGSTOP);
}

void SoundServer::resume() {
    if (server_ > 0) ::kill(server_, SIGCONT);
}

int SoundServer::streams() {
    std::string out;
    if (runCommand("env PULSE_SERVER=unix:" + dir_ + "/pulse/native pactl list short sink-inputs",
                   out) != 0)
        return -1;
    int lines = 0;
    for (char c : out) lines += c == '\n';
    return lines;
}

bool SoundServer::startRecording() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    recorder_ = startChild({"/usr/bin/parec", "--raw", "--format=s16le", "--rate=44100",
                            "--channels=2", "--latency-msec=5", "-d", "null.monitor"},
                           {"PULSE_SERVER=unix:" + dir_ + "/pulse/native"}, fds[1]);
    close(fds[1]);
    reader_ = std::thread([this, fd = fds[0]] {
        std::vector<char> buffer(1 << 16);
        std::vector<char> odd;  // a read may end inside a sample
        for (;;) {
            ssize_t n = read(fd, buffer.data(), buffer.size());
            if (n <= 0) break;
            const auto at = std::chrono::steady_clock::now();
            odd.insert(odd.end(), buffer.data(), buffer.data() + n);
            const std::size_t whole = odd.size() / 4 * 4;
            std::lock_guard<std::mutex> lock(mutex_);
            const std::size_t had = recording_.samples.size();
            recording_.samples.resize(had + whole / 2);
            std::memcpy(recording_.samples.data() + had, odd.data(), whole);
            odd.erase(odd.begin(), odd.begin() + std::ptrdiff_t(whole));
            recording_.reads.push_back({recording_.frames(), at});
        }
        close(fd);
    });
    return recorder_ > 0;
}

void SoundServer::stopRecording() {
    end(recorder_, SIGTERM);
    if (reader_.joinable()) reader_.join();
}

SoundServer::Recording SoundServer::recording() {
    std::lock_guard<std::mutex> lock(mutex_);
    return recording_;
}

double SoundServer::Recording::playedAt(double frame) const {
    double anchor = 1e300;
    for (const Read& r : reads)
        if (std::abs(double(r.frames) - frame) <= rate)
            anchor = std::min(anchor, steadySeconds(r.at) - double(r.frames) / rate);
    return anchor + frame / rate;
}

double SoundServer::Recording::frameAt(double seconds) const {
    // The anchor moves slowly: two steps find it.
    double frame = (seconds - playedAt(0.0)) * rate;
    for (int i = 0; i < 2; ++i) frame += (seconds - playedAt(frame)) * rate;
    return frame;
}

std::optional<std::int64_t> SoundServer::Recording::find(const std::int16_t* sound,
                                                         std::size_t from,
                                                         std::int64_t near) const {
    const char* all = reinterpret_cast<const char*>(samples.data());
    const std::size_t size = samples.size() * 2;
    auto search = [&](std::size_t begin) -> std::optional<std::int64_t> {
        for (std::size_t at = begin; at < size;) {
            const void* hit = memmem(all + at, size - at, sound + 2 * from, 64 * 4);
            if (hit == nullptr) return std::nullopt;
            const std::size_t offset = std::size_t(static_cast<const char*>(hit) - all);
            if (offset % 4 == 0) return std::int64_t(offset / 4);
            at = offset + 1;
        }
        return std::nullopt;
    };
    const std::int64_t first = near > 0 ? near : 0;
    if (std::size_t(first) * 4 < size)
        if (auto hit = search(std::size_t(first) * 4)) return hit;
    return first > 0 ? search(0) : std::nullopt;
}

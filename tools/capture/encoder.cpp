// encoder.cpp: ffmpeg started with two pipes, fed and reaped.
#include "tools/capture/encoder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

extern char** environ;

namespace {

std::string statusText(int status) {
    if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return std::string("was ended by ") + strsignal(WTERMSIG(status));
    return "ended";
}

void closeFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

}  // namespace

std::string findOnPath(const char* name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t colon = dirs.find(':', start);
        if (colon == std::string::npos) colon = dirs.size();
        const std::string dir = colon > start ? dirs.substr(start, colon - start) : ".";
        const std::string candidate = dir + "/" + name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = colon + 1;
    }
    return "";
}

std::vector<std::string> encoderArguments(Container container, int quality, bool sound,
                                          const std::string& path) {
    std::vector<std::string> a = {"-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                  "-f", "yuv4mpegpipe", "-i", "pipe:0"};
    if (sound) a.insert(a.end(), {"-f", "s16le", "-ar", "44100", "-ac", "2", "-i", "pipe:3"});
    a.insert(a.end(), {"-map", "0:v:0"});
    if (sound) a.insert(a.end(), {"-map", "1:a:0"});
    a.insert(a.end(), {"-c:v", "libx264", "-preset", "medium", "-crf", std::to_string(quality),
                       "-pix_fmt", "yuv420p", "-colorspace", "bt709", "-color_primaries",
                       "bt709", "-color_trc", "bt709", "-color_range", "tv"});
    if (!sound) {
        a.insert(a.end(), {"-f", container == Container::mp4 ? "mp4" : "matroska"});
    } else if (container == Container::mp4) {
        a.insert(a.end(), {"-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart", "-f", "mp4"});
    } else {
        a.insert(a.end(), {"-c:a", "flac", "-f", "matroska"});
    }
    a.push_back("file:" + path);  // a plain file, whatever colons the name holds
    return a;
}

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t count, const StopFlag* stop) {
    while (count > 0) {
        const ssize_t n = write(fd, bytes, count);
        if (stop && *stop) {  // a write cut short by the signal that stops us
            errno = EINTR;
            return false;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += n;
        count -= std::size_t(n);
    }
    return true;
}

bool startEncoder(Encoder& e, const std::string& program,
                  const std::vector<std::string>& arguments, std::vector<std::uint8_t> sound,
                  std::string* error) {
    int video[2], audio[2];
    if (pipe2(video, O_CLOEXEC) != 0) {
        *error = std::string("encoder: no pipe: ") + std::strerror(errno);
        return false;
    }
    if (pipe2(audio, O_CLOEXEC) != 0) {
        *error = std::string("encoder: no pipe: ") + std::strerror(errno);
        close(video[0]);
        close(video[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, video[0], 0);
    posix_spawn_file_actions_adddup2(&actions, audio[0], 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int spawned =
        posix_spawn(&e.pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(video[0]);
    close(audio[0]);
    if (spawned != 0) {
        *error = "encoder: cannot start " + program + ": " + std::strerror(spawned);
        e.pid = -1;
        close(video[1]);
        close(audio[1]);
        return false;
    }
    e.video = video[1];
    e.sound = std::move(sound);
    const int soundFd = audio[1];
    e.soundFeeder = std::thread([&e, soundFd] {
        writeAll(soundFd, e.sound.data(), e.sound.size());  // a failure shows as ffmpeg's
        close(soundFd);
    });
    return true;
}

bool finishEncoder(Encoder& e, std::string* error, const StopFlag* stop) {
    closeFd(e.video);
    if (e.pid <= 0) {  // never started, or reaped already: nothing of ours to wait for
        if (e.soundFeeder.joinable()) e.soundFeeder.join();
        *error = "encoder: ffmpeg is not running";
        return false;
    }
    // Polled, so that a signal at any moment, before the wait or during it,
    // is seen within a few milliseconds.
    int status = 0;
    pid_t reaped;
    bool stopped = false;
    while ((reaped = waitpid(e.pid, &status, WNOHANG)) == 0 || (reaped < 0 && errno == EINTR)) {
        if (stop && *stop && !stopped) {
            signalEncoder(e);
            stopped = true;
        }
        const timespec pause = {0, 5000000};
        nanosleep(&pause, nullptr);
    }
    const int failure = errno;
    e.pid = -1;
    // The feeder ends once ffmpeg has gone (its pipe breaks), if not before.
    if (e.soundFeeder.joinable()) e.soundFeeder.join();
    if (reaped < 0) {
        *error = std::string("encoder: cannot learn how ffmpeg ended: ") + std::strerror(failure);
        return false;
    }
    if (stopped) {
        *error = "encoder: ffmpeg ended by the capture's signal";
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    *error = "encoder: ffmpeg " + statusText(status);
    return false;
}

void signalEncoder(const Encoder& e) {
    if (e.pid > 0) kill(-e.pid, SIGKILL);  // its group: ffmpeg and whatever it started
}

void killEncoder(Encoder& e) {
    if (e.pid <= 0) return;
    signalEncoder(e);
    std::string ignored;
    finishEncoder(e, &ignored);
}

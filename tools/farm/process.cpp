// process.cpp: programs run through posix_spawn and pipes; files.
#include "tools/farm/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

// Signals that the child starts with at their default action, whatever the
// farm has done with them (its handlers, an ignored SIGPIPE or SIGCHLD).
void defaultSignals(posix_spawnattr_t* attributes) {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGPIPE, SIGCHLD, SIGHUP, SIGQUIT}) sigaddset(&set, s);
    posix_spawnattr_setsigdefault(attributes, &set);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(attributes, &none);
}

std::vector<char*> argvOf(const std::vector<std::string>& argv) {
    std::vector<char*> v;
    for (const std::string& a : argv) v.push_back(const_cast<char*>(a.c_str()));
    v.push_back(nullptr);
    return v;
}

int waitStatus(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

std::string findProgram(const std::string& name) {
    auto executable = [](const std::string& path) {
        struct stat info;
        return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
               access(path.c_str(), X_OK) == 0;
    };
    if (name.find('/') != std::string::npos) return executable(name) ? name : "";
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t colon = dirs.find(':', start);
        if (colon == std::string::npos) colon = dirs.size();
        const std::string dir = colon > start ? dirs.substr(start, colon - start) : ".";
        if (executable(dir + "/" + name)) return dir + "/" + name;
        start = colon + 1;
    }
    return "";
}

int runProgram(const std::vector<std::string>& argv, std::string* out, std::string* err) {
    const std::string program = findProgram(argv[0]);
    if (program.empty()) return -1;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return -1;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    defaultSignals(&attributes);
    pid_t pid = -1;
    std::vector<char*> args = argvOf(argv);
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return -1;
    }
    if (out) out->clear();
    if (err) err->clear();
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {out, err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[65536];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else if (sinks[i]) {
                sinks[i]->append(buffer, std::size_t(n));
            }
        }
    }
    for (pollfd& f : fds)
        if (f.fd >= 0) close(f.fd);
    return waitStatus(pid);
}

pid_t startGroup(const std::vector<std::string>& argv, const std::string& log) {
    const std::string program = findProgram(argv[0]);
    if (program.empty()) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.empty() ? "/dev/null" : log.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0666);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attributes, 0);
    defaultSignals(&attributes);
    pid_t pid = -1;
    std::vector<char*> args = argvOf(argv);
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return spawned == 0 ? pid : -1;
}

bool readText(const std::string& path, std::string* text) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    text->clear();
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text->append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool writeTextAtomic(const std::string& path, const std::string& text, std::string* why) {
    const std::string temp = path + ".tmp";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    bool ok = fd >= 0;
    std::size_t at = 0;
    while (ok && at < text.size()) {
        const ssize_t n = write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) at += std::size_t(n);
    }
    ok = ok && fsync(fd) == 0;
    const int failure = errno;
    if (fd >= 0 && close(fd) != 0) ok = false;
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0) return true;
    if (why) *why = "cannot write " + path + ": " + std::strerror(ok ? errno : failure);
    std::remove(temp.c_str());
    return false;
}

bool makeFolder(const std::string& path, std::string* why) {
    if (mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && isFolder(path))) return true;
    if (why) *why = "cannot make the folder " + path + ": " + std::strerror(errno);
    return false;
}

std::int64_t fileBytes(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? std::int64_t(info.st_size)
                                                                     : -1;
}

bool isFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char dir[4096];
    if (getcwd(dir, sizeof dir) == nullptr) return path;
    return std::string(dir) + "/" + path;
}

std::string randomToken() {
    unsigned char bytes[16] = {};
    std::FILE* f = std::fopen("/dev/urandom", "rb");
    if (f) {
        if (std::fread(bytes, 1, sizeof bytes, f) != sizeof bytes) bytes[0] ^= 1;
        std::fclose(f);
    }
    char text[40];
    for (int i = 0; i < 16; ++i) std::snprintf(text + 2 * i, 3, "%02x", bytes[i]);
    return text;
}

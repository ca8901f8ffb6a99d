// run_command.h: runs a shell command to its end for a test, collecting
// what it wrote to stdout and stderr.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

// The command's exit status (-1 if it could not run or did not exit), and
// its output in `output`.
inline int runCommand(const std::string& command, std::string& output) {
    output.clear();
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// run_command.h: runs a shell command to its end for a test, collecting
// what it wrote to stdout and stderr; and a fresh folder of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// An empty folder under the temporary folder named after `name` and this
// process (two runs of the suite side by side never share one), removed
// when the process ends.
inline std::string freshFolder(const std::string& name) {
    static std::vector<std::string> made;
    if (made.empty())
        std::atexit([] {
            std::string ignored;
            for (const std::string& dir : made) runCommand("rm -rf '" + dir + "'", ignored);
        });
    const std::string dir =
        ::testing::TempDir() + name + "-" + std::to_string(long(::getpid()));
    std::string ignored;
    runCommand("rm -rf '" + dir + "' && mkdir -p '" + dir + "'", ignored);
    made.push_back(dir);
    return dir;
}

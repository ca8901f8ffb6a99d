// process.h: the farm's programs and files: running a program to its end
// (no shell between), starting one in a process group of its own, and whole
// files read and written atomically.
//
// Limits: POSIX only.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// The full path of an executable `name` on PATH, or `name` itself when it
// holds a slash and is executable; empty if there is none.
std::string findProgram(const std::string& name);

// Runs argv[0] (a path or a name on PATH) to its end with standard input
// from /dev/null; its standard output in *out, its standard error in *err
// (either may be null: then it is dropped). The exit status, 128 + the
// signal's number when a signal ended it, -1 when it could not start.
int runProgram(const std::vector<std::string>& argv, std::string* out, std::string* err);

// Starts argv in a process group of its own, its output into `log` (or
// /dev/null when empty). The process id, -1 when it could not start.
pid_t startGroup(const std::vector<std::string>& argv, const std::string& log);

// Whole files: false (with one line in *why where given) when they fail.
bool readText(const std::string& path, std::string* text);
// Written under PATH.tmp, synced and renamed over PATH.
bool writeTextAtomic(const std::string& path, const std::string& text, std::string* why);
bool makeFolder(const std::string& path, std::string* why);
// -1 when there is no such file.
std::int64_t fileBytes(const std::string& path);
bool isFolder(const std::string& path);
// An absolute path for a relative one, from the current folder.
std::string absolutePath(const std::string& path);
// Sixteen random bytes in hexadecimal.
std::string randomToken();

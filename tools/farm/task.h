// task.h: the script every task of a farm capture runs, and the names of
// what it writes in the work folder.
//
// Both schedulers run the same script, `sh WORK/task.sh ROUND [PART]` (on
// Slurm PART is the array task's id). It first reads the marker the
// submitting side wrote and exits with status 97 if it is not there (the
// folder is not shared with the node: the task cannot record anything
// then, and the scheduler's exit code says why); then writes its start
// record (host, time), checks that ostrel-capture is on the node (98 and an
// end record saying so if not), runs it for the part's frames, picture only,
// into parts/part-NNN.mkv with its output in logs/, and writes its end
// record with ostrel-capture's exit status. Records are written under a
// temporary name and renamed, so a record that is there is whole.
#pragma once

#include <string>

#include "tools/farm/manifest.h"

inline constexpr int markerMissingStatus = 97;
inline constexpr int captureMissingStatus = 98;

std::string partName(int index);  // "part-007"
std::string partFile(const std::string& work, int index);
std::string recordFile(const std::string& work, int index, int round, const char* which);
std::string logFile(const std::string& work, int index, int round);

// The script's text for the folder's settings; `work` and `capture` absolute.
std::string taskScript(const Manifest& m, const std::string& work, const std::string& token);

// A word quoted for sh.
std::string shellQuote(const std::string& word);

// task.cpp: the task script's text and the work folder's file names.
#include "tools/farm/task.h"

#include <cstdio>

std::string partName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "part-%03d", index);
    return name;
}

std::string partFile(const std::string& work, int index) {
    return work + "/parts/" + partName(index) + ".mkv";
}

std::string recordFile(const std::string& work, int index, int round, const char* which) {
    return work + "/records/" + partName(index) + ".r" + std::to_string(round) + "." + which;
}

std::string logFile(const std::string& work, int index, int round) {
    return work + "/logs/" + partName(index) + ".r" + std::to_string(round) + ".log";
}

std::string shellQuote(const std::string& word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string taskScript(const Manifest& m, const std::string& work, const std::string& token) {
    const FarmSettings& s = m.settings;
    std::string t;
    t += "#!/bin/sh\n"
         "# One part of an ostrel-farm capture, written by ostrel-farm run.\n"
         "#   sh task.sh ROUND [PART]    (PART: the Slurm array task's id when not given)\n";
    t += "work=" + shellQuote(work) + "\n";
    t += "capture=" + shellQuote(m.capture) + "\n";
    t += "round=\"$1\"\npart=\"${2:-$SLURM_ARRAY_TASK_ID}\"\nhost=$(hostname)\n";
    t += "if [ \"$(cat \"$work/marker\" 2>/dev/null)\" != " + shellQuote(token) + " ]; then\n"
         "  echo \"ostrel-farm task: the work folder $work on $host is not the one submitted "
         "from (no marker)\" >&2\n"
         "  exit " + std::to_string(markerMissingStatus) + "\nfi\n";
    t += "name=$(printf part-%03d \"$part\")\n"
         "record=\"$work/records/$name.r$round\"\n";
    t += "first=$((" + std::to_string(s.first) + " + part * " + std::to_string(s.perPart) +
         "))\nlast=$((first + " + std::to_string(s.perPart - 1) + "))\n";
    t += "[ \"$last\" -le " + std::to_string(s.last) + " ] || last=" + std::to_string(s.last) +
         "\n";
    t += "printf 'host %s\\nstart %s\\n' \"$host\" \"$(date +%s)\" > \"$record.start.tmp\" &&\n"
         "  mv \"$record.start.tmp\" \"$record.start\"\n";
    t += "if [ ! -x \"$capture\" ]; then\n"
         "  printf 'status " + std::to_string(captureMissingStatus) +
         "\\nend %s\\nerror ostrel-capture is not on %s at %s\\n' \"$(date +%s)\" \"$host\" "
         "\"$capture\" > \"$record.end.tmp\"\n"
         "  mv \"$record.end.tmp\" \"$record.end\"\n"
         "  exit " + std::to_string(captureMissingStatus) + "\nfi\n";
    t += "\"$capture\" -o \"$work/parts/$name.mkv\" --no-sound --size " +
         std::to_string(s.width) + "x" + std::to_string(s.height) + " --fps " +
         std::to_string(s.fps) + " --scale " + s.scale + " --quality " +
         std::to_string(s.quality) +
         " --frames \"$first-$last\" > \"$work/logs/$name.r$round.log\" 2>&1\n";
    t += "status=$?\n"
         "printf 'status %s\\nend %s\\n' \"$status\" \"$(date +%s)\" > \"$record.end.tmp\" &&\n"
         "  mv \"$record.end.tmp\" \"$record.end\"\n"
         "exit \"$status\"\n";
    return t;
}

// scheduler.h: where the farm's tasks run, behind one small interface.
//
//   slurm   one job array a submission (`sbatch --array`), one array task a
//           part; followed with `squeue`, ended with `scancel`, and a task's
//           exit code from `scontrol` while Slurm still remembers it
//   local   tasks on this machine, --jobs at a time, each in a process group
//           of its own
//
// Either runs `sh WORK/task.sh ROUND [PART]`; what a task did is read from
// its records (tools/farm/task.h), not from the scheduler, which forgets.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/farm/manifest.h"

class Scheduler {
public:
    virtual ~Scheduler() = default;
    // What can be checked before submitting (the commands are there).
    virtual bool check(std::string* why) = 0;
    // Submits the parts' tasks as one round; *job: the scheduler's id.
    virtual bool submit(const std::string& work, const std::vector<int>& parts, int round,
                        std::string* job, std::string* why) = 0;
    // Whether each of the parts is still queued or running in the scheduler;
    // false when the scheduler cannot say now.
    virtual bool active(const std::vector<const FarmPart*>& parts, std::vector<bool>& alive,
                        std::string* why) = 0;
    // A part's task's exit status once it has ended, -1 when unknown.
    virtual int exitStatus(const FarmPart& part) = 0;
    // Ends the jobs' tasks and waits (a while) until none runs.
    virtual void cancel(const std::vector<std::string>& jobs) = 0;
};

struct SlurmOptions {
    std::string partition;
    int jobs = 0;  // tasks at once; 0: as many as Slurm gives
    std::vector<std::string> extra;  // more sbatch options
};

std::unique_ptr<Scheduler> slurmScheduler(const SlurmOptions& options);
std::unique_ptr<Scheduler> localScheduler(int jobs);

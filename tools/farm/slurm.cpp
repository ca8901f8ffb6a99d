// slurm.cpp: the farm's tasks as Slurm job arrays.
#include <unistd.h>

#include <set>
#include <sstream>

#include "tools/farm/process.h"
#include "tools/farm/scheduler.h"

namespace {

std::string trimmed(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \n\t"), b = s.find_last_not_of(" \n\t");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// Slurm's messages on one line.
std::string oneLine(const std::string& s) {
    std::string line = trimmed(s);
    for (std::size_t at; (at = line.find('\n')) != std::string::npos;) line.replace(at, 1, "; ");
    return line;
}

class Slurm : public Scheduler {
public:
    explicit Slurm(const SlurmOptions& o) : options_(o) {}

    bool check(std::string* why) override {
        for (const char* program : {"sbatch", "squeue", "scancel", "scontrol"})
            if (findProgram(program).empty()) {
                *why = std::string("--scheduler slurm needs Slurm's ") + program +
                       ", which is not on PATH (Debian: apt-get install slurm-client; or use "
                       "--scheduler local)";
                return false;
            }
        return true;
    }

    bool submit(const std::string& work, const std::vector<int>& parts, int round,
                std::string* job, std::string* why) override {
        std::string list;
        for (int p : parts) list += (list.empty() ? "" : ",") + std::to_string(p);
        if (options_.jobs > 0) list += "%" + std::to_string(options_.jobs);
        // The task's output goes nowhere: on a node that cannot see the work
        // folder a path in it would fail the task before the script runs.
        std::vector<std::string> a = {"sbatch", "--parsable", "--job-name=ostrel-farm",
                                      "--output=/dev/null", "--array=" + list};
        if (!options_.partition.empty()) a.push_back("--partition=" + options_.partition);
        a.insert(a.end(), options_.extra.begin(), options_.extra.end());
        a.insert(a.end(), {work + "/task.sh", std::to_string(round)});
        std::string out, err;
        const int status = runProgram(a, &out, &err);
        out = trimmed(out);
        if (status != 0 || out.empty()) {
            *why = "sbatch refused the job (status " + std::to_string(status) + "): " +
                   oneLine(err);
            return false;
        }
        *job = out.substr(0, out.find(';'));  // "ID" or "ID;CLUSTER"
        return true;
    }

    bool active(const std::vector<const FarmPart*>& parts, std::vector<bool>& alive,
                std::string* why) override {
        std::set<std::string> jobs;
        for (const FarmPart* p : parts) jobs.insert(p->job);
        std::string ids;
        for (const std::string& j : jobs) ids += (ids.empty() ? "" : ",") + j;
        std::set<std::string> listed;  // "JOB_TASK"
        if (!ids.empty()) {
            std::string out, err;
            const int status =
                runProgram({"squeue", "-h", "-r", "-j", ids, "-o", "%i"}, &out, &err);
            // A job Slurm has forgotten is a job with no task left.
            if (status != 0 && err.find("Invalid job id") == std::string::npos) {
                *why = "squeue cannot say which tasks run: " + oneLine(err);
                return false;
            }
            std::istringstream in(out);
            std::string line;
            while (std::getline(in, line)) listed.insert(trimmed(line));
        }
        alive.assign(parts.size(), false);
        for (std::size_t i = 0; i < parts.size(); ++i)
            alive[i] = listed.count(parts[i]->job + "_" + std::to_string(parts[i]->index)) > 0;
        return true;
    }

    int exitStatus(const FarmPart& part) override {
        std::string out;
        if (runProgram({"scontrol", "-o", "show", "job",
                        part.job + "_" + std::to_string(part.index)},
                       &out, nullptr) != 0)
            return -1;
        const std::size_t at = out.find(" ExitCode=");
        if (at == std::string::npos) return -1;
        // "ExitCode=STATUS:SIGNAL": a task ended by a signal shows 128 + its number.
        const int status = std::atoi(out.c_str() + at + 10);
        const std::size_t colon = out.find(':', at);
        const int signal = colon != std::string::npos ? std::atoi(out.c_str() + colon + 1) : 0;
        return signal > 0 ? 128 + signal : status;
    }

    void cancel(const std::vector<std::string>& jobs) override {
        if (jobs.empty()) return;
        std::vector<std::string> a = {"scancel"};
        a.insert(a.end(), jobs.begin(), jobs.end());
        runProgram(a, nullptr, nullptr);
        std::string ids;
        for (const std::string& j : jobs) ids += (ids.empty() ? "" : ",") + j;
        for (int i = 0; i < 120; ++i) {
            std::string out, err;
            const int status = runProgram({"squeue", "-h", "-r", "-j", ids, "-o", "%i"}, &out, &err);
            if (status != 0 ? err.find("Invalid job id") != std::string::npos : trimmed(out).empty())
                return;
            usleep(250000);
        }
    }

private:
    SlurmOptions options_;
};

}  // namespace

std::unique_ptr<Scheduler> slurmScheduler(const SlurmOptions& options) {
    return std::make_unique<Slurm>(options);
}

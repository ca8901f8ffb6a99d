// local.cpp: the farm's tasks on this machine, a few at a time.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <map>

#include "tools/farm/process.h"
#include "tools/farm/scheduler.h"
#include "tools/farm/task.h"

namespace {

struct Queued {
    std::string work;
    int part, round;
};

class Local : public Scheduler {
public:
    explicit Local(int jobs) : jobs_(jobs < 1 ? 1 : jobs) {}
    ~Local() override { cancel({}); }

    bool check(std::string* why) override {
        if (!findProgram("sh").empty()) return true;
        *why = "--scheduler local needs sh on PATH";
        return false;
    }

    bool submit(const std::string& work, const std::vector<int>& parts, int round,
                std::string* job, std::string* why) override {
        for (int p : parts) queue_.push_back({work, p, round});
        *job = "local-" + std::to_string(round);
        (void)why;
        return true;
    }

    bool active(const std::vector<const FarmPart*>& parts, std::vector<bool>& alive,
                std::string* why) override {
        reap();
        while (int(running_.size()) < jobs_ && !queue_.empty()) {
            const Queued q = queue_.front();
            queue_.pop_front();
            const pid_t pid = startGroup(
                {"sh", q.work + "/task.sh", std::to_string(q.round), std::to_string(q.part)},
                q.work + "/logs/" + partName(q.part) + ".r" + std::to_string(q.round) + ".task");
            if (pid < 0) {
                *why = "cannot start a task: sh does not run";
                return false;
            }
            running_[pid] = key(q.part, q.round);
        }
        alive.assign(parts.size(), false);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const std::string k = key(parts[i]->index, parts[i]->round);
            for (const auto& r : running_) alive[i] = alive[i] || r.second == k;
            for (const Queued& q : queue_) alive[i] = alive[i] || key(q.part, q.round) == k;
        }
        return true;
    }

    int exitStatus(const FarmPart& part) override {
        const auto it = ended_.find(key(part.index, part.round));
        return it == ended_.end() ? -1 : it->second;
    }

    void cancel(const std::vector<std::string>&) override {
        queue_.clear();
        for (const auto& r : running_) kill(-r.first, SIGTERM);
        for (int i = 0; i < 100 && !running_.empty(); ++i) {
            usleep(100000);
            reap();
        }
        for (const auto& r : running_) kill(-r.first, SIGKILL);
        while (!running_.empty()) {
            usleep(50000);
            reap();
        }
    }

private:
    static std::string key(int part, int round) {
        return std::to_string(part) + "." + std::to_string(round);
    }

    void reap() {
        for (auto it = running_.begin(); it != running_.end();) {
            int status = 0;
            const pid_t pid = waitpid(it->first, &status, WNOHANG);
            if (pid == 0) {
                ++it;
                continue;
            }
            ended_[it->second] = pid < 0               ? -1
                                 : WIFEXITED(status)   ? WEXITSTATUS(status)
                                 : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                                       : -1;
            // What the task started and left behind in its group goes too.
            kill(-it->first, SIGKILL);
            it = running_.erase(it);
        }
    }

    int jobs_;
    std::deque<Queued> queue_;
    std::map<pid_t, std::string> running_;
    std::map<std::string, int> ended_;
};

}  // namespace

std::unique_ptr<Scheduler> localScheduler(int jobs) { return std::make_unique<Local>(jobs); }

#pragma once
// Every process that an installer started, held so that none escapes: one
// that leaves its session (setsid) or forks twice is still found, ended and
// waited for. Where a cgroup v2 group can be made below this process's own,
// the installer runs in it, and all it starts is born into it; a guardian
// process ends the group if quorvel-cli itself is killed. Otherwise this
// process is the subreaper of what the installer starts, and its processes
// are those whose line of parents leads back here.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace qv::cli {

enum class Tracking { Cgroup, Descendants };

struct RunningProcess {
    pid_t pid = 0;
    std::string name;  // the command name the kernel keeps for it
};

class InstallerProcesses {
public:
    // With `tryCgroup` false the descendants are tracked even where a cgroup
    // could be made.
    explicit InstallerProcesses(bool tryCgroup = true);
    ~InstallerProcesses();
    InstallerProcesses(const InstallerProcesses&) = delete;
    InstallerProcesses& operator=(const InstallerProcesses&) = delete;

    Tracking tracking() const { return cgroup_.empty() ? Tracking::Descendants : Tracking::Cgroup; }

    // Takes in the installer's first process, before it runs the installer,
    // so that everything it starts is held too. Where it cannot be moved into
    // the group, the descendants are tracked instead.
    void adopt(pid_t installer);

    // The processes that still run; one that has ended and waits to be
    // reaped has ended.
    std::vector<RunningProcess> running() const;

    // Kills them all and waits, at most `patience`, until none runs; what
    // still runs then.
    std::vector<RunningProcess> endAll(std::chrono::milliseconds patience);

    // Reaps the processes of ours that have ended (the installer's orphans
    // come to this process, as their subreaper).
    static void reapEnded();

private:
    void startGuardian();
    void killOnce() const;

    std::string cgroup_;  // the group's folder; "" when descendants are tracked
    pid_t guardian_ = 0;
    int guardianPipe_ = -1;
};

// What ending an installer's processes came to, as one line: `head`, then
// `ended` where none runs any more, otherwise the ones that still run.
std::string endingTold(const std::string& head, const std::string& ended, const std::vector<RunningProcess>& left);

}  // namespace qv::cli

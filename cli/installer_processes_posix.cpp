#include "cli/installer_processes_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <unordered_map>

namespace qv::cli {
namespace {

// The state and parent of a process from /proc/<pid>/stat; false when it is
// gone. The name stands in parentheses and may hold any character, so the
// fields are read after its last ')'.
bool readStat(pid_t pid, char& state, pid_t& parent, std::string* name = nullptr) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(in, text)) return false;
    const size_t open = text.find('('), close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 4 > text.size()) return false;
    if (name) *name = text.substr(open + 1, close - open - 1);
    std::istringstream rest(text.substr(close + 2));
    long ppid = 0;
    if (!(rest >> state >> ppid)) return false;
    parent = static_cast<pid_t>(ppid);
    return true;
}

bool hasEnded(char state) {
    return state == 'Z' || state == 'X' || state == 'x';
}

std::vector<pid_t> numberedEntries(const char* folder) {
    std::vector<pid_t> pids;
    DIR* dir = opendir(folder);
    if (!dir) return pids;
    while (const dirent* e = readdir(dir)) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (pid > 0 && end && *end == '\0') pids.push_back(static_cast<pid_t>(pid));
    }
    closedir(dir);
    return pids;
}

std::vector<pid_t> cgroupMembers(const std::string& cgroup) {
    std::vector<pid_t> pids;
    std::ifstream in(cgroup + "/cgroup.procs");
    long pid = 0;
    while (in >> pid) pids.push_back(static_cast<pid_t>(pid));
    return pids;
}

// This process's own cgroup v2 folder: where the unified hierarchy is
// mounted (/sys/fs/cgroup, or /sys/fs/cgroup/unified beside the old
// hierarchies) joined with the path /proc/self/cgroup gives on its "0::" line.
std::string ownCgroup() {
    std::ifstream groups("/proc/self/cgroup");
    std::string line, path;
    while (std::getline(groups, line))
        if (line.starts_with("0::")) path = line.substr(3);
    if (path.empty() || path.find("(deleted)") != std::string::npos) return {};
    std::ifstream mounts("/proc/self/mountinfo");
    while (std::getline(mounts, line)) {
        // "36 25 0:30 <root> <mount point> <options> [optional fields] - cgroup2 ..."
        const size_t dash = line.find(" - ");
        if (dash == std::string::npos || line.compare(dash + 3, 8, "cgroup2 ") != 0) continue;
        std::istringstream fields(line.substr(0, dash));
        std::string id, parent, device, root, point;
        if (!(fields >> id >> parent >> device >> root >> point)) continue;
        if (root != "/" && !(path.starts_with(root) && (path.size() == root.size() || path[root.size()] == '/')))
            continue;
        const std::string below = root == "/" ? path : path.substr(root.size());
        return point + (below == "/" ? "" : below);
    }
    return {};
}

bool writeText(const std::string& file, const std::string& text) {
    const int fd = open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok;
}

// The guardian's work once quorvel-cli has gone: only calls that take no
// lock, as it was forked from a process that may have other threads.
[[noreturn]] void guard(int quit, const char* kill, const char* procs, const char* folder) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) sigaction(s, &ignore, nullptr);
    // Nothing of quorvel-cli's is held open here: a reader of its output
    // must see the end of it when quorvel-cli ends.
    for (int fd = 0; fd < 1024; ++fd)
        if (fd != quit) close(fd);
    char byte;
    while (read(quit, &byte, 1) < 0 && errno == EINTR) {
    }
    for (int round = 0; round < 100; ++round) {
        bool any = false;
        const int k = open(kill, O_WRONLY | O_CLOEXEC);
        if (k >= 0) {
            (void)!write(k, "1", 1);
            close(k);
        }
        // Without cgroup.kill (kernels before 5.14), each member in turn.
        const int p = open(procs, O_RDONLY | O_CLOEXEC);
        if (p < 0) break;
        char buffer[4096];
        long pid = 0;
        bool digits = false;
        ssize_t got;
        while ((got = read(p, buffer, sizeof buffer)) > 0) {
            for (ssize_t i = 0; i < got; ++i) {
                if (buffer[i] >= '0' && buffer[i] <= '9') {
                    pid = pid * 10 + (buffer[i] - '0');
                    digits = true;
                } else if (digits) {
                    ::kill(static_cast<pid_t>(pid), SIGKILL);
                    any = true;
                    pid = 0;
                    digits = false;
                }
            }
        }
        close(p);
        if (!any) break;
        const timespec pause{0, 50'000'000};
        nanosleep(&pause, nullptr);
    }
    rmdir(folder);
    _exit(0);
}

std::atomic<unsigned> groupsMade{0};

}  // namespace

InstallerProcesses::InstallerProcesses(bool tryCgroup) {
    // Orphans of the installer come to this process instead of to init, so
    // that they stay found and are reaped here.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    if (!tryCgroup) return;
    const std::string own = ownCgroup();
    if (own.empty()) return;
    const std::string folder =
        own + "/quorvel-watch-" + std::to_string(getpid()) + "-" + std::to_string(groupsMade.fetch_add(1));
    if (mkdir(folder.c_str(), 0755) != 0) return;
    if (access((folder + "/cgroup.procs").c_str(), W_OK) != 0) {
        rmdir(folder.c_str());
        return;
    }
    cgroup_ = folder;
    startGuardian();
}

void InstallerProcesses::startGuardian() {
    int quit[2];
    if (pipe2(quit, O_CLOEXEC) != 0) return;
    const std::string kill = cgroup_ + "/cgroup.kill", procs = cgroup_ + "/cgroup.procs";
    const pid_t guardian = fork();
    if (guardian == 0) guard(quit[0], kill.c_str(), procs.c_str(), cgroup_.c_str());
    close(quit[0]);
    if (guardian < 0) {
        close(quit[1]);
        return;
    }
    guardian_ = guardian;
    guardianPipe_ = quit[1];
}

InstallerProcesses::~InstallerProcesses() {
    if (guardianPipe_ >= 0) close(guardianPipe_);
    if (guardian_ > 0) waitpid(guardian_, nullptr, 0);
    if (!cgroup_.empty()) rmdir(cgroup_.c_str());
}

void InstallerProcesses::adopt(pid_t installer) {
    if (cgroup_.empty() || writeText(cgroup_ + "/cgroup.procs", std::to_string(installer))) return;
    // The group cannot hold it: no process runs in the group, which is given up.
    if (guardianPipe_ >= 0) close(guardianPipe_);
    guardianPipe_ = -1;
    if (guardian_ > 0) waitpid(guardian_, nullptr, 0);
    guardian_ = 0;
    rmdir(cgroup_.c_str());
    cgroup_.clear();
}

std::vector<RunningProcess> InstallerProcesses::running() const {
    std::vector<RunningProcess> found;
    char state = 0;
    pid_t parent = 0;
    std::string name;
    if (!cgroup_.empty()) {
        for (pid_t pid : cgroupMembers(cgroup_))
            if (readStat(pid, state, parent, &name) && !hasEnded(state)) found.push_back({pid, name});
        return found;
    }
    // Every process's parent, then each line of parents followed up to here.
    // A process that has ended still links its children to their line until
    // they are handed on, so it stays in the map, though it does not run.
    std::unordered_map<pid_t, pid_t> parents;
    std::unordered_map<pid_t, std::string> names;
    const pid_t self = getpid();
    for (pid_t pid : numberedEntries("/proc")) {
        if (pid == self || !readStat(pid, state, parent, &name)) continue;
        parents[pid] = parent;
        if (!hasEnded(state)) names[pid] = name;
    }
    for (const auto& [pid, processName] : names) {
        pid_t at = pid;
        for (size_t hops = 0; hops <= parents.size(); ++hops) {
            const pid_t up = parents[at];
            if (up == self) {
                found.push_back({pid, processName});
                break;
            }
            if (up <= 1) break;
            if (parents.count(up)) {
                at = up;
                continue;
            }
            // The parent went while the list was read, and its children came
            // to its own subreaper (this process, where they are ours): the
            // parent is asked for again.
            pid_t now = 0;
            if (!readStat(at, state, now) || now == up) break;
            parents[at] = now;
        }
    }
    return found;
}

void InstallerProcesses::killOnce() const {
    if (!cgroup_.empty() && writeText(cgroup_ + "/cgroup.kill", "1")) return;
    for (const RunningProcess& p : running()) kill(p.pid, SIGKILL);
}

std::vector<RunningProcess> InstallerProcesses::endAll(std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        killOnce();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        reapEnded();
        std::vector<RunningProcess> left = running();
        if (left.empty() || std::chrono::steady_clock::now() >= deadline) return left;
    }
}

void InstallerProcesses::reapEnded() {
    for (;;) {
        const pid_t reaped = waitpid(-1, nullptr, WNOHANG);
        if (reaped > 0 || (reaped < 0 && errno == EINTR)) continue;
        return;
    }
}

std::string endingTold(const std::string& head, const std::string& ended, const std::vector<RunningProcess>& left) {
    if (left.empty()) return head + ended;
    std::string line = head + "; they were killed, but these still run:";
    for (size_t i = 0; i < left.size(); ++i)
        line += (i ? ", " : " ") + std::to_string(left[i].pid) + " (" + left[i].name + ")";
    return line;
}

}  // namespace qv::cli

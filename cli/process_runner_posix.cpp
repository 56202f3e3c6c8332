#include "cli/process_runner_posix.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "cli/wine_prefix_posix.h"
#include "core/failure.h"

namespace qv::cli {
namespace {

std::atomic<pid_t> runningGroup{0};

bool timedOut(std::chrono::steady_clock::time_point deadline, uint32_t timeoutSeconds) {
    return timeoutSeconds != 0 && std::chrono::steady_clock::now() >= deadline;
}

}  // namespace

void endRunningGroup() {
    const pid_t group = runningGroup.load();
    if (group > 0) kill(-group, SIGKILL);
}

uint32_t WineProcessRunner::run(const std::vector<std::string>& command, uint32_t timeoutSeconds) {
    std::vector<char*> argv;
    for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    check(child >= 0, 7, "Out of memory");
    if (child == 0) {
        // A group of its own, so that an interrupt ends what it started too.
        setpgid(0, 0);
        setenv("WINEPREFIX", prefix_.c_str(), 1);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    setpgid(child, child);
    runningGroup = child;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(child, &status, timeoutSeconds ? WNOHANG : 0);
        if (done == child) break;
        if (done < 0 && errno != EINTR) break;
        if (timedOut(deadline, timeoutSeconds)) {
            endRunningGroup();
            waitpid(child, &status, 0);
            runningGroup = 0;
            fail(75, command.front() + " did not end within " + std::to_string(timeoutSeconds) + " seconds and was ended");
        }
        if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    runningGroup = 0;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) fail(53, "cannot run " + command.front());
    // wineserver writes the registry files when its last client has gone.
    while (runningWineServer(prefix_)) {
        if (timedOut(deadline, timeoutSeconds))
            fail(75, "the wineserver of " + prefix_ + " did not end within " + std::to_string(timeoutSeconds) + " seconds");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (WIFEXITED(status)) return static_cast<uint32_t>(WEXITSTATUS(status));
    return 128u + static_cast<uint32_t>(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace qv::cli

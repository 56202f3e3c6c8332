#include "cli/process_runner_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "cli/wine_prefix_posix.h"
#include "core/failure.h"

namespace qv::cli {
namespace {

std::atomic<pid_t> runningGroup{0};

bool timedOut(std::chrono::steady_clock::time_point deadline, uint32_t timeoutSeconds) {
    return timeoutSeconds != 0 && std::chrono::steady_clock::now() >= deadline;
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

}  // namespace

std::vector<std::string> wineCommand(const std::vector<std::string>& command, const std::string& wine) {
    if (command.empty()) return command;
    const std::string& first = command.front();
    const size_t slash = first.find_last_of("/\\");
    const std::string name = lowerCase(first.substr(slash == std::string::npos ? 0 : slash + 1));
    const size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    std::vector<std::string> run{wine};
    if (extension == ".msi") {
        run.insert(run.end(), {"msiexec", "/i"});
    } else if (extension == ".bat" || extension == ".cmd") {
        run.insert(run.end(), {"cmd", "/c"});
    } else if (extension != ".exe") {
        return command;
    }
    run.insert(run.end(), command.begin(), command.end());
    return run;
}

void endRunningGroup() {
    const pid_t group = runningGroup.load();
    if (group > 0) kill(-group, SIGKILL);
}

uint32_t WineProcessRunner::run(const std::vector<std::string>& given, uint32_t timeoutSeconds) {
    // $WINE names another Wine (Proton's, say), as winetricks takes it.
    const char* wine = std::getenv("WINE");
    const std::vector<std::string> command = wineCommand(given, wine && *wine ? wine : "wine");
    std::vector<char*> argv;
    for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    // The environment is made before the fork: between fork and exec the
    // child may only make calls that take no lock, as helper threads of this
    // process may hold one.
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "WINEPREFIX=", 11) != 0) environment.emplace_back(*e);
    environment.push_back("WINEPREFIX=" + prefix_);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    // The child tells a failed start through a pipe that a successful exec
    // closes, so that any exit code, 127 too, is the installer's own.
    int started[2];
    if (pipe2(started, O_CLOEXEC) != 0) fail(75, "cannot run " + command.front() + ": " + std::strerror(errno));
    const pid_t child = fork();
    if (child < 0) {
        const int why = errno;
        close(started[0]);
        close(started[1]);
        fail(75, "cannot run " + command.front() + ": " + std::strerror(why));
    }
    if (child == 0) {
        // A group of its own, so that an interrupt ends what it started too.
        setpgid(0, 0);
        // The installer gets the broken-pipe signal as programs expect it.
        signal(SIGPIPE, SIG_DFL);
        // Standard output carries the results: the installer's own output
        // goes to standard error.
        dup2(STDERR_FILENO, STDOUT_FILENO);
        execvpe(argv[0], argv.data(), envp.data());
        const int why = errno;
        (void)!::write(started[1], &why, sizeof why);
        _exit(127);
    }
    // Set here as well as in the child, so that an interrupt from now on
    // finds the group whichever of the two ran first.
    setpgid(child, child);
    runningGroup = child;
    close(started[1]);
    int why = 0;
    ssize_t told = 0;
    do {
        told = read(started[0], &why, sizeof why);
    } while (told < 0 && errno == EINTR);
    close(started[0]);
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
    if (told > 0) {
        runningGroup = 0;
        fail(53, "cannot run " + command.front() + ": " + std::strerror(why));
    }
    // What the installer started in the background is part of the install:
    // the final snapshot waits until the last process it started is gone,
    // also one that left its group. As their subreaper this process inherits
    // them when their parents end, and reaps them as they end.
    for (;;) {
        int ended = 0;
        const pid_t reaped = waitpid(-1, &ended, WNOHANG);
        if (reaped > 0) continue;
        if (reaped < 0 && errno == EINTR) continue;
        if (reaped < 0) break;  // no child left
        if (timedOut(deadline, timeoutSeconds)) {
            endRunningGroup();
            runningGroup = 0;
            fail(75, "the processes that " + command.front() + " started did not end within " +
                         std::to_string(timeoutSeconds) + " seconds and were ended");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    runningGroup = 0;
    // wineserver writes the registry files when its last client has gone.
    while (registry_ && runningWineServer(prefix_)) {
        if (timedOut(deadline, timeoutSeconds))
            fail(75, "the wineserver of " + prefix_ + " did not end within " + std::to_string(timeoutSeconds) + " seconds");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (WIFEXITED(status)) return static_cast<uint32_t>(WEXITSTATUS(status));
    return 128u + static_cast<uint32_t>(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace qv::cli

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
#include <optional>
#include <thread>

#include "cli/commands.h"
#include "cli/wine_prefix_posix.h"
#include "core/failure.h"

namespace qv::cli {
namespace {

std::atomic<bool> installerRuns{false};
std::atomic<bool> interruptAsked{false};

// How long killed processes are given to be gone before those left are named.
constexpr std::chrono::milliseconds kEndingPatience{3000};

// The run's end where the user interrupted it: what became of the
// installer's processes is told, then the program ends as interrupted.
[[noreturn]] void endInterrupted(InstallerProcesses& processes) {
    const std::string line =
        "\nquorvel-cli: " +
        endingTold("interrupted", "; the installer and every process it started were ended",
                   processes.endAll(kEndingPatience)) +
        "\n";
    (void)!::write(STDERR_FILENO, line.data(), line.size());
    // The guardian removes the group once this process has gone.
    _exit(kInterrupted);
}

// Found through /proc, a process being handed on to this process as its
// parent ends may be missed by one reading; two readings agree that none runs.
bool noneRunsOnSecondLook(const InstallerProcesses& processes) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    InstallerProcesses::reapEnded();
    return processes.running().empty();
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

bool interruptInstaller() {
    if (!installerRuns.load()) return false;
    interruptAsked = true;
    return true;
}

uint32_t WineProcessRunner::run(const std::vector<std::string>& given, uint32_t timeoutSeconds) {
    const char* wine = std::getenv("WINE");
    const std::vector<std::string> command = wineCommand(given, wine && *wine ? wine : "wine");
    std::vector<char*> argv;
    for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
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
    InstallerProcesses processes(tryCgroup_);
    // The child tells a failed start through a pipe that a successful exec
    // closes, so that any exit code, 127 too, is the installer's own. It
    // waits on a second pipe until it is in its group, so that nothing it
    // starts is born outside.
    int started[2], go[2];
    if (pipe2(started, O_CLOEXEC) != 0) fail(75, "cannot run " + command.front() + ": " + std::strerror(errno));
    if (pipe2(go, O_CLOEXEC) != 0) {
        const int why = errno;
        close(started[0]);
        close(started[1]);
        fail(75, "cannot run " + command.front() + ": " + std::strerror(why));
    }
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        const int why = errno;
        for (int fd : {started[0], started[1], go[0], go[1]}) close(fd);
        fail(75, "cannot run " + command.front() + ": " + std::strerror(why));
    }
    if (child == 0) {
        // The installer dies with quorvel-cli, however that ends; if it has
        // already gone, the installer must not run at all.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        // A group of its own, so that the terminal's Ctrl+C reaches only
        // quorvel-cli, which ends the installer as it says.
        setpgid(0, 0);
        // The installer gets the broken-pipe signal as programs expect it.
        signal(SIGPIPE, SIG_DFL);
        close(go[1]);
        char byte;
        while (read(go[0], &byte, 1) < 0 && errno == EINTR) {
        }
        // Standard output carries the results: the installer's own output
        // goes to standard error.
        dup2(STDERR_FILENO, STDOUT_FILENO);
        execvpe(argv[0], argv.data(), envp.data());
        const int why = errno;
        (void)!::write(started[1], &why, sizeof why);
        _exit(127);
    }
    setpgid(child, child);
    processes.adopt(child);
    lastTracking_ = processes.tracking();
    installerRuns = true;
    interruptAsked = false;
    close(go[0]);
    close(go[1]);
    close(started[1]);
    int why = 0;
    ssize_t told = 0;
    do {
        told = read(started[0], &why, sizeof why);
    } while (told < 0 && errno == EINTR);
    close(started[0]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    const auto timedOut = [&] { return timeoutSeconds != 0 && std::chrono::steady_clock::now() >= deadline; };
    const auto giveUp = [&](const std::string& head, const std::string& ended) {
        const std::vector<RunningProcess> left = processes.endAll(kEndingPatience);
        installerRuns = false;
        fail(75, endingTold(head, ended, left));
    };
    const std::string seconds = std::to_string(timeoutSeconds) + " seconds";
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (done < 0 && errno != EINTR) break;
        if (interruptAsked) endInterrupted(processes);
        if (timedOut())
            giveUp(command.front() + " did not end within " + seconds, " and was ended, with every process it started");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (told > 0) {
        installerRuns = false;
        fail(53, "cannot run " + command.front() + ": " + std::strerror(why));
    }
    // What the installer started in the background is part of the install:
    // the final snapshot waits until the last process it started is gone.
    for (;;) {
        InstallerProcesses::reapEnded();
        if (processes.running().empty() && (processes.tracking() == Tracking::Cgroup || noneRunsOnSecondLook(processes)))
            break;
        if (interruptAsked) endInterrupted(processes);
        if (timedOut())
            giveUp("the processes that " + command.front() + " started did not end within " + seconds,
                   " and were ended");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    installerRuns = false;
    // wineserver writes the registry files when its last client has gone.
    while (registry_ && runningWineServer(prefix_)) {
        if (timedOut())
            fail(75, "the wineserver of " + prefix_ + " did not end within " + seconds);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (WIFEXITED(status)) return static_cast<uint32_t>(WEXITSTATUS(status));
    return 128u + static_cast<uint32_t>(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace qv::cli

#pragma once
// Runs the installer that `watch` watches in the prefix (WINEPREFIX set to
// it), then waits for the prefix's wineserver to end: only then are the
// registry files on the disk what the installer left.
#include <string>
#include <vector>

#include "cli/installer_processes_posix.h"
#include "cli/process_runner.h"

namespace qv::cli {

class WineProcessRunner : public ProcessRunner {
public:
    // `registry`: whether the final snapshot reads the registry files, which
    // are on the disk only once the wineserver has ended; files are there as
    // soon as the processes that wrote them have ended. With `tryCgroup`
    // false, the installer's processes are tracked as descendants even where
    // a cgroup could hold them.
    explicit WineProcessRunner(std::string prefix, bool registry = true, bool tryCgroup = true)
        : prefix_(std::move(prefix)), registry_(registry), tryCgroup_(tryCgroup) {}
    uint32_t run(const std::vector<std::string>& command, uint32_t timeoutSeconds) override;

    // How the last run held the installer's processes.
    Tracking lastTracking() const { return lastTracking_; }

private:
    std::string prefix_;
    bool registry_;
    bool tryCgroup_;
    Tracking lastTracking_ = Tracking::Descendants;
};

// The command as it runs: a first word naming a Windows program (.exe, .msi,
// .bat or .cmd, in any letter case) is handed to `wine`, as a user typing
// "watch -- setup.exe" means; anything else, "wine setup.exe" included, runs
// as it is.
std::vector<std::string> wineCommand(const std::vector<std::string>& command, const std::string& wine);

// For a signal handler: true when an installer runs, which is then ended, and
// the run ends the program with a line that says what became of its
// processes; false when none runs. Takes no lock.
bool interruptInstaller();

}  // namespace qv::cli

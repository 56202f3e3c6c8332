#pragma once
// Runs the installer that `watch` watches in the prefix (WINEPREFIX set to
// it), then waits for the prefix's wineserver to end: only then are the
// registry files on the disk what the installer left.
#include <string>

#include "cli/installer_processes_posix.h"
#include "cli/process_runner.h"

namespace qv::cli {

class WineProcessRunner : public ProcessRunner {
public:
    // With `tryCgroup` false, the installer's processes are tracked as
    // descendants even where a cgroup could hold them.
    explicit WineProcessRunner(std::string prefix, bool tryCgroup = true)
        : prefix_(std::move(prefix)), tryCgroup_(tryCgroup) {}
    uint32_t run(const std::vector<std::string>& command, uint32_t timeoutSeconds) override;

    // How the last run held the installer's processes.
    Tracking lastTracking() const { return lastTracking_; }

private:
    std::string prefix_;
    bool tryCgroup_;
    Tracking lastTracking_ = Tracking::Descendants;
};

// For a signal handler: true when an installer runs, which is then ended, and
// the run ends the program with a line that says what became of its
// processes; false when none runs. Takes no lock.
bool interruptInstaller();

}  // namespace qv::cli

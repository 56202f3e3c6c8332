#pragma once
// Runs the installer that `watch` watches in the prefix (WINEPREFIX set to
// it), then waits for the prefix's wineserver to end: only then are the
// registry files on the disk what the installer left.
#include <string>

#include "cli/process_runner.h"

namespace qv::cli {

class WineProcessRunner : public ProcessRunner {
public:
    // `registry`: whether the final snapshot reads the registry files, which
    // are on the disk only once the wineserver has ended; files are there as
    // soon as the processes that wrote them have ended.
    WineProcessRunner(std::string prefix, bool registry) : prefix_(std::move(prefix)), registry_(registry) {}
    uint32_t run(const std::vector<std::string>& command, uint32_t timeoutSeconds) override;

private:
    std::string prefix_;
    bool registry_;
};

// The command as it runs: a first word naming a Windows program (.exe, .msi,
// .bat or .cmd, in any letter case) is handed to `wine`, as a user typing
// "watch -- setup.exe" means; anything else, "wine setup.exe" included, runs
// as it is.
std::vector<std::string> wineCommand(const std::vector<std::string>& command, const std::string& wine);

// Ends the installer's process group, if one runs. Safe in a signal handler.
void endRunningGroup();

}  // namespace qv::cli

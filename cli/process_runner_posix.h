#pragma once
// Runs the installer that `watch` watches in the prefix (WINEPREFIX set to
// it), then waits for the prefix's wineserver to end: only then are the
// registry files on the disk what the installer left.
#include <string>

#include "cli/process_runner.h"

namespace qv::cli {

class WineProcessRunner : public ProcessRunner {
public:
    explicit WineProcessRunner(std::string prefix) : prefix_(std::move(prefix)) {}
    uint32_t run(const std::vector<std::string>& command, uint32_t timeoutSeconds) override;

private:
    std::string prefix_;
};

// Ends the installer's process group, if one runs. Safe in a signal handler.
void endRunningGroup();

}  // namespace qv::cli

#pragma once
// Runs the installer that `watch` watches, and waits for it and for every
// process it starts.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::cli {

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // The program and its arguments; returns the program's exit code once it
    // and all its descendants have ended. Throws a Failure, naming the program,
    // when it cannot start, and when `timeoutSeconds` (0: none) pass first, in
    // which case it and all its descendants are ended.
    virtual uint32_t run(const std::vector<std::string>& command, uint32_t timeoutSeconds) = 0;
};

// The command line that hands `command` to a program as these arguments, by the
// rules the C runtime's argument parser follows (quotes and backslashes).
std::string commandLine(const std::vector<std::string>& command);

}  // namespace qv::cli

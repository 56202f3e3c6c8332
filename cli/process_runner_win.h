#pragma once
// The installer in a job object, so that the wait covers every process it
// starts, however it starts them.
#include "cli/process_runner.h"

namespace qv::cli {

class JobProcessRunner : public ProcessRunner {
public:
    uint32_t run(const std::vector<std::string>& command, uint32_t timeoutSeconds) override;
};

// Ends the installer's job, if one runs, and every process in it. Safe to call
// from the console's control handler, on a thread of its own; a run that
// waits on that job then never returns, so the handler's exit code stands.
void endRunningJob();

}  // namespace qv::cli

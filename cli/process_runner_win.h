#pragma once
// The installer in a job object, so that the wait covers every process it
// starts, however it starts them.
#include "cli/process_runner.h"

namespace qv::cli {

class JobProcessRunner : public ProcessRunner {
public:
    uint32_t run(const std::vector<std::string>& command) override;
};

}  // namespace qv::cli

#pragma once
// Standard output and standard error of the process, as bytes; the progress
// line only where standard error is a terminal.
#include <cstdint>

#include "cli/console.h"

namespace qv::cli {

class PosixConsole : public Console {
public:
    PosixConsole();
    ~PosixConsole() override;

    bool write(std::string_view bytes) override;
    void line(std::string_view text) override;
    void progress(std::string_view text) override;
    bool showsProgress() const override { return errIsTerminal_; }

private:
    void clearProgress();

    bool errIsTerminal_;
    size_t shown_ = 0;
    int64_t lastProgress_ = 0;
};

}  // namespace qv::cli

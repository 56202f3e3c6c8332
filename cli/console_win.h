#pragma once
// Standard output and standard error of the process: UTF-16 to a console,
// the bytes themselves to a file or a pipe.
#include <windows.h>

#include <string>

#include "cli/console.h"

namespace qv::cli {

class Win32Console : public Console {
public:
    Win32Console();
    ~Win32Console() override;

    bool write(std::string_view bytes) override;
    void line(std::string_view text) override;
    void progress(std::string_view text) override;
    bool showsProgress() const override { return errIsConsole_; }

private:
    void clearProgress();

    HANDLE out_;
    HANDLE err_;
    bool outIsConsole_;
    bool errIsConsole_;
    size_t shown_ = 0;  // characters of the progress line on the screen
    ULONGLONG lastProgress_ = 0;
};

}  // namespace qv::cli

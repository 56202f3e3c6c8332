#pragma once
// The command line's two outputs and its progress line.
#include <string_view>

namespace qv::cli {

class Console {
public:
    virtual ~Console() = default;
    // Bytes to standard output, as they are; false when they could not all be
    // written (a full disk, a closed pipe).
    virtual bool write(std::string_view bytes) = 0;
    // One line to standard error.
    virtual void line(std::string_view text) = 0;
    // The one-line progress on standard error, replaced by each call and only
    // shown when standard error is a console; "" takes it away.
    virtual void progress(std::string_view text) = 0;
    // Whether progress() shows anything, so that callers can spare the work
    // of making its text.
    virtual bool showsProgress() const { return true; }
};

}  // namespace qv::cli

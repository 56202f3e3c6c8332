#pragma once
#include <string_view>

namespace qv {

class StatusSink {
public:
    virtual ~StatusSink() = default;
    // The status bar's one simple text. Called once per recorded entry, so an
    // implementation may defer the repaint to its next message pump.
    virtual void setStatus(std::string_view text) = 0;
};

}  // namespace qv

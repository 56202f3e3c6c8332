#pragma once
// Where a trapped run-time failure goes. The program's one reporter shows it in
// a box; the layers that fail only need to hand it over.
#include <cstdint>
#include <string_view>

namespace qv {

class ErrorSink {
public:
    virtual ~ErrorSink() = default;
    virtual void ReportError(int32_t errNumber, std::string_view errDescription, int32_t errLine) = 0;
};

}  // namespace qv

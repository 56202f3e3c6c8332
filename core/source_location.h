#pragma once
// Where a failure happened. std::source_location where the library has it; the
// compiler's own builtins where it does not (clang 14 over libstdc++ 12, which
// builds the fuzz targets), with the same two members the program reads.
#include <cstdint>
#include <version>

#if defined(__cpp_lib_source_location)
#include <source_location>
namespace qv {
using SourceLocation = std::source_location;
}  // namespace qv
#else
namespace qv {
class SourceLocation {
public:
    static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                            std::uint_least32_t line = __builtin_LINE()) noexcept {
        SourceLocation at;
        at.file_ = file;
        at.line_ = line;
        return at;
    }
    constexpr const char* file_name() const noexcept { return file_; }
    constexpr std::uint_least32_t line() const noexcept { return line_; }

private:
    const char* file_ = "";
    std::uint_least32_t line_ = 0;
};
}  // namespace qv
#endif

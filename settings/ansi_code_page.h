#pragma once
// The data files are 8-bit text in the system's ANSI code page. The program's
// text is UTF-8, so every read and write passes through one of these.
#include <optional>
#include <string>
#include <string_view>

namespace qv {

class AnsiCodePage {
public:
    virtual ~AnsiCodePage() = default;
    // The code page's bytes for `text`; nothing when a character has no exact
    // form there (no best-fit guesses: a changed path would be a wrong rule).
    virtual std::optional<std::string> fromUtf8(std::string_view text) const = 0;
    virtual std::string toUtf8(std::string_view bytes) const = 0;
};

// ISO 8859-1, whose bytes are the first 256 code points: the stand-in where
// the platform's code page is not at hand (native tests, fuzzing).
class Latin1CodePage : public AnsiCodePage {
public:
    std::optional<std::string> fromUtf8(std::string_view text) const override;
    std::string toUtf8(std::string_view bytes) const override;
};

}  // namespace qv

#include "cli/console_ui.h"


namespace qv::cli {

// The failure as the user can act on it; the program's own source text is for
// the window's error box, not for a script's log. A Windows error number is
// something a Windows user can look up; on Linux it means nothing, and the
// description carries the system's own reason as its text.
void ConsoleErrorSink::ReportError(int32_t errNumber, std::string_view errDescription, int32_t /*errLine*/) {
    ++failures_;
#ifdef _WIN32
    std::string text = "error " + std::to_string(errNumber) + ": ";
#else
    (void)errNumber;
    std::string text;
#endif
    text += errDescription;
    complain(console_, text);
}

void complain(Console& console, std::string_view text) {
    std::string line = "quorvel-cli: ";
    line += text;
    console.line(line);
}

}  // namespace qv::cli

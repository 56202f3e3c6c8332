#include "cli/console_ui.h"


namespace qv::cli {

// The failure as the user can act on it; the program's own source text is for
// the window's error box, not for a script's log.
void ConsoleErrorSink::ReportError(int32_t errNumber, std::string_view errDescription, int32_t /*errLine*/) {
    ++failures_;
    std::string text = "error " + std::to_string(errNumber) + ": ";
    text += errDescription;
    complain(console_, text);
}

void complain(Console& console, std::string_view text) {
    std::string line = "quorvel-cli: ";
    line += text;
    console.line(line);
}

}  // namespace qv::cli

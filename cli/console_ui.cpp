#include "cli/console_ui.h"

#include "core/statements.h"

namespace qv::cli {

void ConsoleErrorSink::ReportError(int32_t errNumber, std::string_view errDescription, int32_t errLine) {
    ++failures_;
    std::string text = "error " + std::to_string(errNumber) + ": ";
    text += errDescription;
    text += " (statement " + std::to_string(errLine);
    if (const std::string_view statement = statementText(errLine); !statement.empty()) {
        text += ": ";
        text += statement;
    }
    text += ')';
    complain(console_, text);
}

void complain(Console& console, std::string_view text) {
    std::string line = "quorvel-cli: ";
    line += text;
    console.line(line);
}

}  // namespace qv::cli

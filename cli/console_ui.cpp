#include "cli/console_ui.h"

#include <cstdio>

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

void ConsoleView::startCounting() {
    entries_ = 0;
    started_ = std::chrono::steady_clock::now();
    drawn_ = {};
}

void ConsoleView::setStatus(std::string_view text) {
    if (text.empty()) {
        console_.progress(text);
        return;
    }
    ++entries_;
    if (!console_.showsProgress()) return;
    // A walk reports every entry; the line is made anew ten times a second.
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ != std::chrono::steady_clock::time_point{} && now - drawn_ < std::chrono::milliseconds(100))
        return;
    drawn_ = now;
    console_.progress(progressLine(entries_, std::chrono::duration<double>(now - started_).count(), text));
}

std::string groupedNumber(uint64_t n) {
    std::string digits = std::to_string(n);
    for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
    return digits;
}

std::string progressLine(uint64_t entries, double seconds, std::string_view status) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", seconds);
    std::string line = groupedNumber(entries);
    line += entries == 1 ? " entry, " : " entries, ";
    line += time;
    line += " | ";
    line += status;
    return line;
}

void complain(Console& console, std::string_view text) {
    std::string line = "quorvel-cli: ";
    line += text;
    console.line(line);
}

}  // namespace qv::cli

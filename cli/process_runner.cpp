#include "cli/process_runner.h"

namespace qv::cli {
namespace {

// One argument: as it is when it needs no quotes; otherwise in quotes, with
// the backslashes before a quote (and before the closing quote) doubled and
// each quote escaped.
void appendArgument(std::string& out, std::string_view arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string_view::npos) {
        out += arg;
        return;
    }
    out += '"';
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    out += '"';
}

}  // namespace

std::string commandLine(const std::vector<std::string>& command) {
    std::string out;
    for (const std::string& arg : command) {
        if (!out.empty()) out += ' ';
        appendArgument(out, arg);
    }
    return out;
}

}  // namespace qv::cli

#include "core/statements.h"

#include "statement_table.inc"

namespace qv {
namespace {

bool endsWithPath(std::string_view full, std::string_view tail) {
    if (full.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        char a = full[full.size() - tail.size() + i];
        char b = tail[i];
        if (a == '\\') a = '/';
        if (a != b) return false;
    }
    return full.size() == tail.size() || full[full.size() - tail.size() - 1] == '/' ||
           full[full.size() - tail.size() - 1] == '\\';
}

}  // namespace

Statement statementAt(std::string_view file, uint32_t line) {
    for (const auto& s : kStatementTable) {
        if (s.line == line && endsWithPath(file, s.file)) return {s.number, s.text};
    }
    return {};
}

std::string_view statementText(int32_t number) {
    for (const auto& s : kStatementTable) {
        if (s.number == number) return s.text;
    }
    return {};
}

int32_t statementCount() { return static_cast<int32_t>(std::size(kStatementTable)); }

}  // namespace qv

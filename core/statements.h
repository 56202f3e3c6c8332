#pragma once
// The program's numbered statements, generated at build time from the sources.
#include <cstdint>
#include <string_view>

namespace qv {

struct Statement {
    int32_t number = 0;  // 0: not a numbered statement
    std::string_view text;
};

// The statement at a source location. The file may be given with any leading
// directories; it is matched on its path below the source root.
Statement statementAt(std::string_view file, uint32_t line);

// The source text of statement `number`, or "" outside the table.
std::string_view statementText(int32_t number);

int32_t statementCount();

}  // namespace qv

// The pair and single rules on any list file's text: every entry is a piece of
// the text with a non-empty first field, and the last piece is never taken.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/split_string.h"
#include "settings/data_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> pieces;
    qv::SplitString(text, '\r', pieces);
    const auto pairs = qv::pairRule(pieces);
    const auto singles = qv::singleRule(pieces);
    if (pairs.size() > pieces.size() / 2 || singles.size() >= pieces.size()) std::abort();
    for (const auto& [first, second] : pairs) {
        if (first.empty() || first.find('\r') != std::string::npos || second.find('\r') != std::string::npos)
            std::abort();
    }
    for (const auto& entry : singles) {
        if (entry.empty()) std::abort();
    }
    const auto regs = qv::regExceptionsFromText(text);
    const auto files = qv::fileExceptionsFromText(text);
    const auto filters = qv::filterListFromText(text);
    if (regs.size() != pairs.size() + 1 || files.size() != pairs.size() + 1 || filters.size() != singles.size() + 1)
        std::abort();
    if (!regs[0].hKey.empty() || !filters[0].empty()) std::abort();
    return 0;
}

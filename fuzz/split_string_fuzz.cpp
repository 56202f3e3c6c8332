// SplitString on any text: the pieces joined by the separator give the text
// back, and there is one piece more than separators.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/split_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const char separator = (data[0] & 1) ? ',' : '\r';
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::vector<std::string> pieces{"left over"};
    qv::SplitString(text, separator, pieces);
    std::string joined;
    size_t separators = 0;
    for (char c : text) separators += c == separator;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i) joined += separator;
        joined += pieces[i];
    }
    if (pieces.size() != separators + 1 || joined != text) std::abort();
    return 0;
}

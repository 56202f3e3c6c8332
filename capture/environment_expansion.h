#pragma once
// Expansion of %NAME% references in expandable-string registry data, from a
// copy of the environment taken once. The system's own expansion searches the
// whole environment block for every reference; a snapshot walk meets
// thousands of them.
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qv {

class EnvironmentExpander {
public:
    // Maps a variable name to the form in which names compare equal
    // (environment names ignore case).
    using FoldName = std::u16string (*)(std::u16string_view);

    EnvironmentExpander(const std::vector<std::pair<std::u16string, std::u16string>>& variables,
                        FoldName fold);

    // Appends `text` to `out` with every %NAME% of a defined variable replaced
    // by its value. As the platform does it: an undefined %NAME% is kept whole
    // and the scan goes on after it; a "%" without a closing one is kept.
    void expand(std::u16string_view text, std::u16string& out) const;

private:
    FoldName fold_;
    std::unordered_map<std::u16string, std::u16string> values_;
};

// The variables of an environment block: "NAME=value" strings, each ended by a
// NUL, the block by an empty string. Names may begin with "=" (such as "=C:").
std::vector<std::pair<std::u16string, std::u16string>> parseEnvironmentBlock(const char16_t* block);

}  // namespace qv

#include "capture/environment_expansion.h"

namespace qv {

EnvironmentExpander::EnvironmentExpander(
    const std::vector<std::pair<std::u16string, std::u16string>>& variables, FoldName fold)
    : fold_(fold) {
    // The first of two spellings of one name wins, as a search of the block would.
    for (const auto& [name, value] : variables) values_.emplace(fold_(name), value);
}

void EnvironmentExpander::expand(std::u16string_view text, std::u16string& out) const {
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find(u'%', pos);
        if (open == std::u16string_view::npos) {
            out.append(text.substr(pos));
            return;
        }
        out.append(text.substr(pos, open - pos));
        const size_t close = text.find(u'%', open + 1);
        if (close == std::u16string_view::npos) {
            out.append(text.substr(open));
            return;
        }
        const std::u16string_view name = text.substr(open + 1, close - open - 1);
        if (!name.empty()) {
            auto it = values_.find(fold_(name));
            if (it != values_.end()) {
                out.append(it->second);
                pos = close + 1;
                continue;
            }
        }
        out.append(text.substr(open, close + 1 - open));
        pos = close + 1;
    }
}

std::vector<std::pair<std::u16string, std::u16string>> parseEnvironmentBlock(const char16_t* block) {
    std::vector<std::pair<std::u16string, std::u16string>> variables;
    if (!block) return variables;
    while (*block) {
        const std::u16string_view entry(block);
        const size_t equals = entry.find(u'=', 1);
        if (equals != std::u16string_view::npos)
            variables.emplace_back(std::u16string(entry.substr(0, equals)),
                                   std::u16string(entry.substr(equals + 1)));
        block += entry.size() + 1;
    }
    return variables;
}

}  // namespace qv

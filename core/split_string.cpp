#include "core/split_string.h"

namespace qv {

void SplitString(std::string_view szString, char szChar, std::vector<std::string>& szArray) {
    szArray.clear();
    size_t start = 0;
    for (size_t at = szString.find(szChar); at != std::string_view::npos; at = szString.find(szChar, start)) {
        szArray.emplace_back(szString.substr(start, at - start));
        start = at + 1;
    }
    szArray.emplace_back(szString.substr(start));
}

}  // namespace qv

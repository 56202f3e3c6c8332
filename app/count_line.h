#pragma once
// The line under the find box that counts each list's rows, in words that
// mean what they say: the old data of edits apart from deletions, a list that
// was not looked for as such, and the changes the system makes on its own
// apart from the installer's.
#include <array>
#include <string>
#include <vector>

#include "app/main_view.h"

namespace qv {

// `lists` and `checked` are indexed by ListId; `hidden`: the background rows
// are hidden from the lists.
std::string countLine(const std::array<const std::vector<ResultRow>*, 6>& lists, const std::array<bool, 6>& checked,
                      bool backgroundHidden);

}  // namespace qv

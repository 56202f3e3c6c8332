#pragma once
// The line under the find box that counts each list's rows, in words that
// mean what they say: the old data of edits apart from deletions, a list that
// was not looked for as such, the changes the system makes on its own apart
// from the installer's, and counts taken where either snapshot could not read
// everything as partial.
#include <array>
#include <string>
#include <vector>

#include "app/main_view.h"

namespace qv {

// `lists` and `checked` are indexed by ListId; `hidden`: the background rows
// are hidden from the lists; `unreadPlaces`: the keys and folders that either
// snapshot could not read, where the lists cannot tell what changed. The
// line then begins by saying so, where no narrow window cuts it off.
std::string countLine(const std::array<const std::vector<ResultRow>*, 6>& lists, const std::array<bool, 6>& checked,
                      bool backgroundHidden, size_t unreadPlaces = 0);

}  // namespace qv

#pragma once
// The one text splitter of the program: the data files, the version file and
// the settings dialog all cut their text with it.
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Re-creates szArray with the pieces of szString between the occurrences of
// the one character szChar: n separators give n + 1 pieces, never trimmed, so
// a text ending with the separator ends with an empty piece and the empty text
// gives one empty piece.
void SplitString(std::string_view szString, char szChar, std::vector<std::string>& szArray);

}  // namespace qv

#pragma once
// The six result lists outside any window: what detection appended, kept for
// exports and for the command line.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_view.h"

namespace qv {

struct ResultLists {
    // Indexed by ListId, in the order of the window's tabs.
    std::array<std::vector<ResultRow>, 6> rows;
    std::vector<ResultRow>& operator[](ListId list) { return rows[static_cast<size_t>(list)]; }
    const std::vector<ResultRow>& operator[](ListId list) const { return rows[static_cast<size_t>(list)]; }
    bool empty() const;
};

// The list's name as its tab shows it, such as "New registry entries".
std::string_view resultListTitle(ListId list);
// The columns a list shows in the window: their headers, and how many there are
// (deleted files show only the name).
struct ResultColumns {
    const char* names[3];
    int count;
};
ResultColumns resultListColumns(ListId list);
// Whether a list holds registry rows (its first column a key name) rather
// than file rows.
inline bool isRegistryList(ListId list) {
    return list == ListId::NewEntries || list == ListId::DeletedEntries || list == ListId::EditedRegistry;
}
// Column 0, 1 or 2 of a row.
const std::string& resultCell(const ResultRow& row, int column);
inline constexpr ListId kAllLists[] = {ListId::NewEntries, ListId::DeletedEntries, ListId::EditedRegistry,
                                       ListId::NewFiles,   ListId::DeletedFiles,   ListId::ModifiedFiles};

// Where exports take their context from: the two collections' places.
struct ResultContext {
    std::string hiveName;     // such as "HKEY_LOCAL_MACHINE"; "" when the registry was not walked
    std::string startKey;
    std::string startFolder;  // "" when no file scan ran
};

}  // namespace qv

#pragma once
// The six result lists outside any window: what detection appended, kept for
// exports and for the command line.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/main_view.h"
#include "core/app_state.h"

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

// When, where and by whom one snapshot was taken; a fact not known stays
// empty (-1 for the time) and a report leaves it out.
struct SnapshotFacts {
    int64_t takenAt = -1;  // seconds since 1970, UTC
    std::string machine;
    std::string user;
};

// What heads a report beyond the places: the user's comment, the two
// snapshots, the switches the lists were detected with and the version that
// wrote it.
struct ReportFacts {
    std::string comment;
    SnapshotFacts before;
    SnapshotFacts after;
    std::optional<DetectionSwitches> switches;
    std::string version;
};

// Where exports take their context from: the two collections' places, and
// which lists were looked for at all.
struct ResultContext {
    std::string hiveName;     // such as "HKEY_LOCAL_MACHINE"; "" when the registry was not walked
    std::string startKey;
    std::string startFolder;  // "" when no file scan ran
    // A collection of several places: every key with its root, every folder;
    // the registry rows' key names then begin with their root.
    std::vector<std::string> registryPlaces{};
    std::vector<std::string> folderPlaces{};
    bool rootsInKeys() const { return registryPlaces.size() > 1; }
    // Indexed by ListId: false for a list that was switched off or whose
    // place was not collected, which then holds no rows but is no "0 rows".
    std::array<bool, 6> checked{true, true, true, true, true, true};
    // What either collection could not read ("key ...", "folder ..."): the
    // lists cannot tell what changed there.
    std::vector<std::string> unread{};
    bool isChecked(ListId list) const { return checked[static_cast<size_t>(list)]; }
    ReportFacts facts{};
};

// A row that is the old data of an edited value stands in the deleted list
// as the window shows it, but is no deletion: the number of rows a list really
// holds leaves those out.
size_t trueRowCount(const ResultLists& lists, ListId list);

// A registry row's root and key below it: the context's root, or, for a
// collection of several places, the first part of the row's key name.
std::pair<std::string_view, std::string_view> rowRootAndKey(const ResultContext& context, std::string_view keyName);

}  // namespace qv

#pragma once
// The six lists as a report reads them, shared by the HTML and Markdown
// reports: the header's facts, each list's count, and its rows grouped by key
// and folder into a tree whose common path is written once.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/result_lists.h"
#include "core/snapshot_types.h"

namespace qv {

// A section of this many rows or fewer is open when the page opens: a reader
// takes it in at a glance; a larger one is folded and shows its count.
inline constexpr size_t kOpenSectionRows = 50;

// One row within its section: the name below the section's path (a value's
// name, a file's name, a folder's name with its backslash), and for an edit
// the value the first snapshot held.
struct ReportEntry {
    const ResultRow* row = nullptr;
    std::string name;
    const RegEntry* was = nullptr;
};

// A key or folder and what lies below it. `label` is its path below the
// section that holds it; at the top of a list, the path that all its rows
// share (empty when they share none).
struct ReportSection {
    std::string label;
    std::string path;  // the whole path, for a tooltip
    std::vector<ReportEntry> entries;
    std::vector<ReportSection> children;
    size_t count = 0;  // entries here and below
    bool open() const { return count <= kOpenSectionRows; }
};

struct ReportList {
    ListId list = ListId::NewEntries;
    bool checked = true;
    // The installer's rows: old data of edits and background rows apart.
    size_t count = 0;
    // Old data of edited values, shown among the deletions only when the
    // edited list was not looked for: the only place that tells of them then.
    size_t oldValues = 0;
    size_t background = 0;
    ReportSection rows;
    ReportSection backgroundRows;
};

struct ReportModel {
    std::array<ReportList, 6> lists;
    size_t background = 0;
    const ReportList& operator[](ListId list) const { return lists[static_cast<size_t>(list)]; }
};

// `first` is the first registry snapshot, where the edits' old data is found.
ReportModel reportModel(const ResultLists& lists, const ResultContext& context, const RegSnapshot& first);

// The header's lines, label and text, in the order a report shows them; a fact
// that is not known gives no line. The comment is not among them.
std::vector<std::pair<std::string, std::string>> reportFacts(const ResultContext& context);
// Every place collected in full: keys with their roots, then folders.
std::vector<std::string> reportRegistryPlaces(const ResultContext& context);
std::vector<std::string> reportFolderPlaces(const ResultContext& context);

// A time of a snapshot, "2026-12-08 21:33:05 UTC".
std::string utcText(int64_t secondsSince1970);
// A number of bytes as a reader weighs it: "512 bytes", "1.5 KB", "12.0 MB".
std::string sizeText(uint64_t bytes);
// A file row's size in bytes, from its size column; nothing where it holds none.
std::optional<uint64_t> rowSize(const ResultRow& row);
// A value's data as lines: a multi-string's strings one to a line.
std::vector<std::string> valueLines(std::string_view data, uint32_t type);
// A value type's name for a report; "" for a key without values.
std::string typeText(uint32_t type);

// What an edit shows: the old data and type, the new, whether the type
// changed, and whether the same text and type hide other bytes (an
// expandable string shows its expansion).
struct EditView {
    std::vector<std::string> oldLines;
    std::vector<std::string> newLines;
    std::string oldType;
    std::string newType;
    bool retyped = false;
    bool bytesOnly = false;
};
EditView editView(const ReportEntry& entry);

}  // namespace qv

#pragma once
// The six lists written as files: CSV for spreadsheets, a report as a
// self-contained HTML page or as Markdown for tickets, JSON for scripts, a
// .reg file that undoes the registry changes and a .cmd file that deletes the
// new files and folders. Each returns the whole file's bytes.
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "app/result_lists.h"
#include "core/snapshot_types.h"

namespace qv {

// Registry rows carry their value type's name, edited ones their old data
// and type from `first`, the first registry snapshot. A file starts with a
// byte order mark, by which spreadsheets know UTF-8; a stream that another
// program reads has none to trip over.
std::string exportCsv(const ResultLists& lists, const RegSnapshot& first = {}, bool byteOrderMark = true);
// The report: its header (comment, snapshots, places, detection), each list's
// count, then the rows grouped by key and folder, edits as old -> new, and the
// background rows apart at the end.
std::string exportHtml(const ResultLists& lists, const ResultContext& context, const RegSnapshot& first = {});
// The same report as GitHub-flavoured Markdown, one table per list.
std::string exportMarkdown(const ResultLists& lists, const ResultContext& context, const RegSnapshot& first = {});
// One object: the places, then the six arrays. Registry rows carry their value
// type's name, edited ones their old data; file sizes are numbers.
std::string exportJson(const ResultLists& lists, const ResultContext& context, const RegSnapshot& first = {});
// `first` is the first registry snapshot: deleted and edited values are
// restored from it with their old data and type.
std::string exportRegUndo(const ResultLists& lists, const ResultContext& context, const RegSnapshot& first);
std::string exportCmd(const ResultLists& lists);
// The registry's name of a value type ("REG_SZ"); a code without one as a number.
std::string registryTypeName(uint32_t type);

// An edited value's entry in the first snapshot, found by key and name: its
// old data and type.
class OldEntries {
public:
    // `first` must outlive this index.
    OldEntries(const ResultLists& lists, const RegSnapshot& first);
    // Nothing for a row of another list, or one the first snapshot lacks.
    const RegEntry* find(ListId list, const ResultRow& row) const;

private:
    std::map<std::pair<std::string_view, std::string_view>, const RegEntry*> byName_;
};

enum class ExportFormat { Csv, Html, Json, RegUndo, Cmd, Markdown };
// The file of one format: what the window's export and the command line write.
std::string exportBytes(ExportFormat format, const ResultLists& lists, const ResultContext& context,
                        const RegSnapshot& first, bool toFile = true);

}  // namespace qv

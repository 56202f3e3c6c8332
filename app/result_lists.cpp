#include "app/result_lists.h"

namespace qv {

bool ResultLists::empty() const {
    for (const auto& list : rows)
        if (!list.empty()) return false;
    return true;
}

std::string_view resultListTitle(ListId list) {
    switch (list) {
        case ListId::NewEntries: return "New registry entries";
        case ListId::DeletedEntries: return "Deleted registry / old entries";
        case ListId::EditedRegistry: return "Edited registry data";
        case ListId::NewFiles: return "New files created";
        case ListId::DeletedFiles: return "Deleted files";
        case ListId::ModifiedFiles: return "Modified files";
    }
    return {};
}

ResultColumns resultListColumns(ListId list) {
    switch (list) {
        case ListId::NewFiles: return {{"Filename", "Size", "Created"}, 3};
        case ListId::DeletedFiles: return {{"Filename", "", ""}, 1};
        case ListId::ModifiedFiles: return {{"Filename", "Size", "Modified"}, 3};
        default: return {{"Keyname", "Value name", "Data"}, 3};
    }
}

const std::string& resultCell(const ResultRow& row, int column) {
    return column == 0 ? row.text : column == 1 ? row.sub1 : row.sub2;
}

}  // namespace qv

namespace qv {

size_t trueRowCount(const ResultLists& lists, ListId list) {
    const std::vector<ResultRow>& rows = lists[list];
    if (list != ListId::DeletedEntries) return rows.size();
    size_t n = 0;
    for (const ResultRow& row : rows) n += !row.oldData;
    return n;
}

std::pair<std::string_view, std::string_view> rowRootAndKey(const ResultContext& context, std::string_view keyName) {
    if (!context.rootsInKeys()) return {context.hiveName, keyName};
    const size_t slash = keyName.find('\\');
    if (slash == std::string_view::npos) return {keyName, {}};
    return {keyName.substr(0, slash), keyName.substr(slash + 1)};
}

}  // namespace qv

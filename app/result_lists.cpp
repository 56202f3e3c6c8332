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

}  // namespace qv

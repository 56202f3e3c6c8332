#include "app/count_line.h"

namespace qv {
namespace {

struct Tally {
    size_t rows = 0;        // the installer's changes
    size_t oldData = 0;     // deleted rows that hold an edited value's old data
    size_t background = 0;  // changes in places that change on their own
};

Tally tally(const std::vector<ResultRow>& rows) {
    Tally t;
    for (const ResultRow& row : rows) {
        if (row.oldData)
            ++t.oldData;
        else if (row.background)
            ++t.background;
        else
            ++t.rows;
    }
    return t;
}

}  // namespace

std::string countLine(const std::array<const std::vector<ResultRow>*, 6>& lists, const std::array<bool, 6>& checked,
                      bool backgroundHidden, size_t unreadPlaces) {
    static constexpr const char* kWords[] = {"new", "deleted", "edited", "new", "deleted", "modified"};
    std::string line;
    if (unreadPlaces > 0)
        line = "Partial: " + std::to_string(unreadPlaces) + (unreadPlaces == 1 ? " place" : " places") +
               " unread \u2014 ";
    size_t background = 0;
    for (size_t i = 0; i < 6; ++i) {
        line += i == 0 ? "Registry: " : i == 3 ? " \u00b7 Files: " : ", ";
        if (!checked[i]) {
            line += std::string(kWords[i]) + ": not checked";
            continue;
        }
        const Tally t = tally(*lists[i]);
        background += t.background;
        line += std::to_string(t.rows) + " " + kWords[i];
        if (t.oldData > 0) line += " (+" + std::to_string(t.oldData) + " old data)";
    }
    if (background > 0)
        line += " \u00b7 " + std::to_string(background) + " background" + (backgroundHidden ? " (hidden)" : "");
    return line;
}

}  // namespace qv

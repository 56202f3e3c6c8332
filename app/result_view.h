#pragma once
// What one result list shows of its rows: an order (a column sort) and a
// selection by text (the find box), both over row numbers, so that a million
// rows sort and narrow without touching the rows or the control.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/main_view.h"

namespace qv {

// How a column's cells compare: as text, as byte counts or as dates.
enum class ColumnKind { Text, Number, Date };
ColumnKind resultColumnKind(ListId list, int column);

class ResultView {
public:
    // Every row in the order detection found them, nothing narrowed.
    void reset();
    // Takes in the rows appended since the last call: they come after the
    // shown rows when they match the find text. A sorted view stays sorted
    // only up to them; the next sort takes them in.
    void grow(const std::vector<ResultRow>& rows, int columns);

    // A header click: sorts by that column, or reverses the order when it is
    // already sorted by it. Rows that compare equal keep their order.
    void sortBy(const std::vector<ResultRow>& rows, ListId list, int column);
    int sortColumn() const { return sortColumn_; }
    bool descending() const { return descending_; }

    // Narrows the view to the rows with `text` in any of their first `columns`
    // cells, ignoring letter case; "" shows every row.
    void setFilter(const std::vector<ResultRow>& rows, int columns, std::string_view text);
    const std::string& filter() const { return filter_; }
    // Leaves out, or shows again, the rows of places that change on their own.
    void setHideBackground(const std::vector<ResultRow>& rows, int columns, bool hide);
    bool hidesBackground() const { return hideBackground_; }

    size_t size() const { return identity_ ? known_ : shown_.size(); }
    // The row number behind the n-th visible line.
    uint32_t rowAt(size_t line) const { return identity_ ? static_cast<uint32_t>(line) : shown_[line]; }

private:
    void rebuild(const std::vector<ResultRow>& rows, int columns);
    bool visible(const ResultRow& row, int columns) const;
    void sortTextKeyed(const std::vector<std::string_view>& cells);

    bool identity_ = true;        // rows in their own order, none hidden
    size_t known_ = 0;            // rows taken in so far
    std::vector<uint32_t> order_;  // every row, in sort order (empty when unsorted)
    std::vector<uint32_t> shown_;  // the visible rows (when !identity_)
    int sortColumn_ = -1;
    bool descending_ = false;
    std::string filter_;  // folded to lower case
    bool hideBackground_ = false;
    // The rows that shorter find texts showed, newest last, so that taking
    // letters back costs nothing.
    std::vector<std::pair<std::string, std::vector<uint32_t>>> history_;
};

// Text with its letters in lower case as the find box compares them: ASCII,
// and the Latin, Greek and Cyrillic letters beyond it.
std::string foldedForFind(std::string_view text);

// Whether `foldedNeedle` (folded as above) occurs in any of the row's first
// `columns` cells, ignoring letter case.
bool rowContains(const ResultRow& row, int columns, std::string_view foldedNeedle);

// A cell as one line of the list draws it: each line break shows as
// " \u00B6 ", the tabs after it (a multi-string's separator) are left out, and
// any other control character shows as a space. Copies keep the text as it is.
std::string shownOnOneLine(std::string_view cell);

// Rows as tab-separated lines under a line of the list's column headers, each
// line ended by CR LF, for the clipboard.
std::string rowsAsText(ListId list, const std::vector<ResultRow>& rows, const std::vector<uint32_t>& which);

}  // namespace qv

#include "app/result_view.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "app/result_lists.h"

namespace qv {
namespace {

constexpr std::array<unsigned char, 256> kLower = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) table[static_cast<size_t>(c)] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return table;
}();

unsigned char lower(char c) { return kLower[static_cast<unsigned char>(c)]; }

// Letter case aside, then by the bytes, so that the order is total.
int compareText(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = lower(a[i]), y = lower(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

// A size cell's byte count; cells without one (not measured) sort first.
int64_t numberOf(const std::string& cell) {
    if (cell.empty()) return -1;
    int64_t n = 0;
    for (char c : cell) {
        if (c < '0' || c > '9') continue;  // digit grouping, if any
        n = n * 10 + (c - '0');
    }
    return n;
}

bool containsFolded(std::string_view hay, std::string_view needle) {
    if (needle.size() > hay.size()) return false;
    const unsigned char first = static_cast<unsigned char>(needle[0]);
    const size_t last = hay.size() - needle.size();
    for (size_t i = 0; i <= last; ++i) {
        if (lower(hay[i]) != first) continue;
        size_t k = 1;
        while (k < needle.size() && lower(hay[i + k]) == static_cast<unsigned char>(needle[k])) ++k;
        if (k == needle.size()) return true;
    }
    return false;
}

}  // namespace

ColumnKind resultColumnKind(ListId list, int column) {
    const bool files = list == ListId::NewFiles || list == ListId::ModifiedFiles;
    if (!files || column == 0) return ColumnKind::Text;
    return column == 1 ? ColumnKind::Number : ColumnKind::Date;
}

bool rowContains(const ResultRow& row, int columns, std::string_view foldedNeedle) {
    if (foldedNeedle.empty()) return true;
    for (int c = 0; c < columns && c < 3; ++c) {
        if (containsFolded(resultCell(row, c), foldedNeedle)) return true;
    }
    return false;
}

void ResultView::reset() {
    identity_ = filter_.empty();
    known_ = 0;
    order_.clear();
    order_.shrink_to_fit();
    shown_.clear();
    shown_.shrink_to_fit();
    sortColumn_ = -1;
    descending_ = false;
}

void ResultView::grow(const std::vector<ResultRow>& rows, int columns) {
    for (size_t i = known_; i < rows.size(); ++i) {
        const auto row = static_cast<uint32_t>(i);
        if (!order_.empty() || sortColumn_ >= 0) order_.push_back(row);
        if (!identity_ && rowContains(rows[i], columns, filter_)) shown_.push_back(row);
    }
    known_ = rows.size();
}

void ResultView::sortBy(const std::vector<ResultRow>& rows, ListId list, int column) {
    known_ = rows.size();
    if (column == sortColumn_ && order_.size() == rows.size()) {
        descending_ = !descending_;
    } else {
        sortColumn_ = column;
        descending_ = false;
    }
    order_.resize(rows.size());
    for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<uint32_t>(i);
    const ColumnKind kind = resultColumnKind(list, column);
    // Rows are found in order of detection; a stable sort keeps that order
    // among equal cells, in either direction.
    const auto sortWith = [&](auto less) {
        if (descending_) {
            std::stable_sort(order_.begin(), order_.end(), [&](uint32_t a, uint32_t b) { return less(b, a); });
        } else {
            std::stable_sort(order_.begin(), order_.end(), less);
        }
    };
    if (kind == ColumnKind::Number) {
        std::vector<int64_t> keys(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) keys[i] = numberOf(resultCell(rows[i], column));
        sortWith([&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
    } else if (kind == ColumnKind::Date) {
        // The local time that the text shows; rows without it by their text.
        sortWith([&](uint32_t a, uint32_t b) {
            const int64_t x = rows[a].modifiedLocal, y = rows[b].modifiedLocal;
            if (x >= 0 && y >= 0) return x < y;
            return compareText(resultCell(rows[a], column), resultCell(rows[b], column)) < 0;
        });
    } else {
        sortWith([&](uint32_t a, uint32_t b) {
            return compareText(resultCell(rows[a], column), resultCell(rows[b], column)) < 0;
        });
    }
    rebuild(rows, resultListColumns(list).count);
}

void ResultView::setFilter(const std::vector<ResultRow>& rows, int columns, std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = static_cast<char>(lower(c));
    if (folded == filter_ && known_ == rows.size()) return;
    // Typing on narrows what is already narrowed.
    const bool narrower = !filter_.empty() && !identity_ && known_ == rows.size() &&
                          folded.find(filter_) != std::string::npos;
    filter_ = std::move(folded);
    if (narrower) {
        std::erase_if(shown_, [&](uint32_t r) { return !rowContains(rows[r], columns, filter_); });
        return;
    }
    rebuild(rows, columns);
}

void ResultView::rebuild(const std::vector<ResultRow>& rows, int columns) {
    known_ = rows.size();
    if (filter_.empty() && order_.empty()) {
        identity_ = true;
        shown_.clear();
        shown_.shrink_to_fit();
        return;
    }
    identity_ = false;
    shown_.clear();
    const auto take = [&](uint32_t r) {
        if (rowContains(rows[r], columns, filter_)) shown_.push_back(r);
    };
    if (order_.empty()) {
        for (size_t i = 0; i < rows.size(); ++i) take(static_cast<uint32_t>(i));
    } else {
        for (uint32_t r : order_) take(r);
    }
}

std::string rowsAsText(ListId list, const std::vector<ResultRow>& rows, const std::vector<uint32_t>& which) {
    const ResultColumns columns = resultListColumns(list);
    std::string out;
    const auto line = [&](auto cell) {
        for (int c = 0; c < columns.count; ++c) {
            if (c) out += '\t';
            out += cell(c);
        }
        out += "\r\n";
    };
    line([&](int c) -> std::string_view { return columns.names[c]; });
    for (uint32_t r : which) {
        if (r >= rows.size()) continue;
        // A tab or a line break inside a value would shift the columns.
        line([&](int c) {
            std::string cell = resultCell(rows[r], c);
            for (char& ch : cell) {
                if (ch == '\t' || ch == '\r' || ch == '\n') ch = ' ';
            }
            return cell;
        });
    }
    return out;
}

}  // namespace qv

#include "app/result_view.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "app/result_lists.h"
#include "core/utf.h"

namespace qv {
namespace {

constexpr std::array<unsigned char, 256> kLower = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) table[static_cast<size_t>(c)] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return table;
}();

unsigned char lower(char c) { return kLower[static_cast<unsigned char>(c)]; }

// Byte n of a loaded word is its n-th lowest byte.
static_assert(std::endian::native == std::endian::little);

uint64_t load8(const char* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Letter case aside, then by the bytes, so that the order is total. Rows of
// one list share long beginnings ("Software\Vendor\..."), so equal stretches
// are skipped eight bytes at a time and only a difference is folded.
int compareText(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    const char* x = a.data();
    const char* y = b.data();
    size_t i = 0;
    while (i < n) {
        while (i + 8 <= n && load8(x + i) == load8(y + i)) i += 8;
        while (i < n && x[i] == y[i]) ++i;
        if (i == n) break;
        const unsigned char p = lower(x[i]), q = lower(y[i]);
        if (p != q) return p < q ? -1 : 1;
        ++i;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    const int raw = a.compare(b);
    return raw < 0 ? -1 : (raw > 0 ? 1 : 0);
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

// Where the first of `from`'s bytes equal to `lo` or `up` stands, eight bytes
// at a time: the C library's byte search is a plain loop on some runtimes, and
// this scan decides how fast the find box answers on a long list.
const char* findEither(const char* from, const char* end, char lo, char up) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    const uint64_t los = kOnes * static_cast<unsigned char>(lo), ups = kOnes * static_cast<unsigned char>(up);
    // A zero byte in x shows as its high bit; a byte above a zero can show
    // falsely, so the lowest mark is exact and is checked again anyway.
    const auto zeros = [](uint64_t x) { return (x - kOnes) & ~x & kHighs; };
    for (; end - from >= 8; from += 8) {
        const uint64_t v = load8(from);
        if (const uint64_t marks = zeros(v ^ los) | zeros(v ^ ups)) {
            for (uint64_t m = marks; m; m &= m - 1) {
                const char* at = from + (std::countr_zero(m) >> 3);
                if (*at == lo || *at == up) return at;
            }
        }
    }
    for (; from < end; ++from) {
        if (*from == lo || *from == up) return from;
    }
    return nullptr;
}

// The lower-case letter of the alphabets a registry or a file name holds
// most often beside ASCII: Latin, Greek and Cyrillic, and full-width Latin.
// A final sigma folds with the other sigma.
char32_t lowerLetter(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F) ||
        (c >= 0xFF21 && c <= 0xFF3A))
        return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c == 0x178) return 0xFF;
    if (c == 0x3C2) return 0x3C3;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 37;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 63;
    // Alphabets whose capitals and small letters alternate code by code. The
    // dotted and dotless i (U+0130, U+0131) are no such pair.
    const bool evenPairs = (c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177) || (c >= 0x460 && c <= 0x481) ||
                           (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F);
    if (evenPairs) return c | 1;
    const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E) || (c >= 0x4C1 && c <= 0x4CE);
    if (oddPairs) return c % 2 ? c + 1 : c;
    return c;
}

// Appends `text` with its letters in lower case. Bytes that are not UTF-8,
// and characters that have no other case, are kept as they are.
void appendLower(std::string& out, std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += static_cast<char>(lower(text[i]));
            ++i;
            continue;
        }
        const size_t n = b >= 0xF5 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 1;
        char32_t c = n == 4 ? b & 0x07u : n == 3 ? b & 0x0Fu : b & 0x1Fu;
        bool whole = n > 1 && i + n <= text.size();
        for (size_t k = 1; whole && k < n; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            whole = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3Fu);
        }
        const char32_t folded = whole ? lowerLetter(c) : c;
        if (!whole || folded == c) {
            // Overlong forms and the like stay as they were, byte for byte.
            const size_t keep = whole ? n : 1;
            out.append(text.substr(i, keep));
            i += keep;
            continue;
        }
        // Every letter that folds is in the Basic Multilingual Plane.
        const auto unit = static_cast<char16_t>(folded);
        appendUtf8(out, std::u16string_view(&unit, 1));
        i += n;
    }
}

bool asciiOnly(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// A needle with letters beyond ASCII is looked for in the cell's folded
// text; a cell of ASCII alone cannot hold it.
bool containsFoldedBeyondAscii(std::string_view hay, std::string_view needle) {
    if (asciiOnly(hay)) return false;
    thread_local std::string folded;
    folded.clear();
    appendLower(folded, hay);
    return folded.find(needle) != std::string::npos;
}

bool containsFolded(std::string_view hay, std::string_view needle) {
    if (needle.size() > hay.size()) return false;
    // Candidates are found by their first letter in either case; only they
    // are compared whole.
    const char lo = needle[0];
    const char up = lo >= 'a' && lo <= 'z' ? static_cast<char>(lo - 32) : lo;
    const char* const last = hay.data() + (hay.size() - needle.size());
    for (const char* from = hay.data(); from <= last;) {
        const char* at = findEither(from, last + 1, lo, up);
        if (!at) return false;
        size_t k = 1;
        while (k < needle.size() && lower(at[k]) == static_cast<unsigned char>(needle[k])) ++k;
        if (k == needle.size()) return true;
        from = at + 1;
    }
    return false;
}

}  // namespace

ColumnKind resultColumnKind(ListId list, int column) {
    const bool files = list == ListId::NewFiles || list == ListId::ModifiedFiles;
    if (!files || column == 0) return ColumnKind::Text;
    return column == 1 ? ColumnKind::Number : ColumnKind::Date;
}

std::string shownOnOneLine(std::string_view cell) {
    const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20; };
    if (std::none_of(cell.begin(), cell.end(), control)) return std::string(cell);
    std::string out;
    bool afterBreak = false;
    for (size_t i = 0; i < cell.size(); ++i) {
        const char c = cell[i];
        if (c == '\r' || c == '\n') {
            // Each break is a mark of its own, so an empty string between
            // two of a multi-string's separators shows as two marks.
            if (c == '\r' && i + 1 < cell.size() && cell[i + 1] == '\n') ++i;
            out += " \xC2\xB6 ";
            afterBreak = true;
        } else if (c == '\t' && afterBreak) {
            continue;  // the separator's indent
        } else {
            out += control(c) ? ' ' : c;
            afterBreak = false;
        }
    }
    return out;
}

std::string foldedForFind(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    appendLower(folded, text);
    return folded;
}

bool rowContains(const ResultRow& row, int columns, std::string_view foldedNeedle) {
    if (foldedNeedle.empty()) return true;
    const bool ascii = asciiOnly(foldedNeedle);
    for (int c = 0; c < columns && c < 3; ++c) {
        const std::string_view cell = resultCell(row, c);
        if (ascii ? containsFolded(cell, foldedNeedle) : containsFoldedBeyondAscii(cell, foldedNeedle)) return true;
    }
    return false;
}

bool ResultView::visible(const ResultRow& row, int columns) const {
    return !(hideBackground_ && row.background) && rowContains(row, columns, filter_);
}

void ResultView::setHideBackground(const std::vector<ResultRow>& rows, int columns, bool hide) {
    if (hide == hideBackground_ && known_ == rows.size()) return;
    hideBackground_ = hide;
    history_.clear();
    rebuild(rows, columns);
}

void ResultView::reset() {
    history_.clear();
    identity_ = filter_.empty() && !hideBackground_;
    known_ = 0;
    order_.clear();
    order_.shrink_to_fit();
    shown_.clear();
    shown_.shrink_to_fit();
    sortColumn_ = -1;
    descending_ = false;
}

void ResultView::grow(const std::vector<ResultRow>& rows, int columns) {
    if (known_ != rows.size()) history_.clear();
    for (size_t i = known_; i < rows.size(); ++i) {
        const auto row = static_cast<uint32_t>(i);
        if (!order_.empty() || sortColumn_ >= 0) order_.push_back(row);
        if (!identity_ && visible(rows[i], columns)) shown_.push_back(row);
    }
    known_ = rows.size();
}

void ResultView::sortBy(const std::vector<ResultRow>& rows, ListId list, int column) {
    known_ = rows.size();
    history_.clear();
    const ColumnKind kind = resultColumnKind(list, column);
    // The cells in one compact array: a comparison then touches no row.
    std::vector<std::string_view> cells;
    std::vector<int64_t> numbers;
    if (kind == ColumnKind::Text || kind == ColumnKind::Date) {
        cells.reserve(rows.size());
        for (const ResultRow& row : rows) cells.emplace_back(resultCell(row, column));
    }
    if (kind == ColumnKind::Number) {
        numbers.reserve(rows.size());
        for (const ResultRow& row : rows) numbers.push_back(numberOf(resultCell(row, column)));
    } else if (kind == ColumnKind::Date) {
        numbers.reserve(rows.size());
        for (const ResultRow& row : rows) numbers.push_back(row.modifiedLocal);
    }
    const auto compare = [&](uint32_t a, uint32_t b) -> int {
        if (kind == ColumnKind::Number) return numbers[a] < numbers[b] ? -1 : (numbers[a] > numbers[b] ? 1 : 0);
        if (kind == ColumnKind::Date && numbers[a] >= 0 && numbers[b] >= 0)
            return numbers[a] < numbers[b] ? -1 : (numbers[a] > numbers[b] ? 1 : 0);
        return compareText(cells[a], cells[b]);
    };

    if (column == sortColumn_ && order_.size() == rows.size()) {
        // The same column again: the order reversed, with each run of equal
        // cells turned back, so that ties keep the order of detection.
        descending_ = !descending_;
        std::reverse(order_.begin(), order_.end());
        for (size_t start = 0; start < order_.size();) {
            size_t end = start + 1;
            while (end < order_.size() && compare(order_[start], order_[end]) == 0) ++end;
            std::reverse(order_.begin() + static_cast<std::ptrdiff_t>(start),
                         order_.begin() + static_cast<std::ptrdiff_t>(end));
            start = end;
        }
    } else {
        sortColumn_ = column;
        descending_ = false;
        order_.resize(rows.size());
        for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<uint32_t>(i);
        // Rows are found in order of detection; a stable sort keeps that
        // order among equal cells.
        if (kind == ColumnKind::Text) {
            sortTextKeyed(cells);
        } else {
            std::stable_sort(order_.begin(), order_.end(), [&](uint32_t a, uint32_t b) { return compare(a, b) < 0; });
        }
    }
    rebuild(rows, resultListColumns(list).count);
}

// Text cells sorted eight folded bytes at a time from where the cells of a
// group begin to differ (a most-significant-first radix sort with comparison
// sorts inside): the keys sit beside the row numbers in one array, so nearly
// no comparison reaches the rows' text. The order is compareText's.
void ResultView::sortTextKeyed(const std::vector<std::string_view>& cells) {
    struct Keyed {
        uint64_t key;
        uint32_t row;
    };
    std::vector<Keyed> keyed(cells.size());
    for (size_t r = 0; r < cells.size(); ++r) keyed[r] = {0, static_cast<uint32_t>(r)};
    struct Group {
        size_t begin, end, offset;
    };
    std::vector<Group> groups{{0, keyed.size(), 0}};
    while (!groups.empty()) {
        const Group g = groups.back();
        groups.pop_back();
        if (g.end - g.begin < 2) continue;
        // Skip what every cell of the group shares from here on.
        const std::string_view first = cells[keyed[g.begin].row];
        size_t offset = g.offset, shared = first.size();
        for (size_t k = g.begin + 1; k < g.end && shared > offset; ++k) {
            const std::string_view cell = cells[keyed[k].row];
            size_t i = offset;
            const size_t n = std::min(shared, cell.size());
            while (i < n && lower(cell[i]) == lower(first[i])) ++i;
            shared = i;
        }
        offset = std::max(offset, shared);
        bool more = false;
        for (size_t k = g.begin; k < g.end; ++k) {
            const std::string_view cell = cells[keyed[k].row];
            uint64_t key = 0;
            for (size_t i = 0; i < 8; ++i) {
                const size_t at = offset + i;
                key = (key << 8) | (at < cell.size() ? lower(cell[at]) : 0u);
            }
            keyed[k].key = key;
            more = more || cell.size() > offset;
        }
        const auto from = keyed.begin() + static_cast<std::ptrdiff_t>(g.begin);
        const auto to = keyed.begin() + static_cast<std::ptrdiff_t>(g.end);
        if (!more) {
            // Equal but perhaps for letter case: by the bytes themselves,
            // unless they are the same cell over and over.
            const bool same = std::all_of(from, to, [&](const Keyed& k) { return cells[k.row] == first; });
            if (!same)
                std::stable_sort(from, to, [&](const Keyed& a, const Keyed& b) { return cells[a.row] < cells[b.row]; });
            continue;
        }
        std::stable_sort(from, to, [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
        for (size_t k = g.begin; k < g.end;) {
            size_t end = k + 1;
            while (end < g.end && keyed[end].key == keyed[k].key) ++end;
            if (end - k > 1) groups.push_back({k, end, offset + 8});
            k = end;
        }
    }
    for (size_t i = 0; i < keyed.size(); ++i) order_[i] = keyed[i].row;
}

void ResultView::setFilter(const std::vector<ResultRow>& rows, int columns, std::string_view text) {
    std::string folded = foldedForFind(text);
    if (folded == filter_ && known_ == rows.size()) return;
    if (known_ != rows.size()) history_.clear();
    // Taking letters back returns to what the shorter text showed before.
    while (!history_.empty() && history_.back().first.size() >= folded.size() && history_.back().first != folded)
        history_.pop_back();
    if (!history_.empty() && history_.back().first == folded) {
        filter_ = std::move(history_.back().first);
        shown_ = std::move(history_.back().second);
        identity_ = false;
        history_.pop_back();
        return;
    }
    // Typing on narrows what is already narrowed.
    const bool narrower = !filter_.empty() && !identity_ && known_ == rows.size() &&
                          folded.find(filter_) != std::string::npos;
    if (narrower) {
        history_.emplace_back(filter_, shown_);
        filter_ = std::move(folded);
        std::erase_if(shown_, [&](uint32_t r) { return !visible(rows[r], columns); });
        return;
    }
    history_.clear();
    filter_ = std::move(folded);
    rebuild(rows, columns);
}

void ResultView::rebuild(const std::vector<ResultRow>& rows, int columns) {
    known_ = rows.size();
    if (filter_.empty() && order_.empty() && !hideBackground_) {
        identity_ = true;
        shown_.clear();
        shown_.shrink_to_fit();
        return;
    }
    identity_ = false;
    shown_.clear();
    if (order_.empty()) {
        for (size_t i = 0; i < rows.size(); ++i) {
            if (visible(rows[i], columns)) shown_.push_back(static_cast<uint32_t>(i));
        }
        return;
    }
    // The rows are searched in their own order, which reads memory straight
    // on; the sort order then only picks the marked ones.
    std::vector<bool> matches(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) matches[i] = visible(rows[i], columns);
    for (uint32_t r : order_) {
        if (matches[r]) shown_.push_back(r);
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

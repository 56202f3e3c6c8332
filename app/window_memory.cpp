#include "app/window_memory.h"

#include <charconv>

#include "core/split_string.h"

namespace qv {
namespace {

std::optional<int> number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string> pieces(const std::string& text, char separator) {
    std::vector<std::string> out;
    SplitString(text, separator, out);
    return out;
}

}  // namespace

std::string placementText(const Placement& p) {
    return std::to_string(p.normal.left) + "," + std::to_string(p.normal.top) + "," + std::to_string(p.normal.right) +
           "," + std::to_string(p.normal.bottom) + "," + (p.maximized ? "1" : "0");
}

std::optional<Placement> placementFrom(const std::string& text) {
    const std::vector<std::string> parts = pieces(text, ',');
    if (parts.size() != 5) return std::nullopt;
    std::array<int, 5> v{};
    for (size_t i = 0; i < 5; ++i) {
        const std::optional<int> n = number(parts[i]);
        if (!n) return std::nullopt;
        v[i] = *n;
    }
    if (v[4] != 0 && v[4] != 1) return std::nullopt;
    return Placement{{v[0], v[1], v[2], v[3]}, v[4] == 1};
}

bool placementFits(const Placement& placement, const std::vector<ScreenRect>& workAreas, int minWidth,
                   int minHeight) {
    const ScreenRect& r = placement.normal;
    if (r.width() < minWidth || r.height() < minHeight) return false;
    for (const ScreenRect& area : workAreas) {
        if (r.left >= area.left && r.top >= area.top && r.right <= area.right && r.bottom <= area.bottom) return true;
    }
    return false;
}

std::string columnWidthsText(const ColumnWidths& widths) {
    std::string text;
    for (size_t list = 0; list < widths.size(); ++list) {
        if (list) text += ';';
        for (size_t c = 0; c < widths[list].size(); ++c) {
            if (c) text += ',';
            text += std::to_string(widths[list][c]);
        }
    }
    return text;
}

ColumnWidths columnWidthsFrom(const std::string& text, const std::array<int, 6>& counts) {
    ColumnWidths widths;
    const std::vector<std::string> lists = pieces(text, ';');
    for (size_t list = 0; list < widths.size() && list < lists.size(); ++list) {
        const std::vector<std::string> cells = pieces(lists[list], ',');
        if (static_cast<int>(cells.size()) != counts[list]) continue;
        std::vector<int> row;
        for (const std::string& cell : cells) {
            const std::optional<int> n = number(cell);
            if (!n || *n < 8 || *n > 4000) break;
            row.push_back(*n);
        }
        if (row.size() == cells.size()) widths[list] = std::move(row);
    }
    return widths;
}

}  // namespace qv

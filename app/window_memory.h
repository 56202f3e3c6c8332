#pragma once
// What the window remembers between runs, as the texts the registry store
// keeps: its places, its placement and its lists' column widths.
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace qv {

struct ScreenRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const ScreenRect&) const = default;
};

// The window's normal position and size in pixels, and whether it was maximized.
struct Placement {
    ScreenRect normal;
    bool maximized = false;
    bool operator==(const Placement&) const = default;
};

std::string placementText(const Placement& placement);
// Nothing from a text that is not a placement: the window opens where it would.
std::optional<Placement> placementFrom(const std::string& text);
// A remembered placement is used only where it lies whole on one of the
// monitors' work areas, at least `minWidth` by `minHeight`: a monitor that has
// gone or shrunk would leave the window out of reach.
bool placementFits(const Placement& placement, const std::vector<ScreenRect>& workAreas, int minWidth,
                   int minHeight);

// The six lists' column widths at 96 DPI, in the order of ListId; a list
// whose widths are not known is empty.
using ColumnWidths = std::array<std::vector<int>, 6>;
std::string columnWidthsText(const ColumnWidths& widths);
// Each list's widths where the text gives as many as `counts` says, each
// between 8 and 4000; the others empty.
ColumnWidths columnWidthsFrom(const std::string& text, const std::array<int, 6>& counts);

}  // namespace qv

#include "app/window_memory.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(WindowMemory, PlacementReadsBackAndIsUsedOnlyWhereItFits) {
    const Placement p{{100, 50, 1000, 700}, true};
    EXPECT_EQ(placementFrom(placementText(p)), p);
    for (const char* bad : {"", "1,2,3,4", "1,2,3,4,2", "a,2,3,4,0", "1,2,3,4,0,5", "1, 2,3,4,0"})
        EXPECT_FALSE(placementFrom(bad).has_value()) << bad;

    const std::vector<ScreenRect> screens = {{0, 0, 1280, 1000}, {1280, 0, 2560, 1000}};
    const struct {
        ScreenRect r;
        bool fits;
    } cases[] = {
        {{100, 50, 1000, 700}, true},
        {{1300, 10, 2500, 990}, true},    // wholly on the second screen
        {{1000, 10, 1600, 700}, false},   // across the two
        {{-50, 10, 800, 700}, false},     // partly off the screen
        {{3000, 10, 3800, 700}, false},   // a screen that has gone
        {{100, 50, 300, 200}, false},     // smaller than the window may be
    };
    for (const auto& c : cases)
        EXPECT_EQ(placementFits({c.r, false}, screens, 640, 480), c.fits) << c.r.left << "," << c.r.top;
}

TEST(WindowMemory, ColumnWidthsReadBackAndWrongTextsAreIgnoredPerList) {
    const std::array<int, 6> counts{3, 3, 3, 3, 1, 3};
    const ColumnWidths widths{{{300, 200, 250}, {}, {10, 20, 30}, {400, 80, 140}, {600}, {400, 80, 140}}};
    EXPECT_EQ(columnWidthsFrom(columnWidthsText(widths), counts), widths);
    const ColumnWidths read = columnWidthsFrom("300,200;1,2,3;x,2,3;400,80,140;600,7;9,9,9", counts);
    EXPECT_EQ(read, (ColumnWidths{{{}, {}, {}, {400, 80, 140}, {}, {9, 9, 9}}}));
    EXPECT_EQ(columnWidthsFrom("", counts), ColumnWidths{});
}

}  // namespace
}  // namespace qv

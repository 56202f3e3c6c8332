#include "app/main_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace qv {
namespace {

// Captions as the system's message font measures them at 96 DPI, grown with
// the DPI as the font grows; `stretch` stands for a wider font or a longer
// text.
MainLayoutMetrics metricsAt(unsigned dpi, int stretch = 1) {
    const auto s = [&](int px) { return static_cast<int>(px * stretch * static_cast<int>(dpi) / 96); };
    MainLayoutMetrics m;
    m.dpi = dpi;
    m.lblRegStart = s(131);
    m.lblFileSystem = s(172);
    m.chkDetectRegistry = s(121);
    m.chkDetectFiles = s(136);
    m.cmdFileSystemStart = s(38);
    m.cmdAdvanced = s(48);
    m.cmdSnapShot = s(62);
    m.cmdDetectChanges = s(78);
    m.cmdReset = s(55);
    m.lblFind = s(26);
    m.longestRoot = s(128);
    m.tabStripHeight = static_cast<int>(23 * dpi / 96);
    return m;
}

bool overlap(const LayoutRect& a, const LayoutRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool inside(const LayoutRect& inner, const LayoutRect& outer) {
    return inner.left > outer.left && inner.right < outer.right && inner.top > outer.top &&
           inner.bottom < outer.bottom;
}

std::string sizeText(LayoutSize s) {
    return std::to_string(s.width) + "x" + std::to_string(s.height);
}

// Every control has room, lies in the area, overlaps no other, and the frame
// surrounds exactly the search parameters.
void expectSound(const MainLayout& l, const MainLayoutMetrics& m, const std::string& where) {
    const auto controls = l.controls();
    for (size_t i = 0; i < controls.size(); ++i) {
        const auto& [name, r] = controls[i];
        EXPECT_GT(r.width(), 0) << name << " at " << where;
        EXPECT_GT(r.height(), 0) << name << " at " << where;
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= l.area.width && r.bottom <= l.area.height)
            << name << " leaves the area " << sizeText(l.area) << " at " << where;
        for (size_t k = 0; k < i; ++k)
            EXPECT_FALSE(overlap(controls[k].rect, r))
                << controls[k].name << " and " << name << " at " << where;
        const bool framed = i < 9;  // the three rows of search parameters come first
        EXPECT_EQ(inside(r, l.Frame2), framed) << name << " and the frame at " << where;
        if (!framed) {
            EXPECT_FALSE(overlap(r, l.Frame2)) << name << " at " << where;
        }
    }
    // No caption is cut: each control is at least as wide as its text.
    const struct {
        const char* name;
        const LayoutRect& rect;
        int text;
    } captions[] = {{"lblRegStart", l.lblRegStart, m.lblRegStart},
                    {"lblFileSystem", l.lblFileSystem, m.lblFileSystem},
                    {"chkDetectRegistry", l.chkDetectRegistry, m.chkDetectRegistry},
                    {"chkDetectFiles", l.chkDetectFiles, m.chkDetectFiles},
                    {"cmdFileSystemStart", l.cmdFileSystemStart, m.cmdFileSystemStart},
                    {"cmdAdvanced", l.cmdAdvanced, m.cmdAdvanced},
                    {"cmdSnapShot", l.cmdSnapShot, m.cmdSnapShot},
                    {"cmdDetectChanges", l.cmdDetectChanges, m.cmdDetectChanges},
                    {"cmdReset", l.cmdReset, m.cmdReset},
                    {"lblFind", l.lblFind, m.lblFind},
                    {"cmbRegStart", l.cmbRegStart, m.longestRoot}};
    for (const auto& c : captions) EXPECT_GT(c.rect.width(), c.text) << c.name << " at " << where;
    EXPECT_GE(l.tbDisplay.height(), m.tabStripHeight) << where;
}

TEST(MainLayout, EveryControlHasRoomAndNoneOverlapsAtAnySizeAndDpi) {
    for (unsigned dpi : {96u, 120u, 144u, 192u}) {
        for (int stretch : {1, 2}) {
            const MainLayoutMetrics m = metricsAt(dpi, stretch);
            const LayoutSize least = minimumArea(m);
            const int d = static_cast<int>(dpi);
            const LayoutSize areas[] = {{4000, 3000},
                                        {900 * d / 96, 640 * d / 96},  // the window's first size
                                        least,
                                        {least.width - 1, least.height},
                                        {least.width, least.height - 1},
                                        {least.width + 1, least.height + 1},
                                        {least.width / 2, least.height / 2},
                                        {least.width * 3, least.height / 3},
                                        {1, 1},
                                        {0, 0}};
            for (LayoutSize area : areas) {
                const MainLayout l = layOutMainWindow(m, area);
                const std::string where = sizeText(area) + " at " + std::to_string(dpi) + " DPI, captions x" +
                                          std::to_string(stretch);
                EXPECT_EQ(l.area.width, std::max(area.width, least.width)) << where;
                EXPECT_EQ(l.area.height, std::max(area.height, least.height)) << where;
                expectSound(l, m, where);
            }
        }
    }
}

// Below its minimum the window scrolls over the layout of the minimum: no
// control is made smaller than there, or moved.
TEST(MainLayout, BelowTheMinimumTheControlsKeepTheLayoutOfTheMinimum) {
    for (unsigned dpi : {96u, 144u, 192u}) {
        const MainLayoutMetrics m = metricsAt(dpi);
        const LayoutSize least = minimumArea(m);
        const MainLayout atLeast = layOutMainWindow(m, least);
        for (LayoutSize area :
             {LayoutSize{least.width - 1, least.height - 1}, LayoutSize{200, 100}, LayoutSize{}}) {
            const MainLayout l = layOutMainWindow(m, area);
            EXPECT_EQ(l.area, least);
            const auto controls = l.controls(), expected = atLeast.controls();
            for (size_t i = 0; i < controls.size(); ++i)
                EXPECT_EQ(controls[i].rect, expected[i].rect)
                    << controls[i].name << " at " << sizeText(area) << ", " << dpi << " DPI";
        }
        // Narrower only: the height still follows the area.
        const MainLayout narrow = layOutMainWindow(m, {least.width / 2, least.height + 200});
        EXPECT_EQ(narrow.area, (LayoutSize{least.width, least.height + 200}));
        EXPECT_EQ(narrow.lists.height(), atLeast.lists.height() + 200);
    }
}

// From a wide window down to the minimum only the flexible parts change
// size; the captions, buttons and the root's drop-down keep theirs.
TEST(MainLayout, FlexiblePartsGiveWayFirst) {
    for (unsigned dpi : {96u, 144u, 192u}) {
        const MainLayoutMetrics m = metricsAt(dpi);
        const LayoutSize least = minimumArea(m);
        const MainLayout wide = layOutMainWindow(m, {least.width * 2, least.height * 2});
        MainLayout previous = layOutMainWindow(m, least);
        const std::string_view fixedNames[] = {
            "lblRegStart", "cmbRegStart", "lblFileSystem",    "cmdFileSystemStart", "chkDetectRegistry",
            "cmdAdvanced", "cmdSnapShot", "cmdDetectChanges", "cmdReset",           "lblFind"};
        for (int width = least.width; width <= least.width * 2; width += 7) {
            const auto controls = layOutMainWindow(m, {width, least.height}).controls();
            const auto before = previous.controls(), wideOnes = wide.controls();
            for (size_t i = 0; i < controls.size(); ++i) {
                const auto& [name, r] = controls[i];
                const LayoutRect was = before[i].rect;
                if (std::find(std::begin(fixedNames), std::end(fixedNames), name) != std::end(fixedNames)) {
                    EXPECT_EQ(r.width(), wideOnes[i].rect.width()) << name << " at " << width;
                    EXPECT_EQ(r.height(), wideOnes[i].rect.height()) << name << " at " << width;
                } else {
                    EXPECT_GE(r.width(), was.width()) << name << " shrinks as the window grows, at " << width;
                }
            }
            previous = layOutMainWindow(m, {width, least.height});
        }
        // The lists alone take up the height.
        const auto tall = layOutMainWindow(m, {least.width, least.height + 300}).controls();
        const MainLayout low = layOutMainWindow(m, least);
        const auto lowOnes = low.controls();
        for (size_t i = 0; i < tall.size(); ++i) {
            const int grew = tall[i].rect.height() - lowOnes[i].rect.height();
            EXPECT_EQ(grew, tall[i].name == "lists" ? 300 : 0) << tall[i].name;
        }
        // Given room, the flexible boxes are wider than at the minimum.
        for (auto pick : {&MainLayout::txtRegKeyStart, &MainLayout::txtFileSystemStart,
                          &MainLayout::lblCounts, &MainLayout::pbBar1, &MainLayout::lists})
            EXPECT_GT((wide.*pick).width(), (low.*pick).width());
    }
}

// Wider captions, as a larger font or another language gives, widen their
// controls and the minimum, not the other way round.
TEST(MainLayout, WiderCaptionsRaiseTheMinimum) {
    const LayoutSize normal = minimumArea(metricsAt(96));
    const LayoutSize wider = minimumArea(metricsAt(96, 2));
    EXPECT_GT(wider.width, normal.width);
    EXPECT_EQ(wider.height, normal.height);
    MainLayoutMetrics tallTabs = metricsAt(96);
    tallTabs.tabStripHeight += 40;
    EXPECT_EQ(minimumArea(tallTabs).height, normal.height + 40);
    // The minimum grows with the DPI, as the controls do.
    EXPECT_GT(minimumArea(metricsAt(144)).width, normal.width * 3 / 2 - 4);
    EXPECT_GT(minimumArea(metricsAt(192)).height, normal.height * 2 - 8);
}

}  // namespace
}  // namespace qv

#include "app/main_layout.h"

#include <algorithm>

namespace qv {
namespace {

// The design's sizes, in pixels of 96 DPI.
constexpr int kMargin = 8;
constexpr int kGap = 6;
constexpr int kRowHeight = 24;
constexpr int kButtonHeight = 28;
constexpr int kBarInset = 4;        // the progress bar's distance from the buttons' top and bottom
constexpr int kFrameInset = 12;     // from the frame's sides to the controls inside
constexpr int kFrameCaption = 22;   // from the frame's top to its first row
constexpr int kFrameBottom = 10;    // below its last row
constexpr int kLabelPadding = 12;   // after a label's text
constexpr int kCheckPadding = 30;   // a check box's box and the gap before its text
constexpr int kButtonPadding = 24;  // a push button's edges around its text
constexpr int kComboPadding = 30;   // a drop-down's arrow and edges
constexpr int kLeastLabel = 210;
constexpr int kLeastRoots = 190;
constexpr int kLeastSideButton = 90;  // "Browse" and "Advanced" share a column
constexpr int kLeastSnapShot = 140;
constexpr int kLeastDetect = 140;
constexpr int kLeastReset = 110;
constexpr int kLeastFindLabel = 40;
constexpr int kWideDetectFiles = 260;  // its box's width while there is room
// The flexible parts: each gives way down to here.
constexpr int kLeastKeyBox = 100;
constexpr int kLeastFolderBox = 100;
constexpr int kLeastProgress = 60;
constexpr int kWideFindBox = 260;
constexpr int kLeastFindBox = 120;
constexpr int kLeastCounts = 120;
constexpr int kLeastLists = 100;  // a header and a few rows

// The sizes that do not depend on the area, at the metrics' DPI.
struct Fixed {
    int margin, gap, row, buttonH, barInset, inset, caption, frameH;
    int label, roots, side, detectFiles, wideDetectFiles;
    int snapShot, detect, reset, progress;
    int findLabel, wideFind, leastFind, leastCounts;
    int leastKey, leastFolder, leastLists, tabH;
};

Fixed fixedSizes(const MainLayoutMetrics& m) {
    const long long dpi = m.dpi ? m.dpi : 96;
    const auto s = [&](int dips) { return static_cast<int>((dips * dpi + 48) / 96); };
    Fixed f{};
    f.margin = s(kMargin);
    f.gap = s(kGap);
    f.row = s(kRowHeight);
    f.buttonH = s(kButtonHeight);
    f.barInset = s(kBarInset);
    f.inset = s(kFrameInset);
    f.caption = s(kFrameCaption);
    f.frameH = f.caption + 3 * f.row + 2 * f.gap + s(kFrameBottom);
    // The first column holds two labels and a check box: as wide as the widest.
    f.label = std::max({s(kLeastLabel), m.lblRegStart + s(kLabelPadding), m.lblFileSystem + s(kLabelPadding),
                        m.chkDetectRegistry + s(kCheckPadding)});
    f.roots = std::max(s(kLeastRoots), m.longestRoot + s(kComboPadding));
    f.side = std::max(
        {s(kLeastSideButton), m.cmdFileSystemStart + s(kButtonPadding), m.cmdAdvanced + s(kButtonPadding)});
    f.detectFiles = m.chkDetectFiles + s(kCheckPadding);
    f.wideDetectFiles = std::max(f.detectFiles, s(kWideDetectFiles));
    f.snapShot = std::max(s(kLeastSnapShot), m.cmdSnapShot + s(kButtonPadding));
    f.detect = std::max(s(kLeastDetect), m.cmdDetectChanges + s(kButtonPadding));
    f.reset = std::max(s(kLeastReset), m.cmdReset + s(kButtonPadding));
    f.progress = s(kLeastProgress);
    f.findLabel = std::max(s(kLeastFindLabel), m.lblFind + f.gap);
    f.wideFind = s(kWideFindBox);
    f.leastFind = s(kLeastFindBox);
    f.leastCounts = s(kLeastCounts);
    f.leastKey = s(kLeastKeyBox);
    f.leastFolder = s(kLeastFolderBox);
    f.leastLists = s(kLeastLists);
    f.tabH = m.tabStripHeight > 0 ? m.tabStripHeight : f.row;  // a row's height until it is measured
    return f;
}

LayoutRect at(int x, int y, int w, int h) {
    return {x, y, x + w, y + h};
}

}  // namespace

std::array<MainLayout::Named, 18> MainLayout::controls() const {
    return {{{"lblRegStart", lblRegStart},
             {"cmbRegStart", cmbRegStart},
             {"txtRegKeyStart", txtRegKeyStart},
             {"lblFileSystem", lblFileSystem},
             {"txtFileSystemStart", txtFileSystemStart},
             {"cmdFileSystemStart", cmdFileSystemStart},
             {"chkDetectRegistry", chkDetectRegistry},
             {"chkDetectFiles", chkDetectFiles},
             {"cmdAdvanced", cmdAdvanced},
             {"cmdSnapShot", cmdSnapShot},
             {"cmdDetectChanges", cmdDetectChanges},
             {"cmdReset", cmdReset},
             {"pbBar1", pbBar1},
             {"lblFind", lblFind},
             {"txtFind", txtFind},
             {"lblCounts", lblCounts},
             {"tbDisplay", tbDisplay},
             {"lists", lists}}};
}

LayoutSize minimumArea(const MainLayoutMetrics& metrics) {
    const Fixed f = fixedSizes(metrics);
    // Each row's least width: the frame's three rows share their columns.
    const int inside = f.label + std::max({f.roots + f.gap + f.leastKey, f.leastFolder + f.gap + f.side,
                                           f.detectFiles + f.gap + f.side});
    const int frameRows = 2 * (f.margin + f.inset) + inside;
    const int buttons =
        f.margin + f.snapShot + f.gap + f.detect + f.gap + f.reset + 2 * f.gap + f.progress + f.margin;
    const int find = f.margin + f.findLabel + f.leastFind + 2 * f.gap + f.leastCounts + f.margin;
    const int height =
        f.margin + f.frameH + f.margin + f.buttonH + f.gap + f.row + f.gap + f.tabH + f.leastLists + f.margin;
    return {std::max({frameRows, buttons, find}), height};
}

MainLayout layOutMainWindow(const MainLayoutMetrics& metrics, LayoutSize area) {
    const Fixed f = fixedSizes(metrics);
    const LayoutSize least = minimumArea(metrics);
    MainLayout l;
    l.area = {std::max(area.width, least.width), std::max(area.height, least.height)};
    const int width = l.area.width, m = f.margin, gap = f.gap, row = f.row;

    l.Frame2 = {m, m, width - m, m + f.frameH};
    const int inX = m + f.inset, inR = width - m - f.inset, boxX = inX + f.label;
    int y = m + f.caption;
    l.lblRegStart = at(inX, y, f.label, row);
    l.cmbRegStart = at(boxX, y, f.roots, row);
    l.txtRegKeyStart = {boxX + f.roots + gap, y, inR, y + row};
    y += row + gap;
    l.lblFileSystem = at(inX, y, f.label, row);
    l.txtFileSystemStart = {boxX, y, inR - f.side - gap, y + row};
    l.cmdFileSystemStart = {inR - f.side, y, inR, y + row};
    y += row + gap;
    l.chkDetectRegistry = at(inX, y, f.label, row);
    l.chkDetectFiles = at(boxX, y, std::min(f.wideDetectFiles, inR - f.side - gap - boxX), row);
    l.cmdAdvanced = {inR - f.side, y, inR, y + row};

    y = m + f.frameH + m;
    l.cmdSnapShot = at(m, y, f.snapShot, f.buttonH);
    l.cmdDetectChanges = at(l.cmdSnapShot.right + gap, y, f.detect, f.buttonH);
    l.cmdReset = at(l.cmdDetectChanges.right + gap, y, f.reset, f.buttonH);
    // The bar is thinner than the buttons and centred beside them.
    l.pbBar1 = {l.cmdReset.right + 2 * gap, y + f.barInset, width - m, y + f.buttonH - f.barInset};
    y += f.buttonH + gap;

    // The count line gives way first, then the find box.
    const int findX = m + f.findLabel;
    const int findW = std::clamp(width - m - findX - 2 * gap - f.leastCounts, f.leastFind, f.wideFind);
    l.lblFind = at(m, y, f.findLabel, row);
    l.txtFind = at(findX, y, findW, row);
    l.lblCounts = {findX + findW + 2 * gap, y, width - m, y + row};
    y += row + gap;

    l.tbDisplay = at(m, y, width - 2 * m, f.tabH);
    y += f.tabH;
    l.lists = {m, y, width - m, l.area.height - m};
    return l;
}

}  // namespace qv

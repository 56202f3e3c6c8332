#pragma once
// Where the main window's controls stand, worked out from sizes alone: the
// window measures its captions and its tab strip, and places the controls
// where this says. Kept apart from the window so that its rules hold on any
// platform's tests.
//
// The rules: captions and buttons keep the room their text needs; the
// flexible parts (the key and folder boxes, the find box, the count line,
// the progress bar, the tab strip and the lists) give way first, down to a
// least size each. Below the size where everything fits at its least, nothing
// is squeezed further: the controls keep that layout and the window scrolls
// over it.
#include <array>
#include <string_view>

namespace qv {

struct LayoutRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const LayoutRect&) const = default;
};

struct LayoutSize {
    int width = 0, height = 0;
    bool operator==(const LayoutSize&) const = default;
};

// What only the system can measure, in pixels at `dpi`: each caption's width
// in the window's font (access-key markers left out), and the height of the
// tab strip's row of tabs.
struct MainLayoutMetrics {
    unsigned dpi = 96;
    int lblRegStart = 0;
    int lblFileSystem = 0;
    int chkDetectRegistry = 0;
    int chkDetectFiles = 0;
    int cmdFileSystemStart = 0;
    int cmdAdvanced = 0;
    int cmdSnapShot = 0;  // its caption of the moment
    int cmdDetectChanges = 0;
    int cmdReset = 0;
    int lblFind = 0;
    int longestRoot = 0;  // the widest root name in the drop-down
    int tabStripHeight = 0;
};

// Every control's rectangle in the area laid out, whose top left is 0,0.
struct MainLayout {
    LayoutSize area;  // at least the minimum, however small the area asked
    LayoutRect Frame2;
    LayoutRect lblRegStart, cmbRegStart, txtRegKeyStart;
    LayoutRect lblFileSystem, txtFileSystemStart, cmdFileSystemStart;
    LayoutRect chkDetectRegistry, chkDetectFiles, cmdAdvanced;
    LayoutRect cmdSnapShot, cmdDetectChanges, cmdReset, pbBar1;
    LayoutRect lblFind, txtFind, lblCounts;
    LayoutRect tbDisplay;
    LayoutRect lists;  // all six share one place; one shows at a time

    struct Named {
        std::string_view name;
        LayoutRect rect;
    };
    // Every rectangle but the frame's, in the order the controls stand.
    std::array<Named, 18> controls() const;
};

// The smallest area in which every control has at least its least size.
LayoutSize minimumArea(const MainLayoutMetrics& metrics);

// The controls laid out in `area`, or in the minimum where `area` is smaller
// in either direction.
MainLayout layOutMainWindow(const MainLayoutMetrics& metrics, LayoutSize area);

}  // namespace qv

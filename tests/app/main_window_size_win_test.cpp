// The main window at any size: above its minimum every control is whole and
// apart; below it, whether the program or the window manager made it so, the
// controls keep the layout of the minimum and the scroll bars reach every one
// of them. Needs a display (Xvfb under Wine); the window manager's side needs
// xdotool and a window manager on that display.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/application_win.h"
#include "core/utf.h"
#include "tests/support/fakes/saved_registry_value_win.h"
#include "tests/support/fakes/window_driver_win.h"
#include "tests/app/shown_application_win.h"

namespace qv {
namespace {

// The controls the layout places, in the order they stand; of the lists only
// the one on show.
constexpr int kPlaced[] = {IDC_lblRegStart,
                           IDC_cmbRegStart,
                           IDC_txtRegKeyStart,
                           IDC_lblFileSystem,
                           IDC_txtFileSystemStart,
                           IDC_cmdFileSystemStart,
                           IDC_chkDetectRegistry,
                           IDC_chkDetectFiles,
                           IDC_cmdAdvanced,
                           IDC_cmdSnapShot,
                           IDC_cmdDetectChanges,
                           IDC_cmdReset,
                           IDC_pbBar1,
                           IDC_lblFind,
                           IDC_txtFind,
                           IDC_lblCounts,
                           IDC_tbDisplay,
                           IDC_lstNewEntries};
constexpr int kFramed = 9;  // the first nine stand inside the frame

bool barShown(HWND window, DWORD bar) {
    return (GetWindowLongW(window, GWL_STYLE) & bar) != 0;
}

class SmallWindowTest : public testing::ShownApplicationTest {
protected:
    void SetUp() override {
        ShownApplicationTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        GetWindowRect(main_, &first_);
        least_ = app_->window().minimumFrame();
        ASSERT_GT(least_.cx, 0);
    }

    HWND control(int id) { return GetDlgItem(main_, id); }

    void resize(int width, int height) {
        SetWindowPos(main_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // What a control shows: a drop-down's window also holds its closed list.
    RECT shownRect(int id) {
        RECT r = testing::childRect(main_, control(id));
        if (id == IDC_cmbRegStart || id == IDC_txtRegKeyStart) {
            COMBOBOXINFO info{};
            info.cbSize = sizeof info;
            GetComboBoxInfo(control(id), &info);
            r.bottom = r.top + (info.rcItem.bottom - info.rcItem.top) + 6;
        }
        return r;
    }
    std::vector<RECT> shownRects() {
        std::vector<RECT> rects;
        for (int id : kPlaced) rects.push_back(shownRect(id));
        return rects;
    }
    // The client area less the status bar: what the controls share.
    RECT view() {
        RECT client{};
        GetClientRect(main_, &client);
        const RECT status = testing::childRect(main_, control(IDC_Status));
        EXPECT_EQ(status.bottom, client.bottom) << "the status bar stays at the foot";
        EXPECT_EQ(status.right - status.left, client.right) << "the status bar spans the window";
        client.bottom = status.top;
        return client;
    }
    void scroll(WORD horizontal, WORD vertical) {
        SendMessageW(main_, WM_HSCROLL, horizontal, 0);
        SendMessageW(main_, WM_VSCROLL, vertical, 0);
    }

    // Every control is whole inside the view or can be scrolled to; none
    // overlaps another; no caption is cut; the status bar is never covered.
    void expectWholeOrReachable(const std::string& where) {
        const RECT in = view();
        scroll(SB_LEFT, SB_TOP);
        const std::vector<RECT> first = shownRects();
        // Scrolled to the far end, every control's far edge is in view: the
        // bars reach all of them.
        scroll(SB_RIGHT, SB_BOTTOM);
        const std::vector<RECT> last = shownRects();
        const int dx = last[0].left - first[0].left, dy = last[0].top - first[0].top;
        for (size_t i = 0; i < std::size(kPlaced); ++i) {
            const int id = kPlaced[i];
            const RECT& r = first[i];
            EXPECT_TRUE(IsWindowVisible(control(id))) << id << " at " << where;
            EXPECT_GT(r.right - r.left, 10) << id << " at " << where;
            EXPECT_TRUE(r.left >= in.left && r.top >= in.top) << id << " starts out of reach at " << where;
            EXPECT_TRUE(last[i].right <= in.right && last[i].bottom <= in.bottom)
                << id << " ends out of reach at " << where;
            // Scrolling moves the controls together; it never rearranges them.
            EXPECT_EQ(last[i].left - r.left, dx) << id << " at " << where;
            EXPECT_EQ(last[i].top - r.top, dy) << id << " at " << where;
            for (size_t k = 0; k < i; ++k) {
                RECT overlap{};
                EXPECT_FALSE(IntersectRect(&overlap, &first[k], &r))
                    << "controls " << kPlaced[k] << " and " << id << " overlap at " << where;
            }
            const RECT frame = testing::childRect(main_, control(IDC_Frame2));
            const RECT& l = last[i];
            if (i < kFramed) {
                EXPECT_TRUE(l.top > frame.top && l.left > frame.left && l.right < frame.right &&
                            l.bottom < frame.bottom)
                    << id << " outside the frame at " << where;
            } else {
                RECT overlap{};
                EXPECT_FALSE(IntersectRect(&overlap, &frame, &l)) << id << " in the frame at " << where;
            }
        }
        EXPECT_EQ(testing::cutCaptions(main_), std::vector<std::string>{}) << where;
        // Scrolled back, the lists run on below the view, under the status
        // bar, which stays above them.
        scroll(SB_LEFT, SB_TOP);
        const RECT status = testing::childRect(main_, control(IDC_Status));
        const POINT middle{(status.left + status.right) / 2, (status.top + status.bottom) / 2};
        EXPECT_EQ(ChildWindowFromPointEx(main_, middle, CWP_SKIPINVISIBLE), control(IDC_Status)) << where;
    }

    RECT first_{};
    SIZE least_{};
};

// The program's own SetWindowPos, above, at and below the minimum: the window
// takes the size it is given, and its controls stay whole or reachable.
TEST_F(SmallWindowTest, EveryControlIsWholeOrReachableAtAnySizeTheProgramSets) {
    const std::vector<RECT> before = shownRects();
    const SIZE sizes[] = {{least_.cx * 2, least_.cy * 2},
                          least_,
                          {least_.cx - 1, least_.cy + 100},
                          {least_.cx + 100, least_.cy - 1},
                          {least_.cx * 3 / 5, least_.cy * 3 / 5},
                          {least_.cx / 3, least_.cy * 6 / 5},
                          {200, 150},
                          {first_.right - first_.left, first_.bottom - first_.top}};
    for (SIZE size : sizes) {
        resize(size.cx, size.cy);
        const std::string where = std::to_string(size.cx) + "x" + std::to_string(size.cy) + " (minimum " +
                                  std::to_string(least_.cx) + "x" + std::to_string(least_.cy) + ")";
        RECT window{};
        GetWindowRect(main_, &window);
        EXPECT_EQ(window.right - window.left, size.cx) << "not held to the minimum at " << where;
        EXPECT_EQ(window.bottom - window.top, size.cy) << "not held to the minimum at " << where;
        // A bar exactly where the window is smaller than the minimum.
        const bool narrow = size.cx < least_.cx, low = size.cy < least_.cy;
        if (!narrow && !low) {
            EXPECT_FALSE(barShown(main_, WS_HSCROLL) || barShown(main_, WS_VSCROLL)) << where;
        }
        if (narrow) {
            EXPECT_TRUE(barShown(main_, WS_HSCROLL)) << where;
        }
        if (low) {
            EXPECT_TRUE(barShown(main_, WS_VSCROLL)) << where;
        }
        expectWholeOrReachable(where);
        if (size.cx == least_.cx && size.cy == least_.cy)
            testing::keepScreenshot(main_, L"small-minimum.bmp");
        if (size.cx == least_.cx * 3 / 5) {
            testing::keepScreenshot(main_, L"small-below-minimum-top-left.bmp");
            scroll(SB_RIGHT, SB_BOTTOM);
            testing::keepScreenshot(main_, L"small-below-minimum-bottom-right.bmp");
        }
    }
    // Back at its first size, the window is as it was.
    EXPECT_FALSE(barShown(main_, WS_HSCROLL) || barShown(main_, WS_VSCROLL));
    const std::vector<RECT> after = shownRects();
    for (size_t i = 0; i < before.size(); ++i) EXPECT_TRUE(EqualRect(&before[i], &after[i])) << kPlaced[i];
}

// The system's sizing stops at the smallest size where everything fits, and
// one pixel less in either direction needs that direction's bar.
TEST_F(SmallWindowTest, TheMinimumTrackSizeIsWhereScrollingBegins) {
    MINMAXINFO info{};
    SendMessageW(main_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, least_.cx);
    EXPECT_EQ(info.ptMinTrackSize.y, least_.cy);
    const struct {
        SIZE size;
        bool horizontal, vertical;
    } cases[] = {{least_, false, false},
                 {{least_.cx - 1, least_.cy + 100}, true, false},
                 {{least_.cx + 100, least_.cy - 1}, false, true}};
    for (const auto& c : cases) {
        resize(c.size.cx, c.size.cy);
        EXPECT_EQ(barShown(main_, WS_HSCROLL), c.horizontal) << c.size.cx << "x" << c.size.cy;
        EXPECT_EQ(barShown(main_, WS_VSCROLL), c.vertical) << c.size.cx << "x" << c.size.cy;
    }
    // A wider font at a larger DPI raises the minimum with it.
    RECT home{};
    GetWindowRect(main_, &home);
    const UINT dpi = GetDpiForWindow(main_) ? GetDpiForWindow(main_) : 96;
    RECT suggested{home.left, home.top, home.left + (home.right - home.left) * 2,
                   home.top + (home.bottom - home.top) * 2};
    SendMessageW(main_, WM_DPICHANGED, MAKEWPARAM(dpi * 2, dpi * 2), reinterpret_cast<LPARAM>(&suggested));
    const SIZE larger = app_->window().minimumFrame();
    EXPECT_GT(larger.cx, least_.cx * 3 / 2);
    EXPECT_GT(larger.cy, least_.cy * 3 / 2);
    SendMessageW(main_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&home));
}

// Tab through the window while it is smaller than its minimum: each control
// that takes the keyboard is scrolled into view.
TEST_F(SmallWindowTest, TheKeyboardBringsEachControlIntoView) {
    SendMessageW(control(IDC_chkDetectFiles), BM_CLICK, 0, 0);  // the folder's controls take the keys too
    resize(least_.cx / 2, least_.cy / 2);
    scroll(SB_LEFT, SB_TOP);
    SetFocus(control(IDC_cmbRegStart));
    std::set<int> visited;
    for (int press = 0; press < 14; ++press) {
        MSG msg{};
        msg.hwnd = GetFocus();
        msg.message = WM_KEYDOWN;
        msg.wParam = VK_TAB;
        msg.lParam = 1;
        app_->pump().dispatch(msg);
        HWND focus = GetFocus();
        while (focus && GetParent(focus) != main_) focus = GetParent(focus);
        ASSERT_NE(focus, nullptr);
        const int id = GetDlgCtrlID(focus);
        visited.insert(id);
        const RECT r = shownRect(id), in = view();
        // Whole where it fits the view; else from its near edge on.
        const bool fitsAcross = r.right - r.left <= in.right, fitsDown = r.bottom - r.top <= in.bottom;
        EXPECT_TRUE(r.left >= 0 && (!fitsAcross || r.right <= in.right)) << "control " << id << " across";
        EXPECT_TRUE(r.top >= 0 && (!fitsDown || r.bottom <= in.bottom)) << "control " << id << " down";
    }
    EXPECT_EQ(visited, (std::set<int>{IDC_cmbRegStart, IDC_txtRegKeyStart, IDC_txtFileSystemStart,
                                      IDC_cmdFileSystemStart, IDC_chkDetectRegistry, IDC_chkDetectFiles,
                                      IDC_cmdAdvanced, IDC_cmdSnapShot, IDC_cmdReset, IDC_txtFind,
                                      IDC_tbDisplay, IDC_lstNewEntries}));
}

// The window manager's side: xdotool sizes the X window far below the
// minimum, as a drag, a tiling manager or a script may. The window follows
// the frame on the screen instead of keeping a larger one of its own, and
// its controls stay reachable.
TEST_F(SmallWindowTest, AWindowManagerMayMakeTheWindowSmallerThanItsMinimum) {
    const std::wstring xdotool = L"Z:\\usr\\bin\\xdotool";
    if (GetFileAttributesW(xdotool.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "xdotool is not installed";
    // Wine's X11 driver keeps the window's X id among its properties: xdotool
    // is told it rather than searching every window on the display, which
    // may end in an error when a window goes away during the search.
    const auto xWindow = reinterpret_cast<UINT_PTR>(GetPropW(main_, L"__wine_x11_whole_window"));
    if (!xWindow) GTEST_SKIP() << "not on Wine's X11 driver";
    const int width = least_.cx / 2, height = least_.cy / 2;
    std::wstring command = xdotool + L" windowsize " + std::to_wstring(xWindow) + L" " +
                           std::to_wstring(width) + L" " + std::to_wstring(height);
    // Wine starts a Linux program without a handle to wait on or an exit
    // code to read: what it did shows in the window's size, awaited below.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process))
        << GetLastError();
    for (HANDLE h : {process.hThread, process.hProcess}) {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    // The manager's answer arrives as messages.
    RECT window{}, client{};
    for (const ULONGLONG until = GetTickCount64() + 5000; GetTickCount64() < until;) {
        testing::pumpFor(50);
        GetWindowRect(main_, &window);
        if (window.right - window.left < least_.cx && window.bottom - window.top < least_.cy) break;
    }
    testing::pumpFor(200);
    GetWindowRect(main_, &window);
    GetClientRect(main_, &client);
    const std::string where = "a frame of " + std::to_string(width) + "x" + std::to_string(height) +
                              " from the window manager (window " +
                              std::to_string(window.right - window.left) + "x" +
                              std::to_string(window.bottom - window.top) + ", client " +
                              std::to_string(client.right) + "x" + std::to_string(client.bottom) + ")";
    // The X window holds the client area, the menu and the scroll bars. The
    // window is as small as the manager made it, not held at its minimum.
    EXPECT_LT(window.right - window.left, least_.cx) << where;
    EXPECT_LT(window.bottom - window.top, least_.cy) << where;
    EXPECT_LE(client.right, width) << where;
    EXPECT_LE(client.bottom, height) << where;
    // Wine's window is that X window inside the caption and borders which
    // the manager draws: exactly the size the manager gave it.
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    EXPECT_EQ(window.right - window.left, frame.right - frame.left) << where;
    EXPECT_EQ(window.bottom - window.top, frame.bottom - frame.top) << where;
    EXPECT_TRUE(barShown(main_, WS_HSCROLL) && barShown(main_, WS_VSCROLL)) << where;
    expectWholeOrReachable(where);
    testing::keepScreenshot(main_, L"small-by-window-manager.bmp");
}

}  // namespace
}  // namespace qv

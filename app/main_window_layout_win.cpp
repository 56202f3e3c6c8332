// The layout of frmMain on the screen: the captions measured in the window's
// font, the controls put where the portable layout says, and the scroll bars
// that reach them when the window is smaller than the layout's minimum.
//
// Under Wine the window manager sizes the frame, and Wine gives it no minimum
// (it sets X size hints only for windows that cannot be resized), so a drag,
// a tiling manager or a script can make the window as small as it likes.
// Below the minimum the controls keep the layout of the minimum and the
// client area scrolls over it, so that none is cut off or laid over another.
#include "app/main_window_win.h"
// The common controls' header needs windows.h, which the window's brings.
#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "window/scaled_controls_win.h"

namespace qv {
namespace {

constexpr std::pair<int, LayoutRect MainLayout::*> kPlaces[] = {
    {IDC_Frame2, &MainLayout::Frame2},
    {IDC_lblRegStart, &MainLayout::lblRegStart},
    {IDC_cmbRegStart, &MainLayout::cmbRegStart},
    {IDC_txtRegKeyStart, &MainLayout::txtRegKeyStart},
    {IDC_lblFileSystem, &MainLayout::lblFileSystem},
    {IDC_txtFileSystemStart, &MainLayout::txtFileSystemStart},
    {IDC_cmdFileSystemStart, &MainLayout::cmdFileSystemStart},
    {IDC_chkDetectRegistry, &MainLayout::chkDetectRegistry},
    {IDC_chkDetectFiles, &MainLayout::chkDetectFiles},
    {IDC_cmdAdvanced, &MainLayout::cmdAdvanced},
    {IDC_cmdSnapShot, &MainLayout::cmdSnapShot},
    {IDC_cmdDetectChanges, &MainLayout::cmdDetectChanges},
    {IDC_cmdReset, &MainLayout::cmdReset},
    {IDC_pbBar1, &MainLayout::pbBar1},
    {IDC_lblFind, &MainLayout::lblFind},
    {IDC_txtFind, &MainLayout::txtFind},
    {IDC_lblCounts, &MainLayout::lblCounts},
    {IDC_tbDisplay, &MainLayout::tbDisplay},
};

constexpr std::pair<int, int MainLayoutMetrics::*> kCaptions[] = {
    {IDC_lblRegStart, &MainLayoutMetrics::lblRegStart},
    {IDC_lblFileSystem, &MainLayoutMetrics::lblFileSystem},
    {IDC_chkDetectRegistry, &MainLayoutMetrics::chkDetectRegistry},
    {IDC_chkDetectFiles, &MainLayoutMetrics::chkDetectFiles},
    {IDC_cmdFileSystemStart, &MainLayoutMetrics::cmdFileSystemStart},
    {IDC_cmdAdvanced, &MainLayoutMetrics::cmdAdvanced},
    {IDC_cmdSnapShot, &MainLayoutMetrics::cmdSnapShot},
    {IDC_cmdDetectChanges, &MainLayoutMetrics::cmdDetectChanges},
    {IDC_cmdReset, &MainLayoutMetrics::cmdReset},
    {IDC_lblFind, &MainLayoutMetrics::lblFind},
};

// A caption as it is drawn: an access key's marker is not.
std::wstring drawnText(const std::wstring& caption) {
    std::wstring text;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size()) ++i;
        text += caption[i];
    }
    return text;
}

bool barShown(HWND window, int bar) {
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    return (style & (bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL)) != 0;
}

int scrollPos(HWND window, int bar) {
    if (!barShown(window, bar)) return 0;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    GetScrollInfo(window, bar, &info);
    return info.nPos;
}

}  // namespace

// The tab strip holds only its row of tabs; the list sits below it, so the
// two never overlap and neither paints over the other.
int MainWindow::tabStripHeight() const {
    RECT item{};
    if (!SendMessageW(control(IDC_tbDisplay), TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item)))
        return scale(24);
    return item.bottom + scale(2);
}

MainLayoutMetrics MainWindow::measure() const {
    MainLayoutMetrics m;
    m.dpi = dpi_;
    HDC dc = GetDC(hwnd_);
    if (!dc) return m;
    const HGDIOBJ old = SelectObject(dc, font_.get());
    const auto width = [&](const std::wstring& caption) {
        const std::wstring text = drawnText(caption);
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
    };
    for (const auto& [id, field] : kCaptions) m.*field = width(windowText(control(id)));
    HWND roots = control(IDC_cmbRegStart);
    for (int i = 0, n = static_cast<int>(SendMessageW(roots, CB_GETCOUNT, 0, 0)); i < n; ++i) {
        std::wstring root(
            static_cast<size_t>(SendMessageW(roots, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0)) + 1, L'\0');
        SendMessageW(roots, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(root.data()));
        m.longestRoot = std::max(m.longestRoot, width(root.c_str()));
    }
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    m.tabStripHeight = tabStripHeight();
    return m;
}

// The part of the client area the controls share: all but the status bar.
SIZE MainWindow::viewSize() const {
    RECT client{}, status{};
    GetClientRect(hwnd_, &client);
    GetWindowRect(control(IDC_Status), &status);
    return {client.right, std::max(0L, client.bottom - (status.bottom - status.top))};
}

void MainWindow::layout() {
    // Showing or hiding a scroll bar resizes the client area, which asks for
    // a layout again: the call that showed it finishes the work.
    if (placing_ || !font_) return;
    placing_ = true;
    const MainLayoutMetrics metrics = measure();
    minimum_ = minimumArea(metrics);
    // A bar shown for one direction narrows the view in the other, which may
    // then need its own: three rounds settle both.
    SIZE view{};
    const auto setRange = [&](int bar, int content, long page) {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_PAGE;
        info.nMax = content - 1;
        info.nPage = static_cast<UINT>(std::max(page, 0L));
        SetScrollInfo(hwnd_, bar, &info, TRUE);
    };
    for (int round = 0; round < 3; ++round) {
        SendMessageW(control(IDC_Status), WM_SIZE, 0, 0);
        view = viewSize();
        setRange(SB_HORZ, minimum_.width, view.cx);
        setRange(SB_VERT, minimum_.height, view.cy);
    }
    placed_ = layOutMainWindow(metrics, {static_cast<int>(view.cx), static_cast<int>(view.cy)});
    const int dx = -scrollPos(hwnd_, SB_HORZ), dy = -scrollPos(hwnd_, SB_VERT);

    HDWP moves = BeginDeferWindowPos(static_cast<int>(std::size(kPlaces) + lists_.size()));
    const auto place = [&](HWND control, const LayoutRect& r, int height) {
        if (moves)
            moves = DeferWindowPos(moves, control, nullptr, r.left + dx, r.top + dy, r.width(), height,
                                   SWP_NOZORDER | SWP_NOACTIVATE);
    };
    for (const auto& [id, rect] : kPlaces) {
        const LayoutRect& r = placed_.*rect;
        // A drop-down's window height is that of its open list.
        const bool dropDown = id == IDC_cmbRegStart || id == IDC_txtRegKeyStart;
        place(control(id), r, dropDown ? scale(200) : r.height());
    }
    for (auto& l : lists_) place(l.hwnd(), placed_.lists, placed_.lists.height());
    if (moves) EndDeferWindowPos(moves);
    shownList().fitLastColumn();
    placing_ = false;
}

SIZE MainWindow::minimumFrame() const {
    if (minimum_.width <= 0) return {0, 0};
    // The frame around the client area as it is now, less the scroll bars,
    // which the window at its minimum does not show.
    RECT window{}, client{}, status{};
    GetWindowRect(hwnd_, &window);
    GetClientRect(hwnd_, &client);
    GetWindowRect(control(IDC_Status), &status);
    int width = (window.right - window.left) - client.right + minimum_.width;
    int height =
        (window.bottom - window.top) - client.bottom + minimum_.height + (status.bottom - status.top);
    for (const auto& [object, bar] : {std::pair{OBJID_VSCROLL, SB_VERT}, std::pair{OBJID_HSCROLL, SB_HORZ}}) {
        if (!barShown(hwnd_, bar)) continue;
        SCROLLBARINFO info{};
        info.cbSize = sizeof info;
        if (!GetScrollBarInfo(hwnd_, object, &info)) continue;
        if (bar == SB_VERT) width -= info.rcScrollBar.right - info.rcScrollBar.left;
        if (bar == SB_HORZ) height -= info.rcScrollBar.bottom - info.rcScrollBar.top;
    }
    return {width, height};
}

void MainWindow::scrollTo(int bar, int pos) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    info.nPos = pos;
    SetScrollInfo(hwnd_, bar, &info, TRUE);  // the system keeps it within the range
    layout();
}

void MainWindow::onScroll(int bar, int code) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    if (!barShown(hwnd_, bar) || !GetScrollInfo(hwnd_, bar, &info)) return;
    const int line = scale(20), page = std::max(static_cast<int>(info.nPage) - line, line);
    int pos = info.nPos;
    switch (code) {
        case SB_LINEUP:
            pos -= line;
            break;
        case SB_LINEDOWN:
            pos += line;
            break;
        case SB_PAGEUP:
            pos -= page;
            break;
        case SB_PAGEDOWN:
            pos += page;
            break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
            pos = info.nTrackPos;
            break;
        case SB_TOP:
            pos = info.nMin;
            break;
        case SB_BOTTOM:
            pos = info.nMax;
            break;
        default:
            return;
    }
    scrollTo(bar, pos);
}

bool MainWindow::onWheel(int delta) {
    if (!barShown(hwnd_, SB_VERT)) return false;
    UINT lines = 3;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    if (lines == WHEEL_PAGESCROLL) lines = 3;
    scrollTo(SB_VERT, scrollPos(hwnd_, SB_VERT) - delta * static_cast<int>(lines) * scale(20) / WHEEL_DELTA);
    return true;
}

void MainWindow::keepFocusInView() {
    HWND focus = GetFocus();
    if (!focus || !IsChild(hwnd_, focus)) return;
    while (GetParent(focus) != hwnd_) focus = GetParent(focus);  // a drop-down's edit box
    const LayoutRect* r = nullptr;
    for (const auto& [id, rect] : kPlaces) {
        if (control(id) == focus) r = &(placed_.*rect);
    }
    for (const auto& l : lists_) {
        if (l.hwnd() == focus) r = &placed_.lists;
    }
    if (!r) return;
    const SIZE view = viewSize();
    const auto shift = [&](int bar, int from, int to, long length) {
        const int pos = scrollPos(hwnd_, bar), margin = scale(8);
        // Its near edge first, where it is longer than the view.
        if (from < pos) {
            scrollTo(bar, from - margin);
        } else if (to > pos + length) {
            scrollTo(bar, std::min(from - margin, to + margin - static_cast<int>(length)));
        }
    };
    if (barShown(hwnd_, SB_HORZ)) shift(SB_HORZ, r->left, r->right, view.cx);
    if (barShown(hwnd_, SB_VERT)) shift(SB_VERT, r->top, r->bottom, view.cy);
}

}  // namespace qv

#include "app/result_list_win.h"

#include "app/row_tip.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "app/result_lists.h"
#include "core/failure_win.h"
#include "window/scaled_controls_win.h"
#include "core/utf.h"

namespace qv {
namespace {

constexpr int kCellPadding = 14;  // the control's margins inside a cell
constexpr size_t kSampleRows = 200;

int textWidth(HDC dc, std::wstring_view text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
    return size.cx;
}

// A path that is wider than the cell keeps its start and its last part and
// loses the middle, so rows that differ only in the file name still differ.
void shortenInMiddle(HWND list, std::wstring& path, int width) {
    if (path.size() < 4 || width <= 0) return;
    HDC dc = GetDC(list);
    if (!dc) return;
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    if (textWidth(dc, path) > width) {
        // A key ends with its separator: its last part is the name before it.
        size_t cut = path.find_last_of(L'\\', path.size() - 2);
        if (cut == std::wstring::npos || cut == 0) cut = path.size() / 2;
        const std::wstring tail = L"\u2026" + path.substr(cut);
        size_t lo = 0, hi = cut;  // the longest start that still fits
        while (lo < hi) {
            const size_t mid = (lo + hi + 1) / 2;
            if (textWidth(dc, path.substr(0, mid) + tail) <= width) {
                lo = mid;
            } else {
                hi = mid - 1;
            }
        }
        path = path.substr(0, lo) + tail;
    }
    SelectObject(dc, old);
    ReleaseDC(list, dc);
}

void copyInto(const std::wstring& text, wchar_t* out, int room) {
    if (!out || room <= 0) return;
    const size_t n = std::min(text.size(), static_cast<size_t>(room) - 1);
    text.copy(out, n);
    out[n] = L'\0';
}

}  // namespace

void ResultList::create(HWND parent, int id, ListId list, HINSTANCE instance) {
    list_ = list;
    hwnd_ = checkWin32(CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                       WS_CHILD | WS_TABSTOP | WS_CLIPSIBLINGS | LVS_REPORT | LVS_OWNERDATA |
                                           LVS_SHOWSELALWAYS,
                                       0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                       instance, nullptr));
    SendMessageW(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP);
    tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr, instance, nullptr);
    if (tip_) {
        TTTOOLINFOW tool = tipTool();
        // Transparent: a tip that lands under the pointer must not take it
        // from the list, which would hide the tip and show it again.
        tool.uFlags = TTF_TRACK | TTF_ABSOLUTE | TTF_IDISHWND | TTF_TRANSPARENT;
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        setTipWidth(600);
        SetWindowSubclass(hwnd_, &ResultList::listProc, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    const ResultColumns columns = resultListColumns(list);
    columns_ = columns.count;
    for (int i = 0; i < columns_; ++i) {
        const std::wstring name = toWide(columns.names[i]);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
        col.fmt = resultColumnKind(list, i) == ColumnKind::Number ? LVCFMT_RIGHT : LVCFMT_LEFT;
        col.pszText = const_cast<wchar_t*>(name.c_str());
        col.cx = 100;
        col.iSubItem = i;
        SendMessageW(hwnd_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col));
    }
    view_.reset();
}

void ResultList::clear() {
    hideTip();
    rows_.clear();
    rows_.shrink_to_fit();
    view_.reset();
    fitted_ = false;
    markSortColumn();
    showCount();
}

void ResultList::append(ResultRow row) { rows_.push_back(std::move(row)); }

void ResultList::flush() {
    if (!hwnd_) return;
    view_.grow(rows_, columns_);
    if (shown_ == view_.size() && (fitted_ || rows_.empty())) return;
    showCount();
}

void ResultList::showCount() {
    shown_ = view_.size();
    if (shown_ == 0) fitted_ = fitted_ && !rows_.empty();
    if (!hwnd_) return;
    SendMessageW(hwnd_, LVM_SETITEMCOUNT, static_cast<WPARAM>(shown_), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    InvalidateRect(hwnd_, nullptr, FALSE);
    if (!fitted_ && !widthsKept_ && shown_ > 0) fitColumns();
}

void ResultList::setDpi(UINT dpi) {
    if (!dpi || dpi == dpi_) return;
    for (int c = 0; c + 1 < columns_; ++c) {
        const int width = static_cast<int>(SendMessageW(hwnd_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0));
        SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c),
                     MulDiv(width, static_cast<int>(dpi), static_cast<int>(dpi_)));
    }
    dpi_ = dpi;
    fitLastColumn();
}

std::vector<int> ResultList::columnWidths96() const {
    std::vector<int> widths;
    for (int c = 0; c < columns_; ++c)
        widths.push_back(MulDiv(static_cast<int>(SendMessageW(hwnd_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0)),
                                96, static_cast<int>(dpi_)));
    return widths;
}

void ResultList::setColumnWidths96(const std::vector<int>& widths) {
    if (static_cast<int>(widths.size()) != columns_) return;
    for (int c = 0; c + 1 < columns_; ++c)
        SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), scaledToDpi(widths[static_cast<size_t>(c)], dpi_));
    widthsKept_ = true;
    fitLastColumn();
}

void ResultList::sortBy(int column) {
    if (column < 0 || column >= columns_) return;
    hideTip();  // its line now holds another row
    view_.sortBy(rows_, list_, column);
    // Selection is by line, and the lines now hold other rows. An empty
    // list for a moment drops it at once; clearing each line would visit a
    // million of them.
    if (SendMessageW(hwnd_, LVM_GETSELECTEDCOUNT, 0, 0) > 0) SendMessageW(hwnd_, LVM_SETITEMCOUNT, 0, 0);
    markSortColumn();
    showCount();
}

void ResultList::setFilter(std::string_view text) {
    hideTip();
    view_.setFilter(rows_, columns_, text);
    showCount();
    if (shown_ > 0) SendMessageW(hwnd_, LVM_ENSUREVISIBLE, 0, FALSE);
}

void ResultList::setHideBackground(bool hide) {
    hideTip();
    view_.setHideBackground(rows_, columns_, hide);
    showCount();
}

void ResultList::markSortColumn() {
    HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0));
    if (!header) return;
    for (int i = 0; i < columns_; ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == view_.sortColumn()) item.fmt |= view_.descending() ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
}

void ResultList::fitColumns() {
    if (!hwnd_) return;
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int room = client.right - client.left;
    const ResultColumns names = resultListColumns(list_);
    for (int c = 0; c + 1 < columns_; ++c) {
        int width = static_cast<int>(SendMessageW(hwnd_, LVM_GETSTRINGWIDTHW, 0,
                                                  reinterpret_cast<LPARAM>(toWide(names.names[c]).c_str())));
        // A sample from the top of the list: what the user sees first.
        for (size_t line = 0; line < std::min(view_.size(), kSampleRows); ++line) {
            const std::wstring text = toWide(resultCell(rows_[view_.rowAt(line)], c));
            width = std::max(width, static_cast<int>(SendMessageW(hwnd_, LVM_GETSTRINGWIDTHW, 0,
                                                                  reinterpret_cast<LPARAM>(text.c_str()))));
        }
        // The first column may take up to half; the others a quarter each.
        const int cap = c == 0 ? room / 2 : room / 4;
        const int least = scaledToDpi(60, dpi_);
        width = std::clamp(width + scaledToDpi(kCellPadding, dpi_), least, std::max(cap, least));
        SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), width);
    }
    fitLastColumn();
    fitted_ = !rows_.empty();
}

void ResultList::fitLastColumn() {
    // The last column fills the rest, so nothing shows past it.
    if (hwnd_ && columns_ > 0)
        SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(columns_ - 1), LVSCW_AUTOSIZE_USEHEADER);
}

void ResultList::fillDisplayInfo(NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || item.iItem < 0 || static_cast<size_t>(item.iItem) >= view_.size() ||
        item.cchTextMax <= 0)
        return;
    const ResultRow& row = rows_[view_.rowAt(static_cast<size_t>(item.iItem))];
    // What the list paints is one line; what a program reads from it is whole.
    const std::string& cell = resultCell(row, item.iSubItem);
    cell_ = painting_ ? toWide(shownOnOneLine(cell)) : toWide(cell);
    if (item.iSubItem == 0 && painting_) {
        const int width = static_cast<int>(SendMessageW(hwnd_, LVM_GETCOLUMNWIDTH, 0, 0)) - scaledToDpi(kCellPadding, dpi_);
        shortenInMiddle(hwnd_, cell_, width);
    }
    copyInto(cell_, item.pszText, item.cchTextMax);
}

LRESULT ResultList::customDraw(NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
        // The whole paint of the control, whichever order the control asks
        // for an item's text and announces the item in.
        case CDDS_PREPAINT:
            painting_ = true;
            return CDRF_NOTIFYPOSTPAINT;
        case CDDS_POSTPAINT:
            painting_ = false;
            return CDRF_DODEFAULT;
        default:
            return CDRF_DODEFAULT;
    }
}

std::string ResultList::tipText(size_t line) const {
    if (line >= view_.size()) return {};
    const ResultRow& row = rows_[view_.rowAt(line)];
    return rowTipText(list_, row, tipDetail ? tipDetail(row) : std::string());
}

TTTOOLINFOW ResultList::tipTool() const {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = GetParent(hwnd_);
    tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
    return tool;
}

void ResultList::setTipWidth(int pixels) {
    if (tip_) SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, pixels);
}

int ResultList::lineAt(POINT at) const {
    LVHITTESTINFO hit{};
    hit.pt = at;
    const int line = static_cast<int>(SendMessageW(hwnd_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    return line >= 0 && static_cast<size_t>(line) < view_.size() ? line : -1;
}

void ResultList::watchPointer() {
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof(track);
    track.dwFlags = TME_HOVER | TME_LEAVE;
    track.hwndTrack = hwnd_;
    track.dwHoverTime = HOVER_DEFAULT;
    TrackMouseEvent(&track);
}

void ResultList::showTip(POINT at) {
    // No tip over an open menu: the pointer rests there to choose.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    if (GetGUIThreadInfo(0, &gui) && (gui.flags & GUI_INMENUMODE)) return;
    const int line = lineAt(at);
    if (line < 0) return;
    const std::wstring text = toWide(tipText(static_cast<size_t>(line)));
    TTTOOLINFOW tool = tipTool();
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    // Below the pointer, clear of its arrow.
    POINT screen = at;
    ClientToScreen(hwnd_, &screen);
    SendMessageW(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(screen.x, screen.y + GetSystemMetrics(SM_CYCURSOR) / 2 + 4));
    SendMessageW(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    tipLine_ = line;
}

void ResultList::hideTip() {
    if (tipLine_ < 0) return;
    TTTOOLINFOW tool = tipTool();
    SendMessageW(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    tipLine_ = -1;
}

LRESULT CALLBACK ResultList::listProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    auto& list = *reinterpret_cast<ResultList*>(self);
    const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (msg) {
        case WM_MOUSEMOVE:
            // Resting on another line shows that line's tip, after a pause.
            if (list.tipLine_ < 0 || list.lineAt(at) != list.tipLine_) {
                list.hideTip();
                list.watchPointer();
            }
            break;
        case WM_MOUSEHOVER:
            list.showTip(at);
            break;
        case WM_MOUSELEAVE:
        case WM_MOUSEWHEEL:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_CONTEXTMENU:
        case WM_KEYDOWN:
        case WM_VSCROLL:
        case WM_HSCROLL:
        case WM_KILLFOCUS:
            list.hideTip();
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, &ResultList::listProc, 1);
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

void ResultList::selectAll() {
    LVITEMW all{};
    all.stateMask = LVIS_SELECTED;
    all.state = LVIS_SELECTED;
    SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&all));
}

std::vector<uint32_t> ResultList::selectedRows() const {
    std::vector<uint32_t> out;
    const auto count = static_cast<size_t>(SendMessageW(hwnd_, LVM_GETSELECTEDCOUNT, 0, 0));
    out.reserve(count);
    if (count == view_.size()) {
        for (size_t line = 0; line < count; ++line) out.push_back(view_.rowAt(line));
        return out;
    }
    for (int line = -1;
         (line = static_cast<int>(SendMessageW(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(line), LVNI_SELECTED))) >= 0;) {
        if (static_cast<size_t>(line) < view_.size()) out.push_back(view_.rowAt(static_cast<size_t>(line)));
    }
    return out;
}

const ResultRow* ResultList::focusedRow() const {
    int line = static_cast<int>(SendMessageW(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED | LVNI_SELECTED));
    if (line < 0) line = static_cast<int>(SendMessageW(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (line < 0 || static_cast<size_t>(line) >= view_.size()) return nullptr;
    return &rows_[view_.rowAt(static_cast<size_t>(line))];
}

bool copyToClipboard(HWND owner, const std::string& utf8) {
    const std::wstring text = toWide(utf8);
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    bool done = false;
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
        if (auto* out = static_cast<wchar_t*>(GlobalLock(memory))) {
            text.copy(out, text.size());
            out[text.size()] = L'\0';
            GlobalUnlock(memory);
            done = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!done) GlobalFree(memory);
    }
    CloseClipboard();
    return done;
}

}  // namespace qv

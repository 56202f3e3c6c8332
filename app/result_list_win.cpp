#include "app/result_list_win.h"

#include <commctrl.h>

#include "core/failure_win.h"
#include "core/utf.h"

namespace qv {

void ResultList::create(HWND parent, int id, const std::vector<const wchar_t*>& columns, HINSTANCE instance) {
    hwnd_ = checkWin32(CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                       WS_CHILD | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0,
                                       0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                                       nullptr));
    SendMessageW(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_GRIDLINES);
    columns_ = static_cast<int>(columns.size());
    for (int i = 0; i < columns_; ++i) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        col.pszText = const_cast<wchar_t*>(columns[static_cast<size_t>(i)]);
        col.cx = i == 0 ? 380 : 160;
        col.iSubItem = i;
        SendMessageW(hwnd_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col));
    }
}

void ResultList::clear() {
    rows_.clear();
    rows_.shrink_to_fit();
    shown_ = 0;
    if (hwnd_) SendMessageW(hwnd_, LVM_SETITEMCOUNT, 0, 0);
}

void ResultList::append(ResultRow row) { rows_.push_back(std::move(row)); }

void ResultList::flush() {
    if (!hwnd_ || shown_ == rows_.size()) return;
    shown_ = rows_.size();
    SendMessageW(hwnd_, LVM_SETITEMCOUNT, static_cast<WPARAM>(shown_), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void ResultList::fillDisplayInfo(NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || item.iItem < 0 || static_cast<size_t>(item.iItem) >= rows_.size() ||
        item.cchTextMax <= 0)
        return;
    const ResultRow& row = rows_[static_cast<size_t>(item.iItem)];
    const std::string& text = item.iSubItem == 0 ? row.text : item.iSubItem == 1 ? row.sub1 : row.sub2;
    cell_ = toWide(text);
    const size_t room = static_cast<size_t>(item.cchTextMax) - 1;
    const size_t n = cell_.size() < room ? cell_.size() : room;
    cell_.copy(item.pszText, n);
    item.pszText[n] = L'\0';
}

}  // namespace qv

#pragma once
// What the window tests share: a display check with the common controls ready,
// and the texts of a list view read back as the user sees them.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "core/utf.h"

namespace qv::testing {

// False when no display is there to create windows on (the caller skips).
inline bool displayReady() {
    HDC probe = GetDC(nullptr);
    if (!probe) return false;
    ReleaseDC(nullptr, probe);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES |
                                                        ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    return true;
}

inline std::string cellText(HWND list, int row, int column) {
    wchar_t buffer[1024] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 1024;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return toUtf8(std::wstring_view(buffer));
}

inline std::vector<std::string> columnTexts(HWND list, int column) {
    std::vector<std::string> out;
    const int n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < n; ++r) out.push_back(cellText(list, r, column));
    return out;
}

// A child window's rectangle in its parent's client coordinates.
inline RECT childRect(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

inline std::vector<std::vector<std::string>> shownRows(HWND list, int columns) {
    std::vector<std::vector<std::string>> rows;
    const int n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < n; ++r) {
        std::vector<std::string> row;
        for (int c = 0; c < columns; ++c) row.push_back(cellText(list, r, c));
        rows.push_back(row);
    }
    return rows;
}

}  // namespace qv::testing

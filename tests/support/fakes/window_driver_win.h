#pragma once
// What the window tests share: a display check with the common controls ready,
// and the texts of a list view read back as the user sees them.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "core/utf.h"
#include "demo/screen_capture_win.h"

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

// A click on a list view's column header, as the mouse gives it.
inline void clickHeader(HWND list, int column) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    RECT r{};
    SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(header, WM_LBUTTONUP, 0, at);
}

// A child window's rectangle in its parent's client coordinates.
inline RECT childRect(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The visible captions of a window's buttons, check boxes, labels and combo
// boxes that do not fit their control in its own font: each as "text (needs N,
// has M)". Empty when every caption fits.
inline std::vector<std::string> cutCaptions(HWND window) {
    std::vector<std::string> cut;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        wchar_t cls[32] = {};
        GetClassNameW(child, cls, 32);
        const std::wstring kind = cls;
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        const bool button = _wcsicmp(cls, L"Button") == 0;
        const bool box = button && ((style & 0xF) == BS_GROUPBOX);
        if (!button && _wcsicmp(cls, L"Static") != 0 && _wcsicmp(cls, L"ComboBox") != 0) continue;
        if (_wcsicmp(cls, L"Static") == 0 && (style & 0x1F) >= SS_ICON && (style & 0x1F) != SS_LEFTNOWORDWRAP) continue;
        wchar_t buffer[256] = {};
        GetWindowTextW(child, buffer, 256);
        std::wstring text;
        for (const wchar_t* p = buffer; *p; ++p) {
            if (*p == L'&' && p[1] != L'&') continue;  // an access key's marker is not drawn
            text += *p;
        }
        if (text.empty()) continue;
        HDC dc = GetDC(child);
        const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)));
        RECT need{0, 0, 0, 0};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, DT_CALCRECT | DT_SINGLELINE);
        RECT has{};
        GetClientRect(child, &has);
        int room = has.right - has.left;
        const bool multiline = !button && (style & SS_LEFTNOWORDWRAP) != SS_LEFTNOWORDWRAP &&
                               has.bottom - has.top >= 2 * (need.bottom - need.top);
        if (multiline) {  // a wrapped label must fit its lines in its height
            RECT wrapped{0, 0, room, 0};
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &wrapped, DT_CALCRECT | DT_WORDBREAK);
            if (wrapped.bottom > has.bottom - has.top)
                cut.push_back(toUtf8(text) + " (needs height " + std::to_string(wrapped.bottom) + ", has " +
                              std::to_string(has.bottom - has.top) + ")");
        } else {
            if (_wcsicmp(cls, L"ComboBox") == 0) room -= GetSystemMetrics(SM_CXVSCROLL) + 6;
            if (button && !box && ((style & 0xF) == BS_AUTOCHECKBOX || (style & 0xF) == BS_CHECKBOX ||
                                   (style & 0xF) == BS_3STATE || (style & 0xF) == BS_AUTORADIOBUTTON))
                room -= GetSystemMetrics(SM_CXMENUCHECK) + 4;
            else if (button && !box)
                room -= 8;  // a push button's edges
            if (need.right > room)
                cut.push_back(toUtf8(text) + " (needs " + std::to_string(need.right) + ", has " +
                              std::to_string(room) + ")");
        }
        SelectObject(dc, old);
        ReleaseDC(child, dc);
    }
    return cut;
}

// Lets the thread's messages flow (timers, paints) for `ms` milliseconds.
inline void pumpFor(ULONGLONG ms) {
    for (const ULONGLONG until = GetTickCount64() + ms; GetTickCount64() < until;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

// Saves what `window` shows as `name` among the test command's screenshots,
// when it asks for them (QUORVEL_TEST_ARTIFACTS names their folder).
inline void keepScreenshot(HWND window, const std::wstring& name) {
    wchar_t dir[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"QUORVEL_TEST_ARTIFACTS", dir, MAX_PATH)) return;
    // The shot is read from the screen: a window made a moment ago may not
    // be mapped by the window manager yet, and would come out black. Its
    // messages flow for a little while first.
    pumpFor(300);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    demo::saveWindowShot(window, std::wstring(dir) + L"\\" + name);
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

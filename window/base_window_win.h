#pragma once
// What every window of the program shares: its class registered once, and the
// window procedure that hands each message to the object that created the
// window. T provides HandleMessage and the hwnd_ member this fills in.
#include <windows.h>

#include "core/failure_win.h"

namespace qv {

template <typename T>
class BaseWindow {
protected:
    // Registers the class on first use; `background` is a system colour index.
    static void registerClass(HINSTANCE instance, const wchar_t* name, HICON icon = nullptr,
                              HICON smallIcon = nullptr, int background = COLOR_BTNFACE) {
        static bool registered = false;
        if (registered) return;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hIcon = icon;
        wc.hIconSm = smallIcon;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(background + 1));
        wc.lpszClassName = name;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) throwWin32(GetLastError());
        registered = true;
    }

    // The object travels in CreateWindowExW's last argument.
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        T* self = nullptr;
        if (msg == WM_NCCREATE) {
            self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            self->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        } else {
            self = reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        }
        if (self) return self->HandleMessage(msg, wParam, lParam);
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    // An access key: the control takes the focus and is pressed, as a dialog
    // does for a mnemonic; a hidden or greyed control is left alone.
    static void pressForKey(HWND control) {
        if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control)) return;
        SetFocus(control);
        SendMessageW(control, BM_CLICK, 0, 0);
    }

    // After a key changed the page: where the change hid the control that
    // had the keys (`before`), or took them from it, they go on to `shown`.
    static void keepKeysOnPage(HWND before, HWND shown) {
        if (!before || !IsWindowVisible(before) || GetFocus() != before) SetFocus(shown);
    }
};

}  // namespace qv

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
                              int background = COLOR_BTNFACE) {
        static bool registered = false;
        if (registered) return;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hIcon = icon;
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

    // A size in pixels of 96 DPI at the window's DPI.
    static int scaled(int dips, UINT dpi) { return MulDiv(dips, static_cast<int>(dpi ? dpi : 96), 96); }

    // The system's message font at a DPI; the caller owns it.
    static HFONT messageFont(UINT dpi) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
            SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        return CreateFontIndirectW(&metrics.lfMessageFont);
    }

    // A visible child control placed in pixels of 96 DPI, scaled to `dpi`, in
    // `font`. Siblings clip each other, so none paints over another.
    struct Place {
        int x, y, w, h;
    };
    static HWND makeScaled(HWND parent, HINSTANCE instance, UINT dpi, HFONT font, DWORD exStyle, const wchar_t* cls,
                           const wchar_t* text, DWORD style, Place at, int id) {
        HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style,
                                 scaled(at.x, dpi), scaled(at.y, dpi), scaled(at.w, dpi), scaled(at.h, dpi), parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return c;
    }
};

}  // namespace qv

#include "window/scaled_controls_win.h"

namespace qv {

std::wstring windowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

HFONT messageFontFor(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

UINT dpiBeside(HWND owner) {
    const UINT dpi = owner ? GetDpiForWindow(owner) : GetDpiForSystem();
    return dpi ? dpi : 96;
}

SIZE frameAt(int width, int height, DWORD style, DWORD exStyle, UINT dpi) {
    RECT frame{0, 0, scaledToDpi(width, dpi), scaledToDpi(height, dpi)};
    AdjustWindowRectExForDpi(&frame, style, FALSE, exStyle, dpi);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void ScaledControls::attach(HWND parent, HINSTANCE instance, UINT dpi) {
    parent_ = parent;
    instance_ = instance;
    dpi_ = dpi ? dpi : 96;
    controls_.clear();
    font_.reset(messageFontFor(dpi_));
}

HWND ScaledControls::add(DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, Place at, int id) {
    HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, scale(at.x),
                             scale(at.y), scale(at.w), scale(at.h), parent_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (!c) return nullptr;
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    controls_.push_back({c, at});
    return c;
}

void ScaledControls::setDpi(UINT dpi) {
    dpi_ = dpi ? dpi : 96;
    // The controls take the new font before the old one is freed.
    UniqueFont old = std::move(font_);
    font_.reset(messageFontFor(dpi_));
    HDWP moves = BeginDeferWindowPos(static_cast<int>(controls_.size()));
    for (const Control& c : controls_) {
        if (!IsWindow(c.hwnd)) continue;
        SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        if (moves)
            moves = DeferWindowPos(moves, c.hwnd, nullptr, scale(c.at.x), scale(c.at.y), scale(c.at.w),
                                   scale(c.at.h), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (moves) EndDeferWindowPos(moves);
    InvalidateRect(parent_, nullptr, TRUE);
}

}  // namespace qv

#pragma once
// The child controls of a window that is laid out in pixels of 96 DPI. Each
// control keeps its place in those pixels, so a change of DPI (the window
// moved to a monitor of another scale) puts every control where it belongs
// at the new DPI, in a font made for that DPI.
#include <windows.h>

#include <string>
#include <vector>

#include "core/win_handles_win.h"

namespace qv {

// A size in pixels of 96 DPI at `dpi`.
inline int scaledToDpi(int dips, UINT dpi) { return MulDiv(dips, static_cast<int>(dpi ? dpi : 96), 96); }

// A window's or a control's text, whole.
std::wstring windowText(HWND hwnd);

// The system's message font at a DPI; the caller owns it.
HFONT messageFontFor(UINT dpi);

// The DPI a window made beside `owner` starts at: the owner's, or the
// system's without one.
UINT dpiBeside(HWND owner);

// The outer size of a window of `style` and `exStyle` whose inside is
// `width` by `height` pixels of 96 DPI, at `dpi`.
SIZE frameAt(int width, int height, DWORD style, DWORD exStyle, UINT dpi);

class ScaledControls {
public:
    struct Place {
        int x, y, w, h;
    };

    // The window the controls go in, and its DPI at creation.
    void attach(HWND parent, HINSTANCE instance, UINT dpi);
    // A visible child control at `at`. Siblings clip each other, so none
    // paints over another.
    HWND add(DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, Place at, int id);
    // Every control moved to its place at `dpi`, in a font made for it.
    void setDpi(UINT dpi);

private:
    int scale(int dips) const { return scaledToDpi(dips, dpi_); }

    struct Control {
        HWND hwnd;
        Place at;
    };
    HWND parent_ = nullptr;
    HINSTANCE instance_ = nullptr;
    UINT dpi_ = 96;
    UniqueFont font_;
    std::vector<Control> controls_;
};

}  // namespace qv

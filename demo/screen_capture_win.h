#pragma once
// Saves what the screen shows inside a rectangle as a 24-bit BMP file. Used by
// the demo and the window tests to keep a picture of the real window.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace qv::demo {

inline bool saveScreenRect(const RECT& rect, const std::wstring& path) {
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (w <= 0 || h <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (dib && bits) {
        HGDIOBJ old = SelectObject(mem, dib);
        BitBlt(mem, 0, 0, w, h, screen, rect.left, rect.top, SRCCOPY);
        GdiFlush();
        SelectObject(mem, old);
        const DWORD stride = static_cast<DWORD>(((w * 3) + 3) & ~3);
        const DWORD imageSize = stride * static_cast<DWORD>(h);
        BITMAPFILEHEADER fh{};
        fh.bfType = 0x4D42;
        fh.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        fh.bfSize = fh.bfOffBits + imageSize;
        bi.bmiHeader.biSizeImage = imageSize;
        if (FILE* f = _wfopen(path.c_str(), L"wb")) {
            ok = fwrite(&fh, sizeof(fh), 1, f) == 1 && fwrite(&bi.bmiHeader, sizeof(BITMAPINFOHEADER), 1, f) == 1 &&
                 fwrite(bits, imageSize, 1, f) == 1;
            fclose(f);
        }
    }
    if (dib) DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

inline bool saveWindowShot(HWND hwnd, const std::wstring& path) {
    RECT r{};
    if (!GetWindowRect(hwnd, &r)) return false;
    return saveScreenRect(r, path);
}

}  // namespace qv::demo

#include "support/centring_hook_win.h"

#include <cmath>

namespace qv {
namespace {

// The hook procedures take no context, so the hook and its owner are
// process-wide; the pickers are modal, so there is one at a time.
HWND ParenthWnd = nullptr;
HHOOK hHook = nullptr;

void centre(HWND window, const RECT& area) {
    RECT r;
    if (GetWindowRect(window, &r)) {
        const POINT at = centredOrigin(area, r);
        SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    UnhookWindowsHookEx(hHook);
    hHook = nullptr;
}

LRESULT CALLBACK WinProcCenterScreen(int lMsg, WPARAM wParam, LPARAM) {
    if (lMsg == HCBT_ACTIVATE) {
        const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        centre(reinterpret_cast<HWND>(wParam), screen);
    }
    return 0;
}

LRESULT CALLBACK WinProcCenterForm(int lMsg, WPARAM wParam, LPARAM) {
    if (lMsg == HCBT_ACTIVATE) {
        RECT owner{};
        GetWindowRect(ParenthWnd, &owner);
        centre(reinterpret_cast<HWND>(wParam), owner);
    }
    return 0;
}

}  // namespace

POINT centredOrigin(const RECT& area, const RECT& window) {
    const double x = area.left + (area.right - area.left) / 2.0 - (window.right - window.left) / 2.0;
    const double y = area.top + (area.bottom - area.top) / 2.0 - (window.bottom - window.top) / 2.0;
    return {static_cast<LONG>(std::nearbyint(x)), static_cast<LONG>(std::nearbyint(y))};
}

CentringHook::CentringHook(HWND owner) {
    if (hHook) UnhookWindowsHookEx(hHook);
    ParenthWnd = owner;
    hHook = SetWindowsHookExW(WH_CBT, owner ? WinProcCenterForm : WinProcCenterScreen, nullptr,
                              GetCurrentThreadId());
}

CentringHook::~CentringHook() {
    if (hHook) UnhookWindowsHookEx(hHook);
    hHook = nullptr;
}

}  // namespace qv

#include "support/keys_back_win.h"

namespace qv {
namespace {

HWND pendingWindow = nullptr;
UINT_PTR pendingTimer = 0;

void CALLBACK activatePending(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    pendingTimer = 0;
    HWND window = pendingWindow;
    pendingWindow = nullptr;
    // A window held still by another box by now keeps waiting for that one.
    if (window && IsWindow(window) && IsWindowEnabled(window) && GetForegroundWindow() != window)
        SetForegroundWindow(window);
}

}  // namespace

void returnKeysTo(HWND window) {
    if (!window || !IsWindow(window)) return;
    // Later, from the message loop: the caller goes on at once, and nothing
    // is handled inside its handler.
    pendingWindow = window;
    if (!pendingTimer) pendingTimer = SetTimer(nullptr, 0, 150, activatePending);
}

}  // namespace qv

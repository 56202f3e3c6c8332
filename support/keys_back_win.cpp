#include "support/keys_back_win.h"

namespace qv {

void returnKeysTo(HWND window) {
    if (!window || !IsWindow(window) || !IsWindowEnabled(window)) return;
    // Only this thread's paint and focus traffic: no input is taken from
    // the queue, so no click is handled inside the caller's handler.
    for (const ULONGLONG until = GetTickCount64() + 120; GetTickCount64() < until;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE | PM_QS_POSTMESSAGE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
    if (GetForegroundWindow() != window) SetForegroundWindow(window);
}

}  // namespace qv

#include "app/message_pump_win.h"

namespace qv {

void MessagePump::yield() {
    const ULONGLONG now = GetTickCount64();
    if (now - last_ < 10) return;
    last_ = now;
    pumpNow();
}

void MessagePump::pumpNow() {
    ++turns_;
    if (beforePump) beforePump();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave it for the outer loop, which ends the program.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        dispatch(msg);
    }
    last_ = GetTickCount64();
}

void MessagePump::addModeless(HWND window, HACCEL keys) {
    std::erase_if(modeless_, [&](const Modeless& m) { return m.window == window || !IsWindow(m.window); });
    if (window) modeless_.push_back({window, keys});
}

void MessagePump::dispatch(MSG& msg) const {
    route(msg);
    if (afterKey && (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN)) afterKey();
}

void MessagePump::route(MSG& msg) const {
    if (dialogWindow && accelerators && (msg.hwnd == dialogWindow || IsChild(dialogWindow, msg.hwnd)) &&
        TranslateAcceleratorW(dialogWindow, accelerators, &msg))
        return;
    if (dialogWindow && IsDialogMessageW(dialogWindow, &msg)) return;
    for (const auto& [window, keys] : modeless_) {
        if (!IsWindow(window)) continue;
        if (keys && (msg.hwnd == window || IsChild(window, msg.hwnd)) && TranslateAcceleratorW(window, keys, &msg))
            return;
        if (IsDialogMessageW(window, &msg)) return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

}  // namespace qv

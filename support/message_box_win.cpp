#include "support/message_box_win.h"

#include <atomic>
#include <memory>
#include <string>

#include "core/utf.h"

namespace qv {
namespace {

// What the box's thread tells the asking thread. Shared, since the box's
// thread may still be closing the box after the asker has gone on.
struct BoxAnswer {
    BoxAnswer() : ready(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~BoxAnswer() { CloseHandle(ready); }
    HANDLE ready;  // set once `result` holds the answer
    std::atomic<int> result{0};
};

struct BoxRequest {
    std::shared_ptr<BoxAnswer> answer;
    HWND owner;
    std::wstring text, title;
    UINT type;
};

// The box's thread's view of its one box: the last command that the box was
// sent, which is what the box returns once it hides.
struct BoxWatch {
    BoxAnswer& answer;
    HHOOK hook = nullptr;
    HWND box = nullptr;
    int command = 0;
};
thread_local BoxWatch* t_watch = nullptr;

void tell(BoxAnswer& answer, int result) {
    int none = 0;
    if (answer.result.compare_exchange_strong(none, result)) SetEvent(answer.ready);
}

bool isDialog(HWND hwnd) {
    wchar_t cls[8] = {};
    return GetClassNameW(hwnd, cls, 8) && wcscmp(cls, L"#32770") == 0;
}

// A message box is sent the command of the button or key that answers it,
// then hides: the answer is known as the hiding starts.
LRESULT CALLBACK watchBox(int code, WPARAM wParam, LPARAM lParam) {
    BoxWatch* w = t_watch;
    if (code == HC_ACTION && w) {
        const CWPSTRUCT& m = *reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (m.message == WM_COMMAND && HIWORD(m.wParam) == BN_CLICKED && LOWORD(m.wParam) >= IDOK &&
            LOWORD(m.wParam) <= IDCONTINUE && (w->box ? m.hwnd == w->box : isDialog(m.hwnd))) {
            w->box = m.hwnd;
            w->command = LOWORD(m.wParam);
        } else if (m.message == WM_WINDOWPOSCHANGING && m.hwnd == w->box && w->command &&
                   (reinterpret_cast<const WINDOWPOS*>(m.lParam)->flags & SWP_HIDEWINDOW)) {
            tell(w->answer, w->command);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

DWORD WINAPI showBox(void* param) {
    const std::unique_ptr<BoxRequest> r(static_cast<BoxRequest*>(param));
    BoxWatch watch{*r->answer};
    watch.hook = SetWindowsHookExW(WH_CALLWNDPROC, watchBox, nullptr, GetCurrentThreadId());
    t_watch = &watch;
    const int result = MessageBoxW(r->owner, r->text.c_str(), r->title.c_str(), r->type);
    t_watch = nullptr;
    if (watch.hook) UnhookWindowsHookEx(watch.hook);
    // A box that ended without a command (a quit message) answers here.
    tell(*r->answer, result ? result : IDCANCEL);
    return 0;
}

// Keeps this thread's windows answered until the box has its answer. A quit
// message ends the box, as it would end the box's own modal loop, and is then
// left for the loop that is waiting for it.
int waitForAnswer(BoxAnswer& answer, DWORD boxThread) {
    bool quit = false, quitPassedOn = false;
    WPARAM quitCode = 0;
    for (;;) {
        // The box's thread takes a quit message only once it has a queue.
        if (quit && !quitPassedOn) quitPassedOn = PostThreadMessageW(boxThread, WM_QUIT, 0, 0);
        const DWORD woke = MsgWaitForMultipleObjectsEx(
            1, &answer.ready, quit && !quitPassedOn ? 20 : INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) break;
        if (woke == WAIT_FAILED) {
            WaitForSingleObject(answer.ready, INFINITE);
            break;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = msg.wParam;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    return answer.result.load();
}

}  // namespace

Answer MessageBoxPrompt::ask(std::string_view text, std::string_view title, Buttons buttons, Icon icon) {
    if (beforeShow) beforeShow();
    UINT type = buttons == Buttons::YesNoCancel ? MB_YESNOCANCEL : MB_OK;
    switch (icon) {
        case Icon::Question:
            type |= MB_ICONQUESTION;
            break;
        case Icon::Exclamation:
            type |= MB_ICONEXCLAMATION;
            break;
        case Icon::Information:
            type |= MB_ICONINFORMATION;
            break;
        case Icon::None:
            break;
    }
    auto answer = std::make_shared<BoxAnswer>();
    auto request = std::make_unique<BoxRequest>(BoxRequest{answer, owner, toWide(text), toWide(title), type});
    DWORD boxThread = 0;
    const HANDLE thread = CreateThread(nullptr, 0, showBox, request.get(), 0, &boxThread);
    int result = 0;
    if (thread) {
        request.release();  // the box's thread owns it now
        CloseHandle(thread);
        result = waitForAnswer(*answer, boxThread);
    } else {
        result = MessageBoxW(owner, request->text.c_str(), request->title.c_str(), type);
    }
    switch (result) {
        case IDYES:
            return Answer::Yes;
        case IDNO:
            return Answer::No;
        case IDCANCEL:
            return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
        default:
            return Answer::Ok;
    }
}

}  // namespace qv

#include "support/message_box_win.h"

#include <optional>
#include <string>

#include "core/utf.h"
#include "support/centring_hook_win.h"
#include "support/keys_back_win.h"

namespace qv {

namespace {

// Adds a tick box under the buttons of the next message box that the thread
// activates, and reads it as the box closes. Wine's task dialog shows no
// verification box, and the system's message box has none of its own.
class TickHook {
public:
    explicit TickHook(std::wstring_view text) : text_(text) {
        current_ = this;
        const DWORD thread = GetCurrentThreadId();
        sized_ = SetWindowsHookExW(WH_CALLWNDPROCRET, &TickHook::afterMessage, nullptr, thread);
        closing_ = SetWindowsHookExW(WH_CBT, &TickHook::cbt, nullptr, thread);
    }
    ~TickHook() {
        if (sized_) UnhookWindowsHookEx(sized_);
        if (closing_) UnhookWindowsHookEx(closing_);
        current_ = nullptr;
    }
    TickHook(const TickHook&) = delete;
    TickHook& operator=(const TickHook&) = delete;
    bool ticked() const { return ticked_; }

private:
    // Once the box has laid itself out and before it shows: so the window
    // manager maps it at its full size, and the centring takes that size.
    static LRESULT CALLBACK afterMessage(int code, WPARAM wParam, LPARAM lParam) {
        const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (TickHook* self = current_; self && code == HC_ACTION && message->message == WM_INITDIALOG && !self->box_)
            self->add(message->hwnd);
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static LRESULT CALLBACK cbt(int code, WPARAM wParam, LPARAM lParam) {
        if (TickHook* self = current_; self && code == HCBT_DESTROYWND && reinterpret_cast<HWND>(wParam) == self->box_)
            self->ticked_ = SendMessageW(self->check_, BM_GETCHECK, 0, 0) == BST_CHECKED;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    void add(HWND box) {
        wchar_t cls[16] = {};
        GetClassNameW(box, cls, 16);
        if (std::wstring_view(cls) != L"#32770") return;
        box_ = box;
        // In the box's own font and measure: a line of its text, below the buttons.
        const auto font = reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0));
        RECT unit{0, 0, 4, 8};
        MapDialogRect(box, &unit);
        const int margin = unit.bottom, line = unit.bottom * 3 / 2;
        RECT client{}, frame{};
        GetClientRect(box, &client);
        GetWindowRect(box, &frame);
        SetWindowPos(box, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + line + margin,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        check_ = CreateWindowExW(0, L"BUTTON", text_.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                                 2 * margin, client.bottom, client.right - 4 * margin, line, box, nullptr, nullptr,
                                 nullptr);
        if (check_ && font) SendMessageW(check_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }

    static inline thread_local TickHook* current_ = nullptr;
    std::wstring text_;
    HHOOK sized_ = nullptr;
    HHOOK closing_ = nullptr;
    HWND box_ = nullptr;
    HWND check_ = nullptr;
    bool ticked_ = false;
};

}  // namespace

Answer MessageBoxPrompt::show(std::string_view text, std::string_view title, Buttons buttons, Icon icon,
                              std::string_view tick, bool* ticked) {
    if (beforeShow) beforeShow();
    UINT type = buttons == Buttons::YesNoCancel ? MB_YESNOCANCEL : buttons == Buttons::YesNo ? MB_YESNO : MB_OK;
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
    // The box's own modal loop keeps the owner's messages flowing; a quit
    // message ends the box and is posted again for the loop that waits for it.
    int result = 0;
    {
        // Over the window it belongs to, as on Windows; Wine puts it in the
        // middle of the screen.
        CentringHook hook(owner);
        std::optional<TickHook> tickHook;
        if (ticked) tickHook.emplace(toWide(tick));
        result = MessageBoxW(owner, toWide(text).c_str(), toWide(title).c_str(), type);
        if (ticked) *ticked = tickHook->ticked();
    }
    returnKeysTo(owner);
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


Answer MessageBoxPrompt::ask(std::string_view text, std::string_view title, Buttons buttons, Icon icon) {
    return show(text, title, buttons, icon, {}, nullptr);
}

Answer MessageBoxPrompt::askWithTick(std::string_view text, std::string_view title, Buttons buttons, Icon icon,
                                     std::string_view tick, bool& ticked) {
    return show(text, title, buttons, icon, tick, &ticked);
}

Answer DialogPrompt::ask(std::string_view text, std::string_view title, Buttons buttons, Icon icon) {
    struct OwnerScope {
        MessageBoxPrompt& boxes;
        HWND saved;
        ~OwnerScope() { boxes.owner = saved; }
    } scope{boxes_, boxes_.owner};
    if (const intptr_t dialog = dialog_ ? dialog_() : 0) boxes_.owner = reinterpret_cast<HWND>(dialog);
    return boxes_.ask(text, title, buttons, icon);
}

}  // namespace qv

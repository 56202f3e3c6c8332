#include "support/message_box_win.h"

#include <commctrl.h>

#include <string>

#include "core/utf.h"
#include "support/centring_hook_win.h"
#include "support/keys_back_win.h"

namespace qv {

Answer MessageBoxPrompt::ask(std::string_view text, std::string_view title, Buttons buttons, Icon icon) {
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
        result = MessageBoxW(owner, toWide(text).c_str(), toWide(title).c_str(), type);
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

Answer MessageBoxPrompt::askWithTick(std::string_view text, std::string_view title, Buttons buttons, Icon icon,
                                     std::string_view tick, bool& ticked) {
    ticked = false;
    // Looked up, not linked: a program without the version 6 manifest has a
    // common controls library without it, and must still start.
    using TaskDialogFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
    HMODULE controls = GetModuleHandleW(L"comctl32.dll");
    const auto taskDialog =
        controls ? reinterpret_cast<TaskDialogFn>(reinterpret_cast<void*>(GetProcAddress(controls, "TaskDialogIndirect")))
                 : nullptr;
    if (!taskDialog) return ask(text, title, buttons, icon);
    if (beforeShow) beforeShow();
    const std::wstring wideText = toWide(text), wideTitle = toWide(title), wideTick = toWide(tick);
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = owner;
    config.dwFlags = TDF_POSITION_RELATIVE_TO_WINDOW | (buttons == Buttons::YesNo ? 0 : TDF_ALLOW_DIALOG_CANCELLATION);
    config.dwCommonButtons = buttons == Buttons::Ok ? TDCBF_OK_BUTTON
                             : buttons == Buttons::YesNo
                                 ? TDCBF_YES_BUTTON | TDCBF_NO_BUTTON
                                 : TDCBF_YES_BUTTON | TDCBF_NO_BUTTON | TDCBF_CANCEL_BUTTON;
    config.pszWindowTitle = wideTitle.c_str();
    config.pszMainIcon = icon == Icon::Question      ? nullptr
                         : icon == Icon::Exclamation ? TD_WARNING_ICON
                         : icon == Icon::Information ? TD_INFORMATION_ICON
                                                     : nullptr;
    config.pszContent = wideText.c_str();
    config.pszVerificationText = wideTick.c_str();
    int pressed = 0;
    BOOL checked = FALSE;
    if (FAILED(taskDialog(&config, &pressed, nullptr, &checked))) return ask(text, title, buttons, icon);
    returnKeysTo(owner);
    ticked = checked != FALSE;
    switch (pressed) {
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

#include "support/message_box_win.h"

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

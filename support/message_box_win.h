#pragma once
#include <windows.h>

#include <functional>

#include "core/user_prompt.h"

namespace qv {

// Modal message boxes owned by the main window: the system's own box on the
// window's thread, as every Windows program has it. (Under Wine with no window
// manager at all, a closed box makes the program wait 2 s for one; a desktop
// always runs one, and the scripts start one beside their private X server.)
class MessageBoxPrompt : public UserPrompt {
public:
    HWND owner = nullptr;
    // Runs before the box opens, so the window shows its latest state behind it.
    std::function<void()> beforeShow;

    Answer ask(std::string_view text, std::string_view title, Buttons buttons, Icon icon) override;
    // The same box with a tick box added under its buttons.
    Answer askWithTick(std::string_view text, std::string_view title, Buttons buttons, Icon icon,
                       std::string_view tick, bool& ticked) override;

private:
    Answer show(std::string_view text, std::string_view title, Buttons buttons, Icon icon, std::string_view tick,
                bool* ticked);
};

// A dialog's questions: their boxes belong to the dialog, so that the keys go
// back to it when they close.
class DialogPrompt : public UserPrompt {
public:
    DialogPrompt(MessageBoxPrompt& boxes, std::function<intptr_t()> dialog)
        : boxes_(boxes), dialog_(std::move(dialog)) {}
    Answer ask(std::string_view text, std::string_view title, Buttons buttons, Icon icon) override;

private:
    MessageBoxPrompt& boxes_;
    std::function<intptr_t()> dialog_;
};

}  // namespace qv

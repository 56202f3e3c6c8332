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
};

}  // namespace qv

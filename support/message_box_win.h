#pragma once
#include <windows.h>

#include <functional>

#include "core/user_prompt.h"

namespace qv {

// Modal message boxes owned by the main window.
class MessageBoxPrompt : public UserPrompt {
public:
    HWND owner = nullptr;
    // Runs before the box opens, so the window shows its latest state behind it.
    std::function<void()> beforeShow;

    Answer ask(std::string_view text, std::string_view title, Buttons buttons, Icon icon) override;
};

}  // namespace qv

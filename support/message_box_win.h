#pragma once
#include <windows.h>

#include <functional>

#include "core/user_prompt.h"

namespace qv {

// Modal message boxes owned by the main window.
//
// Each box runs on a thread of its own while the asking thread keeps the
// window's messages flowing, as the box's own modal loop would, and the answer
// is taken the moment the box hides. A platform may take its time over taking
// a closed box off the screen (Wine without a window manager waits 2 s for
// one), and that wait then holds only the box's thread, never the work that
// the answer starts.
class MessageBoxPrompt : public UserPrompt {
public:
    HWND owner = nullptr;
    // Runs before the box opens, so the window shows its latest state behind it.
    std::function<void()> beforeShow;

    Answer ask(std::string_view text, std::string_view title, Buttons buttons, Icon icon) override;
};

}  // namespace qv

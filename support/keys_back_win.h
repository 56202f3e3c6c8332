#pragma once
// Giving the keyboard back to the window that opened a modal box or picker.
#include <windows.h>

namespace qv {

// Under Wine a window manager may give the X focus to another of the
// program's windows as a modal box closes, and Wine then activates that one:
// the keys would go to the main window instead of the dialog that asked.
// Activates `window` a moment later, once the window manager has had its say.
void returnKeysTo(HWND window);

}  // namespace qv

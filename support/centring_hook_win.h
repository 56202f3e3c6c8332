#pragma once
// Centres the next window that the calling thread activates, once, on the
// screen or on an owner window: the way the program's pickers open.
#include <windows.h>

namespace qv {

class CentringHook {
public:
    // owner nullptr: the screen.
    explicit CentringHook(HWND owner);
    ~CentringHook();  // removes the hook if no window was activated
    CentringHook(const CentringHook&) = delete;
    CentringHook& operator=(const CentringHook&) = delete;
};

// Where a window of the given size goes to stand centred on `area`; halves
// round to even, as the platform's own rounding does.
POINT centredOrigin(const RECT& area, const RECT& window);

}  // namespace qv

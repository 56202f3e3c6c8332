#pragma once
// The long jobs' yield: hands the thread to the message loop at most every
// ~10 ms, so a click on "Stop" is answered at once while pumping never
// dominates the cost of a step.
#include <windows.h>

#include <functional>
#include <vector>

#include "core/yielder.h"

namespace qv {

class MessagePump : public Yielder {
public:
    // Runs before each pump, to paint deferred status and rows.
    std::function<void()> beforePump;
    // The window whose controls Tab and Shift+Tab move between.
    HWND dialogWindow = nullptr;
    // The Alt keys of its buttons.
    HACCEL accelerators = nullptr;
    // Runs after each key is handled: a key may have moved the keyboard to
    // a control scrolled out of view.
    std::function<void()> afterKey;
    // Modeless windows beside it (the advanced settings, the about box), with
    // the same keys and `keys` of their own; Enter and Esc there press their
    // OK and Cancel.
    void addModeless(HWND window, HACCEL keys = nullptr);

    // One message through the window's keyboard navigation or the usual route.
    void dispatch(MSG& msg) const;

    void yield() override;
    // Pumps now, whatever the time.
    void pumpNow();
    unsigned long long turns() const override { return turns_; }

private:
    void route(MSG& msg) const;

    struct Modeless {
        HWND window;
        HACCEL keys;
    };
    std::vector<Modeless> modeless_;
    ULONGLONG last_ = 0;
    unsigned long long turns_ = 0;
};

}  // namespace qv

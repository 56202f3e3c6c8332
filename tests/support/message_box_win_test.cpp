// The real message boxes under Wine: each button and key gives its answer,
// the asking thread's own messages keep flowing meanwhile, and a quit message
// ends a box and is kept for the loop that waits for it.
#include "support/message_box_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/fakes/box_answerer_win.h"
#include "tests/support/fakes/window_driver_win.h"

namespace qv {
namespace {

using testing::BoxAnswerer;

TEST(MessageBoxPromptTest, EachWayOfAnsweringReachesTheAskingThread) {
    if (!testing::displayReady()) GTEST_SKIP() << "no display";
    struct Case {
        Buttons buttons;
        const wchar_t* button;  // nullptr: the Esc key
        Answer expected;
    };
    const Case cases[] = {
        {Buttons::YesNoCancel, L"Yes", Answer::Yes},
        {Buttons::YesNoCancel, L"No", Answer::No},
        {Buttons::YesNoCancel, L"Cancel", Answer::Cancel},
        {Buttons::YesNoCancel, nullptr, Answer::Cancel},
        {Buttons::Ok, L"OK", Answer::Ok},
        {Buttons::Ok, nullptr, Answer::Ok},
    };
    MessageBoxPrompt prompt;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button ? c.button : L"Esc");
        BoxAnswerer boxes;
        int ticks = 0;
        if (c.button) {
            boxes.buttonFor[L"Box test"] = c.button;
        } else {
            boxes.buttonFor[L"Box test"] = L"(none)";
            boxes.onTick = [&] {
                if (++ticks < 2) return;
                if (HWND box = FindWindowW(L"#32770", L"Box test"))
                    PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
            };
        }
        EXPECT_EQ(prompt.ask("A question", "Box test", c.buttons, Icon::Question), c.expected);
        if (c.button) {
            EXPECT_EQ(boxes.seen.size(), 1u);  // the asker's own timer ran while it waited
        }
    }
}

TEST(MessageBoxPromptTest, AQuitMessageEndsTheBoxAndIsKeptForTheLoop) {
    if (!testing::displayReady()) GTEST_SKIP() << "no display";
    MessageBoxPrompt prompt;
    BoxAnswerer boxes;
    boxes.buttonFor[L"Quit test"] = L"(none)";
    bool posted = false;
    boxes.onTick = [&] {
        if (!posted && FindWindowW(L"#32770", L"Quit test")) {
            posted = true;
            PostQuitMessage(7);
        }
    };
    prompt.ask("Wait", "Quit test", Buttons::YesNoCancel, Icon::None);
    EXPECT_TRUE(posted);
    EXPECT_EQ(FindWindowW(L"#32770", L"Quit test"), nullptr);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

}  // namespace
}  // namespace qv

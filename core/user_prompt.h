#pragma once
#include <string_view>

namespace qv {

enum class Answer { Ok, Yes, No, Cancel };
enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Icon { Information, Question, Exclamation, None };

// A modal message box. The window answers it with MessageBoxW; tests script it.
class UserPrompt {
public:
    virtual ~UserPrompt() = default;
    virtual Answer ask(std::string_view text, std::string_view title, Buttons buttons, Icon icon) = 0;
    // The same box with a tick box under the question, such as "Don't ask
    // again"; `ticked` says how the user left it. Where no box can show one,
    // the question is asked without it and the box counts as unticked.
    virtual Answer askWithTick(std::string_view text, std::string_view title, Buttons buttons, Icon icon,
                               std::string_view tick, bool& ticked) {
        (void)tick;
        ticked = false;
        return ask(text, title, buttons, icon);
    }
};

}  // namespace qv

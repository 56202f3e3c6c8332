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
};

}  // namespace qv

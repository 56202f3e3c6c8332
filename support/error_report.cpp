#include "support/error_report.h"

#include <algorithm>

#include "core/statements.h"

namespace qv {

std::string ErrorReporter::message(int32_t errNumber, std::string_view errDescription, int32_t errLine,
                                   std::string_view statementText) {
    std::string text = "Error Number: " + std::to_string(errNumber) + ".\r\n";
    text += "Error Description: ";
    text += errDescription;
    text += ".\r\nError Line: " + std::to_string(errLine) + ".\r\n";
    text += "Error Code: ";
    text += statementText;
    text += "\r\nDo you wish to pause on this error again?";
    return text;
}

void ErrorReporter::ReportError(int32_t errNumber, std::string_view errDescription, int32_t errLine) {
    if (!LineTextsLoaded_) {
        // The statement table itself is compiled in; what the first report sets
        // up is the skip list, which starts by silencing "no statement".
        SkipLines_.assign(1, 0);
        LineTextsLoaded_ = true;
    }
    if (std::find(SkipLines_.begin(), SkipLines_.end(), errLine) != SkipLines_.end()) return;

    Answer answer = prompt_.ask(message(errNumber, errDescription, errLine, statementText(errLine)), "Error",
                                Buttons::YesNoCancel, Icon::Question);
    if (answer == Answer::No) SkipLines_.push_back(errLine);
}

}  // namespace qv

#include "support/error_report.h"

#include <gtest/gtest.h>

#include <tuple>

#include "core/handler.h"
#include "core/statements.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using testing::ScriptedPrompt;

TEST(ErrorReport, MessageLinesAreExactlyAsShown) {
    EXPECT_EQ(
        ErrorReporter::message(5, "Invalid procedure call or argument", 33, "x = y(1)"),
        "Error Number: 5.\r\nError Description: Invalid procedure call or argument.\r\nError Line: 33.\r\n"
        "Error Code: x = y(1)\r\nDo you wish to pause on this error again?");
    // A description that already ends with a full stop still gets one; negative
    // numbers keep their sign and no number has a leading blank.
    EXPECT_EQ(ErrorReporter::message(-2147, "Done.", 0, ""),
              "Error Number: -2147.\r\nError Description: Done..\r\nError Line: 0.\r\nError Code: \r\n"
              "Do you wish to pause on this error again?");
}

// Yes and Cancel keep showing a statement; No silences only that one for the rest
// of the run; statement 0 (outside any numbered statement) is never shown.
TEST(ErrorReport, OnlyNoSilencesAStatementAndStatementZeroIsNeverShown) {
    ScriptedPrompt prompt;
    ErrorReporter reporter(prompt);
    EXPECT_FALSE(reporter.LineTextsLoaded());
    prompt.answers = {Answer::Yes, Answer::Cancel, Answer::No};
    for (int i = 0; i < 4; ++i) reporter.ReportError(5, "Bad", 1);
    ASSERT_EQ(prompt.calls.size(), 3u);
    const testing::PromptCall& box = prompt.calls[0];
    EXPECT_EQ(std::tie(box.text, box.title, box.buttons, box.icon),
              std::make_tuple(ErrorReporter::message(5, "Bad", 1, statementText(1)), "Error",
                              Buttons::YesNoCancel, Icon::Question));
    EXPECT_TRUE(reporter.LineTextsLoaded());
    reporter.ReportError(5, "Bad", 2);
    reporter.ReportError(5, "outside any statement", 0);
    EXPECT_EQ(prompt.calls.size(), 4u);
    EXPECT_EQ(reporter.SkipLines(), (std::vector<int32_t>{0, 1}));
}

TEST(StatementTable, NumbersRunFromOneWithTheirSourceTexts) {
    ASSERT_GT(statementCount(), 0);
    for (int32_t n = 1; n <= statementCount(); ++n) {
        const std::string_view text = statementText(n);
        EXPECT_FALSE(text.empty()) << n;
        // Every numbered statement is a failure site or a handler boundary.
        const bool site = text.find("check") != std::string_view::npos ||
                          text.find("fail(") != std::string_view::npos ||
                          text.find("throwWin32") != std::string_view::npos ||
                          text.find("runHandler") != std::string_view::npos;
        EXPECT_TRUE(site) << n << ": " << text;
    }
    EXPECT_TRUE(statementText(statementCount() + 1).empty());
    EXPECT_TRUE(statementText(0).empty());
}

}  // namespace
}  // namespace qv

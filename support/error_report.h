#pragma once
// The one error reporter: shows the failed statement's number and source text
// and lets the user silence that statement for the rest of the run.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/error_sink.h"
#include "core/user_prompt.h"

namespace qv {

class ErrorReporter : public ErrorSink {
public:
    explicit ErrorReporter(UserPrompt& prompt) : prompt_(prompt) {}

    void ReportError(int32_t errNumber, std::string_view errDescription, int32_t errLine) override;

    // The text the box shows for a failure; exposed for the report's tests.
    static std::string message(int32_t errNumber, std::string_view errDescription, int32_t errLine,
                               std::string_view statementText);

    const std::vector<int32_t>& SkipLines() const { return SkipLines_; }
    bool LineTextsLoaded() const { return LineTextsLoaded_; }

private:
    UserPrompt& prompt_;
    bool LineTextsLoaded_ = false;
    std::vector<int32_t> SkipLines_;
};

}  // namespace qv

#include "capture/environment_expansion.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

std::u16string asciiUpper(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

// Defined variables are replaced whatever their case; an undefined reference is kept whole and the
// scan goes on after it; unpaired and double percent signs stay. The text is appended to what the
// output holds.
TEST(EnvironmentExpander, ReplacesDefinedReferencesOnly) {
    const EnvironmentExpander expander{{{u"SystemRoot", u"C:\\windows"}, {u"B", u"bee"}, {u"EMPTY", u""}},
                                       asciiUpper};
    // clang-format off
    const std::pair<std::u16string_view, std::u16string_view> cases[] = {
        {u"%SystemRoot%\\system32", u"C:\\windows\\system32"}, {u"a%EMPTY%b", u"ab"},
        {u"%SYSTEMROOT%;%systemroot%", u"C:\\windows;C:\\windows"},
        {u"%UNSET%\\x", u"%UNSET%\\x"}, {u"%UNSET%B%", u"%UNSET%B%"}, {u"%UNSET%%B%", u"%UNSET%bee"},
        {u"%%B%%", u"%%B%%"}, {u"100% sure", u"100% sure"}, {u"100%% sure", u"100%% sure"},
        {u"%", u"%"}, {u"", u""}, {u"plain", u"plain"},
    };
    // clang-format on
    for (const auto& [text, expanded] : cases) {
        std::u16string out = u"prefix:";
        expander.expand(text, out);
        EXPECT_EQ(out, u"prefix:" + std::u16string(expanded));
    }
}

TEST(EnvironmentBlock, ParsesNamesValuesAndDriveEntries) {
    using Variables = std::vector<std::pair<std::u16string, std::u16string>>;
    EXPECT_EQ(parseEnvironmentBlock(u"=C:=C:\\dir\0PATH=a;b\0EQ=x=y\0\0"),
              (Variables{{u"=C:", u"C:\\dir"}, {u"PATH", u"a;b"}, {u"EQ", u"x=y"}}));
    EXPECT_TRUE(parseEnvironmentBlock(nullptr).empty());
}

}  // namespace
}  // namespace qv

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

class EnvironmentExpanderTest : public ::testing::Test {
protected:
    EnvironmentExpander expander{{{u"SystemRoot", u"C:\\windows"}, {u"B", u"bee"}, {u"EMPTY", u""}},
                                 asciiUpper};

    std::u16string expand(std::u16string_view text) {
        std::u16string out = u"prefix:";
        expander.expand(text, out);
        return out.substr(7);
    }
};

TEST_F(EnvironmentExpanderTest, DefinedVariablesAreReplacedWhateverTheirCase) {
    EXPECT_EQ(expand(u"%SystemRoot%\\system32"), u"C:\\windows\\system32");
    EXPECT_EQ(expand(u"%SYSTEMROOT%;%systemroot%"), u"C:\\windows;C:\\windows");
    EXPECT_EQ(expand(u"a%EMPTY%b"), u"ab");
}

TEST_F(EnvironmentExpanderTest, UndefinedReferenceIsKeptWholeAndTheScanGoesOnAfterIt) {
    EXPECT_EQ(expand(u"%UNSET%\\x"), u"%UNSET%\\x");
    EXPECT_EQ(expand(u"%UNSET%B%"), u"%UNSET%B%");
    EXPECT_EQ(expand(u"%UNSET%%B%"), u"%UNSET%bee");
    EXPECT_EQ(expand(u"%%B%%"), u"%%B%%");
}

TEST_F(EnvironmentExpanderTest, UnpairedAndDoublePercentSignsStay) {
    EXPECT_EQ(expand(u"100% sure"), u"100% sure");
    EXPECT_EQ(expand(u"100%% sure"), u"100%% sure");
    EXPECT_EQ(expand(u"%"), u"%");
    EXPECT_EQ(expand(u""), u"");
    EXPECT_EQ(expand(u"plain"), u"plain");
}

TEST(EnvironmentBlock, ParsesNamesValuesAndDriveEntries) {
    const char16_t block[] = u"=C:=C:\\dir\0PATH=a;b\0EQ=x=y\0\0";
    const auto vars = parseEnvironmentBlock(block);
    ASSERT_EQ(vars.size(), 3u);
    EXPECT_EQ(vars[0], (std::pair<std::u16string, std::u16string>{u"=C:", u"C:\\dir"}));
    EXPECT_EQ(vars[1], (std::pair<std::u16string, std::u16string>{u"PATH", u"a;b"}));
    EXPECT_EQ(vars[2], (std::pair<std::u16string, std::u16string>{u"EQ", u"x=y"}));
    EXPECT_TRUE(parseEnvironmentBlock(nullptr).empty());
}

}  // namespace
}  // namespace qv

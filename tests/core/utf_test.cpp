#include "core/utf.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(Utf, RoundTripsNamesOutsideTheAnsiCodePage) {
    const std::u16string names[] = {u"plain", u"Gr\u00fc\u00dfe", u"\u65e5\u672c\u8a9e", u"\U0001F600smile", u""};
    for (const auto& n : names) EXPECT_EQ(toUtf16(toUtf8(n)), n);
    EXPECT_EQ(toUtf8(u"\u00e9"), "\xC3\xA9");
    EXPECT_EQ(toUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(Utf, LoneSurrogatesSurviveTheRoundTrip) {
    // Windows file names may hold unpaired surrogates; losing them would record
    // a name that does not exist.
    const std::u16string lone = {u'a', static_cast<char16_t>(0xD800), u'b', static_cast<char16_t>(0xDFFF)};
    EXPECT_EQ(toUtf16(toUtf8(lone)), lone);
}

TEST(Utf, AppendingKeepsTheTextBeforeAndConvertsRunsOnEitherSideOfOtherCharacters) {
    std::string out = "C:\\";
    appendUtf8(out, u"ab\u00e9cd\u65e5\U0001F600e");
    EXPECT_EQ(out, "C:\\ab\xC3\xA9" "cd\xE6\x97\xA5\xF0\x9F\x98\x80" "e");
    appendUtf8(out, u"");
    appendUtf8(out, u"\u00fc");
    EXPECT_EQ(out, "C:\\ab\xC3\xA9" "cd\xE6\x97\xA5\xF0\x9F\x98\x80" "e\xC3\xBC");
}

TEST(Utf, InvalidUtf8BecomesReplacementCharacter) {
    EXPECT_EQ(toUtf16("a\xFF" "b"), (std::u16string{u'a', 0xFFFD, u'b'}));
}

}  // namespace
}  // namespace qv

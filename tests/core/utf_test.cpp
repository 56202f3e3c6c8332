#include "core/utf.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

// Windows names may hold unpaired surrogates; losing them would record a name that does not exist.
TEST(Utf, ConvertsAndAppendsBothWaysIncludingLoneSurrogates) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"", ""},
        {u"Gr\u00fc\u00df", "Gr\xC3\xBC\xC3\x9F"},
        {u"ab\u00e9xy\u65e5\u672c\U0001F600z", "ab\xC3\xA9xy\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80z"},
        {u"\U0001F600smile", "\xF0\x9F\x98\x80smile"},
        {{u'a', char16_t(0xD800), u'z', char16_t(0xDFFF)}, "a\xED\xA0\x80z\xED\xBF\xBF"},
    };
    for (const auto& [wide, utf8] : cases) {
        EXPECT_EQ(toUtf8(wide), utf8);
        EXPECT_EQ(toUtf16(utf8), wide);
        std::string appended = "C:\\";
        appendUtf8(appended, wide);
        EXPECT_EQ(appended, "C:\\" + utf8);
    }
    EXPECT_EQ(toUtf16("a\xFFz"), (std::u16string{u'a', 0xFFFD, u'z'}));
}

}  // namespace
}  // namespace qv

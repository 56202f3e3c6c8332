#include "capture/value_rendering.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "core/registry_types.h"
#include "tests/support/fakes/fake_registry.h"

namespace qv {
namespace {

using testing::FakeRegistry;

TEST(ValueRendering, BinaryIsUpperCaseHexPairsMultiStringsJoinByCrLfAndSixTabsAndDwordsAreUnsigned) {
    const std::string sep = "\r\n\t\t\t\t\t\t";
    const std::pair<std::string, std::string> cases[] = {
        {renderBinary({1, 10, 255, 0xAB, 0x80}), "01,0A,FF,AB,80"},
        {renderBinary(std::vector<uint8_t>{}), ""},
        {renderMultiString({"one", "two", "three"}), "one" + sep + "two" + sep + "three"},
        {renderMultiString({}), ""},
        {renderMultiString({"a", "", "b"}), "a" + sep + sep + "b"},
        {renderDword(0), "0"},
        {renderDword(2147483648u), "2147483648"},
    };
    for (const auto& [rendered, expected] : cases) EXPECT_EQ(rendered, expected);
}

// UTF-16 bytes of the strings, each followed by a NUL ("" ends with none).
std::string utf16(std::initializer_list<std::u16string_view> strings, bool terminated = true) {
    std::string bytes;
    std::u16string units;
    for (std::u16string_view s : strings) {
        units += s;
        if (terminated) units += u'\0';
    }
    for (char16_t u : units) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    return bytes;
}

// Every type renders from its bytes, unnamed types as binary; and whatever the
// bytes, the entry gives them back exactly, keeping them apart from the text
// only where the text cannot tell them.
TEST(ValueRendering, EveryTypeRendersFromItsBytesAndTheBytesComeBackExactly) {
    const std::string sep = "\r\n\t\t\t\t\t\t";
    const struct {
        uint32_t type;
        std::string bytes;
        std::string text;
        bool fromText;
    } cases[] = {
        {kRegSz, utf16({u"text\u00E9"}), "text\xC3\xA9", true},
        {kRegSz, utf16({u"no end"}, false), "no end", false},
        {kRegSz, utf16({u"a", u"junk"}), "a", false},
        {kRegSz, std::string("a\0b", 3), "a", false},
        {kRegExpandSz, utf16({u"%TEMP%\\x"}), "%TEMP%\\x", false},
        {kRegExpandSz, utf16({u"C:\\x"}), "C:\\x", true},
        {kRegBinary, "", "", true},
        {kRegBinary, std::string("\0\x0F\xFF", 3), "00,0F,FF", true},
        {kRegDword, std::string("\xFF\xFF\xFF\xFF"), "4294967295", true},
        {kRegDword, std::string("\x01\0\0", 3), "", false},
        {kRegQword, std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"), "18446744073709551615", true},
        {kRegQword, std::string("\x2A\0\0\0\0\0\0\0", 8), "42", true},
        {kRegQword, std::string("\x01\x02", 2), "01,02", true},
        {kRegMultiSz, utf16({u"one", u"", u"three", u""}), "one" + sep + sep + "three", true},
        {kRegMultiSz, utf16({u"", u"four", u""}), sep + "four", true},
        {kRegMultiSz, utf16({u"a", u"b", u""}), "a" + sep + "b", true},
        {kRegMultiSz, utf16({u"a"}) + utf16({u"b"}, false), "a" + sep + "b", false},
        {kRegMultiSz, "", "", false},
        {kRegMultiSz, utf16({u"tab\r\n\t\t\t\t\t\tin", u""}),
         "tab" + sep + "in", false},
        {kRegNone, std::string("\x01\x02"), "01,02", true},
        {kRegNone, "", "", true},
        {5, std::string("\0\0\0\x01", 4), "00,00,00,01", true},
        {0x1234, "xyz", "78,79,7A", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + c.text);
        EXPECT_EQ(renderValue(c.type, c.bytes), c.text);
        RegEntry entry{"K\\", "v", c.text, c.type};
        keepRawBytes(entry, c.bytes);
        EXPECT_EQ(entry.Raw, c.fromText ? RawForm::FromText : RawForm::Stored);
        EXPECT_EQ(rawValueBytes(entry), c.bytes);
    }
    EXPECT_EQ(rawValueBytes(RegEntry{"K\\", "", "", kKeyEntryType}), std::nullopt);
}

// A value read into a fresh entry keeps its bytes apart only where its text
// cannot give them back.
TEST(ReadValueInto, BytesThatFollowFromTheTextAreNotKeptTwice) {
    FakeRegistry reg;
    reg.addValue(kHiveUsers, "K", "plain", kRegSz, "text");
    // A provider that expands as the system does: the text has no "%" left.
    struct Expanding : FakeRegistry {
        bool GetExpandedStringValue(int32_t, const std::string&, const std::string&, std::string& out) override {
            out = "C:\\Temp";
            return true;
        }
    };
    RegEntry plain, expand;
    readValueInto(reg, kHiveUsers, "K\\", "plain", kRegSz, plain);
    Expanding expanding;
    expanding.addValue(kHiveUsers, "K", "expand", kRegExpandSz, "%TEMP%");
    readValueInto(expanding, kHiveUsers, "K\\", "expand", kRegExpandSz, expand);
    EXPECT_EQ(expand.ValueData, "C:\\Temp");
    EXPECT_EQ(plain.Raw, RawForm::FromText);
    EXPECT_EQ(plain.ValueType, kRegSz);
    EXPECT_EQ(expand.Raw, RawForm::Stored);
    EXPECT_EQ(rawValueBytes(expand), std::string("%\0T\0E\0M\0P\0%\0\0\0", 14));
}

// A failed read leaves no data and no raw bytes behind, whatever the type.
TEST(ReadValueInto, FailedReadsGiveEmptyDataAndNoRawBytes) {
    FakeRegistry reg;
    for (uint32_t type : {kRegSz, kRegExpandSz, kRegBinary, kRegDword, kRegMultiSz, kRegQword, kRegNone, 5u}) {
        std::string name = "v";
        name += std::to_string(type);
        reg.addValue(kHiveUsers, "K", name, type, "7");
        reg.failRead(kHiveUsers, "K", name);
        RegEntry entry{"K\\", name, "stale", type, RawForm::Stored, "stale"};
        readValueInto(reg, kHiveUsers, "K\\", name, type, entry);
        EXPECT_EQ(entry.ValueData, "") << type;
        EXPECT_EQ(entry.Raw, RawForm::NotRecorded) << type;
    }
}

}  // namespace
}  // namespace qv

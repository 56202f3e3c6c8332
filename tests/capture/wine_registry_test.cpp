#include "capture/wine_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "capture/registry_walk.h"
#include "capture/value_rendering.h"
#include "capture/wine_registry_provider.h"
#include "core/registry_types.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using namespace std::literals;

std::vector<uint32_t> childrenOf(const WineHive& hive, uint32_t k) {
    const WineHive::Children children = hive.children(k);
    return {children.begin(), children.end()};
}

const std::string kHeader = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n";

std::string utf16(std::u16string_view units) {
    std::string bytes;
    for (char16_t u : units) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    return bytes;
}

struct ValueCase {
    const char* line;
    const char* name;
    uint32_t type;
    std::string bytes;
};

class WineRegistryValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(WineRegistryValueTest, ValueLineGivesTypeNameAndBytesAsWindowsStoresThem) {
    const ValueCase& c = GetParam();
    WineHive hive;
    std::string error;
    ASSERT_TRUE(hive.parse(kHeader + "[Key] 1700000000\n" + c.line + "\n", "system.reg", error)) << error;
    const uint32_t key = hive.child(WineHive::kRoot, "key");
    ASSERT_NE(key, WineHive::kNoKey);
    ASSERT_EQ(hive.key(key).valueCount, 1u);
    const WineHive::Value& v = hive.values(key)[0];
    EXPECT_EQ(hive.valueName(v), c.name);
    EXPECT_EQ(v.type, c.type);
    EXPECT_EQ(hive.valueData(v), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    EveryForm, WineRegistryValueTest,
    ::testing::Values(ValueCase{R"("s"="plain")", "s", kRegSz, utf16(u"plain\0"sv)},
                    ValueCase{R"(@="default")", "", kRegSz, utf16(u"default\0"sv)},
                    ValueCase{R"("e"="\\ \" \n\r\t\0 \x20ac\x41")", "e", kRegSz, utf16(u"\\ \" \n\r\t\0 \u20ac\x41\0"sv)},
                    ValueCase{R"("o"="\1\0012")", "o", kRegSz, utf16(u"\1\0012\0"sv)},
                    ValueCase{R"("n\x00e9\"q"="")", "n\xc3\xa9\"q", kRegSz, utf16(u"\0"sv)},
                    ValueCase{R"("x"=str(2):"%PATH%\\x")", "x", kRegExpandSz, utf16(u"%PATH%\\x\0"sv)},
                    ValueCase{R"("m"=str(7):"a\0b\0")", "m", kRegMultiSz, utf16(u"a\0b\0\0"sv)},
                    ValueCase{R"("d"=dword:deadBEEF)", "d", kRegDword, "\xef\xbe\xad\xde"},
                    ValueCase{R"("b"=hex:00,ff,10)", "b", kRegBinary, std::string("\x00\xff\x10", 3)},
                    ValueCase{R"("z"=hex:)", "z", kRegBinary, ""},
                    ValueCase{"\"c\"=hex(7):41,00,\\\n  00,00", "c", kRegMultiSz, std::string("A\0\0\0", 4)},
                    ValueCase{R"("q"=hex(b):01,00,00,00,00,00,00,00)", "q", kRegQword, std::string("\1\0\0\0\0\0\0\0", 8)},
                    ValueCase{R"("u"=hex(7fffffff):01)", "u", 0x7fffffffu, "\x01"},
                    ValueCase{"\"utf8\"=\"\xc3\xa9\xf0\x9f\x98\x80\"", "utf8", kRegSz, utf16(u"\u00e9\U0001F600\0"sv)}));

struct HostileCase {
    std::string text;
    const char* message;  // what the error line says after "system.reg, line N: "
    int line;
};

class WineRegistryHostileTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(WineRegistryHostileTest, RefusedWithTheFileAndLineNamed) {
    const HostileCase& c = GetParam();
    WineHive hive;
    std::string error;
    EXPECT_FALSE(hive.parse(c.text, "system.reg", error));
    EXPECT_EQ(error, "system.reg, line " + std::to_string(c.line) + ": " + c.message);
    EXPECT_EQ(hive.keyCount(), 1u);
    EXPECT_EQ(hive.valueCount(), 0u);
}

const HostileCase kHostileCases[] = {
        HostileCase{"REGEDIT4\n", "not a Wine registry file (the first line is not \"WINE REGISTRY Version 2\")", 1},
        HostileCase{"", "not a Wine registry file (the first line is not \"WINE REGISTRY Version 2\")", 1},
        HostileCase{kHeader + "[Key] 1\n\"v\"=\"trunc", "a string without its closing quote", 7},
        HostileCase{kHeader + "[Key\n", "a key name without its closing ]", 6},
        HostileCase{kHeader + "[Key] 1\n\"v\"=\"a\\qb\"\n", "an unknown escape \\q", 7},
        HostileCase{kHeader + "[Key] 1\n\"v\"=\"\\x\"\n", "a \\x escape without hex digits", 7},
        HostileCase{kHeader + "[Key] 1\n\"v\"=hex(zz):00\n", "a hex( type that is not a hex number of at most 8 digits", 7},
        HostileCase{kHeader + "[Key] 1\n\"v\"=hex(100000000):00\n", "a hex( type that is not a hex number of at most 8 digits", 7},
        HostileCase{kHeader + "[Key] 1\n\"v\"=hex:0g\n", "hex data that is not pairs of hex digits", 7},
        HostileCase{kHeader + "[Key] 1\n\"v\"=hex:00,\\\n", "hex data continued past the end of the file", 7},
        HostileCase{kHeader + "[Key] 1\n\"v\"=dword:123456789\n", "a dword: that is not 1 to 8 hex digits", 7},
        HostileCase{kHeader + "\"v\"=\"orphan\"\n", "a value before the first key", 6},
        HostileCase{kHeader + "[Key] 1\nv=1\n", "a line that is neither a key, a value, an option nor a comment", 7},
        HostileCase{kHeader + "[Key] 1\n\"v\" \"x\"\n", "a value without \"=\" after its name", 7},
        HostileCase{kHeader + "[Key] 1\n\"v\"=str(9):\"x\"\n", "a value of an unknown form", 7},
        HostileCase{kHeader + "[A\\\\\\\\B] 1\n", "a key path with an empty name in it", 6},
        HostileCase{kHeader + "[Key] 1\n\"v\"=\"a\xff\"\n", "text that is not UTF-8", 7},
        HostileCase{kHeader + "[Key] 1\n\"v\"=\"a" + std::string(1, '\0') + "\"\n", "a NUL byte, which no registry file holds", 7},
        HostileCase{kHeader + "[Key] 12x\n", "text after the key's name that is not its time", 6}};

INSTANTIATE_TEST_SUITE_P(Hostile, WineRegistryHostileTest, ::testing::ValuesIn(kHostileCases));

TEST(WineRegistryTest, AVeryLongLineIsReadInOnePassWithoutCopies) {
    const std::string big(64 << 20, 'a');
    WineHive hive;
    std::string error;
    ASSERT_TRUE(hive.parse(kHeader + "[K] 1\n\"v\"=\"" + big + "\"\n", "system.reg", error)) << error;
    EXPECT_EQ(hive.valueData(hive.values(1)[0]).size(), (big.size() + 1) * 2);
    EXPECT_FALSE(hive.parse(kHeader + "[K] 1\n\"v\"=\"" + big, "system.reg", error));
    EXPECT_EQ(error, "system.reg, line 7: a string without its closing quote");
}

TEST(WineRegistryTest, KeysKeepFileOrderTimesLinksAndFindNamesInAnyCase) {
    WineHive hive;
    std::string error;
    ASSERT_TRUE(hive.parse(kHeader +
                               "[B\\\\Sub] 1700000000\n#time=1d9a0b0c0d0e0f0\n\"x\"=\"1\"\n"
                               "[a\\\\\\x00e9t\\]] 1\n#link\n"
                               "[b\\\\sub]\n\"y\"=\"2\"\n",
                           "system.reg", error))
        << error;
    const std::vector<uint32_t> top = childrenOf(hive, WineHive::kRoot);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(hive.keyName(top[0]), "B");
    EXPECT_EQ(hive.keyName(top[1]), "a");
    const uint32_t sub = hive.child(top[0], "SUB");
    EXPECT_EQ(hive.key(sub).modified, 0x1d9a0b0c0d0e0f0u);
    EXPECT_EQ(hive.key(sub).valueCount, 2u);  // the key listed twice keeps the values of both
    const uint32_t linked = hive.child(top[1], "\xc3\x89T]");
    ASSERT_NE(linked, WineHive::kNoKey);
    EXPECT_TRUE(hive.key(linked).link);
    EXPECT_NE(hive.findValue(sub, "X"), nullptr);
    EXPECT_EQ(hive.relativeTo(), "REGISTRY\\Machine");
    EXPECT_EQ(hive.arch(), "win64");
}

// The whole tree as text: every key's path, time, link and values, in order.
std::string describe(const WineHive& hive) {
    std::string out = hive.relativeTo() + "|" + hive.arch() + "\n";
    std::vector<std::pair<uint32_t, std::string>> stack{{WineHive::kRoot, ""}};
    while (!stack.empty()) {
        const auto [k, path] = stack.back();
        stack.pop_back();
        out += path + " " + std::to_string(hive.key(k).modified) + (hive.key(k).link ? " link" : "") + "\n";
        for (uint32_t i = 0; i < hive.key(k).valueCount; ++i) {
            const WineHive::Value& v = hive.values(k)[i];
            out += "  " + std::string(hive.valueName(v)) + " " + std::to_string(v.type) + " " +
                   renderBinary(hive.valueData(v)) + "\n";
        }
        const std::vector<uint32_t> children = childrenOf(hive, k);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.emplace_back(*it, path + "\\" + std::string(hive.keyName(*it)));
    }
    return out;
}

// The text handed over `step` bytes at a time at most, as a file is read.
WineHive::ReadBytes trickle(std::string_view text, size_t step) {
    return [text, step, at = size_t{0}](char* into, size_t room, size_t& got, std::string&) mutable {
        got = std::min({room, step, text.size() - at});
        std::memcpy(into, text.data() + at, got);
        at += got;
        return true;
    };
}

// A file read a block at a time gives the very hive (or the very error) that
// the same text in memory gives, wherever its blocks and reads happen to cut
// it: inside a hex pair, between a "\" and the end of its line, in a name.
TEST(WineRegistryTest, AFileReadInBlocksReadsAsTheWholeText) {
    std::string longHex;
    for (int i = 0; i < 1000; ++i) longHex += i % 16 < 10 ? "0" + std::to_string(i % 10) + "," : "ab,";
    std::vector<std::string> texts = {
        kHeader + "[K] 1700000000\n#time=1d9a0b0c0d0e0f0\n\"b\"=hex:00,ff,10,\\\n  20,30\n@=\"d\"\n",
        kHeader + "[A\\\\B] 1\n\"v\"=hex(7):41,00,42,00,\\  \n  00,00\r\n[A] 2\n#link\n",
        kHeader + "[K] 1\n\"long\"=hex:" + longHex + "ff\n\"next\"=dword:00000001\n",
        kHeader + "[K] 1\n\"x\"=hex:0,1\n",
        kHeader + "[K] 1\n\"x\"=hex:00\\ 1\n",
        kHeader + "[K] 1\n\"x\"=hex:001\n",
        kHeader + "[K] 1\n\"x\"=hex:00,\\\n",
        kHeader + "[K] 1\n\"x\"=hex:00,\\\n  0" + std::string(1, '\0') + "\n",
        kHeader + "[K] 1\n\"s\"=\"" + std::string(500, 's') + "\"\n\"n\\\"ame\"=hex(b):01,02\n",
        kHeader + "[K] 1\n\"unclosed=hex:00,01,02,03,04,05,06,07,08\n",
        "WINE REGISTRY Version 2",
        "WINE REGISTRY Version 3\n",
        kHeader + "[" + std::string(100, 'k') + "] 1\n",
    };
    for (const HostileCase& c : kHostileCases) texts.push_back(c.text);
    for (const std::string& text : texts) {
        WineHive whole;
        std::string wholeError;
        const bool wholeOk = whole.parse(text, "system.reg", wholeError);
        for (const size_t block : {size_t{2}, size_t{5}, size_t{16}, size_t{64}, WineHive::kReadBlock}) {
            for (const size_t step : {size_t{1}, size_t{3}, size_t{1000}}) {
                SCOPED_TRACE(text.substr(0, 80) + " in blocks of " + std::to_string(block) + ", reads of " +
                             std::to_string(step));
                WineHive pieces;
                std::string error;
                EXPECT_EQ(pieces.parse(trickle(text, step), "system.reg", error, block), wholeOk);
                EXPECT_EQ(error, wholeError);
                EXPECT_EQ(describe(pieces), describe(whole));
            }
        }
    }
}

TEST(WineRegistryTest, AFileThatCannotBeReadOnIsNamedWithTheReason) {
    const std::string text = kHeader + "[K] 1\n\"v\"=hex:00,01,02,03,04,05,06,07,08,09\n";
    size_t at = 0;
    const WineHive::ReadBytes failing = [&](char* into, size_t room, size_t& got, std::string& why) {
        if (at > kHeader.size()) {
            why = "Input/output error";
            return false;
        }
        got = std::min<size_t>(room, 20);
        std::memcpy(into, text.data() + at, got);
        at += got;
        return true;
    };
    WineHive hive;
    std::string error;
    EXPECT_FALSE(hive.parse(failing, "user.reg", error, 16));
    EXPECT_EQ(error, "cannot read user.reg: Input/output error");
    EXPECT_EQ(hive.keyCount(), 1u);
}

TEST(WineRegistryTest, EntriesBelowCountValuesAndKeysWithout) {
    WineHive hive;
    std::string error;
    ASSERT_TRUE(hive.parse(kHeader + "[A] 1\n\"x\"=\"1\"\n\"y\"=\"2\"\n[A\\\\B] 1\n[A\\\\C] 1\n@=\"c\"\n[D] 1\n",
                           "system.reg", error))
        << error;
    EXPECT_EQ(hive.entriesBelow(hive.child(WineHive::kRoot, "a")), 4u);  // x, y, B, C's default
    EXPECT_EQ(hive.entriesBelow(WineHive::kRoot), 6u);                    // and the root and D
}

struct RepeatCase {
    std::string body;  // after the header; the values of key K are checked
    std::vector<std::tuple<std::string, uint32_t, std::string>> values;  // name, type, bytes
};

class WineRegistryRepeatTest : public ::testing::TestWithParam<RepeatCase> {};

TEST_P(WineRegistryRepeatTest, ANameGivenTwiceIsOneEntryWithTheLastData) {
    const RepeatCase& c = GetParam();
    WineHive hive;
    std::string error;
    ASSERT_TRUE(hive.parse(kHeader + c.body, "system.reg", error)) << error;
    const uint32_t k = hive.child(WineHive::kRoot, "K");
    ASSERT_NE(k, WineHive::kNoKey);
    const std::vector<uint32_t> top = childrenOf(hive, WineHive::kRoot);
    EXPECT_EQ(std::count_if(top.begin(), top.end(), [&](uint32_t c) { return registryNamesEqual(hive.keyName(c), "K"); }), 1);
    std::vector<std::tuple<std::string, uint32_t, std::string>> values;
    for (uint32_t i = 0; i < hive.key(k).valueCount; ++i) {
        const WineHive::Value& v = hive.values(k)[i];
        values.emplace_back(hive.valueName(v), v.type, hive.valueData(v));
    }
    EXPECT_EQ(values, c.values);
}

INSTANTIATE_TEST_SUITE_P(
    Repeats, WineRegistryRepeatTest,
    ::testing::Values(
        RepeatCase{"[K] 1\n\"b\"=\"1\"\n[K] 2\n\"b\"=\"2\"\n", {{"b", kRegSz, utf16(u"2\0"sv)}}},
        RepeatCase{"[K] 1\n\"v\"=\"1\"\n\"v\"=dword:00000002\n", {{"v", kRegDword, "\x02\0\0\0"s}}},
        RepeatCase{"[K] 1\n@=\"1\"\n@=\"2\"\n", {{"", kRegSz, utf16(u"2\0"sv)}}},
        // the first spelling of the name, and its place, stay
        RepeatCase{"[K] 1\n\"Name\"=\"1\"\n\"z\"=\"z\"\n\"NAME\"=\"2\"\n",
                   {{"Name", kRegSz, utf16(u"2\0"sv)}, {"z", kRegSz, utf16(u"z\0"sv)}}},
        RepeatCase{"[K] 1\n\"\\x00e9\"=\"1\"\n\"\\x00c9\"=hex:05\n", {{"\xc3\xa9", kRegBinary, "\x05"s}}},
        // a key named twice in another case, with other keys between
        RepeatCase{"[K] 1\n\"x\"=\"1\"\n[L] 1\n\"x\"=\"L\"\n[k] 1\n\"y\"=\"2\"\n\"X\"=\"3\"\n[M] 1\n",
                   {{"x", kRegSz, utf16(u"3\0"sv)}, {"y", kRegSz, utf16(u"2\0"sv)}}},
        // distinct names in any order are all kept
        RepeatCase{"[K] 1\n\"b\"=\"1\"\n\"a\"=\"2\"\n\"ab\"=\"3\"\n",
                   {{"b", kRegSz, utf16(u"1\0"sv)}, {"a", kRegSz, utf16(u"2\0"sv)}, {"ab", kRegSz, utf16(u"3\0"sv)}}}));

// A small prefix's three hives, with Wine's links for CurrentControlSet and
// the 32-bit view of the classes.
std::shared_ptr<WinePrefixHives> smallPrefix() {
    auto hives = std::make_shared<WinePrefixHives>();
    std::string error;
    const std::string link = "\"SymbolicLinkValue\"=hex(6):";
    const auto linkTo = [](std::u16string_view target) {
        std::string text;
        for (char16_t u : target) {
            char pair[8];
            std::snprintf(pair, sizeof(pair), "%02x,%02x,", u & 0xFF, u >> 8);
            text += pair;
        }
        text.pop_back();
        return text;
    };
    EXPECT_TRUE(hives->machine.parse(
        kHeader + "[Software\\\\Classes\\\\.txt] 1\n@=\"txtfile\"\n"
                  "[Software\\\\Classes\\\\Wow6432Node\\\\.dll] 1\n@=\"dllfile\"\n"
                  "[Software\\\\Wow6432Node\\\\Classes] 1\n#link\n" + link +
                  linkTo(u"\\REGISTRY\\Machine\\Software\\Classes\\Wow6432Node") + "\n"
                  "[System\\\\ControlSet001\\\\Hardware Profiles\\\\Current\\\\Software] 1\n\"cc\"=dword:00000001\n"
                  "[System\\\\CurrentControlSet] 1\n#link\n" + link + linkTo(u"\\Registry\\Machine\\System\\ControlSet001") +
                  "\n[System\\\\Loop] 1\n#link\n" + link + linkTo(u"\\Registry\\Machine\\System\\Loop") + "\n",
        "system.reg", error))
        << error;
    EXPECT_TRUE(hives->user.parse("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
                                  "[Environment] 1\n\"TEMP\"=str(2):\"%USERPROFILE%\\\\Temp\"\n"
                                  "[Software\\\\Test] 1\n\"exp\"=str(2):\"%TEMP%\\\\x %NOPE%\"\n",
                                  "user.reg", error))
        << error;
    EXPECT_TRUE(hives->userDefault.parse("WINE REGISTRY Version 2\n[Control Panel] 1\n\"d\"=\"1\"\n", "userdef.reg", error))
        << error;
    hives->userSid = "S-1-5-21-0-0-0-1000";
    return hives;
}

struct RootCase {
    int32_t hive;
    const char* path;
    std::vector<std::string> subkeys;
};

class WineRegistryRootTest : public ::testing::TestWithParam<RootCase> {};

TEST_P(WineRegistryRootTest, RootsAndLinksOpenAsWineOpensThem) {
    const RootCase& c = GetParam();
    auto provider = makeWineRegistryProvider(smallPrefix(), {{u"USER", u"pat"}});
    std::vector<std::string> names;
    if (c.subkeys.empty()) {
        EXPECT_EQ(provider->keyAccess(c.hive, c.path), RegistryProvider::KeyAccess::Missing);
        return;
    }
    EXPECT_EQ(provider->keyAccess(c.hive, c.path), RegistryProvider::KeyAccess::Readable);
    EXPECT_TRUE(provider->EnumKey(c.hive, c.path, names));
    EXPECT_EQ(names, c.subkeys);
}

INSTANTIATE_TEST_SUITE_P(
    Roots, WineRegistryRootTest,
    ::testing::Values(RootCase{kHiveClassesRoot, "", {".txt", "Wow6432Node"}},
                    RootCase{kHiveLocalMachine, "Software\\Wow6432Node\\Classes", {".dll"}},
                    RootCase{kHiveLocalMachine, "SYSTEM\\currentcontrolset", {"Hardware Profiles"}},
                    RootCase{kHiveCurrentConfig, "", {"Software"}},
                    RootCase{kHiveUsers, "", {".Default", "S-1-5-21-0-0-0-1000"}},
                    RootCase{kHiveUsers, "S-1-5-21-0-0-0-1000", {"Environment", "Software"}},
                    RootCase{kHiveCurrentUser, "", {"Environment", "Software"}},
                    RootCase{kHiveLocalMachine, "System\\Loop", {}},
                    RootCase{kHiveLocalMachine, "Software\\Missing", {}}));

// The room a walk reserves is what it records: one entry for each value and
// one for each key without values.
TEST(WineRegistryProviderTest, ExpectedEntriesAreTheEntriesAWalkRecords) {
    auto provider = makeWineRegistryProvider(smallPrefix(), {{u"USER", u"pat"}});
    for (const auto& [hive, key] : {std::pair{kHiveCurrentUser, ""}, std::pair{kHiveCurrentUser, "Software"},
                                    std::pair{kHiveLocalMachine, "Software\\Classes"}}) {
        AppState state;
        state.j = 0;
        testing::ScriptedYielder yielder;
        testing::ScriptedView view;
        RegistryWalkContext ctx{state, *provider, yielder, view};
        const size_t expected = provider->expectedEntries(hive, key);
        getvalsStart(ctx, hive, key, "");
        EXPECT_EQ(expected, static_cast<size_t>(state.j)) << key;
        EXPECT_GE(state.regArray.capacity(), expected);
    }
}

TEST(WineRegistryProviderTest, ValuesRenderAsTheWindowsWalkRendersThem) {
    auto provider = makeWineRegistryProvider(smallPrefix(), {{u"USER", u"pat"}});
    std::vector<std::string> names;
    std::vector<uint32_t> types;
    ASSERT_TRUE(provider->EnumValues(kHiveCurrentConfig, "Software", names, types));
    RegEntry entry;
    readValueInto(*provider, kHiveCurrentConfig, "Software\\", names[0], types[0], entry);
    EXPECT_EQ(entry.ValueData, "1");
    readValueInto(*provider, kHiveCurrentUser, "Software\\Test\\", "exp", kRegExpandSz, entry);
    EXPECT_EQ(entry.ValueData, "C:\\users\\pat\\Temp\\x %NOPE%");
    EXPECT_EQ(entry.Raw, RawForm::Stored);
    std::string data;
    EXPECT_TRUE(provider->GetStringValue(kHiveClassesRoot, ".txt\\", "", data));
    EXPECT_EQ(data, "txtfile");
    EXPECT_FALSE(provider->EnumValues(kHiveLocalMachine, "Software", names, types));
}

}  // namespace
}  // namespace qv

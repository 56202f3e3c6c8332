#include "capture/registry_provider_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

#include "capture/registry_walk.h"
#include "capture/value_rendering.h"
#include "core/utf.h"
#include "tests/support/fakes/fake_registry.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using testing::ScriptedView;
using testing::ScriptedYielder;

const std::string kSep = "\r\n\t\t\t\t\t\t";

// The bytes of a value as stored: the object's own, or its first `size` bytes.
template <class T>
std::vector<BYTE> bytesOf(const T& value, size_t size = sizeof(T)) {
    const BYTE* first = reinterpret_cast<const BYTE*>(&value);
    return {first, first + size};
}
// Text with its terminator, as programs normally store it.
std::vector<BYTE> textBytes(const std::wstring& text) {
    return bytesOf(*text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}
const std::wstring kUnicodeName = L"Gr\u00fc\u00dfe \u65e5\u672c";

// A key created for the test, with typed writers.
class TestKey {
public:
    TestKey(HKEY parent, const std::wstring& path) {
        EXPECT_EQ(
            RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr),
            ERROR_SUCCESS);
    }
    ~TestKey() {
        if (key_) RegCloseKey(key_);
    }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    HKEY get() const { return key_; }

    void raw(const std::wstring& name, DWORD type, const void* data, size_t bytes) {
        ASSERT_EQ(RegSetValueExW(key_, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                                 static_cast<DWORD>(bytes)),
                  ERROR_SUCCESS);
    }
    void text(const std::wstring& name, DWORD type, const std::wstring& value) {
        const std::vector<BYTE> bytes = textBytes(value);
        raw(name, type, bytes.data(), bytes.size());
    }
    void dword(const std::wstring& name, DWORD value) { raw(name, REG_DWORD, &value, sizeof value); }

private:
    HKEY key_ = nullptr;
};

// What the test wrote: a key's values (name -> rendered data) and subkeys.
struct ExpectedKey {
    std::wstring name;
    std::map<std::wstring, std::string> values;
    std::vector<ExpectedKey> subkeys;
};

std::vector<std::wstring> valueNames(HKEY key) {
    std::vector<std::wstring> names;
    std::vector<wchar_t> buffer(32768);
    for (DWORD i = 0;; ++i) {
        DWORD chars = static_cast<DWORD>(buffer.size());
        if (RegEnumValueW(key, i, buffer.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return names;
        names.emplace_back(buffer.data(), chars);
    }
}

// The entries the walk must record for what the test wrote, in no order: the
// order of a walk is the native tests' part.
void expectedEntries(const std::string& walkPath, const ExpectedKey& expected, RegSnapshot& out) {
    if (expected.values.empty()) out.push_back(RegEntry{walkPath + "\\", "", ""});
    for (const auto& [name, data] : expected.values) out.push_back(RegEntry{walkPath + "\\", toUtf8(name), data});
    for (const ExpectedKey& key : expected.subkeys) expectedEntries(walkPath + "\\" + toUtf8(key.name), key, out);
}

class Win32RegistryProviderTest : public ::testing::Test {
protected:
    static std::wstring rootPath() {
        return L"Software\\QuorvelTest-" + std::to_wstring(GetCurrentProcessId());
    }
    static std::string rootPathUtf8() { return toUtf8(rootPath()); }

    static void SetUpTestSuite() {
        RegDeleteTreeW(HKEY_CURRENT_USER, rootPath().c_str());
        SetEnvironmentVariableW(L"QUORVEL_TEST_DIR", L"C:\\qv");
        SetEnvironmentVariableW(L"QUORVEL_EMPTY", L"");
        expected_ = ExpectedKey{};
        TestKey root(HKEY_CURRENT_USER, rootPath());
        // Each value with the data the walk must record for it.
        std::vector<BYTE> huge(100000);
        for (size_t i = 0; i < huge.size(); ++i) huge[i] = static_cast<BYTE>(i * 7);
        const struct {
            std::wstring name;
            DWORD type;
            std::vector<BYTE> data;
            std::string expected;
        } values[] = {
            // clang-format off
            {L"Text", REG_SZ, textBytes(L"hello world"), "hello world"},
            {L"Expand", REG_EXPAND_SZ, textBytes(L"%QUORVEL_TEST_DIR%\\bin;%QUORVEL_UNSET_VARIABLE%"), "C:\\qv\\bin;%QUORVEL_UNSET_VARIABLE%"},
            {L"ExpandPlain", REG_EXPAND_SZ, textBytes(L"no variables"), "no variables"},
            {kUnicodeName, REG_SZ, textBytes(L"Wert \u2713 \u5024"), "Wert \u2713 \u5024"},
            {L"EmptyString", REG_SZ, textBytes(L""), ""},
            {L"LongText", REG_SZ, textBytes(std::wstring(5000, L'L')), std::string(5000, 'L')},
            {L"Bin", REG_BINARY, {1, 10, 255}, "01,0A,FF"},
            {L"BinEmpty", REG_BINARY, {}, ""},
            {L"BinHuge", REG_BINARY, huge, renderBinary(std::vector<uint8_t>(huge.begin(), huge.end()))},
            {L"DwordZero", REG_DWORD, bytesOf(DWORD{0}), "0"},
            {L"DwordMax", REG_DWORD, bytesOf(DWORD{0xFFFFFFFFu}), "4294967295"},
            {L"DwordShort", REG_DWORD, bytesOf(WORD{7}), ""},
            {L"Multi", REG_MULTI_SZ, bytesOf(L"one\0two\0three\0"), "one" + kSep + "two" + kSep + "three"},  // the literal adds the final NUL
            {L"MultiOne", REG_MULTI_SZ, bytesOf(L"only\0"), "only"},
            {L"MultiEmptyString", REG_MULTI_SZ, bytesOf(L"first\0\0second\0"), "first" + kSep + kSep + "second"},
            {L"MultiNothing", REG_MULTI_SZ, bytesOf(L""), ""},
            {L"MultiUnterminated", REG_MULTI_SZ, bytesOf(L"a\0b", 3 * sizeof(wchar_t)), "a" + kSep + "b"},
            {L"Qword", REG_QWORD, bytesOf(ULONGLONG{0x0123456789ABCDEFull}), "81985529216486895"},
            {L"QwordShort", REG_QWORD, bytesOf(WORD{7}), "07,00"},
            {L"None", REG_NONE, {1, 10, 255}, "01,0A,FF"},
            {L"UnknownType", 0x1234, {0xAB}, "AB"},
            {L"NoTerminator", REG_SZ, bytesOf(L"abc", 3 * sizeof(wchar_t)), "abc"},
            {L"EmbeddedNul", REG_SZ, bytesOf(L"ab\0cd"), "ab"},
            {L"OddSize", REG_SZ, bytesOf(L"xyz", 5), "xy"},
            // clang-format on
        };
        for (const auto& v : values) {
            root.raw(v.name, v.type, v.data.data(), v.data.size());
            expected_.values[v.name] = v.expected;
        }

        { TestKey empty(root.get(), L"Empty"); }
        TestKey defaultOnly(root.get(), L"DefaultOnly"), both(root.get(), L"DefaultAndNamed");
        TestKey unicode(root.get(), kUnicodeName), parent(root.get(), L"Parent"),
            child(parent.get(), L"Child");
        defaultOnly.text(L"", REG_SZ, L"the default");
        both.text(L"", REG_SZ, L"d");
        both.dword(L"named", 12);
        unicode.text(L"v", REG_SZ, L"x");
        child.dword(L"n", 7);
        expected_.subkeys = {{L"Empty", {}, {}},
                             {L"DefaultOnly", {{L"", "the default"}}, {}},
                             {L"DefaultAndNamed", {{L"", "d"}, {L"named", "12"}}, {}},
                             {kUnicodeName, {{L"v", "x"}}, {}},
                             {L"Parent", {}, {{L"Child", {{L"n", "7"}}, {}}}}};
    }

    static void TearDownTestSuite() {
        EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, rootPath().c_str()), ERROR_SUCCESS);
    }

    RegSnapshot collect(const std::string& start) {
        state.regArray = RegSnapshot(1);
        state.j = 0;
        std::unique_ptr<RegistryProvider> provider = source.connect();
        RegistryWalkContext ctx{state, *provider, yielder, view};
        getvalsStart(ctx, kHiveCurrentUser, start, "");
        trimSnapshot(state.regArray, state.j);
        // The texts only; the types and raw bytes are the walk's own, tested natively.
        RegSnapshot texts = state.regArray;
        for (RegEntry& e : texts) {
            e.ValueType = kKeyEntryType;
            e.Raw = RawForm::NotRecorded;
            e.RawData.clear();
        }
        return texts;
    }

    static ExpectedKey expected_;
    Win32RegistryProviderSource source;
    AppState state;
    ScriptedYielder yielder;
    ScriptedView view;
};

ExpectedKey Win32RegistryProviderTest::expected_;

TEST_F(Win32RegistryProviderTest, WalkRecordsEveryValueTypeExactly) {
    RegSnapshot expected;
    expectedEntries(rootPathUtf8(), expected_, expected);
    RegSnapshot actual = collect(rootPathUtf8());
    EXPECT_EQ(state.j, static_cast<int32_t>(expected.size()));
    const auto byText = [](const RegEntry& a, const RegEntry& b) {
        return std::tie(a.KeyName, a.ValueName, a.ValueData) < std::tie(b.KeyName, b.ValueName, b.ValueData);
    };
    std::sort(expected.begin(), expected.end(), byText);
    std::sort(actual.begin(), actual.end(), byText);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(actual[i], expected[i]) << "entry " << i;
}

// The reads the walk makes are held by the test above; the provider must also
// refuse a value whose type differs from the one asked for, as when it changed
// between the enumeration and the read.
TEST_F(Win32RegistryProviderTest, ReadsOfTheWrongTypeOrMissingValuesFail) {
    auto oreg = source.connect();
    const std::string key = rootPathUtf8() + "\\";
    uint32_t number = 0;
    EXPECT_FALSE(oreg->GetDWORDValue(kHiveCurrentUser, key, "Text", number));
    EXPECT_FALSE(oreg->GetDWORDValue(kHiveCurrentUser, key, "DwordShort", number));
    std::string text;
    EXPECT_FALSE(oreg->GetStringValue(kHiveCurrentUser, key, "Expand", text));
    EXPECT_FALSE(oreg->GetStringValue(kHiveCurrentUser, key, "Absent", text));
    EXPECT_FALSE(oreg->GetStringValue(kHiveCurrentUser, key + "Empty\\", "", text));
    std::vector<std::string> names;
    std::vector<uint32_t> types;
    EXPECT_FALSE(oreg->EnumValues(kHiveCurrentUser, key + "Absent", names, types));
    EXPECT_FALSE(oreg->EnumKey(kHiveCurrentUser, key + "Absent", names));
    EXPECT_FALSE(oreg->EnumValues(kHiveCurrentUser, key + "Empty", names, types));
    EXPECT_FALSE(oreg->EnumKey(kHiveCurrentUser, key + "Empty", names));
}

// The provider's own expansion against the system's, over every shape of
// reference: defined in any case, empty, undefined, unpaired and doubled signs.
TEST_F(Win32RegistryProviderTest, ExpansionAgreesWithTheSystemsOwn) {
    const std::wstring path = rootPath() + L"\\Expansions";
    const std::wstring texts[] = {L"%SystemRoot%\\system32",
                                  L"%systemroot%;%WINDIR%",
                                  L"%QUORVEL_UNSET%B%",
                                  L"100%% sure",
                                  L"50% off",
                                  L"%",
                                  L"%QUORVEL_TEST_DIR%%TEMP%",
                                  L"%=C:%",
                                  L"%%QUORVEL_TEST_DIR%%",
                                  L"%QUORVEL_UNSET%%QUORVEL_TEST_DIR%",
                                  L"%QUORVEL_UNSET%QUORVEL_TEST_DIR%",
                                  L"a%QUORVEL_EMPTY%b",
                                  L""};
    {
        TestKey key(HKEY_CURRENT_USER, path);
        for (size_t i = 0; i < std::size(texts); ++i)
            key.text(L"e" + std::to_wstring(i), REG_EXPAND_SZ, texts[i]);
    }
    auto oreg = source.connect();
    for (size_t i = 0; i < std::size(texts); ++i) {
        std::vector<wchar_t> buffer(32768);
        const DWORD n =
            ExpandEnvironmentStringsW(texts[i].c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        ASSERT_GT(n, 0u);
        std::string ours;
        EXPECT_TRUE(oreg->GetExpandedStringValue(kHiveCurrentUser, toUtf8(path) + "\\",
                                                 "e" + std::to_string(i), ours));
        EXPECT_EQ(ours, toUtf8(std::wstring(buffer.data(), n - 1))) << toUtf8(texts[i]);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
}

TEST_F(Win32RegistryProviderTest, KeyWith40000ValuesIsRecordedCompletelyInTheRegistrysOrder) {
    const std::wstring path = rootPath() + L"\\Many";
    constexpr int kCount = 40000;
    std::vector<std::wstring> order;
    {
        TestKey key(HKEY_CURRENT_USER, path);
        wchar_t name[16];
        for (int i = 0; i < kCount; ++i) {
            std::swprintf(name, 16, L"v%05d", i);
            key.dword(name, static_cast<DWORD>(i));
        }
        order = valueNames(key.get());
    }
    const RegSnapshot snapshot = collect(toUtf8(path));
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    ASSERT_EQ(snapshot.size(), static_cast<size_t>(kCount));
    ASSERT_EQ(order.size(), static_cast<size_t>(kCount));
    for (size_t i = 0; i < snapshot.size(); ++i) {
        const std::string name = toUtf8(order[i]);
        ASSERT_EQ(snapshot[i],
                  (RegEntry{toUtf8(path) + "\\", name, std::to_string(std::stoi(name.substr(1)))}))
            << "entry " << i;
    }
}

}  // namespace
}  // namespace qv

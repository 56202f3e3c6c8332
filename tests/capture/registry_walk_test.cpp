#include "capture/registry_walk.h"

#include <gtest/gtest.h>

#include "core/failure.h"
#include "tests/support/fakes/fake_registry.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using testing::FakeRegistry;
using testing::ScriptedView;
using testing::ScriptedYielder;

constexpr int32_t kLm = kHiveLocalMachine;
constexpr int32_t kCu = kHiveCurrentUser;

RegEntry entry(std::string key, std::string name, std::string data, uint32_t type = kKeyEntryType) {
    return RegEntry{std::move(key), std::move(name), std::move(data), type};
}

class RegistryWalkTest : public ::testing::Test {
protected:
    FakeRegistry reg;
    AppState state;
    ScriptedYielder yielder;
    ScriptedView view;

    // The collection step around a walk: reset, walk, trim. The texts are
    // returned without their types, which only the rendering test looks at.
    RegSnapshot collect(int32_t hive, const std::string& start, RegistryProvider* provider = nullptr) {
        walkUntrimmed(hive, start, provider);
        trimSnapshot(state.regArray, state.j);
        RegSnapshot texts = state.regArray;
        for (RegEntry& e : texts) {
            e.ValueType = kKeyEntryType;
            e.Raw = RawForm::NotRecorded;
            e.RawData.clear();
        }
        return texts;
    }

    void walkUntrimmed(int32_t hive, const std::string& start, RegistryProvider* provider = nullptr) {
        state.regArray = RegSnapshot(1);
        state.j = 0;
        RegistryWalkContext ctx{state, provider ? *provider : reg, yielder, view};
        getvalsStart(ctx, hive, start, "");
    }

    static std::vector<std::string> keyNames(const RegSnapshot& s) {
        std::vector<std::string> out;
        for (const RegEntry& e : s) out.push_back(e.KeyName.str());
        return out;
    }
};

TEST_F(RegistryWalkTest, EntriesArePreOrderInTheProvidersSubkeyOrder) {
    reg.addValue(kLm, "R", "r1", kRegSz, "a");
    reg.addValue(kLm, "R\\Zeta", "z1", kRegSz, "b");
    reg.addKey(kLm, "R\\Zeta\\Inner");
    reg.addValue(kLm, "R\\Zeta\\Inner\\Deep", "d1", kRegDword);
    reg.addValue(kLm, "R\\Alpha", "a1", kRegSz, "c");
    reg.addValue(kLm, "R\\Alpha", "a2", kRegSz, "d");
    reg.addValue(kLm, "R", "r2", kRegSz, "e");
    view.keepStatusHistory = true;
    EXPECT_EQ(collect(kLm, "R"),
              (RegSnapshot{entry("R\\", "r1", "a"), entry("R\\", "r2", "e"), entry("R\\Zeta\\", "z1", "b"),
                           entry("R\\Zeta\\Inner\\", "", ""), entry("R\\Zeta\\Inner\\Deep\\", "d1", "0"),
                           entry("R\\Alpha\\", "a1", "c"), entry("R\\Alpha\\", "a2", "d")}));
    EXPECT_EQ(yielder.count, 5);  // once per visited key
    // The entries of one key hold one copy of its name.
    EXPECT_TRUE(state.regArray[0].KeyName.sameBlock(state.regArray[1].KeyName));
    EXPECT_TRUE(state.regArray[5].KeyName.sameBlock(state.regArray[6].KeyName));
    std::vector<std::string> status;
    for (const RegEntry& e : state.regArray) status.push_back("Getting registry data: " + e.KeyName);
    EXPECT_EQ(view.statusHistory, status);
}

// EnumValues lists no values for chosen keys while their default value reads.
class HiddenValuesRegistry : public FakeRegistry {
public:
    std::string hidden;
    bool EnumValues(int32_t hive, const std::string& path, std::vector<std::string>& names,
                    std::vector<uint32_t>& types) override {
        if (path == hidden) return false;
        return FakeRegistry::EnumValues(hive, path, names, types);
    }
};

TEST_F(RegistryWalkTest, DefaultValueOfAKeyThatListsNoValuesIsCarriedByItsValuelessEntry) {
    HiddenValuesRegistry hiddenReg;
    hiddenReg.addValue(kLm, "D", "", kRegSz, "default text");
    hiddenReg.hidden = "D";
    EXPECT_EQ(collect(kLm, "D", &hiddenReg), (RegSnapshot{entry("D\\", "", "default text")}));
}

// A key that is missing or cannot be read is recorded as one without values or subkeys.
TEST_F(RegistryWalkTest, ValuesAreRenderedByTypeAndFailedReadsAndUnreadableKeysKeepTheirEntries) {
    reg.addValue(kLm, "T", "", kRegSz, "default text");
    reg.addValue(kLm, "T", "sz", kRegSz, "text");
    reg.addValue(kLm, "T", "expand", kRegExpandSz, "%SystemRoot%");
    reg.addValue(kLm, "T", "bin", kRegBinary, std::string("\0\x0F", 2));
    reg.addValue(kLm, "T", "dword", kRegDword, "4294967295");
    reg.addValue(kLm, "T", "multi", kRegMultiSz, "only");
    reg.addValue(kLm, "T", "qword", kRegQword, "18446744073709551615");
    reg.addValue(kLm, "T", "none", kRegNone, "\x01");
    reg.addValue(kLm, "T", "bad", kRegSz, "lost");
    reg.failRead(kLm, "T", "bad");
    reg.addValue(kLm, "T\\Locked", "hidden", kRegSz, "x");
    reg.addValue(kLm, "T\\Locked\\Below", "hidden", kRegSz, "y");
    reg.makeUnreadable(kLm, "T\\Locked");
    collect(kLm, "T");
    EXPECT_EQ(
        testing::withoutRaw(state.regArray),
        (RegSnapshot{entry("T\\", "", "default text", kRegSz), entry("T\\", "sz", "text", kRegSz),
                     entry("T\\", "expand", "%SystemRoot%", kRegExpandSz),
                     entry("T\\", "bin", "00,0F", kRegBinary), entry("T\\", "dword", "4294967295", kRegDword),
                     entry("T\\", "multi", "only", kRegMultiSz), entry("T\\", "qword", "18446744073709551615", kRegQword),
                     entry("T\\", "none", "01", kRegNone),
                     entry("T\\", "bad", "", kRegSz), entry("T\\Locked\\", "", "")}));
    // The key that refused to be read is named as unread, with its root.
    EXPECT_EQ(state.FirstUnread, std::vector<std::string>{"key HKEY_LOCAL_MACHINE\\T\\Locked"});
    EXPECT_EQ(collect(kLm, "SOFTWARE\\Nowhere"), (RegSnapshot{entry("SOFTWARE\\Nowhere\\", "", "")}));
}

// Under Wine every provider call is a round trip to the server: the walk makes
// one listing of values and one of subkeys per key, one read per value and one
// default-value read per key without values (the Win32 provider answers both
// from its listing), one more for the expansion of a string that names a
// variable, and none at all on the keys that the system serves from
// performance data, which it records as keys.
TEST_F(RegistryWalkTest, CallsPerKeyAndPerValueStayAtTheMinimum) {
    const std::string perf = "R\\Microsoft\\Windows NT\\CurrentVersion\\Perflib\\009";
    reg.addValue(kLm, "R", "a", kRegSz, "1");
    reg.addValue(kLm, "R", "b", kRegDword, "2");
    reg.addValue(kLm, "R\\A", "c", kRegBinary, "x");
    reg.addValue(kLm, "R\\A", "d", kRegMultiSz, std::string("m\0n", 3));
    reg.addValue(kLm, "R\\A", "e", kRegQword, "5");
    reg.addValue(kLm, "R\\B\\C", "f", kRegExpandSz, "%TEMP%");
    reg.addValue(kLm, perf, "Counter", kRegMultiSz, "1");
    reg.addValue(kLm, perf, "Help", kRegMultiSz, "2");
    const RegSnapshot walked = collect(kLm, "R");
    const long keys = 9, performanceKeys = 1, values = 6, valuelessKeys = 5, expansions = 1;
    EXPECT_EQ(reg.enumCalls, 2 * (keys - performanceKeys));
    EXPECT_EQ(reg.readCalls, values + valuelessKeys + expansions);
    EXPECT_EQ(walked.back(), entry(perf + "\\", "", ""));
}

// A provider whose reads throw: the walk passes over them as failed reads.
class ThrowingRegistry : public FakeRegistry {
public:
    bool GetRawValue(int32_t, const std::string&, const std::string&, uint32_t&, std::string&) override {
        fail(5, "provider failure");
    }
};

TEST_F(RegistryWalkTest, ProviderFailuresAreNeverReported) {
    ThrowingRegistry throwing;
    throwing.addValue(kLm, "X", "a", kRegSz, "1");
    throwing.addKey(kLm, "X\\Empty");
    EXPECT_EQ(collect(kLm, "X", &throwing),
              (RegSnapshot{entry("X\\", "a", ""), entry("X\\Empty\\", "", "")}));
}

TEST_F(RegistryWalkTest, WalkGoesNoDeeperThan512LevelsBelowTheStartKey) {
    std::string path = "Top";
    for (int level = 1; level <= 600; ++level) path += "\\k";
    reg.addKey(kLm, path);
    const RegSnapshot snapshot = collect(kLm, "Top");
    ASSERT_EQ(snapshot.size(), 513u);  // the start key and 512 levels below it
    EXPECT_EQ(snapshot.back().KeyName.size(), std::string("Top\\").size() + 512 * 2);
    // What lies deeper is named as unread, not dropped in silence.
    ASSERT_EQ(state.FirstUnread.size(), 1u);
    EXPECT_EQ(state.FirstUnread[0], "key HKEY_LOCAL_MACHINE\\Top" + path.substr(3, 513 * 2) + " (deeper than 512 levels)");
}

// The exception list and the program's own settings key (Software\Marrowby), checked against two
// fixed trees. How an exception's hive name, case and element 0 count is the exception index's rule,
// checked there; here, what the walk tests against it.
TEST_F(RegistryWalkTest, ExceptionsAndTheOwnSettingsKeyExcludeWholeSubtrees) {
    for (const char* key : {"SOFTWARE\\A", "SOFTWARE\\A\\B", "SOFTWARE\\A\\B\\C", "SOFTWARE\\A\\D"})
        reg.addValue(kLm, key, "v", kRegSz, "x");
    for (const char* key :
         {"Software\\Marrowby", "Software\\Marrowby\\Deep", "Software\\MarrowbyTools", "Software\\X"})
        reg.addValue(kCu, key, "v", kRegSz, "x");
    const std::string lm = "HKEY_LOCAL_MACHINE", cu = "HKEY_CURRENT_USER", a = "SOFTWARE\\A", b = a + "\\B";
    const std::vector<std::string> allOfA = {"SOFTWARE\\A\\", "SOFTWARE\\A\\B\\", "SOFTWARE\\A\\B\\C\\",
                                             "SOFTWARE\\A\\D\\"};
    const std::vector<std::string> belowSw = {"Software\\", "Software\\MarrowbyTools\\", "Software\\X\\"};
    std::vector<std::string> belowRoot = belowSw;
    belowRoot.insert(belowRoot.begin(), "\\");
    const struct {
        const char* name;
        int32_t hive;
        std::string start;
        std::vector<RegException> exceptions;  // element 0 included
        std::vector<std::string> keys;
    } cases[] = {
        // clang-format off
        {"exception excludes the whole subtree", kLm, a, {{}, {lm, b}}, {allOfA[0], allOfA[3]}},
        {"the start key is never tested", kLm, a, {{}, {lm, a}, {lm, "\\" + a}}, allOfA},
        {"own key skipped below Software", kCu, "Software", {{}}, belowSw},
        {"own key comparison is case-sensitive", kCu, "SOFTWARE", {{}}, {"SOFTWARE\\", "SOFTWARE\\Marrowby\\",
         "SOFTWARE\\Marrowby\\Deep\\", "SOFTWARE\\MarrowbyTools\\", "SOFTWARE\\X\\"}},
        {"own key as the start key is walked", kCu, "Software\\Marrowby", {{}},
         {"Software\\Marrowby\\", "Software\\Marrowby\\Deep\\"}},
        // Below an empty start path, children are tested as "\name", grandchildren by their plain path.
        {"own key skipped below an empty start path", kCu, "", {{}}, belowRoot},
        {"child of the empty path without its backslash", kCu, "", {{}, {cu, "Software"}}, belowRoot},
        {"child of the empty path with its backslash", kCu, "", {{}, {cu, "\\Software"}}, {"\\"}},
        {"grandchild of the empty path by its plain path", kCu, "", {{}, {cu, "Software\\X"}},
         {"\\", "Software\\", "Software\\MarrowbyTools\\"}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        state.RegExceptions = c.exceptions;
        EXPECT_EQ(keyNames(collect(c.hive, c.start)), c.keys);
    }
}

// The names are what the root drop-down, the exception files and the command line spell.
TEST(HiveNames, EachOfTheFiveMapsToItsNumberAndBack) {
    for (const auto& [name, number] : {std::pair{"HKEY_CLASSES_ROOT", kHiveClassesRoot},
                                       {"HKEY_CURRENT_USER", kHiveCurrentUser},
                                       {"HKEY_LOCAL_MACHINE", kHiveLocalMachine},
                                       {"HKEY_USERS", kHiveUsers},
                                       {"HKEY_CURRENT_CONFIG", kHiveCurrentConfig}}) {
        EXPECT_EQ(hiveNumber(name), number);
        EXPECT_EQ(hiveName(number), name);
    }
}

TEST_F(RegistryWalkTest, StopRecordsNothingFromTheVisitAtWhichItIsSeen) {
    reg.addValue(kLm, "P", "p", kRegSz, "1");
    yielder.at[1] = [&] { state.StopDetect = true; };
    EXPECT_EQ(collect(kLm, "P"), RegSnapshot(1));
    EXPECT_EQ(state.j, 0);

    state.StopDetect = false;
    yielder.count = 0;
    reg.addValue(kLm, "P\\A", "a", kRegSz, "2");
    reg.addValue(kLm, "P\\A\\A1", "a1", kRegSz, "3");
    reg.addValue(kLm, "P\\A\\A2", "a2", kRegSz, "4");
    reg.addValue(kLm, "P\\B", "b", kRegSz, "5");
    reg.addValue(kLm, "P\\B\\B1", "b1", kRegSz, "6");
    yielder.at[3] = [&] { state.StopDetect = true; };
    EXPECT_EQ(collect(kLm, "P"), (RegSnapshot{entry("P\\", "p", "1"), entry("P\\A\\", "a", "2")}));
    EXPECT_EQ(state.j, 2);
    // The open levels still pass their remaining subkeys, each visit returning
    // at once: A2 below A, then B below P; nothing below B is visited.
    EXPECT_EQ(yielder.count, 5);
}

TEST_F(RegistryWalkTest, ExceptionsReplacedDuringAYieldApplyToLaterKeys) {
    reg.addKey(kLm, "E\\A");
    reg.addKey(kLm, "E\\B");
    reg.addKey(kLm, "E\\C");
    state.RegExceptions = {{}, {"HKEY_LOCAL_MACHINE", "E\\C"}};
    // While A is visited, the settings dialog's OK loads a new list.
    yielder.at[2] = [&] {
        state.RegExceptions = std::vector<RegException>{{}, {"HKEY_LOCAL_MACHINE", "E\\B"}};
    };
    EXPECT_EQ(keyNames(collect(kLm, "E")), (std::vector<std::string>{"E\\", "E\\A\\", "E\\C\\"}));
    EXPECT_EQ(yielder.count, 3);  // a skipped key is never visited
}

TEST_F(RegistryWalkTest, SnapshotReplacedDuringAYieldStillTakesTheLaterEntries) {
    for (int i = 0; i < 5; ++i)
        reg.addValue(kLm, "R", std::string("v").append(std::to_string(i)), kRegSz, "x");
    reg.addValue(kLm, "R\\Sub", "a", kRegSz, "1");
    reg.addValue(kLm, "R\\Sub", "b", kRegSz, "2");
    reg.addKey(kLm, "R\\Sub2");
    // A nested handler empties the snapshot without stopping the walk; j stays
    // at 5, so the following writes land beyond the new, shorter array.
    yielder.at[2] = [&] { state.regArray = RegSnapshot(1); };
    walkUntrimmed(kLm, "R");
    ASSERT_EQ(state.j, 8);
    ASSERT_GE(state.regArray.size(), 8u);
    EXPECT_EQ(testing::withoutRaw(state.regArray[5]), entry("R\\Sub\\", "a", "1", kRegSz));
    EXPECT_EQ(testing::withoutRaw(state.regArray[6]), entry("R\\Sub\\", "b", "2", kRegSz));
    EXPECT_EQ(state.regArray[7], entry("R\\Sub2\\", "", ""));
}

}  // namespace
}  // namespace qv

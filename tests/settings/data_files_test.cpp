// The data files beside the exe, as the start-up loads them.
#include "settings/data_files.h"

#include <gtest/gtest.h>

#include "tests/settings/data_files_rig.h"

namespace qv {
namespace {

using testing::DataFiles;

TEST_F(DataFiles, EachFileIsInTheFolderByThePlatformsSeparator) {
    const std::string* paths[] = {&state.SettingsPath, &state.RegExceptionsPath, &state.FileExceptionsPath,
                                  &state.FilterPath};
    const char* names[] = {"Settings.dat", "RegExceptions.dat", "FileExceptions.dat", "Filter.dat"};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(*paths[i], (dir_ / names[i]).string());
}

TEST_F(DataFiles, SettingsFlagsLoadInOrderAndAFailureEndsTheLoad) {
    struct Case {
        const char* bytes;  // nullptr: no Settings.dat
        std::array<int16_t, 6> flags;
        bool reported, listsRead;
    };
    const Case cases[] = {
        {nullptr, {1, 0, 1, 1, 0, 1}, false, true},
        {" 2 ,\t-1,+1,32767,-32768, 0\r\n,9,x", {2, -1, 1, 32767, -32768, 0}, false, true},
        {"1,0,1\r\n", {1, 0, 1, 0, 0, 0}, true, false},
        {"1,1,32768,1,1,1\r\n", {1, 1, 0, 0, 0, 0}, true, false},
        {"1,1,1.5,1,1,1\r\n", {1, 1, 0, 0, 0, 0}, true, false},
        {"", {0, 0, 0, 0, 0, 0}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes ? c.bytes : "(missing)");
        std::filesystem::remove(state.SettingsPath);
        if (c.bytes) write(state.SettingsPath, c.bytes);
        write(state.FilterPath, "a\rb\r\r\n");
        state.FilterList.assign(1, "");
        prompt.calls.clear();
        load();
        EXPECT_EQ(flagsOf(state.switches), c.flags);
        EXPECT_EQ(!prompt.calls.empty(), c.reported);
        EXPECT_EQ(state.FilterList.size(), c.listsRead ? 3u : 1u);
    }
}

// Settings.dat is read no further than its first line can go: a sixth number
// past the first 64 KiB is not seen, and the report names the file.
TEST_F(DataFiles, SettingsAreReadOnlyAsFarAsTheFirstLineCanGo) {
    write(state.SettingsPath, "1,1,1,1,1," + std::string(kSettingsReadLimit, ' ') + "1\r\n");
    load();
    EXPECT_EQ(flagsOf(state.switches), (std::array<int16_t, 6>{1, 1, 1, 1, 1, 0}));
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_NE(prompt.calls[0].text.find(state.SettingsPath), std::string::npos) << prompt.calls[0].text;

    prompt.calls.clear();
    write(state.SettingsPath, "1,0,1,1,0,1\r\n" + std::string(size_t{50} << 20, 'x'));
    load();
    EXPECT_EQ(flagsOf(state.switches), (std::array<int16_t, 6>{1, 0, 1, 1, 0, 1}));
    EXPECT_TRUE(prompt.calls.empty());
}

// A seventh number, after the six that every version reads, turns on the
// attribute switch; the dialog's save keeps it, and writes six numbers while it is off.
TEST_F(DataFiles, ASeventhSwitchIsReadWhereGivenAndKeptByTheSave) {
    for (const auto& [bytes, attributes] : {std::pair{"1,0,1,1,0,1,1\r\n", 1}, {"1,0,1,1,0,1\r\n", 0},
                                            {"1,0,1,1,0,1, \r\n", 0}}) {
        SCOPED_TRACE(bytes);
        write(state.SettingsPath, bytes);
        load();
        EXPECT_EQ(state.switches.chkAttributeChangesSetting, attributes);
        EXPECT_TRUE(prompt.calls.empty());
    }
    EXPECT_EQ(settingsText({1, 0, 1, 1, 0, 1}, 1), "1,0,1,1,0,1,1");
    EXPECT_EQ(settingsText({1, 0, 1, 1, 0, 1}, 0), "1,0,1,1,0,1");
}

TEST_F(DataFiles, ListFilesFollowThePairAndSingleRules) {
    write(state.RegExceptionsPath, "HKEY_LOCAL_MACHINE\rSOFTWARE\\Classes\r\r\n");
    // Another editor's CR LF after every value: the line feeds stay on the values.
    write(state.FileExceptionsPath, "C:\\Temp\r\nFolder\r\n\rskipped\r\nC:\\a.txt\rFile\rC:\\last");
    write(state.FilterPath, std::string("a\rb\0c\r\rtail", 11));
    load();
    ASSERT_EQ(state.RegExceptions.size(), 2u);
    EXPECT_EQ(state.RegExceptions[1].hKey, "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(state.RegExceptions[1].KeyPath, "SOFTWARE\\Classes");
    ASSERT_EQ(state.FileExceptions.size(), 4u);
    EXPECT_EQ(state.FileExceptions[1].Path, "C:\\Temp");
    EXPECT_EQ(state.FileExceptions[1].FileorFolder, "\nFolder");
    EXPECT_EQ(state.FileExceptions[2].Path, "\n");  // an empty piece skips only its own pair
    EXPECT_EQ(state.FileExceptions[3].Path, "\nC:\\a.txt");
    EXPECT_EQ(state.FilterList, (std::vector<std::string>{"", "a", "b c"}));  // NUL reads as a blank

    write(state.RegExceptionsPath, "\r\n");
    write(state.FilterPath, "");
    load();
    EXPECT_EQ(state.RegExceptions.size(), 1u);
    EXPECT_EQ(state.FilterList.size(), 1u);
}

TEST_F(DataFiles, SavedTextReadsBackAsWrittenInAnsiOrUtf8WithAMark) {
    const std::vector<TextPair> rows = {{"C:\\Programme\\Gr\xC3\xBC\xC3\x9F\x65\\", "Folder"},
                                        {"C:\\a.txt", "File"}};
    ASSERT_TRUE(SaveData(pairsText(rows), state.FileExceptionsPath, codePage));
    EXPECT_EQ(bytes(state.FileExceptionsPath),
              "C:\\Programme\\Gr\xFC\xDF\x65\\\rFolder\rC:\\a.txt\rFile\r\r\n");

    const std::vector<TextPair> wide = {{"C:\\\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\\", "Folder"},
                                        {"D:\\\xE6\x97\xA5\xE6\x9C\xAC\\", "Folder"}};
    ASSERT_TRUE(SaveData(pairsText(wide), state.FileExceptionsPath, codePage));
    EXPECT_TRUE(bytes(state.FileExceptionsPath).starts_with(kUtf8Bom));
    load();
    ASSERT_EQ(state.FileExceptions.size(), 3u);
    EXPECT_EQ(state.FileExceptions[1].Path, wide[0].first);
    EXPECT_EQ(state.FileExceptions[2].Path, wide[1].first);

    // ANSI text that begins like the mark is still read back as itself.
    const std::string markLike = "\xC3\xAF\xC2\xBB\xC2\xBFx";
    ASSERT_TRUE(SaveData(markLike, state.FilterPath, codePage));
    load();
    EXPECT_EQ(state.FilterList, (std::vector<std::string>{"", markLike}));
}

TEST_F(DataFiles, AFileThatCannotBeReadIsReportedAndGivesNothing) {
    const std::string missing = (dir_ / "missing.dat").string();
    EXPECT_FALSE(readTextFile(missing, codePage).has_value());
    EXPECT_EQ(LoadTextFile(missing, codePage, reporter), "");
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_NE(prompt.calls[0].text.find("missing.dat"), std::string::npos);
}

}  // namespace
}  // namespace qv

#include "settings/data_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/whole_file.h"
#include "settings/text_files.h"
#include "support/error_report.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

class DataFiles : public ::testing::Test {
protected:
    DataFiles() {
        dir_ = std::filesystem::temp_directory_path() / ("quorvel-data-files-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        setDataFilePaths(state, dir_.string());
        // The program's paths use the platform's separator; here the tests' own.
        for (std::string* path : {&state.SettingsPath, &state.RegExceptionsPath, &state.FileExceptionsPath,
                                  &state.FilterPath})
            std::replace(path->begin(), path->end(), '\\', '/');
    }
    ~DataFiles() override { std::filesystem::remove_all(dir_); }

    void write(const std::string& path, const std::string& bytes) { ASSERT_TRUE(replaceWholeFile(path, bytes)); }
    void load() { LoadSettingsAndLists(state, codePage, reporter); }

    std::filesystem::path dir_;
    AppState state;
    Latin1CodePage codePage;
    testing::ScriptedPrompt prompt;
    ErrorReporter reporter{prompt};
};

TEST_F(DataFiles, SettingsFlagsLoadInOrderAndAFailureEndsTheLoad) {
    struct Case {
        const char* bytes;  // nullptr: no Settings.dat
        std::array<int16_t, 6> flags;
        bool reported, listsRead;
    };
    const Case cases[] = {
        {nullptr, {1, 0, 1, 1, 0, 1}, false, true},
        {"0,0,0,1,1,1\r\n", {0, 0, 0, 1, 1, 1}, false, true},
        {" 2 ,\t-1,+1,32767,-32768, 0\r\n,9,x", {2, -1, 1, 32767, -32768, 0}, false, true},
        {"1,0,1\r\n", {1, 0, 1, 0, 0, 0}, true, false},
        {"1,x,1,1,1,1\r\n", {1, 0, 0, 0, 0, 0}, true, false},
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
    EXPECT_FALSE(regularFileExists((dir_ / "x").string()));  // the load never writes
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
    const std::vector<TextPair> rows = {{"C:\\Programme\\Gr\xC3\xBC\xC3\x9F" "e\\", "Folder"},
                                        {"C:\\a.txt", "File"}};
    ASSERT_TRUE(SaveData(pairsText(rows), state.FileExceptionsPath, codePage));
    EXPECT_EQ(readWholeFile(state.FileExceptionsPath), "C:\\Programme\\Gr\xFC\xDF" "e\\\rFolder\rC:\\a.txt\rFile\r\r\n");

    const std::vector<TextPair> wide = {{"C:\\\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\\", "Folder"},
                                        {"D:\\\xE6\x97\xA5\xE6\x9C\xAC\\", "Folder"}};
    ASSERT_TRUE(SaveData(pairsText(wide), state.FileExceptionsPath, codePage));
    EXPECT_TRUE(readWholeFile(state.FileExceptionsPath)->starts_with(kUtf8Bom));
    load();
    ASSERT_EQ(state.FileExceptions.size(), 3u);
    EXPECT_EQ(state.FileExceptions[1].Path, wide[0].first);
    EXPECT_EQ(state.FileExceptions[2].Path, wide[1].first);

    // ANSI text that begins like the mark is still read back as itself.
    ASSERT_TRUE(SaveData("\xC3\xAF\xC2\xBB\xC2\xBF" "x", state.FilterPath, codePage));
    load();
    EXPECT_EQ(state.FilterList, (std::vector<std::string>{"", "\xC3\xAF\xC2\xBB\xC2\xBF" "x"}));
}

TEST_F(DataFiles, UnreadableListFileIsReportedAndGivesNoEntries) {
    std::filesystem::create_directories(state.FilterPath);  // exists, yet cannot be read as a file
    write(state.RegExceptionsPath, "HKEY_USERS\rx\r\r\n");
    EXPECT_FALSE(readTextFile(state.SettingsPath, codePage).has_value());
    prompt.calls.clear();
    EXPECT_EQ(LoadTextFile(state.FilterPath + "/missing", codePage, reporter), "");
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_NE(prompt.calls[0].text.find("missing"), std::string::npos);
}

}  // namespace
}  // namespace qv

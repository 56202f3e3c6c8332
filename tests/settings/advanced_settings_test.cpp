// The Advanced dialog as it opens, edits and saves the data files.
#include "settings/advanced_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>

#include "core/whole_file.h"
#include "settings/data_files.h"
#include "settings/text_files.h"
#include "support/error_report.h"
#include "tests/settings/data_files_rig.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using testing::DataFiles;
using Rows = std::vector<SettingsRow>;

class ScriptedAdvancedView : public AdvancedView {
public:
    std::array<int16_t, 6> checks{};
    std::string root, key = "SOFTWARE", filter;
    bool fileOption = true;
    SettingsList visible = SettingsList::RegExceptions;
    std::array<Rows, 3> lists;
    bool closed = false;

    int16_t checkValue(size_t i) const override { return checks[i]; }
    void setCheckValue(size_t i, int16_t v) override { checks[i] = v; }
    std::string regRootText() const override { return root; }
    void setRegRootText(const std::string& t) override { root = t; }
    std::string regKeyText() const override { return key; }
    std::string filterText() const override { return filter; }
    bool fileOptionSelected() const override { return fileOption; }
    void showTab(SettingsList l) override { visible = l; }
    SettingsList visibleList() const override { return visible; }
    Rows rows(SettingsList l) const override { return lists[static_cast<size_t>(l)]; }
    void setRows(SettingsList l, const Rows& r) override { lists[static_cast<size_t>(l)] = r; }
    intptr_t windowHandle() const override { return 42; }
    void close() override { closed = true; }
    Rows& list(SettingsList l) { return lists[static_cast<size_t>(l)]; }
};

class ScriptedPickers : public FolderPicker, public FilePicker {
public:
    std::deque<std::string> folders;  // answered in turn, then ""
    std::deque<SelectedFile> files;   // then cancelled
    std::vector<FileDialog> dialogs;
    std::string BrowseFolder(std::string_view, intptr_t) override {
        std::string f = folders.empty() ? "" : folders.front();
        if (!folders.empty()) folders.pop_front();
        return f;
    }
    SelectedFile ShowOpen(FileDialog& dialog, intptr_t, bool) override {
        dialogs.push_back(dialog);
        SelectedFile f = files.empty() ? SelectedFile{} : files.front();
        if (!files.empty()) files.pop_front();
        return f;
    }
};

class Resets : public MainResults {
public:
    int count = 0;
    Work work;
    Work workInHand() const override { return work; }
    void clearResultsForNewSettings() override { ++count; }
    int applied = 0;
    void applySettingsToSnapshots() override { ++applied; }
};

class AdvancedDialog : public DataFiles {
protected:
    ScriptedAdvancedView view;
    ScriptedPickers pickers;
    FileDialog fileDialog;
    Resets main;
    AdvancedSettings dialog{
        {state, view, prompt, reporter, pickers, pickers, fileDialog, codePage, main, "C:\\Q"}};
};

TEST_F(AdvancedDialog, OpensFromTheFlagsAndTheFilesAndOkWritesAllFourAndRebuildsMemory) {
    state.switches.chkDeleteRegSetting = 7;  // only a hand-edited file gives this
    state.switches.chkModifiedFilesSetting = 2;
    write(state.RegExceptionsPath, "HKEY_USERS\rS-1\r\r\n");
    write(state.FilterPath, "a\r\r\n");
    dialog.Form_Load();
    EXPECT_EQ(view.root, "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(view.checks, (std::array<int16_t, 6>{1, 0, 1, 1, 0, 2}));
    EXPECT_EQ(view.list(SettingsList::RegExceptions), (Rows{{"HKEY_USERS", "S-1", false}}));
    EXPECT_TRUE(view.list(SettingsList::FileExceptions).empty());

    view.checks = {0, 1, 0, 1, 1, 1};
    view.list(SettingsList::Filter).push_back({"", "", false});  // written, never loaded
    view.list(SettingsList::Filter).push_back({"b", "", false});
    state.FilterList = {"", "stale"};
    dialog.cmdOK_Click();
    EXPECT_TRUE(view.closed);
    EXPECT_TRUE(prompt.calls.empty());
    EXPECT_EQ(main.count, 1);
    EXPECT_EQ(bytes(state.SettingsPath), "0,1,0,1,1,1\r\n");
    EXPECT_EQ(bytes(state.RegExceptionsPath), "HKEY_USERS\rS-1\r\r\n");
    EXPECT_EQ(bytes(state.FileExceptionsPath), "\r\n");
    EXPECT_EQ(bytes(state.FilterPath), "a\r\rb\r\r\n");
    EXPECT_EQ(flagsOf(state.switches), view.checks);
    EXPECT_EQ(state.FilterList, (std::vector<std::string>{"", "a", "b"}));
    EXPECT_EQ(state.RegExceptions.size(), 2u);
    EXPECT_EQ(state.FileExceptions.size(), 1u);
}

// OK starts the collection over: where that sets aside a first snapshot,
// results or a collection under way, the user is asked, and No keeps both the
// dialog with its edits and the window as they were.
TEST_F(AdvancedDialog, OkAsksBeforeItSetsAsideWorkInHand) {
    struct Case {
        MainResults::Work work;
        const char* text;
    };
    const std::string ask = "\r\n\r\nApply the settings and start over?";
    const std::string again = "The new settings apply from a new first snapshot: the next click on \"Collect data\" "
                              "collects the first data again";
    for (const Case& c : {Case{{true, false, false}, ", and the first data collected so far will not be compared."},
                          Case{{false, true, false}, ", and the results shown are cleared."},
                          Case{{false, false, true}, "."}}) {
        SCOPED_TRACE(c.text);
        const std::string text = (c.work.collecting ? "The collection under way will be stopped. " : "") + again + c.text + ask;
        main.work = c.work;
        main.count = 0;
        view.closed = false;
        dialog.Form_Load();
        view.checks = {0, 0, 1, 1, 0, 1};
        prompt.calls.clear();
        prompt.answers = {Answer::No};
        dialog.cmdOK_Click();
        ASSERT_EQ(prompt.calls.size(), 1u);
        EXPECT_EQ(prompt.calls[0].text, text);
        EXPECT_EQ(prompt.calls[0].buttons, Buttons::YesNo);
        EXPECT_FALSE(view.closed);
        EXPECT_EQ(main.count, 0);
        EXPECT_EQ(state.switches.chkNewRegSetting, 1);
        EXPECT_EQ(bytes(state.SettingsPath), "(missing)");

        prompt.answers = {Answer::Yes};
        dialog.cmdOK_Click();
        EXPECT_TRUE(view.closed);
        EXPECT_EQ(main.count, 1);
        EXPECT_EQ(bytes(state.SettingsPath), "0,0,1,1,0,1\r\n");
        std::filesystem::remove(state.SettingsPath);
        setFlags(state.switches, {1, 0, 1, 1, 0, 1});
    }
}

// After a final collection, OK offers to apply the settings to the two
// snapshots in hand, unless they ask for a place that was not walked.
TEST_F(AdvancedDialog, OkAfterAFinalCollectionOffersTheSnapshotsInHand) {
    write(state.RegExceptionsPath, "HKEY_USERS\rS-1\r\r\n");
    state.RegExceptions = {{}, {"HKEY_USERS", "S-1"}};
    struct Case {
        bool filesInHand;
        bool filesTicked;
        bool dropException;
        Answer answer;
        bool offered;  // else today's start-over question
        int applied, cleared;
    } cases[] = {
        {true, true, false, Answer::Yes, true, 1, 0},
        {true, true, false, Answer::No, true, 0, 1},
        {true, true, false, Answer::Cancel, true, 0, 0},
        {false, false, false, Answer::Yes, true, 1, 0},  // files not wanted: nothing is missing
        {false, true, false, Answer::Yes, false, 0, 1},  // files wanted, never scanned
        {true, true, true, Answer::Yes, false, 0, 1},    // an excepted key was never walked
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n++);
        main.work = MainResults::Work{};
        main.work.results = true;
        main.work.bothSnapshots = true;
        main.work.registryInHand = main.work.registryTicked = true;
        main.work.filesInHand = c.filesInHand;
        main.work.filesTicked = c.filesTicked;
        main.count = main.applied = 0;
        view.closed = false;
        dialog.Form_Load();
        view.list(SettingsList::RegExceptions).push_back({"HKEY_CURRENT_USER", "Software\\Noise", false});
        if (c.dropException) view.list(SettingsList::RegExceptions).erase(view.list(SettingsList::RegExceptions).begin());
        prompt.calls.clear();
        prompt.answers = {c.answer};
        dialog.cmdOK_Click();
        ASSERT_EQ(prompt.calls.size(), 1u);
        EXPECT_EQ(prompt.calls[0].buttons, c.offered ? Buttons::YesNoCancel : Buttons::YesNo);
        EXPECT_EQ(prompt.calls[0].text.find("snapshots in hand") != std::string::npos, c.offered);
        EXPECT_EQ(main.applied, c.applied);
        EXPECT_EQ(main.count, c.cleared);
        EXPECT_EQ(view.closed, c.answer != Answer::Cancel);
        state.RegExceptions = {{}, {"HKEY_USERS", "S-1"}};
    }
}

TEST_F(AdvancedDialog, ListsLongerThanAShortIndexOpenSaveAndRebuildWhole) {
    constexpr size_t kRows = 40000;  // beyond any 16-bit count
    std::string text;
    for (size_t i = 0; i < kRows; ++i) text += "C:\\Cache" + std::to_string(i) + "\\\rFolder\r";
    text += "\r\n";
    write(state.FileExceptionsPath, text);
    dialog.Form_Load();
    ASSERT_EQ(view.list(SettingsList::FileExceptions).size(), kRows);
    EXPECT_EQ(view.list(SettingsList::FileExceptions).back().text, "C:\\Cache39999\\");
    dialog.cmdOK_Click();
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(bytes(state.FileExceptionsPath), text);
    ASSERT_EQ(state.FileExceptions.size(), kRows + 1);
    EXPECT_EQ(state.FileExceptions[kRows].Path, "C:\\Cache39999\\");
}

TEST_F(AdvancedDialog, AddActsOnTheVisibleListAndRemoveTakesItsTickedRows) {
    dialog.Form_Load();
    view.key = "";
    dialog.cmdAddRegExceptions_Click();
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_EQ(prompt.calls[0].text, "Please type a registry key to add to your exception list.");
    EXPECT_EQ(prompt.calls[0].title, "Exception");
    view.root = "HKEY_USERS";
    view.key = " Soft ";
    dialog.cmdAddRegExceptions_Click();
    EXPECT_EQ(view.list(SettingsList::RegExceptions), (Rows{{"HKEY_USERS", " Soft ", false}}));

    dialog.tbExceptions_Click(2);
    pickers.folders = {"D:\\Setup", "D:\\", ""};
    view.fileOption = false;
    for (int i = 0; i < 3; ++i) dialog.cmdAddRegExceptions_Click();
    view.fileOption = true;
    SelectedFile three{3, {"", "a.txt", "b.txt", "c.txt"}, "C:\\Data\\", false};
    pickers.files = {three, SelectedFile{}};
    dialog.cmdAddRegExceptions_Click();
    dialog.cmdAddRegExceptions_Click();  // cancelled
    EXPECT_EQ(view.list(SettingsList::FileExceptions), (Rows{{"D:\\Setup\\", "Folder", false},
                                                             {"D:\\", "Folder", false},
                                                             {"C:\\Data\\a.txt", "File", false}}));
    ASSERT_EQ(pickers.dialogs.size(), 2u);
    EXPECT_EQ(pickers.dialogs[0].flags & OFN_ALLOWMULTISELECT_FLAG, OFN_ALLOWMULTISELECT_FLAG);
    EXPECT_EQ(pickers.dialogs[0].initialDir, "C:\\Q\\");

    dialog.tbExceptions_Click(3);
    dialog.cmdAddRegExceptions_Click();
    EXPECT_EQ(prompt.calls.back().text, "Please type some data to add to your filter list.");
    EXPECT_EQ(prompt.calls.back().title, "Filter");
    for (const char* t : {"1", "2", "3", "4", "5"}) {
        view.filter = t;
        dialog.cmdAddRegExceptions_Click();
    }
    view.list(SettingsList::Filter)[1].ticked = view.list(SettingsList::Filter)[3].ticked = true;
    view.list(SettingsList::RegExceptions)[0].ticked = true;
    dialog.cmdRemoveRegExceptions_Click();
    EXPECT_EQ(view.list(SettingsList::Filter), (Rows{{"1", "", false}, {"3", "", false}, {"5", "", false}}));
    EXPECT_EQ(view.list(SettingsList::RegExceptions).size(), 1u);  // another tab's ticks stay
    dialog.tbExceptions_Click(4);
    EXPECT_EQ(view.visible, SettingsList::Filter);
}

TEST_F(AdvancedDialog, AFileThatCannotBeReadOrWrittenIsReportedKeptAndTheDialogStaysOpen) {
    write(state.FilterPath, "keep\r\r\n");
    std::filesystem::create_directories(state.FileExceptionsPath);  // exists, but is no file to read
    std::filesystem::create_directories(state.SettingsPath);        // and cannot be replaced
    state.FileExceptions = {{}, {"C:\\Old\\", "Folder"}};
    dialog.Form_Load();
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_TRUE(dialog.unreadable(SettingsList::FileExceptions));
    EXPECT_EQ(view.list(SettingsList::Filter), (Rows{{"keep", "", false}}));
    view.list(SettingsList::FileExceptions).push_back({"C:\\New\\", "Folder", false});
    view.checks = {1, 1, 1, 1, 1, 1};
    dialog.cmdOK_Click();
    EXPECT_FALSE(view.closed);
    ASSERT_EQ(prompt.calls.size(), 2u);
    EXPECT_NE(prompt.calls[1].text.find("Settings.dat"), std::string::npos);
    EXPECT_NE(prompt.calls[1].text.find("FileExceptions.dat could not be read"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(state.FileExceptionsPath));
    EXPECT_EQ(state.FileExceptions[1].Path, "C:\\Old\\");
    EXPECT_EQ(bytes(state.FilterPath), "keep\r\r\n");  // the files that could be saved are
    EXPECT_EQ(flagsOf(state.switches), view.checks);
}

}  // namespace
}  // namespace qv

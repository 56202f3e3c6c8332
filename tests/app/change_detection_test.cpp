#include "app/change_detection.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/app/size_only_source.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using testing::ScriptedPrompt;
using testing::ScriptedView;
using testing::ScriptedYielder;
using testing::SizeOnlySource;

// Remembers every progress maximum and value, not only the last ones.
class RecordingView : public ScriptedView {
public:
    std::vector<int64_t> maxHistory;
    std::vector<int64_t> valueHistory;
    void setProgressMax(int64_t m) override {
        ScriptedView::setProgressMax(m);
        maxHistory.push_back(m);
    }
    void setProgressValue(int64_t v) override {
        ScriptedView::setProgressValue(v);
        valueHistory.push_back(v);
    }
};

RegSnapshot neverFilled() {
    return RegSnapshot(1);
}

class ChangeDetection : public ::testing::Test {
protected:
    ChangeDetection() {
        state.switches.chkDeleteRegSetting = 1;
        state.switches.chkDeleteFilesSetting = 1;
        view.keepStatusHistory = true;
        view.cmdDetectChangesEnabled = true;
    }

    void detect() {
        DetectionContext ctx{state, view, yielder, files, prompt};
        Detect_Click(ctx);
    }
    std::vector<ResultRow>& rows(ListId id) { return view.list(id); }
    size_t totalRows() {
        size_t n = 0;
        for (auto& l : view.lists) n += l.size();
        return n;
    }
    void finalFiles(FileSnapshot files) {
        state.FinishFileList = std::move(files);
        state.FinishFileScanRan = true;
    }

    AppState state;
    RecordingView view;
    ScriptedYielder yielder;
    SizeOnlySource files;
    ScriptedPrompt prompt;
};

const RegEntry kKey{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\", "", ""};
const RegEntry kPath{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\", "Path", "C:\\Acme"};
const RegEntry kVersion{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\", "Version", "1.0"};

ResultRow row(const RegEntry& e) {
    return {e.KeyName, e.ValueName, e.ValueData};
}

// --- registry passes ---

TEST_F(ChangeDetection, IdenticalSnapshotsGiveNoRowsButStillTheClosingBox) {
    state.regArray = state.regArray2 = {kKey, kPath, kVersion};
    state.StartFileList = {{}, {"C:\\a.txt", "01/02/2026 10:00:00"}};
    finalFiles(state.StartFileList);
    detect();
    EXPECT_EQ(totalRows(), 0u);
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_EQ(prompt.calls[0].text, "Detection done");
    EXPECT_EQ(prompt.calls[0].title, "Done");
    EXPECT_EQ(prompt.calls[0].buttons, Buttons::Ok);
    EXPECT_EQ(prompt.calls[0].icon, Icon::Information);
}

TEST_F(ChangeDetection, ValueOnlyInFinalSnapshotIsNew) {
    state.regArray = {kKey, kPath};
    state.regArray2 = {kKey, kPath, kVersion};
    detect();
    ASSERT_EQ(rows(ListId::NewEntries), std::vector<ResultRow>{row(kVersion)});
    EXPECT_TRUE(rows(ListId::NewEntries)[0].text.ends_with("\\"));
    EXPECT_TRUE(rows(ListId::DeletedEntries).empty());
    EXPECT_TRUE(rows(ListId::EditedRegistry).empty());
}

TEST_F(ChangeDetection, DeletedValueIsReportedWithOldData) {
    state.regArray = {kKey, kPath, kVersion};
    state.regArray2 = {kKey, kVersion};
    detect();
    EXPECT_EQ(rows(ListId::DeletedEntries), std::vector<ResultRow>{row(kPath)});
    EXPECT_TRUE(rows(ListId::NewEntries).empty());
}

TEST_F(ChangeDetection, EditedValueIsListedWithNewDataAndAsOldEntryWithOldData) {
    RegEntry edited = kVersion;
    edited.ValueData = "2.0";
    state.regArray = {kKey, kVersion};
    state.regArray2 = {kKey, edited};
    detect();
    EXPECT_EQ(rows(ListId::EditedRegistry), std::vector<ResultRow>{row(edited)});
    EXPECT_EQ(rows(ListId::DeletedEntries), std::vector<ResultRow>{row(kVersion)});
    EXPECT_TRUE(rows(ListId::NewEntries).empty());
}

TEST_F(ChangeDetection, ValuelessKeyWithChangedDefaultIsEditedButNeverDeleted) {
    RegEntry before{kKey.KeyName, "", "old default"};
    RegEntry after{kKey.KeyName, "", "new default"};
    state.regArray = {before};
    state.regArray2 = {after};
    detect();
    EXPECT_EQ(rows(ListId::EditedRegistry), std::vector<ResultRow>{row(after)});
    EXPECT_TRUE(rows(ListId::DeletedEntries).empty());
}

TEST_F(ChangeDetection, EditedDataIsComparedWithTheFirstEntryOfTheSameName) {
    // Two first entries share key and value name: the earlier one decides.
    RegEntry earlier{kVersion.KeyName, "Version", "1.0"};
    RegEntry later{kVersion.KeyName, "Version", "2.0"};
    state.regArray = {earlier, later};
    state.regArray2 = {later};
    state.switches.chkDeleteRegSetting = 0;
    detect();
    EXPECT_EQ(rows(ListId::EditedRegistry), std::vector<ResultRow>{row(later)});
}

TEST_F(ChangeDetection, NewValueWhoseDataIsFilteredGivesNoRow) {
    state.FilterList = {"", "C:\\Acme"};
    state.regArray = {kKey};
    state.regArray2 = {kKey, kPath};
    detect();
    EXPECT_TRUE(rows(ListId::NewEntries).empty());
}

TEST_F(ChangeDetection, FilterMatchesExactlyAndCaseSensitively) {
    state.FilterList = {"", "c:\\acme", "C:\\Acm"};
    state.regArray = {kKey};
    state.regArray2 = {kKey, kPath};
    detect();
    EXPECT_EQ(rows(ListId::NewEntries), std::vector<ResultRow>{row(kPath)});
}

TEST_F(ChangeDetection, OldDataFilteredButNewNotIsEditedButNotDeleted) {
    RegEntry edited = kPath;
    edited.ValueData = "D:\\Acme";
    state.FilterList = {"", "C:\\Acme"};
    state.regArray = {kKey, kPath};
    state.regArray2 = {kKey, edited};
    detect();
    EXPECT_EQ(rows(ListId::EditedRegistry), std::vector<ResultRow>{row(edited)});
    EXPECT_TRUE(rows(ListId::DeletedEntries).empty());
}

TEST_F(ChangeDetection, ElementZeroOfTheFilterListFiltersNothing) {
    RegEntry empty{kKey.KeyName, "Empty", ""};
    state.FilterList = {"", "something"};
    state.regArray = {kKey};
    state.regArray2 = {kKey, empty};
    detect();
    EXPECT_EQ(rows(ListId::NewEntries), std::vector<ResultRow>{row(empty)});
}

TEST_F(ChangeDetection, NewEntriesAreListedWhenOnlyTheEditedSwitchIsOn) {
    state.switches.chkNewRegSetting = 0;
    state.switches.chkEditedRegSetting = 1;
    state.regArray = {kKey};
    state.regArray2 = {kKey, kPath};
    detect();
    EXPECT_EQ(rows(ListId::NewEntries), std::vector<ResultRow>{row(kPath)});
}

TEST_F(ChangeDetection, EditedSwitchOffSuppressesEditedRowsOnly) {
    RegEntry edited = kPath;
    edited.ValueData = "D:\\Acme";
    state.switches.chkEditedRegSetting = 0;
    state.switches.chkDeleteRegSetting = 0;
    state.regArray = {kKey, kPath};
    state.regArray2 = {kKey, edited, kVersion};
    detect();
    EXPECT_EQ(rows(ListId::NewEntries), std::vector<ResultRow>{row(kVersion)});
    EXPECT_TRUE(rows(ListId::EditedRegistry).empty());
}

TEST_F(ChangeDetection, OnlyTheDeletionPassRunsWhenNewAndEditedAreOff) {
    RegEntry edited = kPath;
    edited.ValueData = "D:\\Acme";
    state.switches.chkNewRegSetting = 0;
    state.switches.chkEditedRegSetting = 0;
    state.regArray = {kKey, kPath};
    state.regArray2 = {kKey, edited, kVersion};
    detect();
    EXPECT_TRUE(rows(ListId::NewEntries).empty());
    EXPECT_TRUE(rows(ListId::EditedRegistry).empty());
    EXPECT_EQ(rows(ListId::DeletedEntries), std::vector<ResultRow>{row(kPath)});
    EXPECT_EQ(view.statusHistory.front(), "Checking for deleted registry data " + kKey.KeyName);
}

TEST_F(ChangeDetection, AllRegistrySwitchesOffGiveNoRegistryRows) {
    state.switches.chkNewRegSetting = state.switches.chkEditedRegSetting =
        state.switches.chkDeleteRegSetting = 0;
    state.regArray = {kKey, kPath};
    state.regArray2 = {kKey, kVersion};
    detect();
    EXPECT_EQ(totalRows(), 0u);
}

TEST_F(ChangeDetection, UntickedRegistryBoxGivesNoRegistryRows) {
    view.chkDetectRegistry = false;
    state.regArray = {kKey, kPath};
    state.regArray2 = {kKey, kVersion};
    state.StartFileList = {{}};
    finalFiles({{}, {"C:\\new.txt", "d"}});
    detect();
    EXPECT_TRUE(rows(ListId::NewEntries).empty());
    EXPECT_TRUE(rows(ListId::DeletedEntries).empty());
    EXPECT_EQ(rows(ListId::NewFiles).size(), 1u);
}

TEST_F(ChangeDetection, DetectionAppendsToListsAndChangesNoSnapshot) {
    rows(ListId::NewEntries).push_back({"earlier", "row", ""});
    state.regArray = {kKey};
    state.regArray2 = {kKey, kPath};
    state.StartFileList = {{}, {"C:\\a", "1"}};
    finalFiles({{}, {"C:\\a", "2"}});
    const AppState before = state;
    detect();
    EXPECT_EQ(rows(ListId::NewEntries).size(), 2u);
    EXPECT_EQ(state.regArray, before.regArray);
    EXPECT_EQ(state.regArray2, before.regArray2);
    EXPECT_EQ(state.StartFileList, before.StartFileList);
    EXPECT_EQ(state.FinishFileList, before.FinishFileList);
}

// --- one-entry and never-filled registry snapshots ---

TEST_F(ChangeDetection, FinalSnapshotOfOneEntryIsExamined) {
    state.regArray = {kKey, kPath};
    state.regArray2 = {kVersion};
    detect();
    EXPECT_EQ(rows(ListId::NewEntries), std::vector<ResultRow>{row(kVersion)});
}

TEST_F(ChangeDetection, FirstSnapshotOfOneEntryIsExamined) {
    state.regArray = {kPath};
    state.regArray2 = {kKey, kVersion};
    detect();
    EXPECT_EQ(rows(ListId::DeletedEntries), std::vector<ResultRow>{row(kPath)});
}

TEST_F(ChangeDetection, NeverFilledSnapshotsHoldNoEntries) {
    state.regArray = neverFilled();
    state.regArray2 = {kPath};
    detect();
    EXPECT_EQ(rows(ListId::NewEntries), std::vector<ResultRow>{row(kPath)});
    EXPECT_TRUE(rows(ListId::DeletedEntries).empty());

    view.lists[static_cast<int>(ListId::NewEntries)].clear();
    state.regArray = {kPath};
    state.regArray2 = neverFilled();
    detect();
    EXPECT_TRUE(rows(ListId::NewEntries).empty());
    EXPECT_EQ(rows(ListId::DeletedEntries), std::vector<ResultRow>{row(kPath)});
}

// --- file passes ---

TEST_F(ChangeDetection, NewAndModifiedFilesCarryThePresentSizeAndTheFinalDate) {
    state.StartFileList = {{}, {"C:\\app\\old.dll", "01/01/2026 08:00:00"}, {"C:\\app\\same.txt", "x"}};
    finalFiles({{},
                {"C:\\app\\old.dll", "02/01/2026 09:30:00"},
                {"C:\\app\\same.txt", "x"},
                {"C:\\app\\new.exe", "n"}});
    files.sizes = {{"C:\\app\\old.dll", 4096}, {"C:\\app\\new.exe", 12345678901ULL}};
    detect();
    EXPECT_EQ(rows(ListId::ModifiedFiles),
              (std::vector<ResultRow>{{"C:\\app\\old.dll", "4096", "02/01/2026 09:30:00"}}));
    EXPECT_EQ(rows(ListId::NewFiles), (std::vector<ResultRow>{{"C:\\app\\new.exe", "12345678901", "n"}}));
    EXPECT_TRUE(rows(ListId::DeletedFiles).empty());
}

TEST_F(ChangeDetection, SizeIsReadWhenTheRowIsMade) {
    state.StartFileList = {{}};
    finalFiles({{}, {"C:\\grows.log", "d"}});
    files.sizes["C:\\grows.log"] = 10;
    // The file grows while detection runs, before its step.
    yielder.at[1] = [&] { files.sizes["C:\\grows.log"] = 2048; };
    detect();
    EXPECT_EQ(rows(ListId::NewFiles), (std::vector<ResultRow>{{"C:\\grows.log", "2048", "d"}}));
    EXPECT_EQ(files.measured, std::vector<std::string>{"C:\\grows.log"});
}

TEST_F(ChangeDetection, FileThatCannotBeMeasuredKeepsItsRowWithAnEmptySize) {
    state.StartFileList = {{}, {"C:\\locked.db", "1"}};
    finalFiles({{}, {"C:\\vanished.tmp", "d"}, {"C:\\locked.db", "2"}});
    files.failing.insert("C:\\locked.db");
    detect();
    EXPECT_EQ(rows(ListId::NewFiles), (std::vector<ResultRow>{{"C:\\vanished.tmp", "", "d"}}));
    EXPECT_EQ(rows(ListId::ModifiedFiles), (std::vector<ResultRow>{{"C:\\locked.db", "", "2"}}));
    EXPECT_EQ(prompt.calls.size(), 1u);
}

TEST_F(ChangeDetection, UnchangedDateIsNotReported) {
    state.StartFileList = {{}, {"C:\\content-changed.bin", "same"}};
    finalFiles(state.StartFileList);
    detect();
    EXPECT_EQ(totalRows(), 0u);
}

TEST_F(ChangeDetection, PathDifferingOnlyInCaseIsNewAndTheOldPathDeleted) {
    state.StartFileList = {{}, {"C:\\App\\Read.me", "d"}};
    finalFiles({{}, {"C:\\app\\read.me", "d"}});
    detect();
    EXPECT_EQ(rows(ListId::NewFiles).size(), 1u);
    EXPECT_EQ(rows(ListId::NewFiles)[0].text, "C:\\app\\read.me");
    EXPECT_EQ(rows(ListId::DeletedFiles), (std::vector<ResultRow>{{"C:\\App\\Read.me", "", ""}}));
    EXPECT_TRUE(rows(ListId::ModifiedFiles).empty());
}

TEST_F(ChangeDetection, DeleteFilesSwitchOffGivesNoDeletedFileRows) {
    state.switches.chkDeleteFilesSetting = 0;
    state.switches.chkNewFilesSetting = 0;
    state.switches.chkModifiedFilesSetting = 0;
    state.StartFileList = {{}, {"C:\\gone", "d"}, {"C:\\changed", "1"}};
    finalFiles({{}, {"C:\\changed", "2"}, {"C:\\new", "n"}});
    detect();
    EXPECT_TRUE(rows(ListId::DeletedFiles).empty());
    // The new and modified switches gate only the collection, not detection.
    EXPECT_EQ(rows(ListId::NewFiles).size(), 1u);
    EXPECT_EQ(rows(ListId::ModifiedFiles).size(), 1u);
}

TEST_F(ChangeDetection, EmptyFinalFileScanReportsEveryFirstFileDeleted) {
    state.StartFileList = {{}, {"C:\\a", "1"}, {"C:\\b", "2"}};
    finalFiles({{}});
    detect();
    EXPECT_EQ(rows(ListId::DeletedFiles), (std::vector<ResultRow>{{"C:\\a", "", ""}, {"C:\\b", "", ""}}));
    EXPECT_TRUE(rows(ListId::NewFiles).empty());
}

TEST_F(ChangeDetection, EmptyFinalFileScanWithDeleteSwitchOffGivesNoRows) {
    state.switches.chkDeleteFilesSetting = 0;
    state.StartFileList = {{}, {"C:\\a", "1"}};
    finalFiles({{}});
    detect();
    EXPECT_EQ(totalRows(), 0u);
}

TEST_F(ChangeDetection, NoFinalFileScanGivesNoFileRows) {
    state.StartFileList = {{}, {"C:\\a", "1"}, {"C:\\b", "2"}};
    state.FinishFileList = {{}};
    state.FinishFileScanRan = false;
    detect();
    EXPECT_EQ(totalRows(), 0u);
}

// --- progress, status and the end of the run ---

TEST_F(ChangeDetection, ProgressAndStatusFollowTheOuterSteps) {
    state.regArray = {kKey, kPath};
    state.regArray2 = {kKey, kPath, kVersion};
    state.StartFileList = {{}, {"C:\\a", "1"}};
    finalFiles({{}, {"C:\\a", "1"}, {"C:\\b", "1"}});
    detect();
    const std::string reg = kKey.KeyName;
    EXPECT_EQ(view.statusHistory, (std::vector<std::string>{
                                      "Checking for new/edited registry data... " + reg,
                                      "Checking for new/edited registry data... " + reg,
                                      "Checking for new/edited registry data... " + reg,
                                      "Checking for deleted registry data " + reg,
                                      "Checking for deleted registry data " + reg,
                                      "Checking for new/edited files... C:\\a",
                                      "Checking for new/edited files... C:\\b",
                                      "Checking for deleted files ",
                                      "Checking for deleted files C:\\a",
                                      "",
                                  }));
    EXPECT_EQ(view.maxHistory, (std::vector<int64_t>{2, 1, 2, 1}));
    EXPECT_EQ(view.valueHistory, (std::vector<int64_t>{0, 0, 1, 2, 0, 1, 0, 1, 2, 0, 1, 0}));
    // One yield at the start and one per outer step, none per comparison.
    EXPECT_EQ(yielder.count, 1 + 3 + 2 + 2 + 2);
}

TEST_F(ChangeDetection, EndDisablesDetectAndClearsProgressAndStatusBeforeTheBox) {
    state.regArray = {kKey};
    state.regArray2 = {kKey, kPath};
    prompt.onAsk = [&](const testing::PromptCall&) {
        EXPECT_FALSE(view.cmdDetectChangesEnabled);
        EXPECT_EQ(view.progressValue, 0);
        EXPECT_EQ(view.status, "");
    };
    detect();
    EXPECT_EQ(prompt.calls.size(), 1u);
}

TEST_F(ChangeDetection, CommandsAreLockedWhileDetectionRunsAndUnlockedBeforeTheBox) {
    state.regArray = {kKey, kPath};
    state.regArray2 = {kKey, kVersion};
    state.StartFileList = {{}, {"C:\\a", "1"}};
    finalFiles({{}, {"C:\\b", "1"}});
    int lockedYields = 0;
    yielder.every = [&](long) { lockedYields += view.commandsLocked ? 1 : 0; };
    prompt.onAsk = [&](const testing::PromptCall&) { EXPECT_FALSE(view.commandsLocked); };
    detect();
    EXPECT_EQ(lockedYields, yielder.count);
    EXPECT_GT(yielder.count, 1);
    EXPECT_FALSE(view.commandsLocked);
    EXPECT_EQ(view.lockCalls, 2);
}

// A window whose unlock gives every command back the state it had when locked.
class RestoringView : public RecordingView {
public:
    bool detectAtLock = false;
    void lockCommands(bool locked) override {
        RecordingView::lockCommands(locked);
        if (locked) {
            detectAtLock = cmdDetectChangesEnabled;
            cmdDetectChangesEnabled = false;
        } else {
            cmdDetectChangesEnabled = detectAtLock;
        }
    }
};

TEST(ChangeDetectionEnd, DetectStaysDisabledWhenUnlockingRestoresTheCommands) {
    AppState state;
    RestoringView view;
    view.cmdDetectChangesEnabled = true;
    ScriptedYielder yielder;
    SizeOnlySource files;
    ScriptedPrompt prompt;
    DetectionContext ctx{state, view, yielder, files, prompt};
    Detect_Click(ctx);
    EXPECT_FALSE(view.cmdDetectChangesEnabled);
}

class ThrowingView : public ScriptedView {
public:
    void appendRow(ListId, ResultRow) override { throw std::runtime_error("list view failed"); }
};

TEST(ChangeDetectionEnd, AThrowingViewLeavesTheCommandsUnlocked) {
    AppState state;
    state.regArray = {kKey};
    state.regArray2 = {kKey, kPath};
    ThrowingView view;
    ScriptedYielder yielder;
    SizeOnlySource files;
    ScriptedPrompt prompt;
    DetectionContext ctx{state, view, yielder, files, prompt};
    EXPECT_THROW(Detect_Click(ctx), std::runtime_error);
    EXPECT_FALSE(view.commandsLocked);
    EXPECT_EQ(view.lockCalls, 2);
    EXPECT_TRUE(prompt.calls.empty());
}

}  // namespace
}  // namespace qv

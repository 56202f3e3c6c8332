#include "app/collection_workflow.h"

#include <gtest/gtest.h>

#include "core/statements.h"
#include "support/error_report.h"
#include "support/folder_picker.h"
#include "tests/support/fakes/fake_file_system.h"
#include "tests/support/fakes/fake_registry.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using testing::FakeFileSystem;
using testing::FakeRegistry;
using testing::FakeRegistrySource;
using testing::ScriptedPrompt;
using testing::ScriptedView;
using testing::ScriptedYielder;

class ScriptedPicker : public FolderPicker {
public:
    std::string answer;
    std::string prompt;
    std::string BrowseFolder(std::string_view p) override {
        prompt = p;
        return answer;
    }
};

constexpr const char* kCollectText =
    "Data has been collected. Please install your application/game now. Once that has been done, click the "
    "'Collect final data' button.";

class WorkflowTest : public ::testing::Test {
protected:
    WorkflowTest() {
        view.cmbRegStart = "HKEY_CURRENT_USER";
        view.txtRegKeyStart = "Software\\App";
        registry.addValue(kHiveCurrentUser, "Software\\App", "Version", kRegSz, "1.0");
        registry.addValue(kHiveCurrentUser, "Software\\App", "Path", kRegSz, "C:\\App");
        registry.addKey(kHiveCurrentUser, "Software\\App\\Empty");
        workflow.Detect_Click = [this] { ++detections; };
    }

    void useFiles(const std::string& start = "C:\\Data\\") {
        view.chkDetectFiles = true;
        view.txtFileSystemStart = start;
        files.addFile("C:\\Data\\a.txt", 10, 1000);
        files.addFile("C:\\Data\\sub\\b.txt", 20, 2000);
    }

    std::vector<std::string> titles() const {
        std::vector<std::string> t;
        for (const auto& c : prompt.calls) t.push_back(c.title);
        return t;
    }

    AppState state;
    ScriptedView view;
    ScriptedPrompt prompt;
    ScriptedYielder yielder;
    ErrorReporter reporter{prompt};
    FakeRegistry registry;
    FakeRegistrySource source{registry};
    FakeFileSystem files;
    ScriptedPicker picker;
    CollectionWorkflow workflow{WorkflowServices{state, view, prompt, yielder, reporter, source, files, picker}};
    int detections = 0;
};

TEST_F(WorkflowTest, NothingTickedShowsTheChangesBoxAndChangesNothing) {
    view.chkDetectRegistry = false;
    workflow.cmdSnapShot_Click();
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_EQ(prompt.calls[0].text, "Please select to either detect registry changes or file system changes.");
    EXPECT_EQ(prompt.calls[0].title, "Changes");
    EXPECT_EQ(prompt.calls[0].buttons, Buttons::Ok);
    EXPECT_EQ(prompt.calls[0].icon, Icon::Information);
    EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
    EXPECT_TRUE(view.clearOrder.empty());
    EXPECT_EQ(source.connects, 0);

    // The test comes before the caption test, so a "Stop" caption stops nothing.
    view.cmdSnapShotCaption = "Stop";
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(prompt.calls.size(), 2u);
    EXPECT_FALSE(state.StopDetect);
    EXPECT_EQ(view.cmdSnapShotCaption, "Stop");
}

TEST_F(WorkflowTest, FirstCollectionWalksTheRegistryAndAsksForTheInstall) {
    std::string captionDuringWalk;
    yielder.at[1] = [&] { captionDuringWalk = view.cmdSnapShotCaption; };
    workflow.cmdSnapShot_Click();

    EXPECT_EQ(captionDuringWalk, "Stop");
    EXPECT_EQ(view.clearOrder, (std::vector<ListId>{ListId::NewEntries, ListId::EditedRegistry,
                                                    ListId::DeletedEntries, ListId::NewFiles, ListId::DeletedFiles,
                                                    ListId::ModifiedFiles}));
    ASSERT_EQ(state.regArray.size(), 3u);  // trimmed to exactly j entries
    EXPECT_EQ(state.j, 3);
    EXPECT_EQ(state.regArray[0], (RegEntry{"Software\\App\\", "Version", "1.0", kRegSz}));
    EXPECT_EQ(state.regArray[2], (RegEntry{"Software\\App\\Empty\\", "", ""}));
    EXPECT_EQ(source.live, 0);  // the provider is released after the walk
    EXPECT_FALSE(workflow.holdsProvider());
    ASSERT_EQ(titles(), (std::vector<std::string>{"Collect"}));
    EXPECT_EQ(prompt.calls[0].text, kCollectText);
    EXPECT_EQ(prompt.calls[0].icon, Icon::Information);
    EXPECT_EQ(view.status, "");
    EXPECT_EQ(view.cmdSnapShotCaption, "Collect final data");
    EXPECT_TRUE(view.cmdSnapShotEnabled);
    EXPECT_FALSE(workflow.collecting());
}

TEST_F(WorkflowTest, StopAtTheThirdYieldLeavesTheWindowIdle) {
    registry.addValue(kHiveCurrentUser, "Software\\App\\More", "x", kRegSz, "y");
    workflow.cmdSnapShot_Click();  // first collection
    workflow.cmdSnapShot_Click();  // final collection, to fill regArray2 too
    ASSERT_GT(state.regArray2.size(), 1u);
    view.cmdDetectChangesEnabled = true;
    view.lists[0].push_back({"row", "", ""});
    prompt.calls.clear();

    yielder.at[yielder.count + 3] = [&] { workflow.cmdSnapShot_Click(); };  // the user presses "Stop"
    workflow.cmdSnapShot_Click();

    EXPECT_TRUE(state.StopDetect);
    EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
    EXPECT_TRUE(view.cmdSnapShotEnabled);
    EXPECT_FALSE(view.cmdDetectChangesEnabled);
    EXPECT_EQ(state.regArray.size(), 1u);
    EXPECT_EQ(state.regArray2.size(), 1u);
    EXPECT_EQ(state.j, 0);
    EXPECT_EQ(view.status, "");
    for (const auto& list : view.lists) EXPECT_TRUE(list.empty());
    EXPECT_TRUE(prompt.calls.empty());  // no "Collect" box after a stop
    EXPECT_EQ(source.live, 0);
    EXPECT_FALSE(workflow.collecting());
}

TEST_F(WorkflowTest, StopResetDuringTheFinalWalkEndsTheCollection) {
    workflow.cmdSnapShot_Click();
    bool collectDisabledDuringWalk = false;
    yielder.at[yielder.count + 2] = [&] {
        collectDisabledDuringWalk = !view.cmdSnapShotEnabled;
        workflow.cmdReset_Click();
    };
    workflow.cmdSnapShot_Click();
    EXPECT_TRUE(collectDisabledDuringWalk);
    EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
    EXPECT_TRUE(view.cmdSnapShotEnabled);
    EXPECT_EQ(state.regArray2.size(), 1u);
    EXPECT_EQ(detections, 0);
    EXPECT_FALSE(view.cmdDetectChangesEnabled);
}

TEST_F(WorkflowTest, FinalCollectionWithoutAutomaticDetectionEnablesDetectButLeavesCollectDisabled) {
    for (Answer answer : {Answer::No, Answer::Cancel}) {
        view.cmdSnapShotCaption = "Collect data";
        view.cmdSnapShotEnabled = true;
        view.cmdDetectChangesEnabled = false;
        workflow.cmdSnapShot_Click();
        prompt.calls.clear();
        prompt.answers = {answer};
        workflow.cmdSnapShot_Click();
        ASSERT_EQ(titles(), (std::vector<std::string>{"Detect"}));
        EXPECT_EQ(prompt.calls[0].text,
                  "Do you wish to automatically detect changes once the final data has been collected?");
        EXPECT_EQ(prompt.calls[0].buttons, Buttons::YesNoCancel);
        EXPECT_EQ(prompt.calls[0].icon, Icon::Question);
        EXPECT_EQ(state.regArray2.size(), 3u);
        EXPECT_EQ(detections, 0);
        EXPECT_TRUE(view.cmdDetectChangesEnabled);
        EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
        EXPECT_FALSE(view.cmdSnapShotEnabled);  // until "Stop/Reset"
        // The status keeps the last progress text of the walk.
        EXPECT_EQ(view.status, "Getting registry data: Software\\App\\Empty\\");
    }
    workflow.cmdReset_Click();
    EXPECT_TRUE(view.cmdSnapShotEnabled);
}

TEST_F(WorkflowTest, AutomaticDetectionRunsAfterTheFinalCollection) {
    workflow.cmdSnapShot_Click();
    prompt.answers = {Answer::Yes};
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(detections, 1);
    EXPECT_FALSE(view.cmdDetectChangesEnabled);
    EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
    workflow.cmdDetectChanges_Click();
    EXPECT_EQ(detections, 2);
}

TEST_F(WorkflowTest, RegistrySwitchesOffSkipTheWalk) {
    state.switches.chkNewRegSetting = 0;
    state.switches.chkEditedRegSetting = 0;
    state.switches.chkDeleteRegSetting = 0;
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(source.connects, 0);
    EXPECT_EQ(titles(), (std::vector<std::string>{"Collect"}));
    EXPECT_EQ(view.cmdSnapShotCaption, "Collect final data");

    // The final collection then enables Detect and leaves the button enabled.
    workflow.cmdSnapShot_Click();
    EXPECT_TRUE(view.cmdSnapShotEnabled);
    EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
}

TEST_F(WorkflowTest, FileScanAfterSkippedWalkKeepsTheCaptionAndIgnoresClicks) {
    useFiles();
    view.chkDetectRegistry = false;
    std::string captionDuringScan;
    int nestedBoxes = -1;
    yielder.at[2] = [&] {
        captionDuringScan = view.cmdSnapShotCaption;
        // A second click here must not start a collection on top of this one.
        workflow.cmdSnapShot_Click();
        nestedBoxes = static_cast<int>(prompt.calls.size());
    };
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(captionDuringScan, "Collect data");
    EXPECT_EQ(nestedBoxes, 0);
    EXPECT_EQ(titles(), (std::vector<std::string>{"Collect"}));
    ASSERT_EQ(state.StartFileList.size(), 3u);
    EXPECT_EQ(state.StartFileList[0], FileSnapshotEntry{});
    EXPECT_EQ(state.StartFileList[1].Filepath, "C:\\Data\\a.txt");
    EXPECT_EQ(state.StartFileList[2].Filepath, "C:\\Data\\sub\\b.txt");
}

TEST_F(WorkflowTest, BothPhasesFillBothSnapshotsOfEachCollection) {
    useFiles();
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(state.regArray.size(), 3u);
    EXPECT_EQ(state.StartFileList.size(), 3u);
    files.addFile("C:\\Data\\c.txt", 5, 3000);
    prompt.answers = {Answer::No};
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(state.regArray2.size(), 3u);
    EXPECT_EQ(state.FinishFileList.size(), 4u);
    EXPECT_TRUE(state.FinishFileScanRan);
    EXPECT_EQ(state.StartFileList.size(), 3u);  // the first snapshot is untouched
    EXPECT_TRUE(view.cmdDetectChangesEnabled);
}

TEST_F(WorkflowTest, StartDirectoryGetsItsTrailingBackslash) {
    useFiles("C:\\Data");
    view.chkDetectRegistry = false;
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(view.txtFileSystemStart, "C:\\Data\\");
    EXPECT_EQ(state.StartFileList.size(), 3u);

    // An empty start directory becomes "\" and the scan finds nothing, yet the
    // collection completes as usual.
    view.cmdSnapShotCaption = "Collect data";
    view.txtFileSystemStart = "";
    prompt.calls.clear();
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(view.txtFileSystemStart, "\\");
    EXPECT_EQ(titles(), (std::vector<std::string>{"Collect"}));
}

TEST_F(WorkflowTest, StopDuringTheFileScanEndsTheClick) {
    useFiles();
    yielder.at[yielder.count + 6] = [&] { workflow.cmdSnapShot_Click(); };
    workflow.cmdSnapShot_Click();
    EXPECT_TRUE(state.StopDetect);
    EXPECT_TRUE(prompt.calls.empty());
    EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
    EXPECT_LT(state.StartFileList.size(), 3u);
}

TEST_F(WorkflowTest, ProviderThatCannotBeHadIsReportedAndEndsTheClick) {
    source.failConnect = true;
    view.lists[0].push_back({"old row", "", ""});
    state.regArray.resize(5);
    workflow.cmdSnapShot_Click();
    ASSERT_EQ(titles(), (std::vector<std::string>{"Error"}));
    EXPECT_NE(prompt.calls[0].text.find("Error Number: -2147217405.\r\nError Description: Access denied."),
              std::string::npos);
    EXPECT_NE(prompt.calls[0].text.find("Error Line: "), std::string::npos);
    EXPECT_TRUE(view.lists[0].empty());
    EXPECT_EQ(state.regArray.size(), 1u);
    EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
    EXPECT_FALSE(workflow.collecting());
}

TEST_F(WorkflowTest, FailingStatementIsShownWithItsNumberAndSourceText) {
    view.cmbRegStart = "HKEY_NOWHERE";
    workflow.cmdSnapShot_Click();
    ASSERT_EQ(titles(), (std::vector<std::string>{"Error"}));
    const std::string& text = prompt.calls[0].text;
    const size_t at = text.find("Error Line: ");
    ASSERT_NE(at, std::string::npos);
    const int32_t line = std::stoi(text.substr(at + 12));
    EXPECT_GT(line, 0);
    EXPECT_NE(statementText(line).find("check(hive.has_value()"), std::string::npos);
    EXPECT_NE(text.find("Error Code: " + std::string(statementText(line)) + "\r\n"), std::string::npos);

    // Answering No silences exactly that statement.
    prompt.calls.clear();
    prompt.answers = {Answer::No};
    view.cmdSnapShotCaption = "Collect data";
    workflow.cmdSnapShot_Click();
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(prompt.calls.size(), 1u);
}

TEST_F(WorkflowTest, BrowseFillsTheStartDirectoryWithATrailingBackslash) {
    view.txtFileSystemStart = "C:\\Old";
    picker.answer = "D:\\Games";
    workflow.cmdFileSystemStart_Click();
    EXPECT_EQ(picker.prompt, "Please select a source directory");
    EXPECT_EQ(view.txtFileSystemStart, "D:\\Games\\");
    picker.answer = "";
    view.txtFileSystemStart = "E:\\Kept";
    workflow.cmdFileSystemStart_Click();
    EXPECT_EQ(view.txtFileSystemStart, "E:\\Kept\\");
    picker.answer = "F:\\";
    workflow.cmdFileSystemStart_Click();
    EXPECT_EQ(view.txtFileSystemStart, "F:\\");
}

TEST(FolderPicker, VirtualFoldersAndPathsWithoutBackslashGiveNothing) {
    EXPECT_EQ(acceptedFolder("::{20D04FE0-3AEA-1069-A2D8-08002B30309D}"), "");
    EXPECT_EQ(acceptedFolder("Desktop"), "");
    EXPECT_EQ(acceptedFolder(""), "");
    EXPECT_EQ(acceptedFolder("C:\\"), "C:\\");
    EXPECT_EQ(acceptedFolder("C:\\Games"), "C:\\Games");
    EXPECT_EQ(browsePrompt(""), "Select Folder...");
    EXPECT_EQ(browsePrompt("Pick"), "Pick");
}

}  // namespace
}  // namespace qv

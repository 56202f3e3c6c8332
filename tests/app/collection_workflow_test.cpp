#include "app/collection_workflow.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/folder_picker.h"
#include "tests/app/workflow_rig.h"

namespace qv {
namespace {

using testing::WorkflowTest;

TEST_F(WorkflowTest, NothingTickedShowsTheChangesBoxAndChangesNothing) {
    view.chkDetectRegistry = false;
    view.cmdSnapShotCaption = "Stop";  // the ticks are tested first, so this stops nothing
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(boxes(),
              (std::vector<Box>{{"Please select to either detect registry changes or file system changes.",
                                 "Changes", Buttons::Ok, Icon::Information}}));
    EXPECT_FALSE(state.StopDetect);
    EXPECT_EQ(view.cmdSnapShotCaption, "Stop");
    EXPECT_TRUE(view.clearOrder.empty());
    EXPECT_EQ(source.connects, 0);
}

TEST_F(WorkflowTest, FirstCollectionWalksTheRegistryAndAsksForTheInstall) {
    workflow.cmdSnapShot_Click();
    using enum ListId;
    EXPECT_EQ(view.clearOrder, (std::vector<ListId>{NewEntries, EditedRegistry, DeletedEntries, NewFiles,
                                                    DeletedFiles, ModifiedFiles}));
    ASSERT_EQ(state.regArray.size(), 3u);  // trimmed to exactly j entries
    EXPECT_EQ(state.j, 3);
    EXPECT_EQ(testing::withoutRaw(state.regArray[0]), (RegEntry{"Software\\App\\", "Version", "1.0", kRegSz}));
    EXPECT_EQ(state.regArray[2], (RegEntry{"Software\\App\\Empty\\", "", ""}));
    EXPECT_EQ(source.live, 0);  // the provider is released after the walk
    EXPECT_FALSE(workflow.holdsProvider());
    EXPECT_EQ(boxes(),
              (std::vector<Box>{{"Data has been collected. Please install your application/game now. "
                                 "Once that has been done, click the 'Collect final data' button.",
                                 "Collect", Buttons::Ok, Icon::Information}}));
    EXPECT_EQ(view.status, "");
    EXPECT_EQ(view.cmdSnapShotCaption, "Collect final data");
    EXPECT_TRUE(view.cmdSnapShotEnabled);
    EXPECT_FALSE(workflow.collecting());
}

// "Stop" during a first collection, "Stop/Reset" during a final one, at every
// yield of the registry walk and of the file scan.
TEST_F(WorkflowTest, StopOrResetAtAnyYieldEndsTheCollectionAndLeavesTheWindowIdle) {
    useFiles();
    workflow.cmdSnapShot_Click();
    const long yieldsPerCollection = yielder.count;
    ASSERT_GE(yieldsPerCollection, 4);
    int stopsInWalk = 0;
    for (bool final : {false, true}) {
        for (long n = 1; n <= yieldsPerCollection; ++n) {
            SCOPED_TRACE((final ? "final, yield " : "first, yield ") + std::to_string(n));
            workflow.cmdReset_Click();
            workflow.cmdSnapShot_Click();
            if (!final) workflow.cmdSnapShot_Click();  // a whole run, whose results the stop must clear
            ASSERT_EQ(view.cmdSnapShotCaption, final ? "Collect final data" : "Collect data");
            view.cmdDetectChangesEnabled = !final;
            view.lists[0].push_back({"row", "", ""});
            prompt.calls.clear();
            const int detectionsBefore = detections;
            bool inWalk = false;
            yielder.at[yielder.count + n] = [&] {
                inWalk = source.live > 0;
                stopsInWalk += inWalk ? 1 : 0;
                if (final) {
                    EXPECT_FALSE(view.cmdSnapShotEnabled);
                    workflow.cmdReset_Click();
                } else {
                    EXPECT_EQ(view.cmdSnapShotCaption, "Stop");
                    workflow.cmdSnapShot_Click();
                }
            };
            workflow.cmdSnapShot_Click();

            EXPECT_TRUE(state.StopDetect);
            EXPECT_EQ(titles(), final ? std::vector<std::string>{"Detect"} : std::vector<std::string>{});
            EXPECT_EQ(detections, detectionsBefore);
            EXPECT_FALSE(state.FirstPlaces.has_value());
            EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
            EXPECT_TRUE(view.cmdSnapShotEnabled);
            EXPECT_FALSE(view.cmdDetectChangesEnabled);
            EXPECT_EQ(state.regArray.size(), 1u);
            EXPECT_EQ(state.regArray2.size(), 1u);
            EXPECT_EQ(state.j, 0);
            EXPECT_EQ(view.status, "");
            for (const auto& list : view.lists) EXPECT_TRUE(list.empty());
            EXPECT_EQ(source.live, 0);
            EXPECT_FALSE(workflow.collecting());
        }
    }
    EXPECT_GT(stopsInWalk, 0);
    EXPECT_LT(stopsInWalk, 2 * yieldsPerCollection);  // some stops fall in the file scan
}

TEST_F(WorkflowTest, FinalCollectionAsksWhetherToDetectAndOnlyYesDetects) {
    for (Answer answer : {Answer::No, Answer::Cancel, Answer::Yes}) {
        SCOPED_TRACE(static_cast<int>(answer));
        const bool yes = answer == Answer::Yes;
        workflow.cmdReset_Click();
        detections = 0;
        workflow.cmdSnapShot_Click();
        prompt.calls.clear();
        prompt.answers = {answer};
        workflow.cmdSnapShot_Click();
        EXPECT_EQ(
            boxes(),
            (std::vector<Box>{{"Do you wish to automatically detect changes once the final data has been "
                               "collected?",
                               "Detect", Buttons::YesNoCancel, Icon::Question}}));
        EXPECT_EQ(state.regArray2.size(), 3u);
        EXPECT_EQ(detections, yes ? 1 : 0);
        EXPECT_EQ(view.cmdDetectChangesEnabled, !yes);
        EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
        EXPECT_FALSE(view.cmdSnapShotEnabled);  // until "Stop/Reset"
        // The status keeps the last progress text of the walk.
        EXPECT_EQ(view.status, "Getting registry data: Software\\App\\Empty\\");
    }
    workflow.cmdDetectChanges_Click();
    EXPECT_EQ(detections, 2);
    workflow.cmdReset_Click();
    EXPECT_TRUE(view.cmdSnapShotEnabled);
}

// The walk is skipped by its unticked box or by all three registry switches off.
TEST_F(WorkflowTest, FileScanAfterSkippedWalkKeepsTheCaptionAndIgnoresClicks) {
    useFiles("C:\\Data");
    for (bool unticked : {true, false}) {
        SCOPED_TRACE(unticked ? "unticked" : "switched off");
        view.chkDetectRegistry = !unticked;
        const int16_t on = unticked ? 1 : 0;
        state.switches.chkNewRegSetting = state.switches.chkEditedRegSetting = on;
        state.switches.chkDeleteRegSetting = on;
        prompt.calls.clear();
        std::string captionDuringScan;
        int nestedBoxes = -1;
        yielder.at[yielder.count + 2] = [&] {
            captionDuringScan = view.cmdSnapShotCaption;
            workflow.cmdSnapShot_Click();  // must not start a collection on top of this one
            nestedBoxes = static_cast<int>(prompt.calls.size());
        };
        workflow.cmdSnapShot_Click();
        EXPECT_EQ(captionDuringScan, "Collect data");
        EXPECT_EQ(nestedBoxes, 0);
        EXPECT_EQ(source.connects, 0);
        EXPECT_EQ(titles(), (std::vector<std::string>{"Collect"}));
        ASSERT_EQ(state.StartFileList.size(), 4u);  // two files and the folder of one of them
        EXPECT_EQ(state.StartFileList[0], FileSnapshotEntry{});
        // With no walk to disable it, the final collection leaves the button enabled.
        prompt.answers = {Answer::No};
        workflow.cmdSnapShot_Click();
        EXPECT_TRUE(view.cmdSnapShotEnabled);
        EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
        EXPECT_TRUE(state.FinishFileScanRan);
    }
    EXPECT_EQ(view.txtFileSystemStart, "C:\\Data\\");  // the start folder gets its backslash

    // An empty start folder becomes "\": the scan finds nothing, yet the collection completes.
    view.txtFileSystemStart = "";
    prompt.calls.clear();
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(view.txtFileSystemStart, "\\");
    EXPECT_EQ(titles(), (std::vector<std::string>{"Collect"}));
}

// A mistyped key or a folder that is not there would collect nothing and say
// it had: the click names the missing place and leaves the window as it was.
TEST_F(WorkflowTest, AMissingStartKeyOrFolderIsNamedAndCollectsNothing) {
    view.lists[0].push_back({"kept row", "", ""});
    files.addFile("C:\\Data\\a.txt", 10, 1000);
    for (const auto& [key, folder, text] :
         {std::tuple{"Software\\Mistyped", "", "The registry key HKEY_CURRENT_USER\\Software\\Mistyped does not exist."},
          std::tuple{"Software\\App", "C:\\Nowhere", "The folder C:\\Nowhere does not exist."},
          std::tuple{"Software\\App", "C:\\Data\\a.txt", "C:\\Data\\a.txt is a file, not a folder."}}) {
        SCOPED_TRACE(text);
        view.txtRegKeyStart = key;
        view.chkDetectFiles = folder[0] != '\0';
        view.txtFileSystemStart = folder;
        prompt.calls.clear();
        workflow.cmdSnapShot_Click();
        ASSERT_EQ(prompt.calls.size(), 1u);
        EXPECT_EQ(prompt.calls[0].text.rfind(text, 0), 0u) << prompt.calls[0].text;
        EXPECT_EQ(prompt.calls[0].icon, Icon::Exclamation);
        EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
        EXPECT_EQ(view.lists[0].size(), 1u);
        EXPECT_EQ(state.j, 0);
    }
}

// Final data from another key or folder, or from the same key typed in other
// letter case, would list the difference between the places as changes: the
// user is offered the first places, and without them nothing is collected.
TEST_F(WorkflowTest, FinalDataFromOtherPlacesIsTakenFromTheFirstPlacesOrNotAtAll) {
    useFiles("C:\\Data");
    registry.addValue(kHiveCurrentUser, "Software\\Other", "X", kRegSz, "1");
    files.addFile("C:\\Other\\c.txt", 30, 3000);
    workflow.cmdSnapShot_Click();
    ASSERT_EQ(view.cmdSnapShotCaption, "Collect final data");
    const std::string asked =
        "The first data was collected from HKEY_CURRENT_USER\\Software\\App and C:\\Data\\. Final data from other "
        "places would list every difference between the places as a change.\r\n\r\nCollect the final data from "
        "HKEY_CURRENT_USER\\Software\\App and C:\\Data\\?";
    for (const auto& [root, key, folder] : {std::tuple{"HKEY_CURRENT_USER", "software\\app", "C:\\Data"},
                                            std::tuple{"HKEY_CURRENT_USER", "Software\\App", "C:\\Other\\"},
                                            std::tuple{"HKEY_LOCAL_MACHINE", "Software\\App", "C:\\Data\\"}}) {
        SCOPED_TRACE(std::string(root) + " " + key + " " + folder);
        view.cmbRegStart = root;
        view.txtRegKeyStart = key;
        view.txtFileSystemStart = folder;
        prompt.calls.clear();
        prompt.answers = {Answer::No};
        workflow.cmdSnapShot_Click();
        EXPECT_EQ(boxes(), (std::vector<Box>{{asked, "Collect", Buttons::YesNo, Icon::Exclamation}}));
        EXPECT_EQ(view.cmdSnapShotCaption, "Collect final data");
        EXPECT_EQ(state.regArray2.size(), 1u);
        EXPECT_FALSE(state.FinishFileScanRan);
        EXPECT_EQ(view.txtRegKeyStart, key);
    }
    prompt.calls.clear();
    prompt.answers = {Answer::Yes, Answer::No};
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Collect", "Detect"}));
    EXPECT_EQ(view.cmbRegStart, "HKEY_CURRENT_USER");
    EXPECT_EQ(view.txtRegKeyStart, "Software\\App");
    EXPECT_EQ(view.txtFileSystemStart, "C:\\Data\\");
    EXPECT_EQ(state.regArray2, state.regArray);
    EXPECT_EQ(state.FinishFileList, state.StartFileList);

    // The same places, the folder typed without its backslash, are asked nothing.
    workflow.cmdReset_Click();
    workflow.cmdSnapShot_Click();
    view.txtFileSystemStart = "C:\\Data";
    prompt.calls.clear();
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Detect"}));
}

// A key that is there but closed to the user is collected, as a key without
// contents, and the status bar says so once the collection is done.
TEST_F(WorkflowTest, AnUnreadableStartKeyIsCollectedAndTheStatusBarSaysSo) {
    registry.addKey(kHiveCurrentUser, "Software\\Closed");
    registry.makeUnreadable(kHiveCurrentUser, "Software\\Closed");
    view.txtRegKeyStart = "Software\\Closed";
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Collect"}));
    EXPECT_EQ(view.cmdSnapShotCaption, "Collect final data");
    const std::string said =
        "The registry key HKEY_CURRENT_USER\\Software\\Closed could not be read: it was collected without its "
        "values and subkeys.";
    EXPECT_EQ(view.status, said);
    prompt.answers = {Answer::No};
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(view.status, said);
    // A readable key says nothing.
    view.txtRegKeyStart = "Software\\App";
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(view.status, "");
}

TEST_F(WorkflowTest, ProviderThatCannotBeHadIsReportedAndEndsTheClick) {
    source.failConnect = true;
    view.lists[0].push_back({"old row", "", ""});
    state.regArray.resize(5);
    workflow.cmdSnapShot_Click();
    ASSERT_EQ(titles(), (std::vector<std::string>{"Error"}));
    EXPECT_NE(prompt.calls[0].text.find("Error Number: -2147217405.\r\nError Description: Access denied."),
              std::string::npos);
    EXPECT_TRUE(view.lists[0].empty());
    EXPECT_EQ(state.regArray.size(), 1u);
    EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
    EXPECT_FALSE(workflow.collecting());
}

TEST_F(WorkflowTest, FailingStatementIsShownWithItsNumberAndSourceText) {
    // The first and the final collection fail alike, and neither leaves the button stopped or greyed.
    for (const char* caption : {"Collect data", "Collect final data"}) {
        view.cmdSnapShotCaption = caption;
        view.cmbRegStart = "HKEY_NOWHERE";
        workflow.cmdSnapShot_Click();
        EXPECT_EQ(view.cmdSnapShotCaption, caption);
        EXPECT_TRUE(view.cmdSnapShotEnabled);
    }
    ASSERT_EQ(titles(), (std::vector<std::string>{"Error", "Detect", "Error"}));
    EXPECT_NE(prompt.calls[0].text.find("Error Code: check(hive.has_value()"), std::string::npos);
}

TEST_F(WorkflowTest, BrowseFillsTheStartDirectoryWithATrailingBackslash) {
    const struct {
        const char* before;
        const char* answer;  // "": cancelled
        const char* after;
    } cases[] = {
        {"C:\\Old", "D:\\Games", "D:\\Games\\"}, {"E:\\Kept", "", "E:\\Kept\\"}, {"C:\\", "F:\\", "F:\\"}};
    for (const auto& c : cases) {
        view.txtFileSystemStart = c.before;
        picker.answer = c.answer;
        workflow.cmdFileSystemStart_Click();
        EXPECT_EQ(view.txtFileSystemStart, c.after);
    }
    EXPECT_EQ(picker.prompt, "Please select a source directory");
}

TEST(FolderPicker, VirtualFoldersAndPathsWithoutBackslashGiveNothing) {
    EXPECT_EQ(acceptedFolder("::{20D04FE0-3AEA-1069-A2D8-08002B30309D}"), "");
    EXPECT_EQ(acceptedFolder(""), "");
    EXPECT_EQ(acceptedFolder("C:\\"), "C:\\");
    EXPECT_EQ(browsePrompt(""), "Select Folder...");
    EXPECT_EQ(browsePrompt("Pick"), "Pick");
}

}  // namespace
}  // namespace qv

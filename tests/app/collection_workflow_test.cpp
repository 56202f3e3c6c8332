// The collection workflow, and the File menu that saves, opens and exports
// what it collects, on one rig of scripted window, registry and files.
#include "app/collection_workflow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <tuple>

#include "app/change_detection.h"
#include "app/exports.h"
#include "app/snapshot_commands.h"
#include "core/statements.h"
#include "core/whole_file.h"
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
using testing::ScriptedFileDialogs;
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

class ScriptedWindow : public ScriptedView, public SnapshotView {
public:
    void setRegRootText(std::string_view hiveName) override { cmbRegStart = hiveName; }
    void setRegKeyText(std::string_view text) override { txtRegKeyStart = text; }
    void setRegistryTicked(bool ticked) override { chkDetectRegistry = ticked; }
    void setFilesTicked(bool ticked) override { chkDetectFiles = ticked; }
    const std::vector<ResultRow>& resultRows(ListId id) const override { return lists[static_cast<int>(id)]; }
    bool commandsLocked() const override { return ScriptedView::commandsLocked; }
};

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

    using Box = std::tuple<std::string, std::string, Buttons, Icon>;
    std::vector<Box> boxes() const {
        std::vector<Box> b;
        for (const auto& c : prompt.calls) b.emplace_back(c.text, c.title, c.buttons, c.icon);
        return b;
    }
    std::vector<std::string> titles() const {
        std::vector<std::string> t;
        for (const auto& c : prompt.calls) t.push_back(c.title);
        return t;
    }

    AppState state;
    ScriptedWindow view;
    ScriptedPrompt prompt;
    ScriptedYielder yielder;
    ErrorReporter reporter{prompt};
    FakeRegistry registry;
    FakeRegistrySource source{registry};
    FakeFileSystem files;
    ScriptedPicker picker;
    CollectionWorkflow workflow{
        WorkflowServices{state, view, prompt, yielder, reporter, source, files, picker}};
    int detections = 0;
};

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
    std::string captionDuringWalk;
    yielder.at[1] = [&] { captionDuringWalk = view.cmdSnapShotCaption; };
    workflow.cmdSnapShot_Click();

    EXPECT_EQ(captionDuringWalk, "Stop");
    using enum ListId;
    EXPECT_EQ(view.clearOrder, (std::vector<ListId>{NewEntries, EditedRegistry, DeletedEntries, NewFiles,
                                                    DeletedFiles, ModifiedFiles}));
    ASSERT_EQ(state.regArray.size(), 3u);  // trimmed to exactly j entries
    EXPECT_EQ(state.j, 3);
    EXPECT_EQ(state.regArray[0], (RegEntry{"Software\\App\\", "Version", "1.0", kRegSz}));
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
            EXPECT_TRUE(!inWalk || view.status.empty()) << view.status;
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
        view.cmdSnapShotCaption = "Collect data";
        view.cmdSnapShotEnabled = true;
        view.cmdDetectChangesEnabled = false;
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
    useFiles();
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
        ASSERT_EQ(state.StartFileList.size(), 3u);
        EXPECT_EQ(state.StartFileList[0], FileSnapshotEntry{});
        // With no walk to disable it, the final collection leaves the button enabled.
        prompt.answers = {Answer::No};
        workflow.cmdSnapShot_Click();
        EXPECT_TRUE(view.cmdSnapShotEnabled);
        EXPECT_EQ(view.cmdSnapShotCaption, "Collect data");
    }

    // An empty start folder becomes "\": the scan finds nothing, yet the collection completes.
    view.txtFileSystemStart = "";
    prompt.calls.clear();
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(view.txtFileSystemStart, "\\");
    EXPECT_EQ(titles(), (std::vector<std::string>{"Collect"}));
}

TEST_F(WorkflowTest, BothPhasesFillBothSnapshotsOfEachCollection) {
    useFiles("C:\\Data");
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(view.txtFileSystemStart, "C:\\Data\\");  // the start folder gets its backslash
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
    view.cmbRegStart = "HKEY_NOWHERE";
    workflow.cmdSnapShot_Click();
    ASSERT_EQ(titles(), (std::vector<std::string>{"Error"}));
    const std::string& text = prompt.calls[0].text;
    const size_t at = text.find("Error Line: ");
    ASSERT_NE(at, std::string::npos);
    const int32_t line = std::stoi(text.substr(at + 12));
    EXPECT_NE(statementText(line).find("check(hive.has_value()"), std::string::npos);
    EXPECT_NE(text.find("Error Code: " + std::string(statementText(line)) + "\r\n"), std::string::npos);
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

// What a first collection leaves, in the state and in the window.
struct FirstCollectionResult {
    RegSnapshot regArray;
    int32_t j;
    FileSnapshot StartFileList;
    std::optional<CollectionPlaces> FirstPlaces;
    std::string caption, status, root, key, folder;
    bool collectEnabled, registryTicked, filesTicked;
    bool StopDetect, StartFileListBoolean;
    bool operator==(const FirstCollectionResult&) const = default;
};

class SnapshotCommandsTest : public WorkflowTest {
protected:
    SnapshotCommandsTest() {
        dir = std::filesystem::temp_directory_path() /
              ("quorvel-menu-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::create_directories(dir);
        useFiles("C:\\Data");
        workflow.Detect_Click = [this] {
            DetectionContext ctx{state, view, yielder, files, prompt};
            Detect_Click(ctx);
        };
    }
    ~SnapshotCommandsTest() override { std::filesystem::remove_all(dir); }

    std::string path(const char* name) const { return (dir / name).string(); }
    FirstCollectionResult now() const {
        return {state.regArray,          state.j,
                state.StartFileList,     state.FirstPlaces,
                view.cmdSnapShotCaption, view.status,
                view.cmbRegStart,        view.txtRegKeyStart,
                view.txtFileSystemStart, view.cmdSnapShotEnabled,
                view.chkDetectRegistry,  view.chkDetectFiles,
                state.StopDetect,        state.StartFileListBoolean};
    }
    // The first collection, saved through the menu to `file`.
    FirstCollectionResult collectAndSave(const std::string& file) {
        workflow.cmdSnapShot_Click();
        const FirstCollectionResult collected = now();
        dialogs.chosen = file;
        commands.mnuSaveFirst_Click();
        return collected;
    }
    void finalWithDetection() {
        prompt.answers = {Answer::Yes};
        workflow.cmdSnapShot_Click();
    }

    std::filesystem::path dir;
    ScriptedFileDialogs dialogs;
    SnapshotCommands commands{
        SnapshotServices{state, view, view, prompt, reporter, dialogs, dialogs, workflow}};
};

TEST_F(SnapshotCommandsTest, OpenedSnapshotStandsInForTheFirstCollection) {
    const std::string file = path("first.qvs");
    const FirstCollectionResult collected = collectAndSave(file);
    ASSERT_TRUE(regularFileExists(file));
    EXPECT_EQ(view.status, "First snapshot saved to " + file);

    // Another start, elsewhere, then the saved snapshot opened over it.
    workflow.cmdReset_Click();
    view.cmbRegStart = "HKEY_USERS";
    view.txtRegKeyStart = "Elsewhere";
    view.chkDetectFiles = false;
    view.txtFileSystemStart = "D:\\";
    view.cmdDetectChangesEnabled = true;
    view.cmdSnapShotEnabled = false;
    view.list(ListId::NewFiles).push_back({"old row", "", ""});
    prompt.calls.clear();
    commands.mnuOpenFirst_Click();
    EXPECT_TRUE(prompt.calls.empty());
    EXPECT_EQ(now(), collected);
    EXPECT_TRUE(view.list(ListId::NewFiles).empty());
    EXPECT_TRUE(view.cmdDetectChangesEnabled);  // a first collection leaves it as it was
}

TEST_F(SnapshotCommandsTest, RefusedFileLeavesTheStateAndTheWindowAsTheyWere) {
    const std::string good = path("good.qvs");
    collectAndSave(good);
    const std::string bytes = *readWholeFile(good);
    std::string flipped = bytes;
    flipped.back() = static_cast<char>(flipped.back() ^ 0x20);
    const struct {
        const char* name;
        std::string content;
        const char* fault;
    } cases[] = {
        {"foreign.qvs", "PK\x03\x04 not a snapshot", "is not a Quorvel snapshot file"},
        {"truncated.qvs", bytes.substr(0, bytes.size() - 7), "is truncated"},
        {"damaged.qvs", flipped, "is damaged"},
        {"absent.qvs", "", "could not be read"},
    };
    // Something to lose: a later first collection of another place.
    view.txtRegKeyStart = "Software\\App\\Empty";
    view.cmdSnapShotCaption = "Collect data";
    workflow.cmdSnapShot_Click();
    const FirstCollectionResult before = now();
    for (const auto& c : cases) {
        const std::string file = path(c.name);
        if (!c.content.empty()) {
            ASSERT_TRUE(replaceWholeFile(file, c.content));
        }
        prompt.calls.clear();
        dialogs.chosen = file;
        commands.mnuOpenFirst_Click();
        ASSERT_EQ(titles(), (std::vector<std::string>{"Error"})) << c.name;
        EXPECT_NE(prompt.calls[0].text.find("The snapshot file " + file + " " + c.fault), std::string::npos)
            << prompt.calls[0].text;
        EXPECT_EQ(prompt.calls[0].text.find(".."), std::string::npos) << prompt.calls[0].text;
        EXPECT_EQ(now(), before) << c.name;
    }
}

TEST_F(SnapshotCommandsTest, MenuOffersOnlyWhatMakesSenseAndSaysWhyOtherwise) {
    struct Offer {
        bool save, open, exportResults;
        bool operator==(const Offer&) const = default;
    };
    auto offered = [&] { return Offer{commands.canSave(), commands.canOpen(), commands.canExport()}; };
    EXPECT_EQ(offered(), (Offer{false, true, false}));

    Offer duringWalk{true, true, true};
    yielder.at[1] = [&] { duringWalk = offered(); };
    workflow.cmdSnapShot_Click();
    EXPECT_EQ(duringWalk, (Offer{false, false, false}));
    EXPECT_EQ(offered(), (Offer{true, true, false}));

    files.addFile("C:\\Data\\b.txt", 5, 3000);
    Offer duringDetection{true, true, true};
    yielder.every = [&](long) {
        if (view.ScriptedView::commandsLocked) duringDetection = offered();
    };
    finalWithDetection();
    yielder.every = nullptr;
    EXPECT_EQ(duringDetection, (Offer{false, false, false}));
    EXPECT_EQ(offered(), (Offer{true, true, true}));

    workflow.cmdReset_Click();
    EXPECT_EQ(offered(), (Offer{false, true, false}));

    // Reached anyway (a stale menu), each says why and asks for no file.
    const struct {
        std::function<void()> click;
        const char* title;
        const char* text;
    } refused[] = {
        {[&] { commands.mnuSaveFirst_Click(); }, "Save first snapshot",
         "There is no first snapshot to save. Please collect data first."},
        {[&] { commands.mnuExport_Click(); }, "Export results",
         "There are no results to export. Please detect changes first."},
    };
    for (const auto& r : refused) {
        prompt.calls.clear();
        r.click();
        ASSERT_EQ(titles(), (std::vector<std::string>{r.title}));
        EXPECT_EQ(prompt.calls[0].text, r.text);
    }
    EXPECT_TRUE(dialogs.asked.empty());
}

TEST(ExportTarget, TheNamesExtensionDecidesElseTheFilterAddsItsOwn) {
    const struct {
        const char* chosen;
        uint32_t filter;
        ExportTarget want;
    } cases[] = {
        {"C:\\r.csv", 2, {"C:\\r.csv", ExportFormat::Csv}},
        {"C:\\r.HTML", 1, {"C:\\r.HTML", ExportFormat::Html}},
        {"C:\\r", 4, {"C:\\r.reg", ExportFormat::RegUndo}},
        {"C:\\r.txt", 3, {"C:\\r.txt.json", ExportFormat::Json}},
        {"C:\\r", 0, {"C:\\r.csv", ExportFormat::Csv}},
        {"C:\\r", 9, {"C:\\r.cmd", ExportFormat::Cmd}},
    };
    for (const auto& c : cases) EXPECT_EQ(exportTarget(c.chosen, c.filter), c.want) << c.chosen;
}

TEST_F(SnapshotCommandsTest, ExportWritesTheShownRowsAndFailedWritesAreReported) {
    state.switches.chkDeleteRegSetting = 1;
    workflow.cmdSnapShot_Click();
    registry.addValue(kHiveCurrentUser, "Software\\App", "Version", kRegSz, "2.0");
    files.addFile("C:\\Data\\b.txt", 5, 3000);
    finalWithDetection();
    ASSERT_FALSE(view.list(ListId::EditedRegistry).empty());

    const std::string out = path("results");
    dialogs.chosen = out;
    dialogs.filterIndex = 4;
    commands.mnuExport_Click();
    const ResultContext context{"HKEY_CURRENT_USER", "Software\\App", "C:\\Data\\"};
    EXPECT_EQ(readWholeFile(out + ".reg"), exportRegUndo(shownResults(view), context, state.regArray));
    EXPECT_EQ(view.status, "Results exported to " + out + ".reg");
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].title, "Export results");
    EXPECT_EQ(std::count(dialogs.asked[0].filter.begin(), dialogs.asked[0].filter.end(), '\0'), 10);

    const struct {
        std::function<void()> click;
        const char* name;
        const char* fault;
    } failing[] = {
        {[&] { commands.mnuExport_Click(); }, "r.csv", "The export file "},
        {[&] { commands.mnuSaveFirst_Click(); }, "s.qvs", "The snapshot file "},
    };
    for (const auto& f : failing) {
        const std::string file = (dir / "no such folder" / f.name).string();
        dialogs.chosen = file;
        prompt.calls.clear();
        view.status = "before";
        f.click();
        ASSERT_EQ(titles(), (std::vector<std::string>{"Error"})) << f.name;
        EXPECT_NE(prompt.calls[0].text.find(f.fault + file + " could not be written"), std::string::npos)
            << prompt.calls[0].text;
        EXPECT_EQ(view.status, "before");
        EXPECT_FALSE(pathExists(file));
    }
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

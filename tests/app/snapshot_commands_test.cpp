// The File menu that saves, opens and exports what the workflow collects.
#include "app/snapshot_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <tuple>

#include "app/change_detection.h"
#include "app/exports.h"
#include "core/whole_file.h"
#include "tests/app/workflow_rig.h"

namespace qv {
namespace {

using testing::ScriptedFileDialogs;
using testing::WorkflowTest;

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
    // What a first collection leaves, in the state and in the window.
    auto now() const {
        return std::make_tuple(state.regArray, state.j, state.StartFileList, state.FirstPlaces, state.FirstUnread,
                               view.cmdSnapShotCaption, view.status, view.cmbRegStart, view.txtRegKeyStart,
                               view.txtFileSystemStart, view.cmdSnapShotEnabled, view.chkDetectRegistry,
                               view.chkDetectFiles, state.StopDetect, state.StartFileListBoolean);
    }
    // The first collection, saved through the menu to `file`.
    auto collectAndSave(const std::string& file) {
        workflow.cmdSnapShot_Click();
        const auto collected = now();
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
    const auto collected = collectAndSave(file);
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

// What the first collection could not read is kept in its file and comes back
// with it, so that the results of a final collection from it are still told
// as partial, in the count line and in the exports.
TEST_F(SnapshotCommandsTest, AnOpenedSnapshotKeepsWhatItCouldNotRead) {
    registry.addValue(kHiveCurrentUser, "Software\\App\\Locked", "secret", kRegSz, "x");
    registry.makeUnreadable(kHiveCurrentUser, "Software\\App\\Locked");
    const std::string file = path("partial.qvs");
    collectAndSave(file);
    const std::vector<std::string> missed{"key HKEY_CURRENT_USER\\Software\\App\\Locked"};
    ASSERT_EQ(state.FirstUnread, missed);

    workflow.cmdReset_Click();
    state.FirstUnread.clear();
    state.FinalUnread = {"folder C:\\Stale\\"};  // from a final collection before
    commands.mnuOpenFirst_Click();
    EXPECT_EQ(state.FirstUnread, missed);
    EXPECT_TRUE(state.FinalUnread.empty());
    finalWithDetection();
    EXPECT_EQ(resultContext(state).unread, missed);
}

TEST_F(SnapshotCommandsTest, RefusedFileLeavesTheStateAndTheWindowAsTheyWere) {
    const std::string good = path("good.qvs");
    collectAndSave(good);
    const std::string bytes = *readWholeFile(good);
    const struct {
        const char* name;
        std::string content;
        const char* fault;
    } cases[] = {
        {"foreign.qvs", "PK\x03\x04 not a snapshot", "is not a Quorvel snapshot file"},
        {"truncated.qvs", bytes.substr(0, bytes.size() - 7), "is truncated"},
        {"absent.qvs", "", "could not be read"},
    };
    // Something to lose: a later first collection of another place.
    view.txtRegKeyStart = "Software\\App\\Empty";
    view.cmdSnapShotCaption = "Collect data";
    workflow.cmdSnapShot_Click();
    const auto before = now();
    for (const auto& c : cases) {
        const std::string file = path(c.name);
        if (!c.content.empty()) {
            ASSERT_TRUE(replaceWholeFile(file, c.content));
        }
        prompt.calls.clear();
        dialogs.chosen = file;
        commands.mnuOpenFirst_Click();
        // The user's mistake, not a fault of the program: a plain message.
        ASSERT_EQ(titles(), (std::vector<std::string>{"Open first snapshot"})) << c.name;
        EXPECT_EQ(prompt.calls[0].text.rfind("The snapshot file " + file + " " + c.fault, 0), 0u)
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
        {"C:\\r", 5, {"C:\\r.cmd", ExportFormat::Cmd}},
        {"C:\\r", 9, {"C:\\r.md", ExportFormat::Markdown}},
        {"C:\\notes.MD", 1, {"C:\\notes.MD", ExportFormat::Markdown}},
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
    EXPECT_EQ(std::count(dialogs.asked[0].filter.begin(), dialogs.asked[0].filter.end(), '\0'), 12);

    // The window's report names what the window knows: its places, its
    // switches and the version; no comment, no snapshot times.
    dialogs.chosen = out + ".md";
    commands.mnuExport_Click();
    EXPECT_EQ(readWholeFile(out + ".md").value_or("").rfind("# Quorvel report\n\n"
                                                           "- **Registry key:**\n  - `HKEY_CURRENT_USER\\Software\\App`\n"
                                                           "- **Folder:**\n  - `C:\\Data\\`\n"
                                                           "- **Detection:** not checked: Deleted files (switched off)\n"
                                                           "- **Written by:** Quorvel 1.00\n\n## Summary\n",
                                                           0),
              0u)
        << readWholeFile(out + ".md").value_or("");

    const struct {
        std::function<void()> click;
        const char* name;
        const char* fault;
        const char* title;
    } failing[] = {
        {[&] { commands.mnuExport_Click(); }, "r.csv", "The export file ", "Export results"},
        {[&] { commands.mnuSaveFirst_Click(); }, "s.qvs", "The snapshot file ", "Save first snapshot"},
    };
    for (const auto& f : failing) {
        const std::string file = (dir / "no such folder" / f.name).string();
        dialogs.chosen = file;
        prompt.calls.clear();
        view.status = "before";
        f.click();
        ASSERT_EQ(titles(), (std::vector<std::string>{f.title})) << f.name;
        EXPECT_EQ(prompt.calls[0].text.rfind(f.fault + file + " could not be written", 0), 0u)
            << prompt.calls[0].text;
        EXPECT_EQ(view.status, "before");
        EXPECT_FALSE(pathExists(file));
    }
}

}  // namespace
}  // namespace qv

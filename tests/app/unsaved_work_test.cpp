// The questions before Stop/Reset or a close drops work, and the first
// snapshot kept across a program that ended without comparing it.
#include "app/unsaved_work.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

#include "app/change_detection.h"
#include "core/whole_file.h"
#include "tests/app/workflow_rig.h"

namespace qv {
namespace {

using namespace qv::testing;

class MemoryStore : public RegistryStore {
public:
    std::map<std::string, std::string> values;
    void SaveString(int32_t, const std::string&, const std::string& name, const std::string& data) override {
        values[name] = data;
    }
    std::string GetString(int32_t, const std::string&, const std::string& name) override {
        auto it = values.find(name);
        return it == values.end() ? "" : it->second;
    }
};

// One run of the program: what a start makes, over the registry, the disk
// and the per-user store that outlive it.
struct ProgramRun {
    ProgramRun(FakeRegistry& registry, FakeFileSystem& files, MemoryStore& store, const std::string& kept)
        : source(registry), files(files), unsaved(UnsavedWorkServices{state, view, prompt, store, commands, workflow, kept}) {
        view.cmbRegStart = "HKEY_CURRENT_USER";
        view.txtRegKeyStart = "Software\\App";
        workflow.Detect_Click = [this] {
            DetectionContext ctx{state, view, yielder, this->files, prompt};
            Detect_Click(ctx);
            unsaved.compared();
        };
        workflow.firstCollected = [this] { unsaved.firstCollected(); };
        commands.firstInFile = [this](const std::string& path) { unsaved.firstInFile(path); };
        commands.exported = [this] { unsaved.exported(); };
    }
    // Stop/Reset as the window presses it.
    bool reset() {
        if (!unsaved.mayDrop("Stop/Reset")) return false;
        workflow.cmdReset_Click();
        unsaved.dropped();
        return true;
    }

    AppState state;
    ScriptedWindow view;
    ScriptedPrompt prompt;
    ScriptedYielder yielder;
    ErrorReporter reporter{prompt};
    FakeRegistrySource source;
    FakeFileSystem& files;
    ScriptedPicker picker;
    CollectionWorkflow workflow{WorkflowServices{state, view, prompt, yielder, reporter, source, files, picker}};
    ScriptedFileDialogs dialogs;
    SnapshotCommands commands{SnapshotServices{state, view, view, prompt, reporter, dialogs, dialogs, workflow}};
    UnsavedWork unsaved;
};

class UnsavedWorkTest : public ::testing::Test {
protected:
    UnsavedWorkTest() {
        dir = std::filesystem::temp_directory_path() /
              ("quorvel-unsaved-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::create_directories(dir);
        registry.addValue(kHiveCurrentUser, "Software\\App", "Version", kRegSz, "1.0");
        kept = (dir / kKeptSnapshotName).string();
    }
    ~UnsavedWorkTest() override { std::filesystem::remove_all(dir); }
    std::unique_ptr<ProgramRun> start() { return std::make_unique<ProgramRun>(registry, files, store, kept); }
    std::string path(const char* name) const { return (dir / name).string(); }

    std::filesystem::path dir;
    FakeRegistry registry;
    FakeFileSystem files;
    MemoryStore store;
    std::string kept;
};

enum class Stage { Idle, FirstCollected, FirstSaved, Detected, Exported };

void bringTo(ProgramRun& run, Stage stage, const std::string& file) {
    if (stage == Stage::Idle) return;
    run.workflow.cmdSnapShot_Click();
    if (stage == Stage::FirstSaved) {
        run.dialogs.chosen = file;
        run.commands.mnuSaveFirst_Click();
    }
    if (stage == Stage::Detected || stage == Stage::Exported) {
        run.prompt.answers = {Answer::Yes};  // detect at once
        run.workflow.cmdSnapShot_Click();
        run.view.list(ListId::NewEntries).push_back({"Software\\App\\", "New", "1"});
    }
    if (stage == Stage::Exported) {
        run.dialogs.chosen = file + ".csv";
        run.commands.mnuExport_Click();
    }
    run.prompt.calls.clear();
}

TEST_F(UnsavedWorkTest, StopResetAsksOnlyWhenWorkWouldBeLostAndOffersToSaveTheFirstSnapshot) {
    struct Case {
        Stage stage;
        Answer answer;
        const char* saveTo;  // the save dialog's choice after Yes; "" cancels it
        bool asked;
        bool reset;
    } cases[] = {
        {Stage::Idle, Answer::Yes, "", false, true},
        {Stage::FirstCollected, Answer::Cancel, "", true, false},
        {Stage::FirstCollected, Answer::No, "", true, true},
        {Stage::FirstCollected, Answer::Yes, "", true, false},
        {Stage::FirstCollected, Answer::Yes, "kept-by-user.qvs", true, true},
        {Stage::FirstSaved, Answer::Yes, "", false, true},
        {Stage::Detected, Answer::Cancel, "", true, false},
        {Stage::Detected, Answer::No, "", true, true},
        {Stage::Exported, Answer::Yes, "", false, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n++);
        auto run = start();
        bringTo(*run, c.stage, path("saved.qvs"));
        const std::string captionBefore = run->view.cmdSnapShotCaption;
        run->prompt.answers = {c.answer};
        run->dialogs.chosen = *c.saveTo ? path(c.saveTo) : "";
        EXPECT_EQ(run->reset(), c.reset);
        ASSERT_EQ(run->prompt.calls.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_EQ(run->prompt.calls[0].buttons, Buttons::YesNoCancel);
            EXPECT_EQ(run->prompt.calls[0].tick, "Don't ask again");
            EXPECT_EQ(run->prompt.calls[0].text.rfind("Stop/Reset drops the ", 0), 0u) << run->prompt.calls[0].text;
        }
        if (*c.saveTo) EXPECT_TRUE(regularFileExists(path(c.saveTo)));
        EXPECT_EQ(run->view.cmdSnapShotCaption, c.reset ? "Collect data" : captionBefore);
        // A reset on purpose takes the kept file with it; a refused one keeps it.
        EXPECT_EQ(regularFileExists(kept), c.stage == Stage::FirstCollected && !c.reset);
        removeFile(kept);
    }
}

TEST_F(UnsavedWorkTest, DontAskAgainIsRememberedAcrossRuns) {
    auto run = start();
    bringTo(*run, Stage::FirstCollected, "");
    run->prompt.answers = {Answer::Cancel};
    run->prompt.ticks = {true};
    EXPECT_FALSE(run->reset());  // a cancelled box changes nothing, the tick neither
    run->prompt.answers = {Answer::No};
    run->prompt.ticks = {true};
    EXPECT_TRUE(run->reset());
    EXPECT_EQ(run->prompt.calls.size(), 2u);

    auto next = start();
    bringTo(*next, Stage::FirstCollected, "");
    EXPECT_TRUE(next->unsaved.mayDrop("Closing Quorvel"));
    EXPECT_TRUE(next->prompt.calls.empty());
}

TEST_F(UnsavedWorkTest, FirstSnapshotOutlivesAProgramThatEndedBeforeItsFinalData) {
    RegSnapshot first;
    {
        auto run = start();
        run->workflow.cmdSnapShot_Click();
        first = run->state.regArray;
        ASSERT_TRUE(regularFileExists(kept));
        // The process dies here: nothing of it runs any more.
    }
    registry.addValue(kHiveCurrentUser, "Software\\App", "Installed", kRegSz, "yes");
    auto next = start();
    next->unsaved.offerKept();
    ASSERT_EQ(next->prompt.calls.size(), 1u);
    EXPECT_EQ(next->prompt.calls[0].title, "Open first snapshot");
    EXPECT_NE(next->prompt.calls[0].text.find(kept), std::string::npos);
    EXPECT_EQ(next->state.regArray, first);
    EXPECT_EQ(next->view.cmdSnapShotCaption, "Collect final data");
    EXPECT_TRUE(regularFileExists(kept));  // still its only guard

    next->prompt.answers = {Answer::Yes};
    next->workflow.cmdSnapShot_Click();  // final data, detected at once
    EXPECT_EQ(next->view.list(ListId::NewEntries).size(), 1u);
    EXPECT_FALSE(regularFileExists(kept));

    auto third = start();
    third->unsaved.offerKept();
    EXPECT_TRUE(third->prompt.calls.empty());
}

TEST_F(UnsavedWorkTest, DeclinedOfferDeletesTheKeptFile) {
    start()->workflow.cmdSnapShot_Click();
    auto next = start();
    next->prompt.answers = {Answer::No};
    next->unsaved.offerKept();
    EXPECT_EQ(next->prompt.calls.size(), 1u);
    EXPECT_FALSE(regularFileExists(kept));
    EXPECT_EQ(next->view.cmdSnapShotCaption, "Collect data");
}

TEST_F(UnsavedWorkTest, SnapshotSavedAtCloseIsOfferedAtTheNextStart) {
    const std::string file = path("at-close.qvs");
    {
        auto run = start();
        run->workflow.cmdSnapShot_Click();
        run->prompt.answers = {Answer::Yes};
        run->dialogs.chosen = file;
        ASSERT_TRUE(run->unsaved.mayDrop("Closing Quorvel"));
        run->unsaved.closing();
    }
    EXPECT_FALSE(regularFileExists(kept));
    auto next = start();
    next->unsaved.offerKept();
    ASSERT_EQ(next->prompt.calls.size(), 1u);
    EXPECT_NE(next->prompt.calls[0].text.find(file), std::string::npos);
    EXPECT_EQ(next->view.cmdSnapShotCaption, "Collect final data");
    // Asked once: the start after a close without it does not ask again.
    next->prompt.answers = {Answer::No};
    next->unsaved.dropped();
    auto third = start();
    third->unsaved.offerKept();
    EXPECT_TRUE(third->prompt.calls.empty());
}

}  // namespace
}  // namespace qv

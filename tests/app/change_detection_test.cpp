#include "app/change_detection.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/result_lists.h"
#include "core/registry_types.h"
#include "tests/app/size_only_source.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using testing::ScriptedPrompt;
using testing::ScriptedView;
using testing::ScriptedYielder;
using testing::SizeOnlySource;
using Rows = std::vector<ResultRow>;

// Remembers every progress maximum and value, not only the last ones, and
// like the window gives every command back the state it had when locked.
class RecordingView : public ScriptedView {
public:
    std::vector<int64_t> maxHistory, valueHistory;
    bool detectAtLock = false;
    void lockCommands(bool locked) override {
        ScriptedView::lockCommands(locked);
        if (locked)
            detectAtLock = std::exchange(cmdDetectChangesEnabled, false);
        else
            cmdDetectChangesEnabled = detectAtLock;
    }
    void setProgressMax(int64_t m) override {
        ScriptedView::setProgressMax(m);
        maxHistory.push_back(m);
    }
    void setProgressValue(int64_t v) override {
        ScriptedView::setProgressValue(v);
        valueHistory.push_back(v);
    }
};

class ChangeDetection : public ::testing::Test {
protected:
    ChangeDetection() {
        state.switches.chkDeleteRegSetting = state.switches.chkDeleteFilesSetting = 1;
        view.keepStatusHistory = view.cmdDetectChangesEnabled = true;
    }
    void detect(MainView& on) {
        DetectionContext ctx{state, on, yielder, files, prompt};
        Detect_Click(ctx);
    }
    void detect() {
        for (auto& l : view.lists) l.clear();
        detect(view);
    }
    Rows& rows(ListId id) { return view.list(id); }
    void setFiles(FileSnapshot first, FileSnapshot final) {
        state.StartFileList = std::move(first);
        state.FinishFileList = std::move(final);
        state.FinishFileScanRan = true;
    }

    AppState state;
    RecordingView view;
    ScriptedYielder yielder;
    SizeOnlySource files;
    ScriptedPrompt prompt;
};

const RegEntry kKey{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\", "", ""};
const RegEntry kPath{kKey.KeyName, "Path", "C:\\Acme"}, kPath2{kKey.KeyName, "Path", "D:\\Acme"};
const RegEntry kVersion{kKey.KeyName, "Version", "1.0"}, kVersion2{kKey.KeyName, "Version", "2.0"};
const RegEntry kOldDefault{kKey.KeyName, "", "old default"}, kNewDefault{kKey.KeyName, "", "new default"};
// A value with the empty name, beside other values: the key's default value.
const RegEntry kDefault{kKey.KeyName, "", "old", kRegSz}, kDefault2{kKey.KeyName, "", "new", kRegSz};
const RegEntry kFive{kKey.KeyName, "Count", "5", kRegSz}, kFiveDword{kKey.KeyName, "Count", "5", kRegDword};
// An expandable string shows its expansion: the same text from other bytes.
std::string utf16z(std::string_view ascii) {
    std::string bytes;
    for (char c : ascii) bytes += {c, '\0'};
    return bytes + std::string(2, '\0');
}
const RegEntry kExpandVar{kKey.KeyName, "Dir", "C:\\windows\\x", kRegExpandSz, RawForm::Stored, utf16z("%SystemRoot%\\x")};
const RegEntry kExpandPlain{kKey.KeyName, "Dir", "C:\\windows\\x", kRegExpandSz, RawForm::FromText};
const RegEntry kExpandUnrecorded{kKey.KeyName, "Dir", "C:\\windows\\x", kRegExpandSz, RawForm::NotRecorded};

Rows rowsOf(std::initializer_list<RegEntry> entries) {
    Rows out;
    for (const RegEntry& e : entries) out.push_back({e.KeyName.str(), e.ValueName, e.ValueData});
    return out;
}

struct RegistryCase {
    const char* name;
    RegSnapshot first, final;
    Rows added, edited, deleted;
    std::vector<std::string> filter = {};
    int16_t newSw = 1, editedSw = 1, deleteSw = 1;
    bool ticked = true;
};

TEST_F(ChangeDetection, RegistryPassesFindNewEditedAndDeletedEntries) {
    // clang-format off
    const RegistryCase cases[] = {
        {"identical snapshots give no rows", {kKey, kPath, kVersion}, {kKey, kPath, kVersion}, {}, {}, {}},
        {"edited value: new data edited, old data deleted", {kKey, kVersion}, {kKey, kVersion2}, {}, rowsOf({kVersion2}), rowsOf({kVersion})},
        {"changed default of a valueless key is edited, never deleted", {kOldDefault}, {kNewDefault}, {}, rowsOf({kNewDefault}), {}},
        {"edited default value: its old data is listed as any value's", {kDefault, kPath}, {kDefault2, kPath}, {}, rowsOf({kDefault2}), rowsOf({kDefault})},
        {"type changed, text not: an edit with its old row", {kKey, kFive}, {kKey, kFiveDword}, {}, rowsOf({kFiveDword}), rowsOf({kFive})},
        {"old data filtered, new not: edited only", {kKey, kPath}, {kKey, kPath2}, {}, rowsOf({kPath2}), {}, {"", "C:\\Acme"}},
        {"new entries listed when only the edited switch is on", {kKey}, {kKey, kPath}, rowsOf({kPath}), {}, {}, {}, 0, 1, 1},
        {"edited switch off suppresses edited rows only", {kKey, kPath}, {kKey, kPath2, kVersion}, rowsOf({kVersion}), {}, {}, {}, 1, 0, 0},
        {"only the deletion pass runs when new and edited are off", {kKey, kPath}, {kKey, kPath2, kVersion}, {}, {}, rowsOf({kPath}), {}, 0, 0, 1},
        {"unticked registry box", {kKey, kPath}, {kKey, kVersion}, {}, {}, {}, {}, 1, 1, 1, false},
        {"final snapshot of one entry is examined", {kKey, kPath}, {kVersion}, rowsOf({kVersion}), {}, rowsOf({kPath})},
        {"first snapshot of one entry is examined", {kPath}, {kKey, kVersion}, rowsOf({kKey, kVersion}), {}, rowsOf({kPath})},
        {"never-filled first snapshot holds no entry", RegSnapshot(1), {kPath}, rowsOf({kPath}), {}, {}},
        {"bytes changed, text not: an edit with its old row", {kKey, kExpandVar}, {kKey, kExpandPlain}, {}, rowsOf({kExpandPlain}), rowsOf({kExpandVar})},
        {"the same bytes kept on both sides", {kKey, kExpandVar}, {kKey, kExpandVar}, {}, {}, {}},
        {"bytes an older snapshot did not record: the text decides", {kKey, kExpandVar}, {kKey, kExpandUnrecorded}, {}, {}, {}},
    };
    // clang-format on
    for (const RegistryCase& c : cases) {
        SCOPED_TRACE(c.name);
        state.regArray = c.first;
        state.regArray2 = c.final;
        state.FilterList = c.filter;
        state.switches.chkNewRegSetting = c.newSw;
        state.switches.chkEditedRegSetting = c.editedSw;
        state.switches.chkDeleteRegSetting = c.deleteSw;
        view.chkDetectRegistry = c.ticked;
        detect();
        EXPECT_EQ(rows(ListId::NewEntries), c.added);
        EXPECT_EQ(rows(ListId::EditedRegistry), c.edited);
        EXPECT_EQ(rows(ListId::DeletedEntries), c.deleted);
    }
}

// Missing and failing sizes are drawn by the differential test; its sizes stay small.
TEST_F(ChangeDetection, NewAndModifiedFilesAreAppendedWithTheSizeAtTheirStepAndTheFinalDate) {
    const FileSnapshotEntry same{"C:\\app\\same.txt", "d"};
    setFiles({{}, same, {"C:\\app\\old.dll", "01/01/2026 08:00:00"}},
             {{}, same, {"C:\\app\\old.dll", "02/01/2026 09:30:00"}, {"C:\\app\\new.exe", "n"}});
    files.sizes = {{"C:\\app\\old.dll", 4096}, {"C:\\app\\new.exe", 10}};
    // The new file grows while detection runs, before its step.
    yielder.at[1] = [&] { files.sizes["C:\\app\\new.exe"] = 12345678901ULL; };
    rows(ListId::NewFiles).push_back({"earlier", "row", ""});
    detect(view);
    EXPECT_EQ(rows(ListId::ModifiedFiles), (Rows{{"C:\\app\\old.dll", "4096", "02/01/2026 09:30:00"}}));
    EXPECT_EQ(rows(ListId::NewFiles),
              (Rows{{"earlier", "row", ""}, {"C:\\app\\new.exe", "12345678901", "n"}}));
    // Only the files that get a row are measured.
    EXPECT_EQ(files.measured, (std::vector<std::string>{"C:\\app\\old.dll", "C:\\app\\new.exe"}));

    // Snapshots read from files show the sizes they recorded, where they did.
    state.FinishFileList[2].Size = 777;
    files.measured.clear();
    DetectionContext fromFiles{state, view, yielder, files, prompt, true};
    for (auto& l : view.lists) l.clear();
    Detect_Click(fromFiles);
    EXPECT_EQ(rows(ListId::ModifiedFiles), (Rows{{"C:\\app\\old.dll", "777", "02/01/2026 09:30:00"}}));
    EXPECT_EQ(rows(ListId::NewFiles), (Rows{{"C:\\app\\new.exe", "12345678901", "n"}}));
    EXPECT_EQ(files.measured, (std::vector<std::string>{"C:\\app\\new.exe"}));
}

// The end unlocks first, so that the restored Detect button is disabled after it.
// The date text to the second misses changes that the size shows; the
// attributes count when the user asks for them; sizes and attributes that an
// older snapshot file did not record change nothing.
TEST_F(ChangeDetection, ASizeOrAskedForAttributeChangeIsAModificationWhateverTheDate) {
    const struct {
        const char* name;
        FileSnapshotEntry first, final;
        int16_t attributeSwitch;
        bool modified;
    } cases[] = {
        {"rewritten within the same second", {"C:\\a", "d", 10, 0x20}, {"C:\\a", "d", 11, 0x20}, 0, true},
        {"time set back, size changed", {"C:\\a", "2020", 10, 0x20}, {"C:\\a", "2020", 0, 0x20}, 0, true},
        {"attributes only, not asked for", {"C:\\a", "d", 10, 0x20}, {"C:\\a", "d", 10, 0x21}, 0, false},
        {"attributes only, asked for", {"C:\\a", "d", 10, 0x20}, {"C:\\a", "d", 10, 0x21}, 1, true},
        {"size not recorded before", {"C:\\a", "d"}, {"C:\\a", "d", 10, 0x21}, 1, false},
        {"unchanged", {"C:\\a", "d", 10, 0x20}, {"C:\\a", "d", 10, 0x20}, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        state.switches.chkAttributeChangesSetting = c.attributeSwitch;
        setFiles({{}, c.first}, {{}, c.final});
        detect();
        EXPECT_EQ(rows(ListId::ModifiedFiles).size(), c.modified ? 1u : 0u);
    }
}

TEST_F(ChangeDetection, ProgressStatusAndTheLockFollowTheOuterStepsAndAreUndoneBeforeTheBox) {
    state.regArray = {kKey, kPath};
    state.regArray2 = {kKey, kPath, kVersion};
    setFiles({{}, {"C:\\a", "1"}}, {{}, {"C:\\a", "1"}, {"C:\\b", "1"}});
    int lockedYields = 0;
    yielder.every = [&](long) { lockedYields += view.commandsLocked ? 1 : 0; };
    prompt.onAsk = [&](const testing::PromptCall&) {
        EXPECT_FALSE(view.commandsLocked);
        EXPECT_FALSE(view.cmdDetectChangesEnabled);
        EXPECT_EQ(view.progressValue, 0);
        EXPECT_EQ(view.status, "");
    };
    detect();
    const std::string newReg = "Checking for new/edited registry data... " + kKey.KeyName;
    const std::string delReg = "Checking for deleted registry data " + kKey.KeyName;
    EXPECT_EQ(view.statusHistory,
              (std::vector<std::string>{
                  newReg, newReg, newReg, delReg, delReg, "Checking for new/edited files... C:\\a",
                  "Checking for new/edited files... C:\\b", "Checking for deleted files ",
                  "Checking for deleted files C:\\a", ""}));
    EXPECT_EQ(view.maxHistory, (std::vector<int64_t>{2, 1, 2, 1}));
    EXPECT_EQ(view.valueHistory, (std::vector<int64_t>{0, 0, 1, 2, 0, 1, 0, 1, 2, 0, 1, 0}));
    // One yield at the start and one per outer step, none per comparison.
    EXPECT_EQ(yielder.count, 1 + 3 + 2 + 2 + 2);
    EXPECT_EQ(lockedYields, yielder.count);
    EXPECT_EQ(view.lockCalls, 2);
    ASSERT_EQ(prompt.calls.size(), 1u);
    const testing::PromptCall& box = prompt.calls[0];
    EXPECT_EQ(std::tie(box.text, box.title, box.buttons, box.icon),
              std::make_tuple("Detection done", "Done", Buttons::Ok, Icon::Information));
}

class ThrowingView : public ScriptedView {
public:
    void appendRow(ListId, ResultRow) override { throw std::runtime_error("list view failed"); }
};

TEST_F(ChangeDetection, AThrowingViewLeavesTheCommandsUnlocked) {
    state.regArray = {kKey};
    state.regArray2 = {kKey, kPath};
    ThrowingView throwing;
    EXPECT_THROW(detect(throwing), std::runtime_error);
    EXPECT_FALSE(throwing.commandsLocked);
    EXPECT_EQ(throwing.lockCalls, 2);
    EXPECT_TRUE(prompt.calls.empty());
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// Folders are entries: a new or deleted one is listed like a file, with no
// size, and a folder is never "modified" (its date moves with every name in
// it). A snapshot file of an older version recorded no folders: they are then
// not compared at all, or every folder would look new.
TEST_F(ChangeDetection, NewAndDeletedFoldersAreListedButNeverModified) {
    const FileSnapshot first = {{}, {"C:\\App\\", "d1"}, {"C:\\Old\\", "d1"}, {"C:\\App\\a.txt", "d1", 4}};
    const FileSnapshot final = {{}, {"C:\\App\\", "d2"}, {"C:\\App\\bin\\", "d2"}, {"C:\\App\\a.txt", "d2", 5}};
    setFiles(first, final);
    detect();
    ASSERT_EQ(rows(ListId::NewFiles).size(), 1u);
    EXPECT_EQ(rows(ListId::NewFiles)[0].text, "C:\\App\\bin\\");
    EXPECT_EQ(rows(ListId::NewFiles)[0].sub1, "");
    EXPECT_EQ(rows(ListId::DeletedFiles), (Rows{{"C:\\Old\\", "", ""}}));
    ASSERT_EQ(rows(ListId::ModifiedFiles).size(), 1u);
    // The modified file carries what the first snapshot had.
    EXPECT_EQ(rows(ListId::ModifiedFiles)[0].firstSize, 4u);
    EXPECT_EQ(rows(ListId::ModifiedFiles)[0].firstDate, "d1");

    state.StartFoldersRecorded = false;
    setFiles(first, final);
    detect();
    EXPECT_TRUE(rows(ListId::NewFiles).empty());
    EXPECT_TRUE(rows(ListId::DeletedFiles).empty());
}

// A deleted row that is the old data of a value still there under other data
// is marked, so that counts tell deletions from edits; so it is when edits
// are not listed, or when new entries are not looked for either.
TEST_F(ChangeDetection, OldDataOfAnEditIsMarkedApartFromDeletions) {
    for (const int16_t newAndEdited : {int16_t{1}, int16_t{0}}) {
        SCOPED_TRACE(newAndEdited);
        state.switches.chkNewRegSetting = state.switches.chkEditedRegSetting = newAndEdited;
        state.regArray = {kPath, kVersion};
        state.regArray2 = {kPath2};
        detect();
        ASSERT_EQ(rows(ListId::DeletedEntries).size(), 2u);
        EXPECT_TRUE(rows(ListId::DeletedEntries)[0].oldData);   // Path, edited
        EXPECT_FALSE(rows(ListId::DeletedEntries)[1].oldData);  // Version, gone
        EXPECT_EQ(rows(ListId::EditedRegistry).size(), newAndEdited ? 1u : 0u);
    }
}

// Rows in places that change on their own are marked, never dropped; the
// list's roots may be short or long, and letter case does not count.
TEST_F(ChangeDetection, BackgroundRowsAreMarkedAndKept) {
    state.BackgroundList = {"HKLM\\system\\*\\Control\\Video\\*", "*.evtx"};
    state.FirstPlaces = CollectionPlaces{true, kHiveLocalMachine, "SYSTEM", true, "C:\\", 0};
    const RegEntry video{"SYSTEM\\CurrentControlSet\\Control\\Video\\{1}\\0000\\", "Stamp", "1"};
    const RegEntry app{"SYSTEM\\CurrentControlSet\\Services\\App\\", "Start", "2"};
    state.regArray = {};
    state.regArray2 = {video, app};
    setFiles({{}}, {{}, {"C:\\Windows\\Logs\\System.EVTX", "d"}, {"C:\\App\\a.txt", "d"}});
    detect();
    ASSERT_EQ(rows(ListId::NewEntries).size(), 2u);
    EXPECT_TRUE(rows(ListId::NewEntries)[0].background);
    EXPECT_FALSE(rows(ListId::NewEntries)[1].background);
    ASSERT_EQ(rows(ListId::NewFiles).size(), 2u);
    EXPECT_TRUE(rows(ListId::NewFiles)[0].background);
    EXPECT_FALSE(rows(ListId::NewFiles)[1].background);
}

TEST(ListChecked, FollowsTheSwitchesAndThePlacesCompared) {
    DetectionSwitches off;
    off.chkNewRegSetting = off.chkEditedRegSetting = off.chkDeleteRegSetting = 0;
    off.chkDeleteFilesSetting = 0;
    const DetectionSwitches defaults;
    const struct {
        DetectionSwitches switches;
        bool registry, files;
        std::vector<bool> checked;  // in the order of the tabs
    } cases[] = {
        {defaults, true, true, {true, false, true, true, false, true}},
        {defaults, false, true, {false, false, false, true, false, true}},
        {off, true, false, {false, false, false, false, false, false}},
    };
    for (const auto& c : cases) {
        std::vector<bool> checked;
        for (ListId list : kAllLists) checked.push_back(listChecked(list, c.switches, c.registry, c.files));
        EXPECT_EQ(checked, c.checked);
    }
}

}  // namespace
}  // namespace qv

// Settings changed after a final collection and applied to the two snapshots
// in hand give the lists that a collection with those settings from the start
// gives, over the same registry and disk before and after the same install.
#include <gtest/gtest.h>

#include <array>
#include <optional>

#include "app/change_detection.h"
#include "app/excepted_places.h"
#include "tests/app/workflow_rig.h"

namespace qv {
namespace {

using namespace qv::testing;

struct Settings {
    DetectionSwitches switches;
    std::vector<RegException> reg{1};
    std::vector<FileException> files{1};
    std::vector<std::string> filter{1};
};

using Lists = std::array<std::vector<ResultRow>, 6>;

void before(FakeRegistry& r, FakeFileSystem& f) {
    for (const char* key : {"Software\\App", "Software\\App\\A", "Software\\App\\B", "Software\\App\\B\\Deep",
                            "Software\\App\\Bee"})
        r.addValue(kHiveCurrentUser, key, "v", kRegSz, "1");
    r.addValue(kHiveCurrentUser, "Software\\App\\B", "gone", kRegSz, "x");
    f.addFile("C:\\Data\\a.txt", 10, kDefaultFileTime);
    f.addFile("C:\\Data\\sub\\b.txt", 20, kDefaultFileTime);
    f.addFile("C:\\Data\\subway\\c.txt", 30, kDefaultFileTime);
}

void install(FakeRegistry& r, FakeFileSystem& f) {
    for (const char* key : {"Software\\App", "Software\\App\\A", "Software\\App\\B\\Deep", "Software\\App\\Bee"})
        r.addValue(kHiveCurrentUser, key, "v", kRegSz, "2");
    r.addValue(kHiveCurrentUser, "Software\\App\\B\\New", "n", kRegSz, "filtered");
    r.addValue(kHiveCurrentUser, "Software\\App\\A", "n", kRegSz, "new");
    r.removeValue(kHiveCurrentUser, "Software\\App\\B", "gone");
    f.addFile("C:\\Data\\a.txt", 11, fileTime(2025, 1, 1));
    f.addFile("C:\\Data\\sub\\b.txt", 21, fileTime(2025, 1, 1));
    f.addFile("C:\\Data\\sub\\new.txt", 1, fileTime(2025, 1, 1));
    f.addFile("C:\\Data\\subway\\c.txt", 31, fileTime(2025, 1, 1));
}

void use(AppState& state, const Settings& s) {
    state.switches = s.switches;
    state.RegExceptions = s.reg;
    state.FileExceptions = s.files;
    state.FilterList = s.filter;
}

// Collects before and after the install with `collectWith`, detecting at
// once; then, when given, applies `thenApply` to the snapshots in hand.
Lists detect(const Settings& collectWith, const std::optional<Settings>& thenApply) {
    FakeRegistry registry;
    FakeFileSystem files;
    before(registry, files);
    AppState state;
    ScriptedWindow view;
    ScriptedPrompt prompt;
    ScriptedYielder yielder;
    ErrorReporter reporter{prompt};
    FakeRegistrySource source{registry};
    ScriptedPicker picker;
    CollectionWorkflow workflow{WorkflowServices{state, view, prompt, yielder, reporter, source, files, picker}};
    workflow.Detect_Click = [&] {
        DetectionContext ctx{state, view, yielder, files, prompt};
        Detect_Click(ctx);
    };
    use(state, collectWith);
    view.cmbRegStart = "HKEY_CURRENT_USER";
    view.txtRegKeyStart = "Software\\App";
    view.chkDetectFiles = true;
    view.txtFileSystemStart = "C:\\Data\\";
    workflow.cmdSnapShot_Click();
    install(registry, files);
    prompt.answers = {Answer::Yes};
    workflow.cmdSnapShot_Click();
    EXPECT_TRUE(workflow.inHand().has_value());
    if (thenApply) {
        use(state, *thenApply);
        workflow.applySettingsToSnapshots();
    }
    Lists lists;
    for (size_t i = 0; i < 6; ++i) lists[i] = view.lists[i];
    return lists;
}

TEST(SettingsOnSnapshots, AppliedToTheSnapshotsInHandTheyGiveWhatACollectionWithThemGives) {
    Settings all;
    all.switches = {1, 1, 1, 1, 1, 1, 0};
    const auto with = [&](auto change) {
        Settings s = all;
        change(s);
        return s;
    };
    const Settings cases[] = {
        all,
        with([](Settings& s) { s.reg.push_back({"HKEY_CURRENT_USER", "Software\\App\\B"}); }),
        with([](Settings& s) { s.reg.push_back({"HKEY_LOCAL_MACHINE", "Software\\App\\A"}); }),
        with([](Settings& s) { s.reg.push_back({"HKEY_CURRENT_USER", "Software\\App\\B\\Deep"}); }),
        with([](Settings& s) { s.files.push_back({"C:\\Data\\sub\\", "Folder"}); }),
        with([](Settings& s) { s.files.push_back({"C:\\Data\\sub", "Folder"}); }),  // also subway
        with([](Settings& s) { s.files.push_back({"C:\\Data\\a.txt", "File"}); }),
        with([](Settings& s) { s.filter.push_back("filtered"); }),
        with([](Settings& s) { s.switches = {1, 0, 0, 0, 1, 1, 0}; }),
        with([](Settings& s) {
            s.switches = {0, 1, 1, 1, 0, 1, 1};
            s.reg.push_back({"HKEY_CURRENT_USER", "Software\\App\\A"});
            s.files.push_back({"C:\\Data\\subway\\", "Folder"});
            s.filter.push_back("new");
        }),
    };
    int n = 0;
    for (const Settings& s : cases) {
        SCOPED_TRACE(n++);
        const Lists fresh = detect(s, std::nullopt);
        EXPECT_EQ(detect(all, s), fresh);
        size_t rows = 0;
        for (const auto& l : fresh) rows += l.size();
        EXPECT_GT(rows, 0u);
    }
}

TEST(SettingsOnSnapshots, ExceptionsOfAnotherRootOrBeyondThePrefixKeepEverything) {
    AppState state;
    state.FirstPlaces = CollectionPlaces{true, kHiveCurrentUser, "", true, "C:\\Data\\", 0};
    for (const char* key : {"Software\\", "Software\\A\\", "Soft\\"}) state.regArray.push_back({key, "v", "1"});
    state.regArray.erase(state.regArray.begin());
    state.StartFileList.push_back({"C:\\Data\\a.txt"});
    state.StartFileList.push_back({"C:\\Other\\a.txt"});
    state.RegExceptions = {{}, {"HKEY_USERS", "\\Software"}, {"HKEY_CURRENT_USER", "\\Soft"}};
    state.FileExceptions = {{}, {"C:\\Other\\", "Folder"}, {"C:\\Data\\a.txt", "Folder"}};
    dropExceptedPlaces(state);
    ASSERT_EQ(state.regArray.size(), 2u);
    EXPECT_EQ(std::string(state.regArray[1].KeyName), "Software\\A\\");
    // Outside the start folder nothing was walked by these settings either.
    EXPECT_EQ(state.StartFileList.size(), 3u);
}

}  // namespace
}  // namespace qv

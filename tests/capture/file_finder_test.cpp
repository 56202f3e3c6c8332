#include "capture/file_finder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "support/error_report.h"
#include "tests/support/fakes/fake_file_system.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using ::testing::ElementsAre;
using testing::FakeFileSystem;
using testing::fileTime;
using testing::kDefaultFileTime;

// A source whose calls fail at a chosen point, for the run-time failures of the walk.
class FailingFileSystem : public FakeFileSystem {
public:
    bool failFullPath = false;
    std::string failListOf;
    std::string fullPathName(const std::string& path) override {
        if (failFullPath) throw std::runtime_error("no full path");
        return FakeFileSystem::fullPathName(path);
    }
    std::unique_ptr<DirEnumeration> list(const std::string& folder) override {
        if (folder == failListOf) throw std::runtime_error("listing failed");
        return FakeFileSystem::list(folder);
    }
};

// The finder with scripted surroundings; table rows each take a fresh one.
struct FinderRig {
    AppState state;
    FailingFileSystem fs;
    testing::ScriptedYielder yielder;
    testing::ScriptedView view;
    testing::ScriptedPrompt prompt;
    ErrorReporter reporter{prompt};
    clsFileFind finder{state, fs, yielder, view, reporter};
    std::vector<std::string> folders;  // CurrentFolder, in order
    std::optional<std::pair<int32_t, int32_t>> finished;

    FinderRig() {
        state.StartFileListBoolean = true;
        finder.CurrentFolder = [this](std::string_view f) { folders.emplace_back(f); };
        finder.Finished = [this](int32_t flag, int32_t files) { finished = {flag, files}; };
    }

    void scan(const std::string& path) { finder.SearchFile(path, true); }

    std::vector<std::string> recorded(bool foldersToo = true) const {
        std::vector<std::string> paths;
        for (size_t i = 1; i < state.StartFileList.size(); ++i)
            if (foldersToo || state.StartFileList[i].Filepath.back() != '\\')
                paths.push_back(state.StartFileList[i].Filepath);
        return paths;
    }
    std::vector<std::string> recordedFiles() const { return recorded(false); }
};

struct FileFinderTest : ::testing::Test, FinderRig {};

// A folder's own entry comes first, then its files, then its subfolders, whatever their attributes,
// and each folder is listed once and closed before anything below it is read. A folder link that
// cannot be told to lead out of the tree is recorded, not entered (a file link is a file). A folder that cannot be listed gives nothing,
// unreported, and the walk goes on. A file exception is the file's full path; the file is counted
// before it is tested.
TEST_F(FileFinderTest, RecordsFilesBeforeSubfoldersListingEachRealFolderOnce) {
    fs.addFile("C:\\Data\\b.txt", 1, kDefaultFileTime, kAttrHidden);
    fs.addFolder("C:\\Data\\sub1", kAttrHidden | kAttrSystem);
    fs.addFile("C:\\Data\\sub1\\x.txt", 1, kDefaultFileTime, kAttrSystem | kAttrHidden);
    fs.addFile("C:\\Data\\a.txt", 1, kDefaultFileTime, kAttrReadOnly);
    fs.addFile("C:\\Data\\sub2\\y\\z.txt");
    fs.addFolder("C:\\Data\\empty");
    fs.addFile("C:\\Data\\sub1\\w.txt");
    fs.addFile("C:\\Data\\sub2\\c.txt");
    fs.addFolder("C:\\Data\\loop", kAttrReparsePoint);
    fs.addFile("C:\\Data\\loop\\inside.txt");
    fs.addFile("C:\\Data\\linked.txt", 0, kDefaultFileTime, kAttrReparsePoint);
    fs.addFile("C:\\Data\\locked\\secret.txt");
    fs.setUnlistable("C:\\Data\\locked");
    state.FileExceptions.push_back({"C:\\Data\\sub1\\w.txt", "File"});
    scan("C:\\Data\\");
    EXPECT_THAT(recorded(),
                ElementsAre("C:\\Data\\b.txt", "C:\\Data\\a.txt", "C:\\Data\\linked.txt", "C:\\Data\\sub1\\",
                            "C:\\Data\\sub1\\x.txt", "C:\\Data\\sub2\\", "C:\\Data\\sub2\\c.txt",
                            "C:\\Data\\sub2\\y\\", "C:\\Data\\sub2\\y\\z.txt", "C:\\Data\\empty\\",
                            "C:\\Data\\loop\\", "C:\\Data\\locked\\"));
    // Seven files and the six folders that "*.*" also matches, the link among them.
    EXPECT_EQ(finished, std::make_pair(clsFileFind::DirExSuccess, 13));
    EXPECT_THAT(folders, ElementsAre("C:\\Data", "C:\\Data\\sub1", "C:\\Data\\sub2", "C:\\Data\\sub2\\y",
                                     "C:\\Data\\empty", "C:\\Data\\locked"));
    // The start folder once more for the start-path split, which reads one entry.
    EXPECT_THAT(fs.listed, ElementsAre("C:\\Data\\", "C:\\Data\\", "C:\\Data\\sub1\\", "C:\\Data\\sub2\\",
                                       "C:\\Data\\sub2\\y\\", "C:\\Data\\empty\\", "C:\\Data\\locked\\"));
    EXPECT_EQ(fs.maxOpenListings, 1);
    EXPECT_EQ(fs.openListings, 0);
    EXPECT_TRUE(prompt.calls.empty());
    // The folder that could not be listed is named as unread, and nothing else.
    EXPECT_EQ(state.FirstUnread, std::vector<std::string>{"folder C:\\Data\\locked\\"});
}

// A link to a folder outside the tree is walked once, under its own path; a link into the tree, to a
// folder that holds the tree, or to a place already walked is recorded and not entered. A reparse
// point that is no link (a cloud folder) is an ordinary folder.
TEST(FileFinderLinks, AreWalkedOnceAndNeverInACircle) {
    struct Case {
        const char* what;
        std::vector<std::string> recorded;  // below C:\Data\, besides Data's own file
    };
    const Case cases[] = {
        {"outside", {"desk\\", "desk\\shortcut.lnk"}},
        {"inside", {"real\\", "real\\r.txt", "alias\\"}},
        {"up", {"up\\"}},
        {"twice", {"desk\\", "desk\\shortcut.lnk", "desk2\\"}},
        {"cloud", {"cloud\\", "cloud\\c.txt"}},
        {"back", {"desk\\", "desk\\shortcut.lnk", "desk\\home\\"}},
        {"nowhere", {"broken\\"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FinderRig rig;
        rig.fs.addFile("C:\\Data\\own.txt");
        rig.fs.addFile("D:\\Home\\Desktop\\shortcut.lnk");
        const std::string what = c.what;
        if (what == "outside" || what == "twice" || what == "back") rig.fs.addLink("C:\\Data\\desk", "D:\\Home\\Desktop");
        if (what == "twice") rig.fs.addLink("C:\\Data\\desk2", "D:\\Home\\Desktop\\");
        if (what == "back") rig.fs.addLink("D:\\Home\\Desktop\\home", "C:\\Data", 0xA0000003u);  // a junction
        if (what == "inside") {
            rig.fs.addFile("C:\\Data\\real\\r.txt");
            rig.fs.addLink("C:\\Data\\alias", "C:\\Data\\real");
        }
        if (what == "up") rig.fs.addLink("C:\\Data\\up", "C:\\");
        if (what == "cloud") {
            rig.fs.addTaggedFolder("C:\\Data\\cloud", 0x9000001Au);
            rig.fs.addFile("C:\\Data\\cloud\\c.txt");
        }
        if (what == "nowhere") rig.fs.addLink("C:\\Data\\broken", "E:\\Gone");
        rig.scan("C:\\Data\\");
        std::vector<std::string> expected{"C:\\Data\\own.txt"};
        for (const std::string& r : c.recorded) expected.push_back("C:\\Data\\" + r);
        EXPECT_EQ(rig.recorded(), expected);
        EXPECT_EQ(rig.finished->first, clsFileFind::DirExSuccess);
    }
}

TEST(FileFinderStartPath, IsSplitIntoTheFolderToWalkAndANamePattern) {
    struct Case {
        const char* path;
        bool caseSensitive;
        int32_t flag, files;
        const char* firstFolder;  // "" when no folder is visited
        std::vector<std::string> recorded;
    };
    constexpr int32_t ok = clsFileFind::DirExSuccess, invalid = clsFileFind::PathNameNotValid;
    // clang-format off
    const Case cases[] = {
        {"D:\\", false, ok, 3, "D:\\", {"D:\\top.txt", "D:\\dir\\", "D:\\dir\\below.txt"}},
        {"\\\\pc\\s\\", false, ok, 3, "\\\\pc\\s", {"\\\\pc\\s\\top.txt", "\\\\pc\\s\\dir\\", "\\\\pc\\s\\dir\\below.txt"}},
        {"C:\\Missing\\", false, invalid, 0, "", {}},
        {"C:\\Empty\\", false, clsFileFind::NoFilesFound, 0, "C:\\Empty", {}},
        // A folder named without its backslash is a name looked for below its parent; the folder
        // "sub" matches and is recorded as a folder, "other" does not.
        {"C:\\X\\sub", false, ok, 2, "C:\\X", {"C:\\X\\sub\\", "C:\\X\\other\\sub"}},
        {"C:\\X\\a.txt", false, ok, 2, "C:\\X", {"C:\\X\\a.txt", "C:\\X\\sub\\A.TXT"}},
        {"C:\\X\\*.txt", false, ok, 3, "C:\\X", {"C:\\X\\a.txt", "C:\\X\\B.TXT", "C:\\X\\sub\\A.TXT"}},
        {"C:\\X\\*.txt", true, ok, 1, "C:\\X", {"C:\\X\\a.txt"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + (c.caseSensitive ? " case-sensitive" : ""));
        FinderRig rig;
        for (const char* f :
             {"C:\\X\\a.txt", "C:\\X\\B.TXT", "C:\\X\\sub\\A.TXT", "C:\\X\\other\\sub", "D:\\top.txt",
              "D:\\dir\\below.txt", "\\\\pc\\s\\top.txt", "\\\\pc\\s\\dir\\below.txt"})
            rig.fs.addFile(f);
        rig.fs.addFolder("C:\\Empty");
        rig.finder.SearchFile(c.path, true, c.caseSensitive);
        EXPECT_EQ(rig.finished, std::make_pair(c.flag, c.files));
        EXPECT_EQ(rig.folders.empty() ? "" : rig.folders.front(), c.firstFolder);
        EXPECT_EQ(rig.recorded(), c.recorded);
    }
}

TEST_F(FileFinderTest, WithoutRecursionOnlyTheStartFolderIsReadAndAnEmptyPathLeavesTheOtherFields) {
    fs.addFile("C:\\Data\\a.txt");
    fs.addFile("C:\\Data\\sub\\b.txt");
    finder.SearchFile("C:\\Data\\", false, true);
    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\a.txt"));
    EXPECT_EQ(std::count(fs.listed.begin(), fs.listed.end(), "C:\\Data\\sub\\"), 0);
    finder.SearchFile("", true, false);
    EXPECT_EQ(finished, std::make_pair(clsFileFind::PathNameNotValid, 2));  // a.txt and the folder sub
    EXPECT_TRUE(finder.CaseSensitive());
    EXPECT_FALSE(finder.RecursiveSearch());
    EXPECT_EQ(state.StartFileList.size(), 2u);
}

// A folder exception is a prefix of the folder path with its backslash: without one it also covers
// the folders it prefixes. Excluded folders are neither announced nor entered. Case, empty paths and
// the kinds' spelling are the exception index's rules, checked there.

TEST(FileFinderFolderExceptions, CoverEveryFolderPathTheyPrefix) {
    const std::vector<std::string> all = {"C:\\D", "C:\\D\\T", "C:\\D\\T2", "C:\\D\\U", "C:\\D\\U\\deep"};
    const struct {
        std::string start;
        std::string exception;
        std::vector<std::string> folders;  // the visited folders, each holding the one file f
    } cases[] = {
        {"C:\\D\\", "C:\\D\\T", {all[0], all[3], all[4]}},
        {"C:\\D\\", "C:\\D\\T\\", {all[0], all[2], all[3], all[4]}},
        {"C:\\D\\U\\deep\\", "C:\\D\\U", {}},  // above the start folder
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start + " " + c.exception);
        FinderRig rig;
        for (const std::string& folder : all) rig.fs.addFile(folder + "\\f");
        rig.state.FileExceptions.push_back({c.exception, "Folder"});
        rig.scan(c.start);
        EXPECT_EQ(rig.folders, c.folders);
        // Each folder below the start is an entry, before its file.
        std::vector<std::string> entries;
        for (const std::string& folder : c.folders) {
            if (folder + "\\" != c.start) entries.push_back(folder + "\\");
            entries.push_back(folder + "\\f");
        }
        EXPECT_EQ(rig.recorded(), entries);
    }
}

TEST_F(FileFinderTest, ExceptionsAndTargetListAreReadAfreshAfterEveryYield) {
    fs.addFile("C:\\Data\\a.txt");
    fs.addFile("C:\\Data\\sub1\\b.txt");
    fs.addFile("C:\\Data\\sub2\\c.txt");
    fs.addFile("C:\\Data\\sub2\\d.txt");
    // Yields: 1 Data, 2-6 its entries (., .., a.txt, sub1, sub2), 7 sub1, 8-10, 11 sub2, 12-15.
    yielder.at[7] = [this] {
        // A handler replaces both lists outright, as the dialog's OK and
        // Stop/Reset do; nothing may still point into the old ones.
        state.FileExceptions = std::vector<FileException>{{}, {"C:\\Data\\sub2\\d.txt", "File"}};
        state.StartFileList = FileSnapshot(1);
        state.StartFileList.shrink_to_fit();
    };
    scan("C:\\Data\\");
    EXPECT_THAT(recordedFiles(), ElementsAre("C:\\Data\\sub1\\b.txt", "C:\\Data\\sub2\\c.txt"));
}

TEST(FileFinderStop, StopEndsTheWalkBeforeTheNextFolderAndStopSearchAtTheNextCheck) {
    struct Case {
        long at;  // the yield that presses Stop (StopDetect) or calls StopSearch; 0 for none
        bool stopSearch;
        int32_t flag, files;
        std::vector<std::string> recorded;
        long yields;
    };
    constexpr int32_t ok = clsFileFind::DirExSuccess;
    // Yields: 1 folder S; 2-6 its entries (., .., a.txt, sub1, sub2); 7 folder sub1; 8-10 its
    // entries; 11 folder sub2; 12-14.
    // clang-format off
    const Case cases[] = {
        {0, false, ok, 5, {"C:\\S\\a.txt", "C:\\S\\sub1\\", "C:\\S\\sub1\\b.txt", "C:\\S\\sub2\\", "C:\\S\\sub2\\c.txt"}, 14},
        {1, false, clsFileFind::NoFilesFound, 0, {}, 1},
        {3, false, ok, 3, {"C:\\S\\a.txt"}, 7},  // the folder being listed finishes
        {7, false, ok, 3, {"C:\\S\\a.txt"}, 7},  // sub1's file step never starts
        {8, true, clsFileFind::UserCanceled, 3, {"C:\\S\\a.txt", "C:\\S\\sub1\\"}, 8},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.at);
        FinderRig rig;
        for (const char* f : {"C:\\S\\a.txt", "C:\\S\\sub1\\b.txt", "C:\\S\\sub2\\c.txt"}) rig.fs.addFile(f);
        if (c.at)
            rig.yielder.at[c.at] = [&rig, &c] {
                if (c.stopSearch)
                    rig.finder.StopSearch();
                else
                    rig.state.StopDetect = true;
            };
        rig.scan("C:\\S\\");
        EXPECT_EQ(rig.recorded(), c.recorded);
        EXPECT_EQ(rig.finished, std::make_pair(c.flag, c.files));
        EXPECT_EQ(rig.yielder.count, c.yields);  // and so no folder is listed after the stop
    }
}

TEST_F(FileFinderTest, MoreThan32760SubfoldersAndPathsOfMoreThan260CharactersAreWalked) {
    constexpr int kFolders = 32'770;
    fs.addFolder("C:\\Big");
    for (int i = 0; i < kFolders; ++i) fs.addFolder("C:\\Big\\d" + std::to_string(i));
    fs.addFile("C:\\Big\\d0\\first.txt");
    std::string deep = "C:\\Big\\d32769";
    size_t levels = 0;
    for (; deep.size() < 300; ++levels) deep += "\\" + std::string(40, 'd');
    fs.addFile(deep + "\\last.txt");
    scan("C:\\Big\\");
    EXPECT_EQ(folders.size(), kFolders + 1 + levels);
    EXPECT_THAT(recordedFiles(), ElementsAre("C:\\Big\\d0\\first.txt", deep + "\\last.txt"));
    EXPECT_EQ(recorded().size(), 2 + kFolders + levels);
    EXPECT_EQ(finished->first, clsFileFind::DirExSuccess);
}

TEST_F(FileFinderTest, DateIsTheSourcesTextAndAnUnreadableOneIsReportedAndLeftEmpty) {
    const uint64_t bad = fileTime(2024, 1, 1, 1, 1, 1), good = fileTime(2020, 2, 29, 8, 9, 10);
    fs.addFile("C:\\Data\\a.txt", 7);
    fs.addFile("C:\\Data\\vanished.txt", 0, bad);
    fs.addFile("C:\\Data\\sub\\c.txt", 0, good);
    fs.failModifiedTextFor(bad);
    view.keepStatusHistory = true;
    scan("C:\\Data\\");
    // The size and attributes come from the same listing as the date.
    ASSERT_EQ(state.StartFileList.size(), 5u);
    EXPECT_EQ(state.StartFileList[1].Size, 7u);
    EXPECT_EQ(state.StartFileList[1].Attributes, kAttrArchive);
    for (FileSnapshotEntry& e : state.StartFileList) e.Size = kUnknownFileSize, e.Attributes = kUnknownFileAttributes;
    EXPECT_EQ(state.StartFileList,
              (FileSnapshot{{},
                            {"C:\\Data\\a.txt", FakeFileSystem::textOf(kDefaultFileTime)},
                            {"C:\\Data\\vanished.txt", ""},
                            {"C:\\Data\\sub\\", FakeFileSystem::textOf(0)},
                            {"C:\\Data\\sub\\c.txt", FakeFileSystem::textOf(good)}}));
    EXPECT_TRUE(reporter.LineTextsLoaded());  // the reporter was called
    // The status names each file recorded with its date.
    EXPECT_THAT(view.statusHistory, ElementsAre("Getting file system data: C:\\Data\\a.txt",
                                                "Getting file system data: C:\\Data\\sub\\",
                                                "Getting file system data: C:\\Data\\sub\\c.txt"));
    EXPECT_EQ(finished->first, clsFileFind::DirExSuccess);
}

TEST(FileFinderFailures, GiveDirExFailedUnreportedAndKeepWhatWasRecorded) {
    FinderRig split;
    split.fs.addFile("C:\\Data\\a.txt");
    split.fs.failFullPath = true;
    split.scan("C:\\Data\\");
    EXPECT_EQ(split.finder.ResultFlag(), clsFileFind::DirExFailed);
    EXPECT_EQ(split.state.StartFileList.size(), 1u);

    FinderRig walk;
    for (const char* f : {"C:\\Data\\a.txt", "C:\\Data\\bad\\b.txt", "C:\\Data\\later\\c.txt"})
        walk.fs.addFile(f);
    walk.fs.failListOf = "C:\\Data\\bad\\";
    walk.scan("C:\\Data\\");
    EXPECT_EQ(walk.finished->first, clsFileFind::DirExFailed);
    EXPECT_THAT(walk.recorded(), ElementsAre("C:\\Data\\a.txt", "C:\\Data\\bad\\"));
    EXPECT_TRUE(walk.prompt.calls.empty());
}

TEST(FileFinderHelpers, QualifyKeepsOnlyADriveRootsBackslashAndRootLengthEndsAfterDriveOrShare) {
    // Folders of the start path (a drive root, a share, C:\Data\) are held by the start-path table.
    const std::pair<const char*, const char*> qualified[] = {
        {"", ""}, {"C:", "C:\\"}, {"C:\\Data", "C:\\Data"}, {"\\\\?\\C:\\", "\\\\?\\C:\\"}};
    for (const auto& [path, expected] : qualified) EXPECT_EQ(clsFileFind::Qualify(path), expected) << path;
    const std::pair<const char*, size_t> roots[] = {
        {"C:\\Data\\x", 3},     {"\\\\server\\share\\dir", 15},         {"\\\\server\\share", 14},
        {"\\\\?\\C:\\Data", 7}, {"\\\\?\\UNC\\server\\share\\dir", 21}, {"relative\\dir", 0}};
    for (const auto& [path, length] : roots) EXPECT_EQ(clsFileFind::RootLength(path), length) << path;
}

TEST(FileSpecMatch, WildcardsAndCase) {
    const struct {
        const char* spec;
        const char* name;
        bool caseSensitive, matches;
    } cases[] = {
        // clang-format off
        {"*.*", "noextension", true, true}, {"*", "", false, true}, {"a?c", "abc", true, true}, {"a?c", "ac", true, false},
        {"a*b*c", "axxbyybzc", true, true}, {"a*b*c", "axxbyyb", true, false},
        {"*.", "name.", true, true}, {"sub", "sub2", false, false},
        // "?" stands for one character, however many bytes it takes.
        {"Gr??e.txt", "Gr\xC3\xBC\xC3\x9F" "e.txt", true, true},
        {"*\xE6\x97\xA5*", "x\xE6\x97\xA5" "y", true, true},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(matchesFileSpec(c.spec, c.name, c.caseSensitive), c.matches) << c.spec;
}

}  // namespace
}  // namespace qv

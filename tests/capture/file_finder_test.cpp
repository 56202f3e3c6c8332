#include "capture/file_finder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "tests/support/fakes/fake_file_system.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
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

struct FileFinderTest : ::testing::Test {
    AppState state;
    FailingFileSystem fs;
    testing::ScriptedYielder yielder;
    testing::ScriptedView view;
    testing::ScriptedPrompt prompt;
    ErrorReporter reporter{prompt};
    clsFileFind finder{state, fs, yielder, view, reporter};
    std::vector<std::string> folders;  // CurrentFolder, in order
    std::optional<std::pair<int32_t, int32_t>> finished;

    FileFinderTest() {
        state.StartFileListBoolean = true;
        finder.CurrentFolder = [this](std::string_view f) { folders.emplace_back(f); };
        finder.Finished = [this](int32_t flag, int32_t files) { finished = {flag, files}; };
    }

    void scan(const std::string& path) { finder.SearchFile(path, true); }

    std::vector<std::string> recorded(const FileSnapshot& list) const {
        std::vector<std::string> paths;
        for (size_t i = 1; i < list.size(); ++i) paths.push_back(list[i].Filepath);
        return paths;
    }
    std::vector<std::string> recorded() const { return recorded(state.StartFileList); }

    void addException(std::string path, std::string kind) {
        state.FileExceptions.push_back({std::move(path), std::move(kind)});
    }
};

// --- what is recorded, and in which order ---

TEST_F(FileFinderTest, RecordsAFoldersFilesBeforeItsSubfoldersInListingOrder) {
    fs.addFile("C:\\Data\\b.txt");
    fs.addFile("C:\\Data\\sub1\\x.txt");
    fs.addFile("C:\\Data\\a.txt");
    fs.addFile("C:\\Data\\sub2\\y\\z.txt");
    fs.addFile("C:\\Data\\sub1\\w.txt");
    fs.addFile("C:\\Data\\sub2\\c.txt");

    scan("C:\\Data\\");

    EXPECT_THAT(recorded(),
                ElementsAre("C:\\Data\\b.txt", "C:\\Data\\a.txt", "C:\\Data\\sub1\\x.txt",
                            "C:\\Data\\sub1\\w.txt", "C:\\Data\\sub2\\c.txt", "C:\\Data\\sub2\\y\\z.txt"));
    EXPECT_EQ(state.StartFileList[0], FileSnapshotEntry{});
    EXPECT_EQ(finder.ResultFlag(), clsFileFind::DirExSuccess);
    // Six files and the three folders that "*.*" also matches.
    EXPECT_EQ(finder.Files(), 9);
    EXPECT_EQ(finished, std::make_pair(clsFileFind::DirExSuccess, 9));
    EXPECT_THAT(folders, ElementsAre("C:\\Data", "C:\\Data\\sub1", "C:\\Data\\sub2", "C:\\Data\\sub2\\y"));
}

TEST_F(FileFinderTest, ModifiedDateIsTheSourcesTextOfTheListedTime) {
    const uint64_t t1 = fileTime(2023, 11, 5, 8, 9, 10);
    const uint64_t t2 = fileTime(2020, 2, 29);
    fs.addFile("C:\\Data\\one.bin", 10, t1);
    fs.addFile("C:\\Data\\two.bin", 20, t2);

    scan("C:\\Data\\");

    ASSERT_EQ(state.StartFileList.size(), 3u);
    EXPECT_EQ(state.StartFileList[1].ModifiedDate, FakeFileSystem::textOf(t1));
    EXPECT_EQ(state.StartFileList[2].ModifiedDate, "2020-02-29");
}

TEST_F(FileFinderTest, HiddenSystemAndReadOnlyFilesAreRecorded) {
    fs.addFile("C:\\Data\\hidden.txt", 1, kDefaultFileTime, kAttrHidden);
    fs.addFile("C:\\Data\\system.sys", 1, kDefaultFileTime, kAttrSystem | kAttrHidden);
    fs.addFile("C:\\Data\\readonly.txt", 1, kDefaultFileTime, kAttrReadOnly);
    fs.addFolder("C:\\Data\\HiddenDir", kAttrHidden | kAttrSystem);
    fs.addFile("C:\\Data\\HiddenDir\\inner.txt");

    scan("C:\\Data\\");

    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\hidden.txt", "C:\\Data\\system.sys",
                                        "C:\\Data\\readonly.txt", "C:\\Data\\HiddenDir\\inner.txt"));
}

TEST_F(FileFinderTest, FolderMatchingThePatternIsCountedButNeverRecorded) {
    fs.addFile("C:\\Data\\x1.txt");
    fs.addFile("C:\\Data\\xdir\\xa.txt");
    fs.addFile("C:\\Data\\xdir\\b.txt");
    fs.addFile("C:\\Data\\other.txt");

    scan("C:\\Data\\x*");

    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\x1.txt", "C:\\Data\\xdir\\xa.txt"));
    EXPECT_EQ(finder.Files(), 3);  // x1.txt, the folder xdir, xa.txt
}

TEST_F(FileFinderTest, TargetListKeepsItsEmptyFirstElementAndGrowsByTheRecordedFiles) {
    for (int i = 0; i < 25; ++i) fs.addFile("C:\\Data\\f" + std::to_string(i));

    scan("C:\\Data\\");

    ASSERT_EQ(state.StartFileList.size(), 26u);
    EXPECT_EQ(state.StartFileList[0], FileSnapshotEntry{});
    EXPECT_EQ(state.StartFileList[25].Filepath, "C:\\Data\\f24");
    EXPECT_EQ(state.FinishFileList.size(), 1u);
}

TEST_F(FileFinderTest, FinalScanFillsTheFinishList) {
    fs.addFile("C:\\Data\\a.txt");
    state.StartFileListBoolean = false;

    scan("C:\\Data\\");

    EXPECT_THAT(recorded(state.FinishFileList), ElementsAre("C:\\Data\\a.txt"));
    EXPECT_EQ(state.StartFileList.size(), 1u);
}

TEST_F(FileFinderTest, StatusNamesEachRecordedFileAndEndsWithTheLast) {
    fs.addFile("C:\\Data\\a.txt");
    fs.addFile("C:\\Data\\sub\\last.txt");
    view.keepStatusHistory = true;

    scan("C:\\Data\\");

    EXPECT_THAT(view.statusHistory, ElementsAre("Getting file system data: C:\\Data\\a.txt",
                                                "Getting file system data: C:\\Data\\sub\\last.txt"));
    EXPECT_EQ(view.status, "Getting file system data: C:\\Data\\sub\\last.txt");
}

TEST_F(FileFinderTest, EmptyFolderIsVisitedAndAddsNothing) {
    fs.addFolder("C:\\Data\\empty");
    fs.addFile("C:\\Data\\z.txt");

    scan("C:\\Data\\");

    EXPECT_THAT(folders, ElementsAre("C:\\Data", "C:\\Data\\empty"));
    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\z.txt"));
}

TEST_F(FileFinderTest, OnlyEmptyFoldersGiveNoFilesFound) {
    fs.addFolder("C:\\Data");

    scan("C:\\Data\\");

    EXPECT_EQ(finished, std::make_pair(clsFileFind::NoFilesFound, 0));
    EXPECT_EQ(state.StartFileList.size(), 1u);
}

TEST_F(FileFinderTest, WithoutRecursionOnlyTheStartFolderIsRead) {
    fs.addFile("C:\\Data\\a.txt");
    fs.addFile("C:\\Data\\sub\\b.txt");

    finder.SearchFile("C:\\Data\\", false);

    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\a.txt"));
    EXPECT_FALSE(finder.RecursiveSearch());
    EXPECT_EQ(std::count(fs.listed.begin(), fs.listed.end(), "C:\\Data\\sub\\"), 0);
}

TEST_F(FileFinderTest, PathsOfMoreThan260CharactersAreScanned) {
    std::string deep = "C:\\Long";
    while (deep.size() < 300) deep += "\\" + std::string(40, 'd');
    fs.addFile(deep + "\\file.txt");

    scan("C:\\Long\\");

    EXPECT_THAT(recorded(), ElementsAre(deep + "\\file.txt"));
}

// --- the start path ---

TEST_F(FileFinderTest, DriveRootIsSearchedAsTheRoot) {
    fs.addFile("D:\\top.txt");
    fs.addFile("D:\\dir\\below.txt");

    scan("D:\\");

    EXPECT_THAT(recorded(), ElementsAre("D:\\top.txt", "D:\\dir\\below.txt"));
    EXPECT_THAT(folders, ElementsAre("D:\\", "D:\\dir"));
}

TEST_F(FileFinderTest, ShareRootIsSearchedAsTheRoot) {
    fs.addFile("\\\\server\\share\\top.txt");
    fs.addFile("\\\\server\\share\\dir\\below.txt");

    scan("\\\\server\\share\\");

    EXPECT_THAT(recorded(), ElementsAre("\\\\server\\share\\top.txt", "\\\\server\\share\\dir\\below.txt"));
}

TEST_F(FileFinderTest, MissingStartFolderGivesPathNameNotValidAndRecordsNothing) {
    fs.addFile("C:\\Data\\a.txt");

    scan("C:\\Missing\\");

    EXPECT_EQ(finished, std::make_pair(clsFileFind::PathNameNotValid, 0));
    EXPECT_EQ(state.StartFileList.size(), 1u);
    EXPECT_TRUE(folders.empty());
}

TEST_F(FileFinderTest, PatternInAMissingFolderGivesPathNameNotValid) {
    fs.addFile("C:\\Data\\a.txt");

    scan("C:\\Missing\\*.txt");

    EXPECT_EQ(finder.ResultFlag(), clsFileFind::PathNameNotValid);
    EXPECT_EQ(state.StartFileList.size(), 1u);
}

TEST_F(FileFinderTest, EmptyPathGivesPathNameNotValidAndLeavesTheOtherFields) {
    fs.addFile("C:\\Data\\a.txt");
    finder.SearchFile("C:\\Data\\", false, true);
    ASSERT_EQ(finder.Files(), 1);

    finder.SearchFile("", true, false);

    EXPECT_EQ(finished, std::make_pair(clsFileFind::PathNameNotValid, 1));
    EXPECT_EQ(finder.Files(), 1);
    EXPECT_TRUE(finder.CaseSensitive());
    EXPECT_FALSE(finder.RecursiveSearch());
    EXPECT_EQ(state.StartFileList.size(), 2u);
}

TEST_F(FileFinderTest, FolderPathWithoutBackslashIsANameLookedForBelowItsParent) {
    fs.addFile("C:\\Data\\sub\\inside.txt");
    fs.addFile("C:\\Data\\other\\sub");
    fs.addFile("C:\\Data\\top.txt");

    scan("C:\\Data\\sub");

    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\other\\sub"));
    EXPECT_EQ(finder.Files(), 2);  // the folder sub and the file sub
    EXPECT_EQ(folders.front(), "C:\\Data");
}

TEST_F(FileFinderTest, StartPathNamingAFileRecordsThatNameInEveryFolder) {
    fs.addFile("C:\\Data\\a.txt");
    fs.addFile("C:\\Data\\b.txt");
    fs.addFile("C:\\Data\\sub\\A.TXT");

    scan("C:\\Data\\a.txt");

    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\a.txt", "C:\\Data\\sub\\A.TXT"));
}

TEST_F(FileFinderTest, WildcardPatternIgnoresCaseUnlessCaseSensitive) {
    fs.addFile("C:\\Data\\a.txt");
    fs.addFile("C:\\Data\\B.TXT");
    fs.addFile("C:\\Data\\c.doc");
    fs.addFile("C:\\Data\\sub\\d.txt");

    scan("C:\\Data\\*.txt");
    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\a.txt", "C:\\Data\\B.TXT", "C:\\Data\\sub\\d.txt"));

    state.StartFileList = FileSnapshot(1);
    finder.SearchFile("C:\\Data\\*.txt", true, true);
    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\a.txt", "C:\\Data\\sub\\d.txt"));
    EXPECT_TRUE(finder.CaseSensitive());
}

TEST_F(FileFinderTest, RelativeStartPathIsTakenFromTheCurrentDirectory) {
    fs.currentDirectory = "C:\\Work\\";
    fs.addFile("C:\\Work\\Data\\a.txt");

    scan("Data\\");

    EXPECT_THAT(recorded(), ElementsAre("C:\\Work\\Data\\a.txt"));
}

// --- exceptions ---

TEST_F(FileFinderTest, FileExceptionExcludesOnlyTheExactCaseSensitivePath) {
    fs.addFile("C:\\Data\\keep.txt");
    fs.addFile("C:\\Data\\skip.txt");
    fs.addFile("C:\\Data\\Other.txt");
    addException("C:\\Data\\skip.txt", "File");
    addException("C:\\Data\\other.txt", "File");  // differs in case only
    addException("C:\\Data\\keep", "File");       // a prefix is no match

    scan("C:\\Data\\");

    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\keep.txt", "C:\\Data\\Other.txt"));
    EXPECT_EQ(finder.Files(), 3);  // counted before the exception test
}

TEST_F(FileFinderTest, FolderExceptionWithoutBackslashCoversEveryFolderItPrefixes) {
    for (const char* dir : {"Temp", "Temp2", "Temporary", "Tem", "Other"}) {
        fs.addFile(std::string("C:\\") + dir + "\\f.txt");
        fs.addFile(std::string("C:\\") + dir + "\\deep\\g.txt");
    }
    addException("C:\\Temp", "Folder");

    scan("C:\\");

    EXPECT_THAT(recorded(), ElementsAre("C:\\Tem\\f.txt", "C:\\Tem\\deep\\g.txt", "C:\\Other\\f.txt",
                                        "C:\\Other\\deep\\g.txt"));
    EXPECT_THAT(folders, ElementsAre("C:\\", "C:\\Tem", "C:\\Tem\\deep", "C:\\Other", "C:\\Other\\deep"));
}

TEST_F(FileFinderTest, FolderExceptionsMatchWithCaseAndAnEndingBackslashLimitsThemToOneFolder) {
    for (const char* dir : {"Temp", "Temp2", "Temporary", "Skip"})
        fs.addFile(std::string("C:\\") + dir + "\\f.txt");
    const std::vector<std::string> all = {"C:\\Temp\\f.txt", "C:\\Temp2\\f.txt", "C:\\Temporary\\f.txt",
                                          "C:\\Skip\\f.txt"};
    const struct {
        std::vector<FileException> exceptions;
        std::vector<std::string> kept;
    } cases[] = {
        {{{"C:\\Temp\\", "Folder"}}, {all[1], all[2], all[3]}},
        {{{"C:\\skip\\", "Folder"}}, all},
        {{{"", "Folder"}, {"", "File"}, {"C:\\Skip\\f.txt", "file"}}, all},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exceptions[0].Path);
        state.FileExceptions = std::vector<FileException>(1);
        for (const auto& e : c.exceptions) state.FileExceptions.push_back(e);
        state.StartFileList = FileSnapshot(1);
        scan("C:\\");
        EXPECT_EQ(recorded(), c.kept);
    }
}

TEST_F(FileFinderTest, FolderExceptionAboveTheStartFolderLeavesTheSnapshotEmpty) {
    fs.addFile("C:\\Data\\sub\\a.txt");
    addException("C:\\Dat", "Folder");

    scan("C:\\Data\\sub\\");

    EXPECT_EQ(state.StartFileList.size(), 1u);
    EXPECT_TRUE(folders.empty());  // no notification for an excluded folder
    EXPECT_EQ(finished, std::make_pair(clsFileFind::NoFilesFound, 0));
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
        std::vector<FileException> fresh(1);
        fresh.push_back({"C:\\Data\\sub2\\d.txt", "File"});
        state.FileExceptions = std::move(fresh);
        state.StartFileList = FileSnapshot(1);
        state.StartFileList.shrink_to_fit();
    };

    scan("C:\\Data\\");

    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\sub1\\b.txt", "C:\\Data\\sub2\\c.txt"));
}

// --- stopping ---

struct StopTest : FileFinderTest {
    StopTest() {
        fs.addFile("C:\\S\\a.txt");
        fs.addFile("C:\\S\\sub1\\b.txt");
        fs.addFile("C:\\S\\sub2\\c.txt");
        // Yields: 1 folder S; 2-6 its entries (., .., a.txt, sub1, sub2); 7 folder sub1; 8-10 its
        // entries; 11 folder sub2; 12-14.
    }
};

TEST_F(StopTest, YieldsAtEveryFolderStepAndEveryEntry) {
    scan("C:\\S\\");
    EXPECT_EQ(yielder.count, 14);
    finder.ResultFlag();
    EXPECT_EQ(yielder.count, 15);
}

TEST_F(StopTest, StopDuringAFoldersListingLetsThatFolderFinish) {
    yielder.at[3] = [this] { state.StopDetect = true; };

    scan("C:\\S\\");

    EXPECT_THAT(recorded(), ElementsAre("C:\\S\\a.txt"));
    EXPECT_EQ(finished->first, clsFileFind::DirExSuccess);
}

TEST_F(StopTest, FolderWhoseFileStepStartsAfterTheStopAddsNothing) {
    yielder.at[7] = [this] { state.StopDetect = true; };

    scan("C:\\S\\");

    EXPECT_THAT(recorded(), ElementsAre("C:\\S\\a.txt"));
    // The walk ends rather than listing folders it may not record from.
    EXPECT_EQ(std::count(fs.listed.begin(), fs.listed.end(), "C:\\S\\sub2\\"), 0);
}

TEST_F(StopTest, StopBeforeTheFirstFileStepRecordsNothing) {
    yielder.at[1] = [this] { state.StopDetect = true; };

    scan("C:\\S\\");

    EXPECT_EQ(state.StartFileList.size(), 1u);
    EXPECT_EQ(finished, std::make_pair(clsFileFind::NoFilesFound, 0));
}

TEST_F(StopTest, StopSearchEndsTheWalkAtTheNextCheckWithUserCanceled) {
    yielder.at[8] = [this] { finder.StopSearch(); };

    scan("C:\\S\\");

    EXPECT_THAT(recorded(), ElementsAre("C:\\S\\a.txt"));
    EXPECT_EQ(finished, std::make_pair(clsFileFind::UserCanceled, 3));
    EXPECT_EQ(yielder.count, 8);
}

// --- the walk's limits and failures ---

TEST_F(FileFinderTest, MoreThan32760SubfoldersAreAllVisited) {
    constexpr int kFolders = 32'770;
    fs.addFolder("C:\\Big");
    for (int i = 0; i < kFolders; ++i) fs.addFolder("C:\\Big\\d" + std::to_string(i));
    fs.addFile("C:\\Big\\d0\\first.txt");
    fs.addFile("C:\\Big\\d32769\\last.txt");

    scan("C:\\Big\\");

    EXPECT_EQ(folders.size(), static_cast<size_t>(kFolders + 1));
    EXPECT_THAT(recorded(), ElementsAre("C:\\Big\\d0\\first.txt", "C:\\Big\\d32769\\last.txt"));
    EXPECT_EQ(finished->first, clsFileFind::DirExSuccess);
}

TEST_F(FileFinderTest, ReparsePointFolderIsNeitherEnteredNorRecorded) {
    fs.addFolder("C:\\Data\\loop", kAttrReparsePoint);
    fs.addFile("C:\\Data\\loop\\inside.txt");
    fs.addFile("C:\\Data\\real\\f.txt");
    fs.addFile("C:\\Data\\linked.txt", 0, kDefaultFileTime, kAttrReparsePoint);  // a file link is a file

    scan("C:\\Data\\");

    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\linked.txt", "C:\\Data\\real\\f.txt"));
    EXPECT_EQ(std::count(fs.listed.begin(), fs.listed.end(), "C:\\Data\\loop\\"), 0);
    EXPECT_EQ(finder.Files(), 4);  // loop, real, linked.txt, f.txt
}

TEST_F(FileFinderTest, EachFolderIsListedOnceAndClosedBeforeItsSubfolders) {
    fs.addFile("C:\\Data\\a.txt");
    fs.addFile("C:\\Data\\s1\\b.txt");
    fs.addFile("C:\\Data\\s1\\t\\c.txt");
    fs.addFile("C:\\Data\\s2\\d.txt");

    scan("C:\\Data\\");

    // The start folder once more for the start-path split, which reads one entry.
    EXPECT_THAT(fs.listed, ElementsAre("C:\\Data\\", "C:\\Data\\", "C:\\Data\\s1\\", "C:\\Data\\s1\\t\\",
                                       "C:\\Data\\s2\\"));
    EXPECT_EQ(fs.maxOpenListings, 1);
    EXPECT_EQ(fs.openListings, 0);
}

TEST_F(FileFinderTest, UnlistableFolderGivesNothingAndTheWalkGoesOn) {
    fs.addFile("C:\\Data\\locked\\secret.txt");
    fs.addFile("C:\\Data\\open\\f.txt");
    fs.setUnlistable("C:\\Data\\locked");

    scan("C:\\Data\\");

    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\open\\f.txt"));
    EXPECT_THAT(folders, ElementsAre("C:\\Data", "C:\\Data\\locked", "C:\\Data\\open"));
    EXPECT_TRUE(prompt.calls.empty());
    EXPECT_EQ(finished->first, clsFileFind::DirExSuccess);
}

TEST_F(FileFinderTest, UnreadableDateIsReportedAndLeavesTheDateEmpty) {
    const uint64_t bad = fileTime(2024, 1, 1, 1, 1, 1);
    fs.addFile("C:\\Data\\a.txt");
    fs.addFile("C:\\Data\\vanished.txt", 0, bad);
    fs.addFile("C:\\Data\\sub\\c.txt");
    fs.failModifiedTextFor(bad);
    view.keepStatusHistory = true;

    scan("C:\\Data\\");

    ASSERT_EQ(state.StartFileList.size(), 4u);
    EXPECT_EQ(state.StartFileList[2].Filepath, "C:\\Data\\vanished.txt");
    EXPECT_EQ(state.StartFileList[2].ModifiedDate, "");
    EXPECT_EQ(state.StartFileList[3].Filepath, "C:\\Data\\sub\\c.txt");
    EXPECT_FALSE(state.StartFileList[3].ModifiedDate.empty());
    EXPECT_TRUE(reporter.LineTextsLoaded());  // the reporter was called
    EXPECT_THAT(view.statusHistory, ElementsAre("Getting file system data: C:\\Data\\a.txt",
                                                "Getting file system data: C:\\Data\\sub\\c.txt"));
    EXPECT_EQ(finished->first, clsFileFind::DirExSuccess);
}

TEST_F(FileFinderTest, FailureInTheStartPathSplitGivesDirExFailed) {
    fs.addFile("C:\\Data\\a.txt");
    fs.failFullPath = true;
    scan("C:\\Data\\");
    EXPECT_EQ(finder.ResultFlag(), clsFileFind::DirExFailed);
    EXPECT_EQ(state.StartFileList.size(), 1u);
}

TEST_F(FileFinderTest, FailureInTheWalkGivesDirExFailedAndKeepsWhatWasRecorded) {
    fs.addFile("C:\\Data\\a.txt");
    fs.addFile("C:\\Data\\bad\\b.txt");
    fs.addFile("C:\\Data\\later\\c.txt");
    fs.failListOf = "C:\\Data\\bad\\";
    scan("C:\\Data\\");
    EXPECT_EQ(finished->first, clsFileFind::DirExFailed);
    EXPECT_THAT(recorded(), ElementsAre("C:\\Data\\a.txt"));
    EXPECT_TRUE(prompt.calls.empty());
}

// --- helpers ---

TEST(FileFinderHelpers, QualifyKeepsOnlyADriveRootsBackslash) {
    EXPECT_EQ(clsFileFind::Qualify(""), "");
    EXPECT_EQ(clsFileFind::Qualify("C:"), "C:\\");
    EXPECT_EQ(clsFileFind::Qualify("C:\\"), "C:\\");
    EXPECT_EQ(clsFileFind::Qualify("C:\\Data\\"), "C:\\Data");
    EXPECT_EQ(clsFileFind::Qualify("C:\\Data"), "C:\\Data");
    EXPECT_EQ(clsFileFind::Qualify("\\\\server\\share\\"), "\\\\server\\share");
    EXPECT_EQ(clsFileFind::Qualify("\\\\?\\C:\\"), "\\\\?\\C:\\");
}

TEST(FileFinderHelpers, RootLengthStopsAtTheDriveOrShare) {
    EXPECT_EQ(clsFileFind::RootLength("C:\\Data\\x"), 3u);
    EXPECT_EQ(clsFileFind::RootLength("\\\\server\\share\\dir"), 15u);
    EXPECT_EQ(clsFileFind::RootLength("\\\\server\\share"), 14u);
    EXPECT_EQ(clsFileFind::RootLength("\\\\?\\C:\\Data"), 7u);
    EXPECT_EQ(clsFileFind::RootLength("\\\\?\\UNC\\server\\share\\dir"), 21u);
    EXPECT_EQ(clsFileFind::RootLength("relative\\dir"), 0u);
}

TEST(FileSpecMatch, StarDotStarAndStarMatchEveryName) {
    for (const char* name : {"a", "a.b", "noextension", ".hidden", "x.y.z", ""}) {
        EXPECT_TRUE(matchesFileSpec("*.*", name, true)) << name;
        EXPECT_TRUE(matchesFileSpec("*", name, false)) << name;
    }
}

TEST(FileSpecMatch, WildcardsAndCase) {
    EXPECT_TRUE(matchesFileSpec("*.txt", "Read.Me.TXT", false));
    EXPECT_FALSE(matchesFileSpec("*.txt", "Read.Me.TXT", true));
    EXPECT_TRUE(matchesFileSpec("a?c", "abc", true));
    EXPECT_FALSE(matchesFileSpec("a?c", "ac", true));
    EXPECT_TRUE(matchesFileSpec("a*b*c", "axxbyybzc", true));
    EXPECT_FALSE(matchesFileSpec("a*b*c", "axxbyyb", true));
    EXPECT_TRUE(matchesFileSpec("*.", "name.", true));
    EXPECT_FALSE(matchesFileSpec("sub", "sub2", false));
    // "?" stands for one character, however many bytes it takes.
    EXPECT_TRUE(matchesFileSpec("Gr??e.txt",
                                "Gr\xC3\xBC\xC3\x9F"
                                "e.txt",
                                true));
    EXPECT_TRUE(matchesFileSpec("*\xE6\x97\xA5*",
                                "x\xE6\x97\xA5"
                                "y",
                                true));
}

}  // namespace
}  // namespace qv

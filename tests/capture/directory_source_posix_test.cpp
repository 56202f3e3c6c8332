#include "capture/directory_source_posix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/xattr.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "capture/file_finder.h"
#include "support/error_report.h"
#include "tests/capture/deep_chain_posix.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// A prefix with C: on drive_c, as wineboot lays it out.
class PosixDirectorySourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/quorvel-prefix.XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        prefix = dir;
        fs::create_directories(prefix / "drive_c" / "Program Files" / "App");
        fs::create_directories(prefix / "dosdevices");
        fs::create_symlink("../drive_c", prefix / "dosdevices" / "c:");
        write("Program Files/App/b.txt", "12345");
        write("Program Files/App/A.dll", "");
        write("Program Files/App/.hidden", "x");
        write("Program Files/App/\xc3\xa9t\xc3\xa9.txt", "u");
        fs::create_directory_symlink(prefix / "drive_c", prefix / "drive_c" / "Program Files" / "App" / "loop");
        fs::create_symlink(prefix / "nowhere", prefix / "drive_c" / "Program Files" / "App" / "dangling");
    }
    void TearDown() override { fs::remove_all(prefix); }
    void write(const std::string& path, const std::string& text) {
        std::ofstream(prefix / "drive_c" / path) << text;
    }

    fs::path prefix;
};

TEST_F(PosixDirectorySourceTest, ListsAsWineShowsAFolder) {
    PosixDirectorySource source(prefix, DatePictures{});
    auto listing = source.list("c:\\program files\\APP\\");
    ASSERT_TRUE(listing);
    std::vector<std::pair<std::string, uint32_t>> seen;
    DirEntry e;
    while (listing->next(e)) seen.emplace_back(e.name, e.attributes);
    const std::vector<std::pair<std::string, uint32_t>> expected{
        {".", kAttrDirectory},
        {"..", kAttrDirectory},
        {".hidden", kAttrArchive | kAttrHidden},
        {"A.dll", kAttrArchive},
        {"b.txt", kAttrArchive},
        {"loop", kAttrDirectory | kAttrReparsePoint},
        {"\xc3\xa9t\xc3\xa9.txt", kAttrArchive}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(source.fileSize("C:\\Program Files\\App\\b.txt"), 5u);
    EXPECT_EQ(source.attributes("C:\\"), kAttrDirectory);
    EXPECT_FALSE(source.attributes("Q:\\"));
}

// A folder large enough to be described ahead by several threads lists the
// same as a small one: in order, with each file's own size and stored bits.
TEST_F(PosixDirectorySourceTest, ALargeFolderListsEveryFileWithItsOwnDetails) {
    fs::create_directories(prefix / "drive_c" / "Many");
    std::vector<std::pair<std::string, uint64_t>> expected{{".", 0}, {"..", 0}};
    std::vector<uint32_t> attributes{kAttrDirectory, kAttrDirectory};
    const bool xattrs = setxattr((prefix / "drive_c" / "Many").c_str(), "user.DOSATTRIB", "0x0", 3, 0) == 0;
    for (int i = 999; i >= 0; --i) {
        char name[16];
        std::snprintf(name, sizeof(name), "File%03d", i);
        write(std::string("Many/") + name, std::string(static_cast<size_t>(i % 7), 'x'));
        const char* stored = i % 3 == 0 ? "0x2" : i % 3 == 1 ? "0x4" : "0x20";
        if (xattrs) setxattr((prefix / "drive_c" / "Many" / name).c_str(), "user.DOSATTRIB", stored, 3 + (i % 3 == 2), 0);
    }
    for (int i = 0; i < 1000; ++i) {
        char name[16];
        std::snprintf(name, sizeof(name), "File%03d", i);
        expected.emplace_back(name, static_cast<uint64_t>(i % 7));
        attributes.push_back(kAttrArchive | (!xattrs ? 0 : i % 3 == 0 ? kAttrHidden : i % 3 == 1 ? kAttrSystem : 0));
    }
    PosixDirectorySource source(prefix, DatePictures{});
    auto listing = source.list("C:\\Many\\");
    ASSERT_TRUE(listing);
    std::vector<std::pair<std::string, uint64_t>> seen;
    std::vector<uint32_t> seenAttributes;
    DirEntry e;
    while (listing->next(e)) {
        seen.emplace_back(e.name, e.size);
        seenAttributes.push_back(e.attributes);
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(seenAttributes, attributes);
}

// The file finder's walk over the source, as a collection runs it.
struct PosixWalk {
    explicit PosixWalk(const fs::path& prefix) : source(prefix, DatePictures{}) { state.StartFileListBoolean = true; }
    // The files the finder records below `start`, without its folders' own entries.
    std::vector<std::string> files(const std::string& start) {
        state.StartFileList.clear();
        clsFileFind finder{state, source, yielder, view, reporter};
        finder.SearchFile(start, true);
        std::vector<std::string> paths;
        for (size_t i = 1; i < state.StartFileList.size(); ++i)
            if (state.StartFileList[i].Filepath.back() != '\\') paths.push_back(state.StartFileList[i].Filepath);
        return paths;
    }

    AppState state;
    PosixDirectorySource source;
    testing::ScriptedYielder yielder;
    testing::ScriptedView view;
    testing::ScriptedPrompt prompt;
    ErrorReporter reporter{prompt};
};

// Far past the length a path may have, every folder is listed, and a walk
// that climbs back above the folders it keeps open finds its way down again.
// (bench/deep_walk_bench times chains of up to 2,000 folders.)
TEST_F(PosixDirectorySourceTest, AChainDeeperThanAnyPathIsWalkedWhole) {
    constexpr int kDepth = 600, kSideAt = 300;
    fs::create_directories(prefix / "drive_c" / "deep");
    ASSERT_TRUE(testing::buildDeepChain((prefix / "drive_c" / "deep").string(), kDepth, kSideAt));
    std::string folder = "C:\\deep\\";
    std::string side;
    for (int i = 0; i < kDepth; ++i) {
        folder += testing::deepFolderName(i) + "\\";
        if (i == kSideAt) side = folder + "zz\\side.txt";
    }
    ASSERT_GT(folder.size(), 7000u);
    PosixWalk walk(prefix);
    const std::vector<std::string> files = walk.files("C:\\deep\\");
    // Compared whole, but not printed: each path is some 7,000 characters.
    EXPECT_EQ(files.size(), 2u);
    EXPECT_TRUE(files == (std::vector<std::string>{folder + "leaf.txt", side}));
    testing::removeDeepChain((prefix / "drive_c" / "deep").string(), kDepth, kSideAt);
}

// A folder moved between two walks is not listed again through what the
// first walk held open: the second lists what its path names then.
TEST_F(PosixDirectorySourceTest, EachWalkListsTheFoldersAsTheyAreThen) {
    fs::create_directories(prefix / "drive_c" / "t" / "a");
    write("t/a/old.txt", "");
    PosixWalk walk(prefix);
    EXPECT_EQ(walk.files("C:\\t\\"), (std::vector<std::string>{"C:\\t\\a\\old.txt"}));
    fs::rename(prefix / "drive_c" / "t" / "a", prefix / "drive_c" / "t" / "b");
    fs::create_directories(prefix / "drive_c" / "t" / "a");
    write("t/a/new.txt", "");
    EXPECT_EQ(walk.files("C:\\t\\"), (std::vector<std::string>{"C:\\t\\a\\new.txt", "C:\\t\\b\\old.txt"}));
    // and the listing alone, without the finder's question before a walk
    EXPECT_TRUE(walk.source.list("C:\\t\\"));
    EXPECT_TRUE(walk.source.list("C:\\t\\a\\"));
    fs::rename(prefix / "drive_c" / "t" / "a", prefix / "drive_c" / "t" / "c");
    fs::create_directories(prefix / "drive_c" / "t" / "a");
    EXPECT_TRUE(walk.source.list("C:\\t\\"));
    auto listing = walk.source.list("C:\\t\\a\\");
    ASSERT_TRUE(listing);
    DirEntry e;
    std::vector<std::string> names;
    while (listing->next(e)) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{".", ".."}));
}

TEST_F(PosixDirectorySourceTest, PathsAndDatesTakeTheWindowsForm) {
    PosixDirectorySource source(prefix, DatePictures{"yyyy-MM-dd", "HH:mm:ss", "AM", "PM"});
    EXPECT_EQ(source.fullPathName("c:\\Program Files\\.\\x\\..\\App\\"), "C:\\Program Files\\App\\");
    EXPECT_EQ(source.fullPathName("c:"), "C:\\");
    EXPECT_EQ(source.fullPathName("/tmp/x"), "Z:\\tmp\\x");
    setenv("TZ", "UTC", 1);
    tzset();
    // 2021-02-03 04:05:06 UTC as a FILETIME.
    const uint64_t ticks = (1612325106ull + 11644473600ull) * 10'000'000ull;
    EXPECT_EQ(source.modifiedText(ticks), "2021-02-03 04:05:06");
}

}  // namespace
}  // namespace qv

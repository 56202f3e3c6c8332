#include "capture/directory_source_posix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/xattr.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

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

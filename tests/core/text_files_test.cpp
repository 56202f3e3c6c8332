#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <string>
#include <vector>

#include "core/split_string.h"
#include "core/whole_file.h"

namespace qv {
namespace {

TEST(SplitString, GivesOnePieceMoreThanSeparatorsUntrimmed) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        // clang-format off
        {"a,b,", {"a", "b", ""}}, {"", {""}}, {",", {"", ""}}, {" a , b", {" a ", " b"}},
        {"1,0,1,1,0,1\r\n", {"1", "0", "1", "1", "0", "1\r\n"}},
        // clang-format on
    };
    std::vector<std::string> out{"left", "over"};
    for (const auto& [text, pieces] : cases) {
        SplitString(text, ',', out);
        EXPECT_EQ(out, pieces) << text;
    }
}

#ifndef _WIN32
// What stands at the path stays what it was: a link keeps pointing at its
// file, which gets the new bytes; a pipe gets them through; a file keeps who
// may read it.
TEST(WholeFile, ReplacingKeepsLinksPipesAndPermissions) {
    namespace fs = std::filesystem;
    const auto dir = fs::temp_directory_path() / "quorvel-whole-file-kinds";
    fs::remove_all(dir);
    fs::create_directories(dir / "sub");
    const fs::path file = dir / "sub" / "real.txt";
    ASSERT_TRUE(replaceWholeFile(file.string(), "old"));
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
    fs::create_symlink("sub/real.txt", dir / "link");
    fs::create_symlink(dir / "link", dir / "link-to-link");

    ASSERT_TRUE(replaceWholeFile((dir / "link-to-link").string(), "new"));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "link-to-link")));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "link")));
    EXPECT_EQ(readWholeFile(file.string()), "new");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    const fs::path pipe = dir / "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] {
        std::ifstream in(pipe, std::ios::binary);
        received.assign(std::istreambuf_iterator<char>(in), {});
    });
    EXPECT_TRUE(replaceWholeFile(pipe.string(), "through the pipe"));
    reader.join();
    EXPECT_EQ(received, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(pipe)));
    fs::remove_all(dir);
}
#endif

TEST(WholeFile, ReplacementKeepsNoTemporaryAndFailureKeepsTheOldFile) {
    const auto dir = std::filesystem::temp_directory_path() / "quorvel-whole-file-test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "data.dat").string();

    ASSERT_TRUE(replaceWholeFile(path, "a much longer old content"));
    ASSERT_TRUE(replaceWholeFile(path, "x\r\n"));
    EXPECT_EQ(readWholeFile(path), "x\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

    EXPECT_TRUE(regularFileExists(path));
    EXPECT_FALSE(regularFileExists(dir.string()));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace qv

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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
    // and who owns it, where the writer may give it away (as root).
    if (geteuid() == 0 && chown(file.c_str(), 65534, 65534) == 0) {
        ASSERT_TRUE(replaceWholeFile(file.string(), "owned"));
        struct stat owner {};
        ASSERT_EQ(stat(file.c_str(), &owner), 0);
        EXPECT_EQ(owner.st_uid, 65534u);
        EXPECT_EQ(owner.st_gid, 65534u);
    }

    const fs::path pipe = dir / "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] {
        std::ifstream in(pipe, std::ios::binary);
        received.assign(std::istreambuf_iterator<char>(in), {});
    });
    EXPECT_TRUE(replaceWholeFile(pipe.string(), "through the pipe"));
    // Had nothing been written, the reader would still wait for a writer.
    if (const int unblock = open(pipe.c_str(), O_WRONLY | O_NONBLOCK); unblock >= 0) close(unblock);
    reader.join();
    EXPECT_EQ(received, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(pipe)));

    // Links that lead round in a loop are refused, and stay.
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    std::string why;
    EXPECT_FALSE(replaceWholeFile((dir / "loop-a").string(), "x", &why));
    EXPECT_EQ(why, "its links lead round in a loop");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "loop-a")));

    // A link whose text names no file, as /dev/stdout's does when standard
    // output is a pipe: the system follows it to the pipe.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    fs::create_symlink("/proc/self/fd/" + std::to_string(ends[1]), dir / "stdout");
    EXPECT_TRUE(replaceWholeFile((dir / "stdout").string(), "to standard output"));
    close(ends[1]);
    char got[64] = {};
    EXPECT_EQ(read(ends[0], got, sizeof got), 18);
    EXPECT_STREQ(got, "to standard output");
    close(ends[0]);
    fs::remove_all(dir);
}

// A new file is as open as the umask lets it be, as `>` in a shell makes it.
TEST(WholeFile, ANewFileTakesItsModeFromTheUmask) {
    namespace fs = std::filesystem;
    const auto dir = fs::temp_directory_path() / "quorvel-whole-file-umask";
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
        const mode_t was = umask(mask);
        const fs::path file = dir / ("new-" + std::to_string(mask));
        const bool written = replaceWholeFile(file.string(), "x");
        umask(was);
        ASSERT_TRUE(written);
        struct stat st {};
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << mask;
    }
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

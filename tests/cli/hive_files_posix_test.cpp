// The prefix's registry files as quorvel-cli meets them on a real disk: what
// stands in a file's place but is no file is refused at once, naming it.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/cli/cli_process_posix.h"

namespace qv::cli {
namespace {

namespace fs = std::filesystem;

enum class Stand { Pipe, Device, LinkLoop, Folder };

struct HiveCase {
    const char* file;
    Stand stand;
    const char* reason;
};

class HiveFileInPlace : public ::testing::TestWithParam<HiveCase> {
protected:
    HiveFileInPlace() {
        fs::remove_all(root_);
        fs::create_directories(prefix_);
        std::ofstream(prefix_ / "system.reg") << "WINE REGISTRY Version 2\n[Software\\\\qv] 1\n\"a\"=\"b\"\n";
    }
    ~HiveFileInPlace() override { fs::remove_all(root_); }

    const fs::path root_ = fs::temp_directory_path() / ("quorvel-hive-files-test-" + std::to_string(getpid()));
    const fs::path prefix_ = root_ / "pfx";
};

TEST_P(HiveFileInPlace, IsRefusedAtOnceNamingTheFile) {
    const HiveCase& c = GetParam();
    const fs::path file = prefix_ / c.file;
    fs::remove(file);
    switch (c.stand) {
        case Stand::Pipe:
            ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
            break;
        case Stand::Device:
            fs::create_symlink("/dev/null", file);
            break;
        case Stand::LinkLoop:
            fs::create_symlink(prefix_ / "other", file);
            fs::create_symlink(file, prefix_ / "other");
            break;
        case Stand::Folder:
            fs::create_directory(file);
            break;
    }
    // A reader that waited on the pipe would never return: the deadline ends it.
    testing::CliProcess cli({"snapshot", "--prefix", prefix_.string(), "--reg", "HKLM\\Software\\qv", "-o",
                    (root_ / "s.qvs").string()},
                   root_);
    EXPECT_EQ(cli.finish(std::chrono::seconds(10)), 2);
    EXPECT_EQ(cli.err(), "quorvel-cli: cannot read " + file.string() + ": " + c.reason + "\n");
    EXPECT_FALSE(fs::exists(root_ / "s.qvs"));
}

INSTANTIATE_TEST_SUITE_P(
    EachHive, HiveFileInPlace,
    ::testing::Values(HiveCase{"system.reg", Stand::Pipe, "it is a pipe, not a regular file"},
                      HiveCase{"user.reg", Stand::Pipe, "it is a pipe, not a regular file"},
                      HiveCase{"userdef.reg", Stand::Pipe, "it is a pipe, not a regular file"},
                      HiveCase{"system.reg", Stand::Device, "it is a device, not a regular file"},
                      HiveCase{"user.reg", Stand::Device, "it is a device, not a regular file"},
                      HiveCase{"userdef.reg", Stand::Device, "it is a device, not a regular file"},
                      HiveCase{"system.reg", Stand::LinkLoop, "Too many levels of symbolic links"},
                      HiveCase{"user.reg", Stand::LinkLoop, "Too many levels of symbolic links"},
                      HiveCase{"userdef.reg", Stand::LinkLoop, "Too many levels of symbolic links"},
                      HiveCase{"user.reg", Stand::Folder, "it is a folder, not a file"}));

TEST(HiveFiles, AMissingUserHiveIsEmptyAndTheSnapshotIsWritten) {
    const fs::path root = fs::temp_directory_path() / ("quorvel-hive-missing-test-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "pfx");
    std::ofstream(root / "pfx" / "system.reg") << "WINE REGISTRY Version 2\n[Software\\\\qv] 1\n\"a\"=\"b\"\n";
    // a link that leads nowhere is as good as no file, as Wine finds it
    fs::create_symlink(root / "pfx" / "nowhere", root / "pfx" / "user.reg");
    testing::CliProcess cli({"snapshot", "--prefix", (root / "pfx").string(), "--reg", "HKLM\\Software\\qv", "-o",
                    (root / "s.qvs").string()},
                   root);
    EXPECT_EQ(cli.finish(), 0) << cli.err();
    EXPECT_TRUE(fs::exists(root / "s.qvs"));
    fs::remove_all(root);
}

}  // namespace
}  // namespace qv::cli

#include "cli/wine_prefix_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace qv::cli {
namespace {

namespace fs = std::filesystem;

class NullConsole : public Console {
public:
    std::vector<std::string> progress_;
    bool write(std::string_view) override { return true; }
    void line(std::string_view) override {}
    void progress(std::string_view text) override { progress_.emplace_back(text); }
};

// A prefix and a stand-in for /tmp, where a "wineserver" (a child process)
// holds the lock in the folder Wine names after the prefix's device and inode.
class WinePrefix : public ::testing::Test {
protected:
    WinePrefix() {
        fs::remove_all(root_);
        fs::create_directories(prefix_);
        fs::create_directories(tmp_);
        std::ofstream(prefix_ + "/system.reg") << "WINE REGISTRY Version 2\n";
    }
    ~WinePrefix() override {
        release();
        fs::remove_all(root_);
    }

    std::string serverFolder() const {
        struct stat st {};
        EXPECT_EQ(stat(prefix_.c_str(), &st), 0);
        char name[64];
        std::snprintf(name, sizeof(name), "/server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                      static_cast<unsigned long long>(st.st_ino));
        return tmp_ + "/.wine-" + std::to_string(getuid()) + name;
    }

    // A record lock counts only when another process holds it, as the real
    // server does; the child holds it until `release` or for `holdMs`.
    void startServer(int holdMs = 60000) {
        const std::string folder = serverFolder();
        fs::create_directories(folder);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        server_ = fork();
        ASSERT_GE(server_, 0);
        if (server_ == 0) {
            const int fd = open((folder + "/lock").c_str(), O_RDWR | O_CREAT, 0600);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            const char ok = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            usleep(static_cast<useconds_t>(holdMs) * 1000);
            _exit(0);
        }
        close(ready[1]);
        char ok = '0';
        EXPECT_EQ(read(ready[0], &ok, 1), 1);
        close(ready[0]);
        ASSERT_EQ(ok, '1');
    }
    void release() {
        if (server_ <= 0) return;
        kill(server_, SIGKILL);
        waitpid(server_, nullptr, 0);
        server_ = 0;
    }

    const std::string root_ = (fs::temp_directory_path() / ("quorvel-prefix-test-" + std::to_string(getpid()))).string();
    const std::string prefix_ = root_ + "/pfx";
    const std::string tmp_ = root_ + "/tmp";
    pid_t server_ = 0;
    NullConsole console_;
};

TEST_F(WinePrefix, TheServerIsSeenOnlyWhileItHoldsTheLock) {
    EXPECT_FALSE(runningWineServer(prefix_, tmp_));
    // The folder and its lock file stay behind when a server ends.
    fs::create_directories(serverFolder());
    std::ofstream(serverFolder() + "/lock") << "";
    EXPECT_FALSE(runningWineServer(prefix_, tmp_));
    startServer();
    EXPECT_EQ(runningWineServer(prefix_, tmp_), server_);
    release();
    EXPECT_FALSE(runningWineServer(prefix_, tmp_));
}

TEST_F(WinePrefix, ARunningServerIsRefusedWithOneLine) {
    startServer();
    EXPECT_EQ(prefixReadiness(prefix_, false, true, console_, tmp_),
              "the wineserver of " + prefix_ + " is running (process " + std::to_string(server_) +
                  "): its registry files are behind it until it ends; close the prefix's programs, or end them all with WINEPREFIX=" + prefix_ +
                  " wineserver -k, or give --wait");
}

// Files are on the disk whatever the server does: folders alone neither wait
// nor are refused.
TEST_F(WinePrefix, FoldersAloneNeverWaitForARunningServer) {
    startServer(5000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(prefixReadiness(prefix_, false, false, console_, tmp_), "");
    EXPECT_EQ(prefixReadiness(prefix_, true, false, console_, tmp_), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_TRUE(console_.progress_.empty());
    EXPECT_EQ(prefixReadiness(root_ + "/missing", false, false, console_, tmp_),
              "no Wine prefix at " + root_ + "/missing (there is no such folder)");
}

TEST_F(WinePrefix, WaitingLastsUntilTheLockIsReleased) {
    startServer(400);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(prefixReadiness(prefix_, true, true, console_, tmp_), "");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_FALSE(runningWineServer(prefix_, tmp_));
    EXPECT_EQ(console_.progress_, (std::vector<std::string>{"Waiting for the wineserver of " + prefix_ + " to end", ""}));
}

TEST_F(WinePrefix, WhatIsNoPrefixIsNamed) {
    const struct {
        std::string prefix;
        std::string line;
    } cases[] = {
        {prefix_, ""},
        {root_ + "/missing", "no Wine prefix at " + root_ + "/missing (there is no such folder)"},
        {tmp_, "no Wine prefix at " + tmp_ + " (it has no system.reg)"},
        {prefix_ + "/system.reg", "no Wine prefix at " + prefix_ + "/system.reg (there is no such folder)"},
    };
    for (const auto& c : cases) EXPECT_EQ(prefixReadiness(c.prefix, false, true, console_, tmp_), c.line);
}

TEST(WinePrefixPath, TheOptionThenWINEPREFIXThenHome) {
    const char* saved = std::getenv("WINEPREFIX");
    const std::string keep = saved ? saved : "";
    setenv("WINEPREFIX", "/env/pfx", 1);
    EXPECT_EQ(winePrefixPath("/given"), "/given");
    EXPECT_EQ(winePrefixPath(""), "/env/pfx");
    unsetenv("WINEPREFIX");
    EXPECT_EQ(winePrefixPath(""), std::string(std::getenv("HOME") ? std::getenv("HOME") : "") + "/.wine");
    if (saved) setenv("WINEPREFIX", keep.c_str(), 1);
}

}  // namespace
}  // namespace qv::cli

// quorvel-cli watch and the processes of its installer, as a user meets them:
// the program itself run, timed out, interrupted and killed.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "cli/installer_processes_posix.h"
#include "tests/cli/cli_process_posix.h"

namespace qv::cli {
namespace {

namespace fs = std::filesystem;
using testing::alive;

class WatchedInstaller : public ::testing::Test {
protected:
    WatchedInstaller() {
        fs::remove_all(root_);
        fs::create_directories(prefix_ / "drive_c" / "t");
        fs::create_directories(prefix_ / "dosdevices");
        fs::create_symlink("../drive_c", prefix_ / "dosdevices" / "c:");
        std::ofstream(prefix_ / "system.reg") << "WINE REGISTRY Version 2\n";
    }
    ~WatchedInstaller() override {
        for (pid_t pid : started_) kill(pid, SIGKILL);
        fs::remove_all(root_);
    }

    std::vector<std::string> watch(const std::string& script, const std::string& timeout = "") {
        std::vector<std::string> args{"watch", "--prefix", prefix_.string(), "--dir", "C:\\t"};
        if (!timeout.empty()) args.insert(args.end(), {"--timeout", timeout});
        args.insert(args.end(), {"--", "sh", "-c", script});
        return args;
    }
    // The installer's script writes its own process id and that of a process
    // it starts in a session of its own.
    std::string startsApart() const {
        return "setsid sleep 600 & echo $! > '" + (root_ / "apart").string() + "'; echo $$ > '" +
               (root_ / "installer").string() + "'; exec sleep 600";
    }
    pid_t pidIn(const char* name) {
        const fs::path file = root_ / name;
        const auto written = [&] {
            std::error_code ec;
            return fs::exists(file, ec) && fs::file_size(file, ec) > 0;
        };
        for (int i = 0; i < 1000 && !written(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(file);
        pid_t pid = 0;
        in >> pid;
        if (pid > 0) started_.push_back(pid);
        return pid;
    }
    bool endsSoon(pid_t pid) {
        for (int i = 0; i < 300 && alive(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return !alive(pid);
    }

    const fs::path root_ = fs::temp_directory_path() / ("quorvel-watch-test-" + std::to_string(getpid()));
    const fs::path prefix_ = root_ / "pfx";
    std::vector<pid_t> started_;
};

TEST_F(WatchedInstaller, PastItsTimeWhatLeftItsSessionIsEndedToo) {
    testing::CliProcess cli(watch("setsid sleep 600 & echo $! > '" + (root_ / "apart").string() + "'; exit 0", "2"), root_);
    EXPECT_EQ(cli.finish(), 3);
    EXPECT_EQ(cli.err(), "quorvel-cli: the processes that sh started did not end within 2 seconds and were ended\n");
    EXPECT_TRUE(endsSoon(pidIn("apart")));
}

// The lines of a run that fails carry the system's reasons as words, with no
// Windows error numbers.
TEST_F(WatchedInstaller, ItsFailuresAreToldInTheSystemsWords) {
    const struct {
        std::vector<std::string> installer;
        const char* timeout;
        std::string line;
    } cases[] = {
        {{"/nonexistent/setup"}, "", "quorvel-cli: cannot run /nonexistent/setup: No such file or directory\n"},
        {{(root_ / "pfx").string()}, "", "quorvel-cli: cannot run " + (root_ / "pfx").string() + ": Permission denied\n"},
        {{"sleep", "600"}, "1", "quorvel-cli: sleep did not end within 1 seconds and was ended, with every process it started\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"watch", "--prefix", prefix_.string(), "--dir", "C:\\t"};
        if (*c.timeout) args.insert(args.end(), {"--timeout", c.timeout});
        args.push_back("--");
        args.insert(args.end(), c.installer.begin(), c.installer.end());
        testing::CliProcess cli(args, root_);
        EXPECT_EQ(cli.finish(), 3);
        EXPECT_EQ(cli.err(), c.line);
    }
}

TEST_F(WatchedInstaller, AnInterruptEndsEveryProcessAndSaysSoOnceVerified) {
    testing::CliProcess cli(watch(startsApart()), root_);
    const pid_t installer = pidIn("installer"), apart = pidIn("apart");
    ASSERT_GT(installer, 0);
    ASSERT_GT(apart, 0);
    kill(cli.pid(), SIGINT);
    EXPECT_EQ(cli.finish(), 130);
    EXPECT_EQ(cli.err(), "\nquorvel-cli: interrupted; the installer and every process it started were ended\n");
    EXPECT_FALSE(alive(installer));
    EXPECT_FALSE(alive(apart));
}

TEST_F(WatchedInstaller, KilledOutrightItTakesItsInstallerAlong) {
    testing::CliProcess cli(watch(startsApart()), root_);
    const pid_t installer = pidIn("installer"), apart = pidIn("apart");
    ASSERT_GT(installer, 0);
    ASSERT_GT(apart, 0);
    kill(cli.pid(), SIGKILL);
    EXPECT_EQ(cli.finish(), 128 + SIGKILL);
    EXPECT_TRUE(endsSoon(installer));
    // What left the installer's session ends with it only where a cgroup holds it.
    if (InstallerProcesses().tracking() == Tracking::Cgroup) {
        EXPECT_TRUE(endsSoon(apart));
    }
}

}  // namespace
}  // namespace qv::cli

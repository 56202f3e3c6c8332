#include "cli/process_runner_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/failure.h"
#include "tests/cli/cli_process_posix.h"

namespace qv::cli {
namespace {

namespace fs = std::filesystem;
using testing::alive;

// The installer runs with this process's standard output and error pointed
// at two files, so what it writes to each can be read back.
// Run once with the installer held in a cgroup, once as descendants.
class InstallerRun : public ::testing::TestWithParam<bool> {
protected:
    InstallerRun() {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void SetUp() override {
        if (GetParam() && InstallerProcesses().tracking() != Tracking::Cgroup)
            GTEST_SKIP() << "no cgroup v2 group can be made here";
    }
    ~InstallerRun() override { fs::remove_all(dir_); }

    uint32_t run(const std::string& script, uint32_t timeout = 30) {
        fflush(stdout);
        fflush(stderr);
        const int savedOut = dup(STDOUT_FILENO), savedErr = dup(STDERR_FILENO);
        const int out = open(path("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(path("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        close(out);
        close(err);
        uint32_t code = 0;
        std::string failure;
        try {
            code = runner_.run({"sh", "-c", script}, timeout);
        } catch (const Failure& f) {
            failure = f.description();
        }
        dup2(savedOut, STDOUT_FILENO);
        dup2(savedErr, STDERR_FILENO);
        close(savedOut);
        close(savedErr);
        failure_ = failure;
        return code;
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string text(const std::string& name) const {
        std::ifstream in(path(name));
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // One folder per test process, so that runs side by side keep apart.
    fs::path dir_ = fs::temp_directory_path() / ("quorvel-runner-test-" + std::to_string(getpid()));
    WineProcessRunner runner_{dir_.string(), true, GetParam()};
    std::string failure_;
};

pid_t pidIn(const std::string& file) {
    for (int i = 0; i < 500 && !fs::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(file);
    pid_t pid = 0;
    in >> pid;
    return pid;
}

TEST_P(InstallerRun, ItsOutputGoesToStandardErrorAndEveryExitCodeIsItsOwn) {
    EXPECT_EQ(run("echo from the installer; echo $WINEPREFIX; exit 127"), 127u);
    EXPECT_EQ(failure_, "");
    EXPECT_EQ(text("out"), "");
    EXPECT_EQ(text("err"), "from the installer\n" + dir_.string() + "\n");
    EXPECT_EQ(runner_.lastTracking(), GetParam() ? Tracking::Cgroup : Tracking::Descendants);
}

TEST_P(InstallerRun, WhatItStartedInTheBackgroundIsWaitedFor) {
    EXPECT_EQ(run("(sleep 1; echo done > '" + path("late") + "') & exit 0"), 0u);
    EXPECT_EQ(text("late"), "done\n");
    // also when it left the installer's process group
    EXPECT_EQ(run("setsid sh -c \"sleep 1; echo done > '" + path("apart") + "'\" & exit 0"), 0u);
    EXPECT_EQ(text("apart"), "done\n");
}

// Past the time allowed, every process it started is ended, and said to be
// only once none runs: one that left its session, and one whose parent
// ended at once (a double fork).
TEST_P(InstallerRun, WhatOutlivesTheTimeAllowedIsEndedWhereverItWent) {
    const struct {
        std::string script;
        const char* told;
    } cases[] = {
        {"setsid sleep 600 & echo $! > '" + path("pid") + "'; exit 0",
         "the processes that sh started did not end within 1 seconds and were ended"},
        {"sh -c \"sleep 600 & echo \\$! > '" + path("pid") + "'\" & exit 0",
         "the processes that sh started did not end within 1 seconds and were ended"},
        {"setsid sleep 600 & echo $! > '" + path("pid") + "'; exec sleep 600",
         "sh did not end within 1 seconds and was ended, with every process it started"},
    };
    for (const auto& c : cases) {
        fs::remove(path("pid"));
        run(c.script, 1);
        EXPECT_EQ(failure_, c.told);
        const pid_t left = pidIn(path("pid"));
        ASSERT_GT(left, 0) << c.script;
        EXPECT_FALSE(alive(left)) << c.script;
    }
}

// quorvel-cli killed outright: its installer is killed with it, and where a
// cgroup holds them, so is every process the installer started.
TEST_P(InstallerRun, TheInstallerDiesWithTheProcessThatRunsIt) {
    const pid_t watcher = fork();
    ASSERT_GE(watcher, 0);
    if (watcher == 0) {
        WineProcessRunner runner(dir_.string(), GetParam());
        try {
            runner.run({"sh", "-c", "setsid sleep 600 & echo $! > '" + path("apart") + "'; echo $$ > '" + path("pid") +
                                        "'; exec sleep 600"},
                       0);
        } catch (...) {
        }
        _exit(0);
    }
    const pid_t installer = pidIn(path("pid"));
    const pid_t apart = pidIn(path("apart"));
    ASSERT_GT(installer, 0);
    ASSERT_GT(apart, 0);
    kill(watcher, SIGKILL);
    waitpid(watcher, nullptr, 0);
    for (int i = 0; i < 300 && (alive(installer) || (GetParam() && alive(apart))); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(alive(installer));
    if (GetParam()) {
        EXPECT_FALSE(alive(apart));
    }
    // Without a group, what left the installer's session outlives it.
    kill(apart, SIGKILL);
}

INSTANTIATE_TEST_SUITE_P(Tracking, InstallerRun, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "InACgroup" : "AsDescendants"; });

TEST(InstallerEnding, IsToldEndedOnlyWhereNothingRunsAnyMore) {
    EXPECT_EQ(endingTold("interrupted", "; all were ended", {}), "interrupted; all were ended");
    EXPECT_EQ(endingTold("interrupted", "; all were ended", {{41, "sleep"}, {42, "wine server"}}),
              "interrupted; they were killed, but these still run: 41 (sleep), 42 (wine server)");
}

TEST(InstallerStart, AProgramThatCannotRunIsNamedWithTheReason) {
    WineProcessRunner runner(fs::temp_directory_path().string(), true);
    try {
        runner.run({"/nonexistent/setup"}, 5);
        ADD_FAILURE() << "ran";
    } catch (const Failure& f) {
        EXPECT_EQ(std::string(f.description()), "cannot run /nonexistent/setup: No such file or directory");
    }
}

// What a user types after "--" as on Windows runs under the prefix's Wine.
TEST(InstallerStart, AWindowsProgramIsHandedToWine) {
    using Argv = std::vector<std::string>;
    const struct {
        Argv typed;
        Argv run;
    } cases[] = {
        {{"setup.exe", "/S"}, {"wine", "setup.exe", "/S"}},
        {{"/tmp/dl/SETUP.EXE"}, {"wine", "/tmp/dl/SETUP.EXE"}},
        {{"C:\\x\\Setup.Msi", "/qn"}, {"wine", "msiexec", "/i", "C:\\x\\Setup.Msi", "/qn"}},
        {{"install.BAT", "a b"}, {"wine", "cmd", "/c", "install.BAT", "a b"}},
        {{"run.cmd"}, {"wine", "cmd", "/c", "run.cmd"}},
        // already Wine's, or no Windows program
        {{"wine", "setup.exe"}, {"wine", "setup.exe"}},
        {{"/opt/proton/bin/wine64", "setup.msi"}, {"/opt/proton/bin/wine64", "setup.msi"}},
        {{"sh", "-c", "wine setup.exe"}, {"sh", "-c", "wine setup.exe"}},
        {{"./setup.exe.sh"}, {"./setup.exe.sh"}},
        {{"exe"}, {"exe"}},
    };
    for (const auto& c : cases) EXPECT_EQ(wineCommand(c.typed, "wine"), c.run) << c.typed.front();
    EXPECT_EQ(wineCommand({"a.exe"}, "/opt/wine/bin/wine"), (Argv{"/opt/wine/bin/wine", "a.exe"}));
}

}  // namespace
}  // namespace qv::cli

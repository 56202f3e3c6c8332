#include "cli/process_runner_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/failure.h"

namespace qv::cli {
namespace {

namespace fs = std::filesystem;

// The installer runs with this process's standard output and error pointed
// at two files, so what it writes to each can be read back.
class InstallerRun : public ::testing::Test {
protected:
    InstallerRun() {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
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
    WineProcessRunner runner_{dir_.string(), true};
    std::string failure_;
};

TEST_F(InstallerRun, ItsOutputGoesToStandardErrorAndEveryExitCodeIsItsOwn) {
    EXPECT_EQ(run("echo from the installer; echo $WINEPREFIX; exit 127"), 127u);
    EXPECT_EQ(failure_, "");
    EXPECT_EQ(text("out"), "");
    EXPECT_EQ(text("err"), "from the installer\n" + dir_.string() + "\n");
}

TEST_F(InstallerRun, WhatItStartedInTheBackgroundIsWaitedFor) {
    EXPECT_EQ(run("(sleep 1; echo done > '" + path("late") + "') & exit 0"), 0u);
    EXPECT_EQ(text("late"), "done\n");
    // also when it left the installer's process group
    EXPECT_EQ(run("setsid sh -c \"sleep 1; echo done > '" + path("apart") + "'\" & exit 0"), 0u);
    EXPECT_EQ(text("apart"), "done\n");
    // and one that outlives the time allowed is ended, and said to be
    run("(sleep 30; echo done > '" + path("never") + "') & exit 0", 1);
    EXPECT_NE(failure_.find("did not end within 1 seconds and were ended"), std::string::npos) << failure_;
    EXPECT_FALSE(fs::exists(path("never")));
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

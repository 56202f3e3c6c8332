#include "cli/commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "core/failure.h"
#include "core/registry_types.h"
#include "core/whole_file.h"
#include "tests/support/fakes/fake_file_system.h"
#include "tests/support/fakes/fake_registry.h"

namespace qv::cli {
namespace {

using Args = std::vector<std::string>;
using qv::testing::fileTime;

class RecordingConsole : public Console {
public:
    std::string out;
    std::vector<std::string> lines;
    bool full = false;  // standard output refuses everything, as a full disk does
    bool write(std::string_view bytes) override {
        if (full) return false;
        out += bytes;
        return true;
    }
    void line(std::string_view text) override { lines.emplace_back(text); }
    void progress(std::string_view) override {}
};

// The "installer": whatever the test says it changes.
class FakeRunner : public ProcessRunner {
public:
    std::vector<std::string> command;
    uint32_t timeout = 0;
    std::function<void()> install;
    uint32_t run(const std::vector<std::string>& c, uint32_t timeoutSeconds) override {
        command = c;
        timeout = timeoutSeconds;
        install();
        return 0;
    }
};

constexpr const char* kChanges =
    "[New registry entries] 1 row\n"
    "    Software\\App\\Plugins\\ | Renderer | fast\n"
    "[Deleted registry / old entries] 0 rows\n"
    "[Edited registry data] 2 rows\n"
    "    Software\\App\\ | Version | 1 -> 2\n"
    "    Software\\App\\ | Count | 5 (REG_SZ) -> 5 (REG_DWORD)\n"
    "[New files created] 1 row\n"
    "    C:\\Data\\new\\b.txt | 3 | 2024-05-01 12:34:56\n"
    "[Deleted files] 0 rows\n"
    "[Modified files] 1 row\n"
    "    C:\\Data\\a.txt | 12 | 2024-02-01\n";

class CliCommands : public ::testing::Test {
protected:
    CliCommands() {
        registry.addValue(kHiveCurrentUser, "Software\\App", "Version", kRegSz, "1");
        registry.addValue(kHiveCurrentUser, "Software\\App", "Count", kRegSz, "5");
        files.addFile("C:\\Data\\a.txt", 10, fileTime(2024, 1, 1));
        runner.install = [this] {
            registry.addValue(kHiveCurrentUser, "Software\\App", "Version", kRegSz, "2");
            registry.addValue(kHiveCurrentUser, "Software\\App", "Count", kRegDword, "5");
            registry.addValue(kHiveCurrentUser, "Software\\App\\Plugins", "Renderer", kRegSz, "fast");
            files.addFile("C:\\Data\\a.txt", 12, fileTime(2024, 2, 1));
            files.addFile("C:\\Data\\new\\b.txt", 3);
        };
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    ~CliCommands() override { std::filesystem::remove_all(dir_); }

    int run(const Args& args) {
        console = RecordingConsole();
        const ParsedArguments parsed = parseArguments(args);
        EXPECT_EQ(parsed.error, "");
        return runCommand(parsed.arguments, services);
    }
    std::string path(const char* name) const { return (dir_ / name).string(); }
    int snapshot(const char* name) {
        return run(
            {"snapshot", "--reg", "HKEY_CURRENT_USER\\Software\\App", "--dir", "C:\\Data", "-o", path(name)});
    }

    const std::filesystem::path dir_ = std::filesystem::temp_directory_path() / "quorvel-cli-test";
    qv::testing::FakeRegistry registry;
    qv::testing::FakeRegistrySource source{registry};
    qv::testing::FakeFileSystem files;
    Latin1CodePage codePage;
    FakeRunner runner;
    RecordingConsole console;
    CliServices services{source, files, codePage, runner, console, "C:\\Tools"};
};

TEST_F(CliCommands, WatchAndADiffOfSnapshotsAroundTheInstallerListWhatItChanged) {
    ASSERT_EQ(snapshot("before.qvs"), kNoChanges);
    EXPECT_EQ(run({"watch", "--reg", "HKEY_CURRENT_USER\\Software\\App", "--dir", "C:\\Data", "--",
                   "setup.exe", "/S"}),
              kChangesFound);
    EXPECT_EQ(console.out, kChanges);
    EXPECT_EQ(runner.command, (Args{"setup.exe", "/S"}));
    EXPECT_TRUE(console.lines.empty());
    ASSERT_EQ(snapshot("after.qvs"), kNoChanges);
    EXPECT_EQ(run({"diff", path("before.qvs"), path("after.qvs")}), kChangesFound);
    EXPECT_EQ(console.out, kChanges);
    EXPECT_EQ(run({"diff", path("after.qvs"), path("after.qvs")}), kNoChanges);
    EXPECT_EQ(run({"watch", "--help"}), kNoChanges);
    EXPECT_EQ(console.out, helpText(Command::Watch));
    for (auto [format, start] :
         {std::pair{"csv", "\xEF\xBB\xBFList,"},
          {"html", "<!DOCTYPE html>"},
          {"json", "{\"registry\":{\"root\":\"HKEY_CURRENT_USER\",\"key\":\"Software\\\\App\"}"},
          {"reg", "\xFF\xFE"}}) {
        EXPECT_EQ(run({"diff", path("before.qvs"), path("after.qvs"), "--format", format, "-o", path("out")}),
                  kChangesFound);
        EXPECT_EQ(console.out, "");
        EXPECT_EQ(readWholeFile(path("out")).value_or("").rfind(start, 0), 0u) << format;
    }
}

TEST_F(CliCommands, UnreadableOrUnmatchedSnapshotsAreBadUsage) {
    ASSERT_EQ(snapshot("both.qvs"), kNoChanges);
    ASSERT_EQ(run({"snapshot", "--dir", "C:\\Data", "-o", path("files.qvs")}), kNoChanges);
    ASSERT_TRUE(replaceWholeFile(path("junk.qvs"), "not a snapshot"));
    for (const Args& args :
         {Args{"diff", path("absent.qvs"), path("both.qvs")},
          Args{"diff", path("both.qvs"), path("junk.qvs")}, Args{"diff", path("both.qvs"), path("files.qvs")},
          Args{"diff", path("both.qvs"), path("both.qvs"), "--settings", path("absent")}}) {
        EXPECT_EQ(run(args), kBadUsage) << args[2];
        ASSERT_EQ(console.lines.size(), 1u);
        EXPECT_EQ(console.lines[0].rfind("quorvel-cli: ", 0), 0u);
        EXPECT_EQ(console.out, "");
    }
}

TEST_F(CliCommands, RunTimeFailuresAreReportedAsLinesAndWriteNothing) {
    source.failConnect = true;
    EXPECT_EQ(snapshot("before.qvs"), kRunFailure);
    EXPECT_FALSE(pathExists(path("before.qvs")));
    ASSERT_EQ(console.lines.size(), 1u);
#ifdef _WIN32
    EXPECT_EQ(console.lines[0], "quorvel-cli: error -2147217405: Access denied");
#else
    // Windows' numbers stay out of the Linux program's lines.
    EXPECT_EQ(console.lines[0], "quorvel-cli: Access denied");
#endif

    source.failConnect = false;
    runner.install = [] { fail(2, "The system cannot find the file specified"); };
    EXPECT_EQ(run({"watch", "--dir", "C:\\Data", "--", "absent.exe"}), kRunFailure);
    EXPECT_EQ(console.out, "");
    ASSERT_EQ(console.lines.size(), 1u);
    EXPECT_NE(console.lines[0].find("The system cannot find the file specified"), std::string::npos);
}

// Each way a command can go wrong outside the program has its own exit code
// and one line that names what is wrong; nothing is half-written.
TEST_F(CliCommands, ExitCodesTellWhatWentWrong) {
    ASSERT_EQ(snapshot("before.qvs"), kNoChanges);
    ASSERT_EQ(snapshot("after.qvs"), kNoChanges);
    registry.addKey(kHiveCurrentUser, "Software\\Locked");
    registry.makeUnreadable(kHiveCurrentUser, "Software\\Locked");
    ASSERT_TRUE(replaceWholeFile(path("kept.txt"), "kept"));
    std::filesystem::permissions(path("kept.txt"), std::filesystem::perms::owner_read);
    const auto diffTo = [&](const char* output) {
        return Args{"diff", path("before.qvs"), path("after.qvs"), "-o", output};
    };
    const std::string outputPath = path("kept.txt");
    const struct {
        Args args;
        int code;
        std::string line;  // the one line on standard error, "" for none
        bool full = false;
    } cases[] = {
        {{"snapshot", "--dir", "C:\\Missing", "-o", path("x.qvs")}, kBadUsage, "quorvel-cli: no folder C:\\Missing"},
        {{"snapshot", "--reg", "HKCU\\Software\\Missing", "-o", path("x.qvs")},
         kBadUsage,
         "quorvel-cli: no registry key HKEY_CURRENT_USER\\Software\\Missing"},
        {{"snapshot", "--reg", "HKCU\\Software\\Locked", "-o", path("locked.qvs")},
         kNoChanges,
         "quorvel-cli: warning: the registry key HKEY_CURRENT_USER\\Software\\Locked cannot be read (access is "
         "denied); it is recorded without its values"},
        {{"diff", path("before.qvs"), path("after.qvs"), "--settings", path("before.qvs")},
         kBadUsage,
         "quorvel-cli: the settings folder " + path("before.qvs") +
             " is a file; give the folder that holds the data files"},
        {{"diff", path("before.qvs"), path("after.qvs")},
         kRunFailure,
         "quorvel-cli: cannot write the results to standard output (is the disk full, or the pipe closed?)",
         true},
        {diffTo(outputPath.c_str()), kRunFailure,
         "quorvel-cli: cannot write " + outputPath + ": the file is read-only"},
        {{"--version"}, kNoChanges, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        console = RecordingConsole();
        console.full = c.full;
        const ParsedArguments parsed = parseArguments(c.args);
        ASSERT_EQ(parsed.error, "");
        EXPECT_EQ(runCommand(parsed.arguments, services), c.code);
        EXPECT_EQ(console.lines, c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line});
    }
    EXPECT_FALSE(pathExists(path("x.qvs")));
    EXPECT_TRUE(pathExists(path("locked.qvs")));
    EXPECT_EQ(readWholeFile(path("kept.txt")), "kept");
    std::filesystem::permissions(path("kept.txt"), std::filesystem::perms::owner_all);

    // The text format shows an edit's old data before the new, and the
    // installer's time limit reaches the runner.
    EXPECT_EQ(run({"watch", "--reg", "HKCU\\Software\\App", "--timeout", "7", "--", "setup.exe"}), kChangesFound);
    EXPECT_EQ(runner.timeout, 7u);
    EXPECT_NE(console.out.find("    Software\\App\\ | Version | 1 -> 2\n"), std::string::npos) << console.out;
}

}  // namespace
}  // namespace qv::cli

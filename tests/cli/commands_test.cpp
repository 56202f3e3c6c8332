#include "cli/commands.h"
#include "cli/places.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "cli/console_ui.h"
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
    std::vector<std::string> progressLines;
    void progress(std::string_view text) override {
        if (!text.empty()) progressLines.emplace_back(text);
    }
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
    "[New files created] 2 rows\n"
    "    C:\\Data\\new\\ |  | 2024-05-01\n"
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
            files.addFolder("C:\\Data\\new", 0, fileTime(2024, 5, 1));
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
    CliServices services{source, files, codePage, runner, console, "C:\\Tools", {"C:\\"}, "BUILDBOX", "tester"};
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
          {"json", "{\"schema\":2,\"registry\":{\"root\":\"HKEY_CURRENT_USER\",\"key\":\"Software\\\\App\"}"},
          {"reg", "\xFF\xFE"},
          {"md", "# Quorvel report\n"}}) {
        EXPECT_EQ(run({"diff", path("before.qvs"), path("after.qvs"), "--format", format, "-o", path("out")}),
                  kChangesFound);
        EXPECT_EQ(console.out, "");
        EXPECT_EQ(readWholeFile(path("out")).value_or("").rfind(start, 0), 0u) << format;
    }
    // The report is headed by the comment and both snapshots' times.
    EXPECT_EQ(run({"diff", path("before.qvs"), path("after.qvs"), "--format", "md", "--comment", "Game 1.2",
                   "-o", path("out")}),
              kChangesFound);
    const std::string report = readWholeFile(path("out")).value_or("");
    EXPECT_NE(report.find("> Game 1.2\n"), std::string::npos) << report;
    EXPECT_NE(report.find("- **First snapshot:** 20"), std::string::npos) << report;
    EXPECT_NE(report.find("- **Final snapshot:** 20"), std::string::npos) << report;
    EXPECT_NE(report.find("- **Written by:** Quorvel "), std::string::npos) << report;
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
        // A warning is no progress: --quiet keeps it.
        {{"snapshot", "--reg", "HKCU\\Software\\Locked", "-o", path("locked.qvs"), "--quiet"},
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

// Several places in one go: each key below its own root and each folder, all
// compared place by place; a place inside another is refused, since its
// entries would count twice. Without a Settings.dat every list is checked;
// with one that switches lists off, they say so instead of "0 rows".
TEST_F(CliCommands, SeveralPlacesAreTakenAndComparedTogether) {
    registry.addValue(kHiveLocalMachine, "Software\\App", "Path", kRegSz, "C:\\App");
    files.addFile("D:\\Games\\save.dat", 1, fileTime(2024, 1, 1));
    runner.install = [this] {
        registry.addValue(kHiveLocalMachine, "Software\\App", "Path", kRegSz, "D:\\App");
        registry.addValue(kHiveCurrentUser, "Software\\App", "Theme", kRegSz, "dark");
        registry.removeValue(kHiveCurrentUser, "Software\\App", "Count");
        files.addFile("D:\\Games\\new.dat", 2, fileTime(2024, 1, 2));
        files.addFile("C:\\Data\\new\\b.txt", 3, fileTime(2024, 1, 3));
    };
    const Args places{"watch", "--reg", "HKLM\\Software\\App", "--reg", "HKCU\\Software\\App",
                      "--dir", "C:\\Data", "--dir", "D:\\Games", "--"};
    Args watch = places;
    watch.push_back("setup.exe");
    EXPECT_EQ(run(watch), kChangesFound);
    EXPECT_EQ(console.out,
              "[New registry entries] 1 row\n"
              "    HKEY_CURRENT_USER\\Software\\App\\ | Theme | dark\n"
              "[Deleted registry / old entries] 1 row\n"
              "    HKEY_CURRENT_USER\\Software\\App\\ | Count | 5\n"
              "[Edited registry data] 1 row\n"
              "    HKEY_LOCAL_MACHINE\\Software\\App\\ | Path | C:\\App -> D:\\App\n"
              "[New files created] 3 rows\n"
              "    C:\\Data\\new\\ |  | 1601-01-01\n"
              "    C:\\Data\\new\\b.txt | 3 | 2024-01-03\n"
              "    D:\\Games\\new.dat | 2 | 2024-01-02\n"
              "[Deleted files] 0 rows\n"
              "[Modified files] 0 rows\n");

    // Snapshots of other places are not compared.
    ASSERT_EQ(run({"snapshot", "--reg", "HKCU\\Software\\App", "--reg", "HKLM\\Software\\App", "-o", path("two.qvs")}), kNoChanges);
    ASSERT_EQ(run({"snapshot", "--reg", "HKCU\\Software\\App", "-o", path("one.qvs")}), kNoChanges);
    EXPECT_EQ(run({"diff", path("one.qvs"), path("two.qvs")}), kBadUsage);
    EXPECT_EQ(console.lines, std::vector<std::string>{"quorvel-cli: the snapshots are of different registry keys"});
    EXPECT_EQ(run({"diff", path("two.qvs"), path("two.qvs"), "--format", "json"}), kNoChanges);
    EXPECT_NE(console.out.find("\"places\":{\"registry\":[\"HKEY_CURRENT_USER\\\\Software\\\\App\",\"HKEY_LOCAL_MACHINE"),
              std::string::npos) << console.out;

    for (const auto& [args, line] :
         {std::pair{Args{"snapshot", "--dir", "C:\\Data", "--dir", "c:\\data\\new", "-o", path("x.qvs")},
                    "quorvel-cli: --dir c:\\data\\new lies within --dir C:\\Data; give each place once"},
          {Args{"snapshot", "--reg", "HKCU\\Software", "--reg", "HKCU\\Software\\App", "-o", path("x.qvs")},
           "quorvel-cli: --reg HKEY_CURRENT_USER\\Software\\App lies within --reg HKEY_CURRENT_USER\\Software; give "
           "each place once"}}) {
        EXPECT_EQ(run(args), kBadUsage);
        EXPECT_EQ(console.lines, std::vector<std::string>{line});
    }

    // The window's defaults, with deletions off, are shown as not looked for.
    ASSERT_TRUE(replaceWholeFile(path("Settings.dat"), "1,0,1,1,0,1\r\n"));
    EXPECT_EQ(run({"diff", path("one.qvs"), path("one.qvs"), "--settings", dir_.string()}), kNoChanges);
    EXPECT_EQ(console.out,
              "[New registry entries] 0 rows\n[Deleted registry / old entries] not checked\n"
              "[Edited registry data] 0 rows\n[New files created] not checked\n[Deleted files] not checked\n"
              "[Modified files] not checked\n");
}

// --machine stands for the whole registry of the machine and its fixed drives.
TEST(CliPlaceList, MachineAddsTheWholeRegistryAndEveryFixedDriveOnce) {
    CaptureOptions capture;
    capture.machine = true;
    capture.files = true;
    capture.folder = "c:\\";
    capture.registry = true;
    capture.root = "HKEY_CURRENT_USER";
    capture.key = "Software";
    const CapturePlaces places = expandPlaces(capture, {"C:\\", "E:\\"});
    EXPECT_EQ(places.keys, (std::vector<RegistryPlace>{{"HKEY_CURRENT_USER", "Software"},
                                                       {"HKEY_LOCAL_MACHINE", ""},
                                                       {"HKEY_USERS", ""}}));
    EXPECT_EQ(places.folders, (std::vector<std::string>{"c:\\", "E:\\"}));
    EXPECT_EQ(places.count(), 3u);
}

// A snapshot ends with one line that sums it up, --quiet takes that line and
// the progress away, and "-" is standard output, where CSV has no byte order
// mark to trip a reader (a file keeps it for spreadsheets).
TEST_F(CliCommands, StandardOutputSummaryAndQuiet) {
    ASSERT_EQ(snapshot("before.qvs"), kNoChanges);
    ASSERT_EQ(console.lines.size(), 1u);
    const std::string& summary = console.lines[0];
    const std::string opening =
        "snapshot: HKEY_CURRENT_USER\\Software\\App and C:\\Data\\ \xE2\x80\x94 2 registry entries, 1 file in ";
    EXPECT_EQ(summary.rfind(opening, 0), 0u) << summary;
    const std::string ending = " s, written to " + path("before.qvs");
    EXPECT_EQ(summary.substr(summary.size() - std::min(summary.size(), ending.size())), ending) << summary;
    EXPECT_FALSE(console.progressLines.empty());
    EXPECT_NE(console.progressLines.front().find(" entr"), std::string::npos) << console.progressLines.front();

    EXPECT_EQ(run({"snapshot", "--reg", "HKCU\\Software\\App", "--dir", "C:\\Data", "-o", "-"}), kNoChanges);
    std::string fault, error;
    std::optional<Collection> streamed = collectionFromBytes(console.out, fault);
    const std::optional<Collection> saved = loadCollection(path("before.qvs"), error);
    ASSERT_TRUE(streamed && saved) << fault << error;
    // The things two runs do not share: how long they took and when.
    streamed->seconds = saved->seconds;
    streamed->takenAt = saved->takenAt;
    EXPECT_EQ(*streamed, *saved);
    ASSERT_EQ(console.lines.size(), 1u);
    EXPECT_NE(console.lines[0].find(" s, written to standard output"), std::string::npos) << console.lines[0];

    EXPECT_EQ(run({"snapshot", "--dir", "C:\\Data", "-o", path("files.qvs"), "--quiet"}), kNoChanges);
    EXPECT_TRUE(console.lines.empty());
    EXPECT_TRUE(console.progressLines.empty());
    EXPECT_TRUE(pathExists(path("files.qvs")));

    runner.install();
    ASSERT_EQ(snapshot("after.qvs"), kNoChanges);
    EXPECT_EQ(run({"diff", path("before.qvs"), path("after.qvs"), "--format", "csv", "-o", "-", "-q"}), kChangesFound);
    EXPECT_EQ(console.out.rfind("List,Name,", 0), 0u) << console.out.substr(0, 12);
    EXPECT_TRUE(console.lines.empty());
    EXPECT_TRUE(console.progressLines.empty());
    const std::string csv = console.out;
    EXPECT_EQ(run({"diff", path("before.qvs"), path("after.qvs"), "--format", "csv"}), kChangesFound);
    EXPECT_EQ(console.out, csv);
    EXPECT_EQ(run({"diff", path("before.qvs"), path("after.qvs"), "--format", "csv", "-o", path("out.csv")}),
              kChangesFound);
    EXPECT_EQ(readWholeFile(path("out.csv")), "\xEF\xBB\xBF" + csv);
    EXPECT_EQ(run({"diff", path("before.qvs"), path("after.qvs"), "-o", "-"}), kChangesFound);
    EXPECT_EQ(console.out, kChanges);
}

TEST(CliProgress, CountsEntriesAndTime) {
    EXPECT_EQ(progressLine(1234567, 2.345, "Getting registry data: Software"),
              "1,234,567 entries, 2.3 s | Getting registry data: Software");
    EXPECT_EQ(progressLine(1, 0, "x"), "1 entry, 0.0 s | x");
    EXPECT_EQ(groupedNumber(0), "0");
    EXPECT_EQ(groupedNumber(999), "999");
    EXPECT_EQ(groupedNumber(1000), "1,000");
}

}  // namespace
}  // namespace qv::cli

#include "cli/arguments.h"

#include <gtest/gtest.h>

#include <functional>

#include "cli/process_runner.h"

namespace qv::cli {
namespace {

using Args = std::vector<std::string>;

TEST(CliArguments, UsableCommandLinesGiveTheirArguments) {
    const CaptureOptions hklm{true, "HKEY_LOCAL_MACHINE", "SOFTWARE", false, ""};
    const CaptureOptions both{true, "HKEY_CURRENT_USER", "", true, "C:\\"};
    // Each case sets what differs from the defaults.
    const struct {
        Args args;
        std::function<void(Arguments&)> set;
    } cases[] = {
        {{"snapshot", "--reg", "HKEY_LOCAL_MACHINE\\SOFTWARE", "-o", "before.qvs"},
         [&](Arguments& a) { a.command = Command::Snapshot; a.capture = hklm; a.output = "before.qvs"; }},
        {{"snapshot", "--dir=C:\\", "--reg", "HKEY_CURRENT_USER\\", "--settings", "C:\\Settings", "--output",
          "b.qvs"},
         [&](Arguments& a) { a.command = Command::Snapshot; a.capture = both;
                             a.settingsFolder = "C:\\Settings"; a.output = "b.qvs"; }},
        {{"diff", "a.qvs", "--format", "json", "b.qvs"},
         [](Arguments& a) { a.command = Command::Diff; a.format = ExportFormat::Json;
                            a.snapshots = {"a.qvs", "b.qvs"}; }},
        {{"watch", "--reg", "HKEY_LOCAL_MACHINE\\SOFTWARE\\", "-o", "r.reg", "--format=reg", "--",
          "setup.exe", "--help", "/S"},
         [&](Arguments& a) { a.command = Command::Watch; a.capture = hklm; a.output = "r.reg";
                             a.format = ExportFormat::RegUndo; a.program = {"setup.exe", "--help", "/S"}; }},
        {{"--help"}, [](Arguments& a) { a.help = true; }},
        {{"diff", "--format", "nonsense", "-h"},
         [](Arguments& a) { a.command = Command::Diff; a.help = true; }},
    };
    for (const auto& c : cases) {
        const ParsedArguments parsed = parseArguments(c.args);
        EXPECT_EQ(parsed.error, "") << c.args[0];
        Arguments expected;
        c.set(expected);
        EXPECT_TRUE(parsed.arguments == expected) << c.args[0] << " " << c.args.size();
    }
}

TEST(CliArguments, EachMistakeGetsOneClearLine) {
    const struct {
        Args args;
        const char* error;
    } cases[] = {
        {{}, "no command given (try quorvel-cli --help)"},
        {{"shot"}, "unknown command shot (try quorvel-cli --help)"},
        {{"snapshot", "-o", "x"}, "snapshot needs --reg, --dir or both"},
        {{"snapshot", "--dir", "C:\\"}, "snapshot needs -o FILE"},
        {{"snapshot", "--reg", "HKLM\\SOFTWARE", "-o", "x"},
         "unknown registry root HKLM (use HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS or "
         "HKEY_CURRENT_CONFIG)"},
        {{"snapshot", "--dir", "C:\\", "--dir", "D:\\", "-o", "x"}, "--dir is given twice"},
        {{"snapshot", "--dir=", "-o", "x"}, "--dir needs a value"},
        {{"snapshot", "--dir", "C:\\", "-o", "x", "extra"}, "unexpected argument extra"},
        {{"diff", "a.qvs"}, "diff needs two snapshot files, before and after"},
        {{"diff", "a", "b", "--reg", "HKEY_USERS"}, "unknown option --reg for diff"},
        {{"diff", "a", "b", "--format", "xml"}, "unknown format xml (use text, csv, json, html or reg)"},
        {{"watch", "--dir", "C:\\", "setup.exe"}, "watch needs -- and the installer to run"},
        {{"watch", "--dir", "C:\\", "--"}, "watch needs -- and the installer to run"},
    };
    for (const auto& c : cases) EXPECT_EQ(parseArguments(c.args).error, c.error);
}

TEST(CliArguments, InstallerArgumentsReachItUnchanged) {
    const struct {
        Args command;
        const char* line;
    } cases[] = {
        {{"setup.exe", "/S"}, "setup.exe /S"},
        {{"C:\\Program Files\\setup.exe", ""}, "\"C:\\Program Files\\setup.exe\" \"\""},
        {{"a\\\"b", "dir with\\"}, "\"a\\\\\\\"b\" \"dir with\\\\\""},
        {{"x\\\\y"}, "x\\\\y"},
    };
    for (const auto& c : cases) EXPECT_EQ(commandLine(c.command), c.line);
}

}  // namespace
}  // namespace qv::cli

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
        {{"/?"}, [](Arguments& a) { a.help = true; }},
        {{"--version"}, [](Arguments& a) { a.version = true; }},
        {{"snapshot", "--reg", "HKLM\\SOFTWARE", "-o", "before.qvs"},
         [&](Arguments& a) { a.command = Command::Snapshot; a.capture = hklm; a.output = "before.qvs"; }},
        {{"snapshot", "--reg", "hkey_Local_machine\\SOFTWARE", "-o", "before.qvs"},
         [&](Arguments& a) { a.command = Command::Snapshot; a.capture = hklm; a.output = "before.qvs"; }},
        {{"snapshot", "--reg", "hklm\\SOFTWARE", "-o", "before.qvs"},
         [&](Arguments& a) { a.command = Command::Snapshot; a.capture = hklm; a.output = "before.qvs"; }},
        {{"watch", "--reg", "HKCU", "--dir", "C:\\", "--timeout", "600", "--format", "cmd", "--", "s.exe"},
         [&](Arguments& a) { a.command = Command::Watch; a.capture = both; a.timeoutSeconds = 600;
                             a.format = ExportFormat::Cmd; a.program = {"s.exe"}; }},
        {{"diff", "--format", "nonsense", "-h"},
         [](Arguments& a) { a.command = Command::Diff; a.help = true; }},
        {{"snapshot", "--prefix", "/home/u/pfx", "--wait", "--reg", "HKLM\\SOFTWARE", "-o", "b.qvs"},
         [&](Arguments& a) { a.command = Command::Snapshot; a.capture = hklm; a.output = "b.qvs";
                             a.prefix = "/home/u/pfx"; a.waitForWine = true; }},
        {{"watch", "--prefix=/p x", "--reg", "HKCU", "--dir", "C:\\", "--", "wine", "setup.exe", "--wait"},
         [&](Arguments& a) { a.command = Command::Watch; a.capture = both; a.prefix = "/p x";
                             a.program = {"wine", "setup.exe", "--wait"}; }},
        {{"help", "diff"}, [](Arguments& a) { a.help = true; a.command = Command::Diff; }},
        {{"diff", "--format", "csv", "--", "-a.qvs", "--b.qvs"},
         [](Arguments& a) { a.command = Command::Diff; a.format = ExportFormat::Csv; a.snapshots = {"-a.qvs", "--b.qvs"}; }},
        {{"diff", "a.qvs", "b.qvs", "--format", "md", "--comment", "Game 1.2 | setup"},
         [](Arguments& a) { a.command = Command::Diff; a.snapshots = {"a.qvs", "b.qvs"};
                            a.format = ExportFormat::Markdown; a.comment = "Game 1.2 | setup"; }},
        {{"watch", "--dir", "C:\\", "--comment=x", "--format", "html", "--", "s.exe"},
         [&](Arguments& a) { a.command = Command::Watch; a.capture.files = true; a.capture.folder = "C:\\";
                             a.comment = "x"; a.format = ExportFormat::Html; a.program = {"s.exe"}; }},
        {{"diff", "a.qvs", "b.qvs", "--prefix", "/p"},
         [](Arguments& a) { a.command = Command::Diff; a.snapshots = {"a.qvs", "b.qvs"}; a.prefix = "/p"; }},
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
        {{"snapshot", "-o", "x"}, "snapshot needs --reg, --dir or --machine"},
        {{"snapshot", "--dir", "C:\\"}, "snapshot needs -o FILE"},
        {{"snapshot", "--reg", "HKLN\\SOFTWARE", "-o", "x"},
         "unknown registry root HKLN (use HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS or "
         "HKEY_CURRENT_CONFIG, or HKCR, HKCU, HKLM, HKU, HKCC)"},
        {{"watch", "--dir", "C:\\", "--timeout", "0", "--", "x"}, "--timeout needs a whole number of seconds, 1 or more"},
        {{"watch", "--dir", "C:\\", "--timeout", "9s", "--", "x"}, "--timeout needs a whole number of seconds, 1 or more"},
        {{"diff", "a", "b", "--timeout", "5"}, "unknown option --timeout for diff"},
        {{"snapshot", "--dir", "C:\\", "--settings", "a", "--settings", "b", "-o", "x"}, "--settings is given twice"},
        {{"snapshot", "--machine=1", "-o", "x"}, "--machine takes no value"},
        {{"snapshot", "--dir=", "-o", "x"}, "--dir needs a value"},
        {{"snapshot", "--dir", "C:\\", "-o", "x", "extra"}, "unexpected argument extra"},
        {{"diff", "a.qvs"}, "diff needs two snapshot files, before and after"},
        {{"diff", "a", "b", "--reg", "HKEY_USERS"}, "unknown option --reg for diff"},
        {{"diff", "a", "b", "--format", "xml"}, "unknown format xml (use text, csv, json, html, md, reg or cmd)"},
        {{"snapshot", "--dir", "C:\\", "-o", "x", "--comment", "c"}, "unknown option --comment for snapshot"},
        {{"diff", "a", "b", "--comment="}, "--comment needs a value"},
        {{"watch", "--dir", "C:\\", "setup.exe"}, "watch needs -- and the installer to run"},
        {{"watch", "--dir", "C:\\", "--"}, "watch needs -- and the installer to run"},
        {{"snapshot", "--dir", "C:\\", "-o", "x", "--wait=yes"}, "--wait takes no value"},
        {{"diff", "a", "b", "--wait"}, "unknown option --wait for diff"},
        {{"snapshot", "--dir", "C:\\", "-o", "x", "--prefix"}, "--prefix needs a value"},
        {{"snapshot", "--dir", "C:\\", "-o", "x", "--prefix="}, "--prefix needs a value"},
        {{"watch", "--prefix", "/a", "--prefix", "/b", "--dir", "C:\\", "--", "x"}, "--prefix is given twice"},
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

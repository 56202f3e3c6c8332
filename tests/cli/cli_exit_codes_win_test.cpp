// The real quorvel-cli.exe, run as a script runs it: each way a command can go
// wrong outside the program ends with its own exit code and one plain line on
// standard error, never the program's source text.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/utf.h"
#include "core/whole_file.h"
#include "tests/cli/cli_runner_win.h"

namespace qv {
namespace {

using testing::CliRun;
using testing::runCli;

class CliExitCodes : public ::testing::Test {
protected:
    CliExitCodes() {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / L"tree");
        writeWholeFile(dir_ / L"tree" / L"a.txt", "a");
        RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kKey) + L"\\Locked").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        // A DACL with no entries denies everyone, as a locked-down key does.
        ACL empty{};
        InitializeAcl(&empty, sizeof empty, ACL_REVISION);
        SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &empty, nullptr);
        RegCloseKey(key);
    }
    ~CliExitCodes() override {
        SetFileAttributesW((dir_ / L"readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    }
    static void writeWholeFile(const std::filesystem::path& path, const std::string& bytes) {
        ASSERT_TRUE(replaceWholeFile(toUtf8(path.wstring()), bytes));
    }
    std::wstring at(const wchar_t* name) const { return L"\"" + (dir_ / name).wstring() + L"\""; }

    static constexpr const wchar_t* kKey = L"Software\\QuorvelCliExitCodes";
    const std::filesystem::path dir_ =
        std::filesystem::temp_directory_path() / (L"quorvel-cli-codes-" + std::to_wstring(GetCurrentProcessId()));
};

TEST_F(CliExitCodes, EachFailureHasItsCodeAndOnePlainLine) {
    const std::wstring tree = at(L"tree");
    ASSERT_EQ(runCli(L"snapshot --dir " + tree + L" -o " + at(L"a.qvs"), dir_).code, 0u);
    writeWholeFile(dir_ / L"tree" / L"b.txt", "b");
    ASSERT_EQ(runCli(L"snapshot --dir " + tree + L" -o " + at(L"b.qvs"), dir_).code, 0u);
    writeWholeFile(dir_ / L"readonly.txt", "kept");
    SetFileAttributesW((dir_ / L"readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    const std::wstring diff = L"diff " + at(L"a.qvs") + L" " + at(L"b.qvs");
    const std::wstring missingInstaller = (dir_ / L"setup.exe").wstring();
    const struct {
        std::wstring arguments;
        DWORD code;
        std::string line;  // what standard error holds: the start of its one line, "" for nothing
    } cases[] = {
        {diff + L" -o NUL", 1, ""},
        {diff + L" -o " + at(L"readonly.txt"), 3, "quorvel-cli: cannot write "},
        {diff + L" --settings " + at(L"a.qvs"), 2, "quorvel-cli: the settings folder "},
        {L"snapshot --dir " + at(L"absent") + L" -o " + at(L"x.qvs"), 2, "quorvel-cli: no folder "},
        {L"snapshot --reg HKCU\\" + std::wstring(kKey) + L"\\Absent -o " + at(L"x.qvs"), 2,
         "quorvel-cli: no registry key HKEY_CURRENT_USER\\Software\\QuorvelCliExitCodes\\Absent\n"},
        // A warning is no progress: --quiet keeps it, and takes the summary.
        // A denied key below the start key is named too, not passed over.
        {L"snapshot --reg HKCU\\" + std::wstring(kKey) + L" --quiet -o " + at(L"parent.qvs"), 0,
         "quorvel-cli: warning: the registry key HKEY_CURRENT_USER\\Software\\QuorvelCliExitCodes\\Locked cannot be "
         "read"},
        {L"snapshot --reg HKCU\\" + std::wstring(kKey) + L"\\Locked --quiet -o " + at(L"locked.qvs"), 0,
         "quorvel-cli: warning: the registry key HKEY_CURRENT_USER\\Software\\QuorvelCliExitCodes\\Locked cannot be "
         "read"},
        {L"watch --dir " + tree + L" -- \"" + missingInstaller + L"\"", 3,
         "quorvel-cli: error 2: cannot start " + toUtf8(missingInstaller) + ": "},
        {L"watch --dir " + tree + L" --timeout 1 -- cmd.exe /c ping -n 30 127.0.0.1 >NUL", 3,
         "quorvel-cli: error 1460: cmd.exe did not end within 1 seconds"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.arguments));
        const CliRun run = runCli(c.arguments, dir_);
        EXPECT_EQ(run.code, c.code);
        const std::string errors = run.errors;
        if (c.line.empty()) {
            EXPECT_EQ(errors, "");
        } else {
            EXPECT_EQ(errors.rfind(c.line, 0), 0u) << errors;
            EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        }
        EXPECT_EQ(errors.find("statement"), std::string::npos) << errors;
    }
    EXPECT_EQ(readWholeFile(toUtf8((dir_ / L"readonly.txt").wstring())).value_or(""), "kept");
    EXPECT_TRUE(GetFileAttributesW((dir_ / L"readonly.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(std::filesystem::exists(dir_ / L"x.qvs"));

    // Standard output that refuses the results, as a closed pipe does.
    HANDLE read = nullptr, write = nullptr;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    ASSERT_TRUE(CreatePipe(&read, &write, &inherit, 0));
    CloseHandle(read);
    const CliRun closed = runCli(diff, dir_, write);
    CloseHandle(write);
    EXPECT_EQ(closed.code, 3u);
    EXPECT_EQ(closed.errors.rfind("quorvel-cli: cannot write the results to standard output", 0), 0u) << closed.errors;

}

}  // namespace
}  // namespace qv

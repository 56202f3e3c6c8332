// The real quorvel-cli.exe watching a real install step: new folders are rows
// of their own, and one capture covers keys below two roots.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/utf.h"
#include "core/whole_file.h"
#include "tests/cli/cli_runner_win.h"

namespace qv {
namespace {

using testing::runCli;

class CliPlaces : public ::testing::Test {
protected:
    CliPlaces() {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / L"tree");
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            RegDeleteTreeW(root, kKey);
            HKEY key = nullptr;
            RegCreateKeyExW(root, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
            RegCloseKey(key);
        }
    }
    ~CliPlaces() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) RegDeleteTreeW(root, kKey);
    }
    std::wstring at(const wchar_t* name) const { return L"\"" + (dir_ / name).wstring() + L"\""; }
    std::string path(const wchar_t* name) const { return toUtf8((dir_ / name).wstring()); }

    static constexpr const wchar_t* kKey = L"Software\\QuorvelCliPlaces";
    const std::filesystem::path dir_ =
        std::filesystem::temp_directory_path() / (L"quorvel-cli-places-" + std::to_wstring(GetCurrentProcessId()));
};

// An installer's step that makes a folder and a subfolder, and writes a value
// below each of two roots: all of it is found in one watch.
TEST_F(CliPlaces, WatchSeesNewFoldersAndValuesBelowTwoRoots) {
    const std::string tree = path(L"tree");
    ASSERT_TRUE(replaceWholeFile(path(L"setup.cmd"),
                                 "@mkdir \"" + tree + "\\qvnewdir\\sub\"\r\n"
                                 "@reg add HKLM\\Software\\QuorvelCliPlaces /v machine /d 1 /f >nul\r\n"
                                 "@reg add HKCU\\Software\\QuorvelCliPlaces /v user /d 2 /f >nul\r\n"));
    const auto run = runCli(L"watch --reg HKLM\\Software\\QuorvelCliPlaces --reg HKCU\\Software\\QuorvelCliPlaces "
                            L"--dir " + at(L"tree") + L" -o " + at(L"changes.txt") + L" -- cmd /c " + at(L"setup.cmd"),
                            dir_);
    EXPECT_EQ(run.code, 1u) << run.errors;
    const std::string text = readWholeFile(path(L"changes.txt")).value_or("");
    EXPECT_NE(text.find("[New registry entries] 2 rows\n"), std::string::npos) << text;
    EXPECT_NE(text.find("    HKEY_LOCAL_MACHINE\\Software\\QuorvelCliPlaces\\ | machine | 1\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("    HKEY_CURRENT_USER\\Software\\QuorvelCliPlaces\\ | user | 2\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("[New files created] 2 rows\n    " + tree + "\\qvnewdir\\ |  | "), std::string::npos) << text;
    EXPECT_NE(text.find("\n    " + tree + "\\qvnewdir\\sub\\ |  | "), std::string::npos) << text;

    // The folders undone with the cmd export: a diff against the first
    // snapshot is clean again.
    std::filesystem::remove_all(dir_ / L"tree" / L"qvnewdir");
    const std::wstring snapshot = L"snapshot --dir " + at(L"tree") + L" -o ";
    ASSERT_EQ(runCli(snapshot + at(L"before.qvs"), dir_).code, 0u);
    ASSERT_EQ(_wsystem((L"cmd /c \"" + (dir_ / L"setup.cmd").wstring() + L"\"").c_str()), 0);
    ASSERT_EQ(runCli(snapshot + at(L"after.qvs"), dir_).code, 0u);
    EXPECT_EQ(runCli(L"diff " + at(L"before.qvs") + L" " + at(L"after.qvs") + L" --format cmd -o " + at(L"undo.cmd"),
                     dir_).code, 1u);
    // cmd's own commands leave the error level as they found it, so what
    // counts is what the file did, not the code it ends with.
    _wsystem((L"cmd /c \"" + (dir_ / L"undo.cmd").wstring() + L"\"").c_str());
    EXPECT_FALSE(std::filesystem::exists(dir_ / L"tree" / L"qvnewdir"));
    ASSERT_EQ(runCli(snapshot + at(L"undone.qvs"), dir_).code, 0u);
    EXPECT_EQ(runCli(L"diff " + at(L"before.qvs") + L" " + at(L"undone.qvs"), dir_).code, 0u);
}

}  // namespace
}  // namespace qv

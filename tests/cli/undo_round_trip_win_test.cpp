// The whole promise of the undo file, on the real registry under the real
// programs: what an "installer" changed, deleted and added in a key of every
// value type is put back byte for byte by regedit applying quorvel-cli's undo.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/utf.h"
#include "core/whole_file.h"
#include "tests/cli/cli_runner_win.h"

namespace qv {
namespace {

using testing::runCli;

// Every value below a key, with its type and bytes, by key path and name.
using RawValues = std::map<std::pair<std::wstring, std::wstring>, std::pair<DWORD, std::string>>;

void readTree(HKEY parent, const std::wstring& path, RawValues& out, std::vector<std::wstring>& keys) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    keys.push_back(path);
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD nameChars = static_cast<DWORD>(name.size()), bytes = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueW(key, i, name.data(), &nameChars, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS)
            break;
        out[{path, std::wstring(name.data(), nameChars)}] = {type, std::string(data.begin(), data.begin() + bytes)};
    }
    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD nameChars = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key, i, name.data(), &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        subkeys.emplace_back(name.data(), nameChars);
    }
    RegCloseKey(key);
    for (const std::wstring& sub : subkeys) readTree(parent, path + L"\\" + sub, out, keys);
}

void set(const std::wstring& key, const std::wstring& name, DWORD type, const std::string& bytes) {
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.empty() ? nullptr : name.c_str(), type, bytes.data(),
                    static_cast<DWORD>(bytes.size()));
}

std::string units(std::u16string_view s) {
    std::string bytes;
    for (char16_t u : s) bytes += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    return bytes;
}

DWORD runAndWait(std::wstring line) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return ~0u;
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = ~0u;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

TEST(UndoRoundTrip, RegeditApplyingTheUndoRestoresEveryValueByteForByte) {
    const std::wstring root = L"Software\\QuorvelUndo-" + std::to_wstring(GetCurrentProcessId());
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / (L"quorvel-undo-" + std::to_wstring(GetCurrentProcessId()));
    std::filesystem::create_directories(dir);
    // Every detection switch on, so that deleted values and edits' old data are listed.
    ASSERT_TRUE(replaceWholeFile(toUtf8((dir / L"Settings.dat").wstring()), "1,1,1,1,1,1\r\n"));
    RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str());

    const std::wstring deep = root + L"\\One\\Two\\Three";
    const std::wstring oddName = L"line\r\nbreak \"quoted\"";
    set(root, L"", REG_SZ, units(std::u16string(u"the default\0", 12)));
    set(root, L"sz", REG_SZ, units(std::u16string(u"C:\\Program Files\\App\0", 21)));
    set(root, L"expand", REG_EXPAND_SZ, units(std::u16string(u"%TEMP%\\x\0", 9)));
    set(root, L"multi", REG_MULTI_SZ, units(std::u16string(u"one\0\0three\0\0", 12)));
    set(root, L"bin", REG_BINARY, std::string("\x00\x01\xFE\xFF", 4));
    set(root, L"dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4));
    set(root, L"qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    set(root, L"none", REG_NONE, std::string("\xDE\xAD\xBE\xEF", 4));
    set(root, L"odd", 0x1234, "odd bytes");
    set(root, oddName, REG_SZ, units(std::u16string(u"x\0", 2)));
    set(root, L"five", REG_SZ, units(std::u16string(u"5\0", 2)));
    set(deep, L"deep", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
    RawValues before;
    std::vector<std::wstring> keysBefore;
    readTree(HKEY_CURRENT_USER, root, before, keysBefore);
    ASSERT_EQ(before.size(), 12u);

    const std::wstring reg = L"--reg HKCU\\" + root + L" --settings \"" + dir.wstring() + L"\"";
    const auto at = [&](const wchar_t* name) { return L"\"" + (dir / name).wstring() + L"\""; };
    ASSERT_EQ(runCli(L"snapshot " + reg + L" -o " + at(L"first.qvs"), dir).code, 0u);

    // The "installer": edits (data, and type alone), deletions, additions.
    set(root, L"", REG_SZ, units(std::u16string(u"changed\0", 8)));
    set(root, L"expand", REG_EXPAND_SZ, units(std::u16string(u"%WINDIR%\\y\0", 11)));
    set(root, L"multi", REG_MULTI_SZ, units(std::u16string(u"one\0\0four\0\0", 11)));
    set(root, L"qword", REG_QWORD, std::string("\x09\x02\x03\x04\x05\x06\x07\x08", 8));
    set(root, L"none", REG_NONE, std::string("\x00", 1));
    set(root, L"five", REG_DWORD, std::string("\x05\x00\x00\x00", 4));
    set(root, oddName, REG_SZ, units(std::u16string(u"y\0", 2)));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, root.c_str(), L"odd");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, root.c_str(), L"bin");
    RegDeleteTreeW(HKEY_CURRENT_USER, (root + L"\\One").c_str());
    set(root, L"added", REG_SZ, units(std::u16string(u"new\0", 4)));
    set(root + L"\\Plugins\\Deep", L"p", REG_DWORD, std::string("\x02\x00\x00\x00", 4));

    ASSERT_EQ(runCli(L"snapshot " + reg + L" -o " + at(L"final.qvs"), dir).code, 0u);
    const testing::CliRun diff = runCli(L"diff " + at(L"first.qvs") + L" " + at(L"final.qvs") + L" --settings \"" +
                                            dir.wstring() + L"\" --format reg -o " + at(L"undo.reg"),
                                        dir);
    ASSERT_EQ(diff.code, 1u) << diff.errors;
    ASSERT_EQ(runAndWait(L"regedit.exe /s " + at(L"undo.reg")), 0u);

    RawValues after;
    std::vector<std::wstring> keysAfter;
    readTree(HKEY_CURRENT_USER, root, after, keysAfter);
    EXPECT_EQ(keysAfter, keysBefore);
    EXPECT_EQ(after.size(), before.size());
    for (const auto& [where, value] : before) {
        SCOPED_TRACE(toUtf8(where.first + L" : " + where.second));
        const auto found = after.find(where);
        ASSERT_NE(found, after.end());
        EXPECT_EQ(found->second.first, value.first);
        EXPECT_EQ(found->second.second, value.second);
    }
    ASSERT_EQ(runCli(L"snapshot " + reg + L" -o " + at(L"third.qvs"), dir).code, 0u);
    EXPECT_EQ(runCli(L"diff " + at(L"first.qvs") + L" " + at(L"third.qvs") + L" --settings \"" + dir.wstring() + L"\"",
                     dir)
                  .code,
              0u);

    RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str());
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

}  // namespace
}  // namespace qv

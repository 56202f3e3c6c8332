#include "capture/directory_source_win.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <stdexcept>

#include "capture/file_finder.h"
#include "core/failure.h"
#include "core/statements.h"
#include "core/utf.h"
#include "support/error_report.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::wstring tempFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH) throw std::runtime_error("no temp folder");
    std::wstring path(buffer, n);
    if (path.back() == L'\\') path.pop_back();
    return path;
}

void makeDir(const std::wstring& path) {
    if (!CreateDirectoryW(extendedPath(path).c_str(), nullptr))
        throw std::runtime_error("CreateDirectoryW failed: " + std::to_string(GetLastError()));
}

void makeFile(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    HANDLE h =
        CreateFileW(extendedPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("CreateFileW failed: " + std::to_string(GetLastError()));
    DWORD written = 0;
    WriteFile(h, "data", 4, &written, nullptr);
    CloseHandle(h);
}

// Deletes a tree without ever following a link inside it.
void removeTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(extendedPath(path + L"\\*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = extendedPath(path + L"\\" + name);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    RemoveDirectoryW(child.c_str());
                } else {
                    removeTree(path + L"\\" + name);
                }
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(h, &data));
        FindClose(h);
    }
    RemoveDirectoryW(extendedPath(path).c_str());
}

// A directory link at `link` leading to the folder `target`; Windows allows it
// unprivileged in developer mode.
bool makeDirectoryLink(const std::wstring& link, const std::wstring& target) {
    return CreateSymbolicLinkW(link.c_str(), target.c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
}

bool isReparseFolder(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
           (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

uint64_t utcTicksOfLocal(const SYSTEMTIME& local) {
    SYSTEMTIME utc;
    FILETIME ft;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &ft))
        throw std::runtime_error("cannot convert the test time");
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// The platform's short date, and unless `dateOnly` a blank and its long time.
std::string platformText(const SYSTEMTIME& local, bool dateOnly = false) {
    wchar_t dateText[128] = {}, timeText[128] = {};
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, dateText, 128, nullptr);
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, timeText, 128);
    return toUtf8(dateOnly ? std::wstring(dateText) : std::wstring(dateText) + L" " + timeText);
}

// A scan of a real folder through the platform source.
struct Scan {
    AppState state;
    Win32DirectorySource source;
    testing::ScriptedYielder yielder;
    testing::ScriptedView view;
    testing::ScriptedPrompt prompt;
    ErrorReporter reporter{prompt};
    clsFileFind finder{state, source, yielder, view, reporter};

    explicit Scan(const std::string& folder) {
        state.StartFileListBoolean = true;
        finder.SearchFile(folder, true);
    }
    std::vector<std::string> paths() const {
        std::vector<std::string> out;
        for (size_t i = 1; i < state.StartFileList.size(); ++i)
            out.push_back(state.StartFileList[i].Filepath);
        return out;
    }
};

std::string folderOf(const std::string& path) {
    return path.substr(0, path.rfind('\\'));
}

class RealTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = tempFolder() + L"\\quorvel_scan_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(GetTickCount64());
        makeDir(base_);
    }
    void TearDown() override { removeTree(base_); }

    std::string base() const { return toUtf8(base_); }

    std::wstring base_;
};

TEST_F(RealTreeTest, ScanRecordsExactlyTheFilesOfTheTreeInPreOrder) {
    makeFile(base_ + L"\\plain.txt");
    makeFile(base_ + L"\\hidden.txt", FILE_ATTRIBUTE_HIDDEN);
    makeFile(base_ + L"\\system.dat", FILE_ATTRIBUTE_SYSTEM);
    makeFile(base_ + L"\\Gr\u00fc\u00dfe \u65e5\u672c.txt");
    makeDir(base_ + L"\\sub");
    makeFile(base_ + L"\\sub\\inner.txt");
    makeDir(base_ + L"\\sub\\empty");
    std::wstring deep = base_ + L"\\long";
    makeDir(deep);
    while (deep.size() < 290) {
        deep += L"\\" + std::wstring(50, L'n');
        makeDir(deep);
    }
    const std::wstring longFile = deep + L"\\long file.txt";
    makeFile(longFile);
    ASSERT_GE(longFile.size(), 300u);

    Scan scan(base() + "\\");

    const std::string b = base();
    std::vector<std::string> expected = {b + "\\plain.txt",
                                         b + "\\hidden.txt",
                                         b + "\\system.dat",
                                         b + "\\Gr\xC3\xBC\xC3\x9F"
                                             "e \xE6\x97\xA5\xE6\x9C\xAC.txt",
                                         b + "\\sub\\inner.txt",
                                         toUtf8(longFile),
                                         // Folders are entries too, with their backslash.
                                         b + "\\sub\\",
                                         b + "\\sub\\empty\\"};
    for (std::wstring folder = deep; folder.size() > base_.size(); folder.resize(folder.rfind(L'\\')))
        expected.push_back(toUtf8(folder) + "\\");
    std::vector<std::string> got = scan.paths();
    EXPECT_EQ(scan.finder.ResultFlag(), clsFileFind::DirExSuccess);
    std::vector<std::string> sortedGot = got;
    std::sort(sortedGot.begin(), sortedGot.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sortedGot, expected);

    // Pre-order: the start folder's files first, each folder's files in one run.
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(folderOf(got[i]), b) << got[i];
    EXPECT_EQ(scan.prompt.calls.size(), 0u);

    // The text itself is the times test's; here only that every file got one.
    for (size_t i = 1; i < scan.state.StartFileList.size(); ++i)
        EXPECT_FALSE(scan.state.StartFileList[i].ModifiedDate.empty())
            << scan.state.StartFileList[i].Filepath;
    EXPECT_EQ(scan.view.status, "Getting file system data: " + got.back());
    // Only meaningful if the platform kept the attributes the scan must pass over.
    EXPECT_TRUE(scan.source.attributes(b + "\\hidden.txt").value_or(0) & kAttrHidden);
    EXPECT_TRUE(scan.source.attributes(b + "\\system.dat").value_or(0) & kAttrSystem);
}

// A link to a folder that holds the tree is recorded and not entered; a link
// to a folder outside the tree is walked once, under its own path, so a file
// placed through it is seen.
TEST_F(RealTreeTest, LinksOutOfTheTreeAreWalkedAndLinksBackAreNot) {
    const std::wstring tree = base_ + L"\\linked", outside = base_ + L"\\elsewhere";
    makeDir(tree);
    makeDir(outside);
    makeFile(tree + L"\\inside.txt");
    makeFile(outside + L"\\outside.txt");
    std::wstring root;
    if (makeDirectoryLink(tree + L"\\loop", tree) && makeDirectoryLink(tree + L"\\out", outside) &&
        isReparseFolder(tree + L"\\loop")) {
        root = tree;
    } else {
        // The platform cannot make the link here (Wine 8, or Windows outside
        // developer mode): use a folder prepared outside with a directory
        // symlink "loop" to itself and "out" to a folder beside it that
        // holds outside.txt.
        wchar_t env[1024];
        const DWORD n = GetEnvironmentVariableW(L"QUORVEL_TEST_LINK_TREE", env, 1024);
        if (n == 0 || n >= 1024) {
            GTEST_SKIP() << "no directory links and QUORVEL_TEST_LINK_TREE is not set";
        }
        root.assign(env, n);
        if (root.front() == L'/') {
            std::replace(root.begin(), root.end(), L'/', L'\\');
            root = L"Z:" + root;
        }
        if (root.back() == L'\\') root.pop_back();
        ASSERT_TRUE(isReparseFolder(root + L"\\loop") && isReparseFolder(root + L"\\out"))
            << "QUORVEL_TEST_LINK_TREE has no directory links named loop and out";
    }

    Scan scan(toUtf8(root) + "\\");

    const std::string at = toUtf8(root);
    EXPECT_THAT(scan.paths(), ElementsAre(at + "\\inside.txt", at + "\\loop\\", at + "\\out\\",
                                          at + "\\out\\outside.txt"));
    EXPECT_EQ(scan.finder.Files(), 4);  // the two files and the two links, which "*.*" matches
    EXPECT_EQ(scan.finder.ResultFlag(), clsFileFind::DirExSuccess);
    // Both links are links to the platform: the walk told them apart by where they lead.
    EXPECT_FALSE(scan.source.folderIdentity(at + "\\out\\").empty());
    EXPECT_EQ(scan.source.folderIdentity(at + "\\loop\\"), scan.source.folderIdentity(at + "\\"));
}

TEST_F(RealTreeTest, SizesAttributesAndListingsOfLongPaths) {
    std::wstring deep = base_;
    while (deep.size() < 320) {
        deep += L"\\" + std::wstring(60, L'x');
        makeDir(deep);
    }
    makeFile(deep + L"\\f.bin");
    Win32DirectorySource source;
    const std::string folder = toUtf8(deep);

    EXPECT_EQ(source.fileSize(folder + "\\f.bin"), 4u);
    EXPECT_EQ(source.fileSize(folder), std::nullopt);
    EXPECT_EQ(source.fileSize(folder + "\\missing.bin"), std::nullopt);
    ASSERT_TRUE(source.attributes(folder).has_value());
    EXPECT_TRUE(*source.attributes(folder) & kAttrDirectory);
    EXPECT_EQ(source.fullPathName(folder + "\\.\\f.bin"), folder + "\\f.bin");

    auto listing = source.list(folder + "\\");
    ASSERT_NE(listing, nullptr);
    std::vector<std::string> names;
    DirEntry entry;
    while (listing->next(entry)) names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    EXPECT_THAT(names, ElementsAre(".", "..", "f.bin"));

    EXPECT_EQ(source.list(folder + "\\missing\\"), nullptr);
    EXPECT_EQ(source.list(folder + "\\f.bin\\"), nullptr);
    EXPECT_EQ(source.attributes(folder + "\\missing"), std::nullopt);
}

TEST(Win32DirectorySourceTimes, TextIsThePlatformsDateAndTimeWithSecondsOrTheDateAloneAtMidnight) {
    Win32DirectorySource first, second;
    const SYSTEMTIME summer{2021, 7, 0, 4, 13, 45, 37, 0};
    const uint64_t ticks = utcTicksOfLocal(summer);
    const std::string text = first.modifiedText(ticks).str();
    EXPECT_EQ(text, platformText(summer));
    EXPECT_THAT(text, HasSubstr("37"));
    EXPECT_EQ(text, first.modifiedText(ticks));
    EXPECT_EQ(text, second.modifiedText(ticks + 1234));  // below a second
    // Winter time uses its own offset.
    const SYSTEMTIME winter{2022, 1, 0, 15, 10, 0, 5, 0};
    EXPECT_EQ(first.modifiedText(utcTicksOfLocal(winter)), platformText(winter));
    const SYSTEMTIME midnight{2020, 2, 0, 29, 0, 0, 0, 0};
    EXPECT_EQ(first.modifiedText(utcTicksOfLocal(midnight)), platformText(midnight, true));
}

TEST(Win32DirectorySourceTimes, UnconvertibleTimeIsANumberedFailure) {
    Win32DirectorySource source;
    try {
        source.modifiedText(0x8000000000000000ull + 5);
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        const Statement at = statementAt(failure.where().file_name(), failure.where().line());
        EXPECT_GT(at.number, 0);
        EXPECT_THAT(std::string(at.text), HasSubstr("FileTimeToSystemTime"));
    }
}

TEST(ExtendedPath, PrefixesAbsolutePathsOnly) {
    EXPECT_EQ(extendedPath(L"C:\\Data\\"), L"\\\\?\\C:\\Data\\");
    EXPECT_EQ(extendedPath(L"\\\\server\\share\\dir"), L"\\\\?\\UNC\\server\\share\\dir");
    EXPECT_EQ(extendedPath(L"\\\\?\\C:\\x"), L"\\\\?\\C:\\x");
    EXPECT_EQ(extendedPath(L"relative\\dir"), L"relative\\dir");
    // The extended form skips the platform's parsing, so such paths are parsed first.
    EXPECT_EQ(extendedPath(L"C:/Data/sub/../x"), L"\\\\?\\C:\\Data\\x");
    EXPECT_EQ(extendedPath(L"C:\\Data\\.\\x"), L"\\\\?\\C:\\Data\\x");
    EXPECT_EQ(extendedPath(L"C:\\Data\\..name"), L"\\\\?\\C:\\Data\\..name");
}

}  // namespace
}  // namespace qv

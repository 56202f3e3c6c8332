// The real about box under Wine: its texts, and where "System Info..." looks
// for the tool, with the two registry places written and removed by the test.
#include "support/about_box_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "core/utf.h"
#include "core/whole_file.h"
#include "support/about_box.h"
#include "support/message_box_win.h"
#include "tests/support/fakes/box_answerer_win.h"
#include "tests/support/fakes/saved_registry_value_win.h"
#include "tests/support/fakes/window_driver_win.h"

namespace qv {
namespace {

using testing::BoxAnswerer;
using testing::SavedRegistryValue;
using namespace about;

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::displayReady()) GTEST_SKIP() << "no display";
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = toUtf8(temp) + "QuorvelAboutTest-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryW(toWide(folder_).c_str(), nullptr);
        CreateDirectoryW(toWide(folder_ + "\\empty").c_str(), nullptr);
        toolPath_ = std::make_unique<SavedRegistryValue>(
            HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", L"PATH");
        toolFolder_ = std::make_unique<SavedRegistryValue>(
            HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Shared Tools Location", L"MSINFO");
        about_.show(nullptr);
        ASSERT_NE(about_.hwnd(), nullptr);
    }
    void TearDown() override {
        toolPath_.reset();
        toolFolder_.reset();
        for (const char* name : {"\\tool.bat", "\\marker.txt", "\\MSINFO32.EXE"})
            DeleteFileW(toWide(folder_ + name).c_str());
        RemoveDirectoryW(toWide(folder_ + "\\empty").c_str());
        RemoveDirectoryW(toWide(folder_).c_str());
    }
    std::wstring text(HWND window) {
        wchar_t buffer[256] = {};
        GetWindowTextW(window, buffer, 256);
        return buffer;
    }

    std::string folder_;
    std::unique_ptr<SavedRegistryValue> toolPath_, toolFolder_;
    MessageBoxPrompt prompt_;
    AboutBox about_{GetModuleHandleW(nullptr), prompt_};
};

TEST_F(AboutBoxTest, ShowsTheNameTheBareVersionAndItsTitleAndOkClosesIt) {
    const HWND box = about_.hwnd();
    EXPECT_EQ(text(box), L"About Quorvel");
    const std::pair<int, const wchar_t*> labels[] = {
        {IDC_lblTitle, L"Quorvel"},
        {IDC_lblVersion, L"1.00"},
        {IDC_lblDescription,
         L"Will detect changes made to the registry and file system upon setup of any game/application"},
        {IDC_lblDisclaimer, L"Warning: Use this program at your own risk. "},
        {IDC_cmdOK, L"OK"},
        {IDC_cmdSysInfo, L"&System Info..."},
    };
    for (const auto& [id, caption] : labels) EXPECT_EQ(text(GetDlgItem(box, id)), caption) << id;
    EXPECT_EQ(testing::cutCaptions(box), std::vector<std::string>{});
    testing::keepScreenshot(box, L"about-box.bmp");
    // Tab walks the buttons as they stand, left to right.
    EXPECT_EQ(GetNextDlgTabItem(box, GetDlgItem(box, IDC_cmdSysInfo), FALSE), GetDlgItem(box, IDC_cmdOK));
    about_.show(nullptr);
    EXPECT_EQ(about_.hwnd(), box) << "one about box at a time";
    SendMessageW(GetDlgItem(box, IDC_cmdOK), BM_CLICK, 0, 0);
    EXPECT_EQ(about_.hwnd(), nullptr);
    EXPECT_FALSE(IsWindow(box));
}

TEST_F(AboutBoxTest, SystemInfoStartsTheToolFromEitherPlaceOrSaysItIsUnavailable) {
    const std::string marker = folder_ + "\\marker.txt";
    const std::string tool = folder_ + "\\tool.bat";
    ASSERT_TRUE(replaceWholeFile(tool, "@echo started>\"" + marker + "\"\r\n"));
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    // A program that starts and ends without a window stands in for the tool.
    ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\rundll32.exe").c_str(),
                          toWide(folder_ + "\\MSINFO32.EXE").c_str(), FALSE));
    struct Case {
        const char* name;
        std::optional<std::string> path, folder;
        bool started;  // false: the unavailable box
        bool marked;   // the tool left its marker
    };
    const Case cases[] = {
        {"neither place", std::nullopt, std::nullopt, false, false},
        {"the tool's path", tool, std::nullopt, true, true},
        {"the path wins over the folder", tool, folder_ + "\\empty", true, true},
        {"a path that cannot start", folder_ + "\\missing.exe", folder_, false, false},
        {"a folder without the tool", std::nullopt, folder_ + "\\empty", false, false},
        {"a folder with the tool", std::nullopt, folder_, true, false},
    };
    BoxAnswerer boxes;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        toolPath_->remove();
        toolFolder_->remove();
        if (c.path) toolPath_->set(toWide(*c.path));
        if (c.folder) toolFolder_->set(toWide(*c.folder));
        DeleteFileW(toWide(marker).c_str());
        boxes.seen.clear();
        SendMessageW(GetDlgItem(about_.hwnd(), IDC_cmdSysInfo), BM_CLICK, 0, 0);
        using Seen = std::vector<std::pair<std::wstring, std::wstring>>;
        const Seen unavailable = {{L"Quorvel", L"System Information Is Unavailable At This Time"}};
        EXPECT_EQ(boxes.seen, c.started ? Seen{} : unavailable);
        for (int i = 0; c.marked && i < 200 && !readWholeFile(marker); ++i) Sleep(50);
        EXPECT_EQ(readWholeFile(marker).has_value(), c.marked);
        EXPECT_NE(about_.hwnd(), nullptr) << "the about box stays open";
    }
}

}  // namespace
}  // namespace qv

// The four data files beside the exe and the real advanced dialog under Wine:
// start-up reads the files, the dialog writes them byte for byte, Cancel leaves
// them alone, and a failed save is reported.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/application_win.h"
#include "core/utf.h"
#include "core/whole_file.h"
#include "settings/data_files.h"
#include "tests/support/fakes/box_answerer_win.h"
#include "tests/support/fakes/saved_registry_value_win.h"
#include "tests/support/fakes/window_driver_win.h"

namespace qv {
namespace {

using testing::BoxAnswerer;
namespace adv = advanced;

const char* const kFileNames[] = {"Settings.dat", "RegExceptions.dat", "FileExceptions.dat", "Filter.dat"};

std::string dataFile(const char* name) { return exeFolder() + "\\" + name; }

void removeDataFiles() {
    for (const char* name : kFileNames) {
        const std::wstring path = toWide(dataFile(name));
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
}

void writeFile(const std::string& path, const std::string& bytes) { ASSERT_TRUE(replaceWholeFile(path, bytes)); }

class SettingsFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::displayReady()) GTEST_SKIP() << "no display";
        removeDataFiles();
    }
    void TearDown() override {
        app_.reset();
        removeDataFiles();
    }
    void start() {
        // Agreed before, and the update check asks a loopback port where nothing listens.
        firstRun_.set(L"No");
        app_ = std::make_unique<Application>(GetModuleHandleW(nullptr), "127.0.0.1:9");
        app_->window().onClose = [] {};
        app_->remembers = false;
        app_->Form_Load(SW_SHOW);
        ASSERT_NE(app_->window().hwnd(), nullptr);
    }
    HWND main(int id) { return app_->window().control(id); }
    HWND dialog() { return app_->advanced().hwnd(); }
    HWND item(int id) { return GetDlgItem(dialog(), id); }
    void click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
    void openDialog() {
        click(main(IDC_cmdAdvanced));
        ASSERT_NE(dialog(), nullptr);
    }
    void selectTab(int index) {
        SendMessageW(item(adv::IDC_tbExceptions), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
        NMHDR hdr{item(adv::IDC_tbExceptions), static_cast<UINT_PTR>(adv::IDC_tbExceptions), TCN_SELCHANGE};
        SendMessageW(dialog(), WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
    }
    void tick(int listId, int row) {
        LVITEMW state{};
        state.stateMask = LVIS_STATEIMAGEMASK;
        state.state = INDEXTOSTATEIMAGEMASK(2);
        SendMessageW(item(listId), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    }
    void setText(int id, const wchar_t* text) { SetWindowTextW(item(id), text); }
    std::vector<std::string> fileBytes() {
        std::vector<std::string> out;
        for (const char* name : kFileNames) out.push_back(readWholeFile(dataFile(name)).value_or("<missing>"));
        return out;
    }

    testing::SavedRegistryValue firstRun_{HKEY_CURRENT_USER, L"SOFTWARE\\Marrowby", L"QuorvelFirstTime"};
    std::unique_ptr<Application> app_;
};

TEST_F(SettingsFilesTest, DialogEditsAreWrittenByteForByteAndCancelWritesNothing) {
    writeFile(dataFile("RegExceptions.dat"), "HKEY_USERS\rS-1\r\r\n");
    writeFile(dataFile("Filter.dat"), "old\r\r\n");
    start();
    openDialog();
    EXPECT_EQ(testing::columnTexts(item(adv::IDC_lstRegExceptions), 1), (std::vector<std::string>{"S-1"}));
    EXPECT_TRUE(IsWindowVisible(item(adv::IDC_lstRegExceptions)));
    EXPECT_FALSE(IsWindowVisible(item(adv::IDC_lstFilter)));

    click(item(adv::IDC_chkDeleteReg));
    click(item(adv::IDC_chkNewFiles));
    SendMessageW(item(adv::IDC_cmbRegStartAdvanced), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(L"HKEY_CURRENT_USER"));
    setText(adv::IDC_txtRegKey, L"Software\\Noisy");
    click(item(adv::IDC_cmdAddRegExceptions));
    tick(adv::IDC_lstRegExceptions, 0);
    click(item(adv::IDC_cmdRemoveRegExceptions));

    selectTab(1);
    EXPECT_TRUE(IsWindowVisible(item(adv::IDC_optFolder)));
    EXPECT_FALSE(IsWindowVisible(item(adv::IDC_txtRegKey)));
    selectTab(2);
    EXPECT_TRUE(IsWindowVisible(item(adv::IDC_txtFilter)));
    setText(adv::IDC_txtFilter, L"new data");
    click(item(adv::IDC_cmdAddRegExceptions));
    testing::keepScreenshot(dialog(), L"advanced-dialog-filter.bmp");
    selectTab(0);
    testing::keepScreenshot(dialog(), L"advanced-dialog-registry.bmp");
    // The page behind every check box is the dialog's own colour: no dark
    // band where a group box left its inside unpainted.
    RedrawWindow(dialog(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    HDC screen = GetDC(nullptr);
    for (int id : {adv::IDC_chkNewReg, adv::IDC_chkEditedReg, adv::IDC_chkNewFiles, adv::IDC_chkModifiedFiles}) {
        RECT r{};
        GetWindowRect(item(id), &r);
        // Past the caption's end, and in the gap just below the box.
        EXPECT_EQ(GetPixel(screen, r.right - 3, (r.top + r.bottom) / 2), face) << "check box " << id;
        EXPECT_EQ(GetPixel(screen, r.right - 3, r.bottom + 1), face) << "below check box " << id;
        // And the box with its caption is drawn, not covered by its frame.
        int inked = 0;
        for (int x = r.left; x < r.right; x += 2) {
            for (int y = r.top; y < r.bottom; y += 2) inked += GetPixel(screen, x, y) != face;
        }
        EXPECT_GT(inked, 20) << "check box " << id << " is not drawn";
    }
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(testing::cutCaptions(dialog()), std::vector<std::string>{});

    const std::vector<std::string> before = fileBytes();
    // A first snapshot waits for its final data: OK asks before it starts over.
    app_->window().setCollectCaption("Collect final data");
    BoxAnswerer boxes;
    boxes.buttonFor[L"Advanced settings"] = L"Yes";
    click(item(adv::IDC_cmdOK));
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].first, L"Advanced settings");
    EXPECT_EQ(dialog(), nullptr);
    EXPECT_EQ(app_->window().collectCaption(), "Collect data");
    const std::vector<std::string> expected = {"1,1,1,0,0,1\r\n", "HKEY_CURRENT_USER\rSoftware\\Noisy\r\r\n",
                                               "\r\n", "old\rnew data\r\r\n"};
    EXPECT_EQ(fileBytes(), expected);
    EXPECT_NE(before, expected);
    ASSERT_EQ(app_->state().FilterList.size(), 3u);
    EXPECT_EQ(app_->state().FilterList[2], "new data");

    // Cancel after edits leaves the four files as OK wrote them.
    openDialog();
    click(item(adv::IDC_chkNewReg));
    tick(adv::IDC_lstRegExceptions, 0);
    click(item(adv::IDC_cmdRemoveRegExceptions));
    click(item(adv::IDC_cmdCancel));
    EXPECT_EQ(dialog(), nullptr);
    EXPECT_EQ(fileBytes(), expected);
}

TEST_F(SettingsFilesTest, ReadOnlyFilesAreReportedByOkAndKeepTheirContent) {
    writeFile(dataFile("Filter.dat"), "kept\r\r\n");
    writeFile(dataFile("Settings.dat"), "1,0,1,1,0,1\r\n");
    for (const char* name : {"Filter.dat", "Settings.dat"})
        SetFileAttributesW(toWide(dataFile(name)).c_str(), FILE_ATTRIBUTE_READONLY);
    start();
    openDialog();
    selectTab(2);
    setText(adv::IDC_txtFilter, L"lost?");
    click(item(adv::IDC_cmdAddRegExceptions));
    BoxAnswerer boxes;
    boxes.buttonFor[L"Error"] = L"Yes";
    click(item(adv::IDC_cmdOK));
    // One report names every file that could not be written.
    ASSERT_EQ(boxes.seen.size(), 1u);
    for (const wchar_t* name : {L"Filter.dat", L"Settings.dat"})
        EXPECT_NE(boxes.seen[0].second.find(name), std::wstring::npos) << boxes.seen[0].second;
    EXPECT_NE(dialog(), nullptr) << "a dialog whose settings were not saved stays open";
    EXPECT_EQ(readWholeFile(dataFile("Filter.dat")), "kept\r\r\n");
    EXPECT_EQ(readWholeFile(dataFile("Settings.dat")), "1,0,1,1,0,1\r\n");
}

}  // namespace
}  // namespace qv

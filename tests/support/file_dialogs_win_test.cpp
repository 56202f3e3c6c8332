// The common open and save dialogs themselves, answered the way a user would:
// a name typed into the dialog's name field, then its OK or Cancel button.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/utf.h"
#include "core/whole_file.h"
#include "support/file_picker_win.h"
#include "tests/support/fakes/window_driver_win.h"

namespace qv {
namespace {

// Fills the name field of the dialog this thread shows and presses a button,
// from a thread timer that runs inside the dialog's modal loop.
class DialogAnswerer {
public:
    DialogAnswerer(std::wstring name, int button) : name_(std::move(name)), button_(button) {
        self_ = this;
        timer_ = SetTimer(nullptr, 0, 100, &DialogAnswerer::tick);
    }
    ~DialogAnswerer() {
        KillTimer(nullptr, timer_);
        self_ = nullptr;
    }
    bool answered = false;

private:
    static BOOL CALLBACK visit(HWND hwnd, LPARAM) {
        wchar_t cls[32] = {};
        GetClassNameW(hwnd, cls, 32);
        if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
        // The name field: an edit box, or a combo box around one.
        for (int id : {0x480 /* edt1 */, 0x47c /* cmb13 */}) {
            if (GetDlgItem(hwnd, id)) SetDlgItemTextW(hwnd, id, self_->name_.c_str());
        }
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(self_->button_, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hwnd, self_->button_)));
        self_->answered = true;
        return FALSE;
    }
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        if (self_ && !self_->answered) EnumThreadWindows(GetCurrentThreadId(), visit, 0);
    }
    static inline DialogAnswerer* self_ = nullptr;
    std::wstring name_;
    int button_;
    UINT_PTR timer_ = 0;
};

TEST(FileDialogs, HandBackTheChosenPathAndFilterOrNothingOnCancel) {
    if (!testing::displayReady()) GTEST_SKIP() << "no display";
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = temp;
    const std::wstring name = L"quorvel-dialog-" + std::to_wstring(GetCurrentProcessId()) + L".b";
    ASSERT_TRUE(replaceWholeFile(toUtf8(folder + name), "x"));
    FileDialog dialog;
    dialog.filter = std::string("A (*.a)\0*.a\0B (*.b)\0*.b\0", 24);
    dialog.filterIndex = 2;
    dialog.initialDir = toUtf8(folder);
    dialog.flags = OFN_EXPLORER_FLAG | OFN_LONGNAMES_FLAG | OFN_HIDEREADONLY_FLAG;

    Win32SaveFilePicker save;
    Win32FilePicker open;
    {
        DialogAnswerer answer(folder + name, IDOK);
        EXPECT_EQ(save.ShowSave(dialog, 0, false), toUtf8(folder + name));
        EXPECT_TRUE(answer.answered);
    }
    EXPECT_EQ(dialog.filterIndex, 2u);
    EXPECT_EQ(dialog.sFile, toUtf8(folder + name));
    {
        DialogAnswerer answer(folder + name, IDOK);
        const SelectedFile chosen = open.ShowOpen(dialog, 0, false);
        EXPECT_FALSE(chosen.bCanceled);
        EXPECT_EQ(chosen.sLastDirectory, toUtf8(folder));
        EXPECT_EQ(chosen.sFiles, (std::vector<std::string>{"", toUtf8(name)}));
    }
    {
        DialogAnswerer answer(folder + name, IDCANCEL);
        EXPECT_EQ(save.ShowSave(dialog, 0, false), "");
        EXPECT_TRUE(answer.answered);
    }
    DeleteFileW((folder + name).c_str());
}

}  // namespace
}  // namespace qv

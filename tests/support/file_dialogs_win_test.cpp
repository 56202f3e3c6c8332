// The common open and save dialogs themselves, answered the way a user would:
// a name typed into the dialog's name field, then one of its buttons.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/utf.h"
#include "core/whole_file.h"
#include "support/file_picker_win.h"
#include "tests/support/fakes/box_answerer_win.h"
#include "tests/support/fakes/window_driver_win.h"

namespace qv {
namespace {

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
    dialog.title = "Dialog test";
    dialog.flags = OFN_EXPLORER_FLAG | OFN_LONGNAMES_FLAG | OFN_HIDEREADONLY_FLAG;

    testing::BoxAnswerer boxes;
    boxes.onTick = [&] {
        // The name field: an edit box, or a combo box around one.
        if (HWND shown = FindWindowW(L"#32770", L"Dialog test"))
            for (int id : {0x480 /* edt1 */, 0x47c /* cmb13 */})
                if (GetDlgItem(shown, id)) SetDlgItemTextW(shown, id, (folder + name).c_str());
    };
    Win32SaveFilePicker save;
    Win32FilePicker open;
    boxes.buttonFor[L"Dialog test"] = L"Save";
    EXPECT_EQ(save.ShowSave(dialog, 0, false), toUtf8(folder + name));
    EXPECT_EQ(dialog.filterIndex, 2u);
    EXPECT_EQ(dialog.sFile, toUtf8(folder + name));

    boxes.buttonFor[L"Dialog test"] = L"Open";
    const SelectedFile chosen = open.ShowOpen(dialog, 0, false);
    EXPECT_FALSE(chosen.bCanceled);
    EXPECT_EQ(chosen.sLastDirectory, toUtf8(folder));
    EXPECT_EQ(chosen.sFiles, (std::vector<std::string>{"", toUtf8(name)}));

    boxes.buttonFor[L"Dialog test"] = L"Cancel";
    EXPECT_EQ(save.ShowSave(dialog, 0, false), "");
    EXPECT_EQ(boxes.seen.size(), 3u);
    DeleteFileW((folder + name).c_str());
}

}  // namespace
}  // namespace qv

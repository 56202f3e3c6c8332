// The main window's surface as a user meets it: the keyboard's path through
// the controls, a move to another scale, and the result lists' sort, find and
// copy. Needs a display (Xvfb under Wine).
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/application_win.h"
#include "core/utf.h"
#include "tests/support/fakes/saved_registry_value_win.h"
#include "tests/support/fakes/window_driver_win.h"
#include "tests/app/shown_application_win.h"

namespace qv {
namespace {

using testing::shownRows;

class ResultSurfaceTest : public testing::ShownApplicationTest {
protected:

    HWND control(int id) { return GetDlgItem(main_, id); }
    MainWindow& window() { return app_->window(); }

    void addFile(ListId list, std::string path, std::string size, int64_t local) {
        ResultRow row{std::move(path), std::move(size), "12/8/2026 9:00:" + std::to_string(local) + " AM"};
        row.modifiedLocal = local;
        window().appendRow(list, std::move(row));
    }
    // A key as the message loop receives it, with Alt, Ctrl and Shift held
    // as asked, through the same dispatch as the program's own loop.
    void press(HWND target, WPARAM key, bool alt, bool ctrl = false, bool shift = false) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = ctrl ? 0x80 : 0;
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        keys[VK_MENU] = alt ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG msg{};
        msg.hwnd = target;
        msg.message = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
        msg.wParam = key;
        msg.lParam = alt ? (1 | (1 << 29)) : 1;
        app_->pump().dispatch(msg);
        keys[VK_CONTROL] = keys[VK_SHIFT] = keys[VK_MENU] = 0;
        SetKeyboardState(keys);
    }
    std::wstring clipboardText() {
        std::wstring text;
        if (!OpenClipboard(main_)) return L"<busy>";
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
                text = p;
                GlobalUnlock(data);
            }
        }
        CloseClipboard();
        return text;
    }
    std::vector<std::string> column(HWND list, int c) {
        std::vector<std::string> out;
        for (const auto& row : shownRows(list, 3)) out.push_back(row[static_cast<size_t>(c)]);
        return out;
    }

};

TEST_F(ResultSurfaceTest, HeaderClicksSortFindNarrowsAndCtrlCCopiesWhatIsShown) {
    const std::string deep = "C:\\Program Files\\" + std::string(300, 'x') + "\\b.txt";
    // Rows put in without a collection: every list counts as looked for.
    window().listsChecked = [] { return std::array<bool, 6>{true, true, true, true, true, true}; };
    addFile(ListId::NewFiles, "C:\\a.txt", "10", 30);
    addFile(ListId::NewFiles, deep, "9", 10);
    addFile(ListId::NewFiles, "C:\\c.txt", "200", 20);
    window().selectTab(3);
    window().flush();
    HWND list = control(IDC_lstNewFiles);
    ASSERT_TRUE(IsWindowVisible(list));

    testing::clickHeader(list, 1);  // sizes as numbers
    EXPECT_EQ(column(list, 1), (std::vector<std::string>{"9", "10", "200"}));
    testing::clickHeader(list, 1);
    EXPECT_EQ(column(list, 1), (std::vector<std::string>{"200", "10", "9"}));
    testing::clickHeader(list, 2);  // dates as times
    EXPECT_EQ(column(list, 0), (std::vector<std::string>{deep, "C:\\c.txt", "C:\\a.txt"}));
    // A path too long for its cell is shortened only on the screen: what a
    // program reads from the list is whole.

    SetWindowTextW(control(IDC_txtFind), L"B.TXT");
    EXPECT_EQ(column(list, 0), (std::vector<std::string>{deep}));
    wchar_t counts[256] = {};
    GetWindowTextW(control(IDC_lblCounts), counts, 256);
    EXPECT_EQ(std::wstring(counts).rfind(L"Showing 1 of 3", 0), 0u) << toUtf8(counts);
    EXPECT_NE(std::wstring(counts).find(L"Files: 3 new"), std::wstring::npos) << toUtf8(counts);
    SetWindowTextW(control(IDC_txtFind), L"");
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);

    press(list, 'A', false, true);
    testing::keepScreenshot(main_, L"main-window-results.bmp");
    press(list, 'C', false, true);
    EXPECT_EQ(clipboardText(), L"Filename\tSize\tCreated\r\n" + toWide(deep) +
                                   L"\t9\t12/8/2026 9:00:10 AM\r\nC:\\c.txt\t200\t12/8/2026 9:00:20 AM\r\n"
                                   L"C:\\a.txt\t10\t12/8/2026 9:00:30 AM\r\n");

    // Another tab shows its own list under the same find text.
    window().appendRow(ListId::NewEntries, ResultRow{"Software\\Game\\", "Path", "C:\\Games"});
    window().appendRow(ListId::NewEntries, ResultRow{"Software\\Other\\", "Name", "x"});
    SetWindowTextW(control(IDC_txtFind), L"games");
    window().selectTab(0);
    window().flush();
    EXPECT_EQ(column(control(IDC_lstNewEntries), 0), (std::vector<std::string>{"Software\\Game\\"}));
    // A key's path is copied whole, with its root, as the Registry Editor takes it.
    window().registryRoot = [] { return std::string("HKEY_CURRENT_USER"); };
    press(control(IDC_lstNewEntries), 'A', false, true);
    SendMessageW(main_, WM_COMMAND, IDM_ctxCopyPath, 0);
    EXPECT_EQ(clipboardText(), L"HKEY_CURRENT_USER\\Software\\Game\r\n");

    // What either snapshot could not read (a place both missed counts once)
    // makes every count partial, and the line says so first.
    app_->state().FirstUnread = {"key HKEY_CURRENT_USER\\Software\\Locked", "folder C:\\Locked\\"};
    app_->state().FinalUnread = {"key HKEY_CURRENT_USER\\Software\\Locked"};
    window().flush();
    GetWindowTextW(control(IDC_lblCounts), counts, 256);
    EXPECT_EQ(std::wstring(counts).rfind(L"Showing 1 of 2 \u00b7 Partial: 2 places unread \u2014 Registry: 2 new", 0), 0u)
        << toUtf8(counts);
}

// A pointer that rests on a line shows the whole row, and an edited value's
// old data, in a tooltip; moving to another line or out of the list hides it.
TEST_F(ResultSurfaceTest, APointerRestingOnALineShowsItsWholeRowInATooltip) {
    RegEntry old;
    old.KeyName = std::string("Software\\Game\\");
    old.ValueName = "Path";
    old.ValueData = "C:\\Old";
    old.ValueType = kRegSz;
    app_->state().regArray = {old};
    window().appendRow(ListId::EditedRegistry, ResultRow{"Software\\Game\\", "Version", "2"});
    window().appendRow(ListId::EditedRegistry, ResultRow{"Software\\Game\\", "Path", "C:\\Games"});
    window().appendRow(ListId::EditedRegistry,
                       ResultRow{"Software\\Game\\", "Mods", "first\r\n\t\t\t\t\t\tsecond\r\n\t\t\t\t\t\tthird"});
    window().selectTab(2);
    window().flush();
    HWND list = control(IDC_lstEditedRegistry);
    HWND tip = window().list(ListId::EditedRegistry).tipWindow();
    ASSERT_NE(tip, nullptr);
    // The screen's own pointer is put where it moves over none of the lists,
    // so that only the test's pointer messages reach them.
    RECT frame{};
    GetWindowRect(main_, &frame);
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    SetCursorPos(frame.left > 0 ? 0 : screenW - 1, frame.top > 0 ? 0 : screenH - 1);
    testing::pumpFor(100);
    const auto pointAt = [&](int line) {
        RECT r{LVIR_BOUNDS, 0, 0, 0};
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(&r));
        return MAKELPARAM(r.left + 20, (r.top + r.bottom) / 2);
    };
    const auto tipText = [&] {
        wchar_t text[512] = {};
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.hwnd = main_;
        tool.uId = reinterpret_cast<UINT_PTR>(list);
        tool.lpszText = text;
        SendMessageW(tip, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
        return std::wstring(text);
    };

    SendMessageW(list, WM_MOUSEHOVER, 0, pointAt(1));
    EXPECT_TRUE(IsWindowVisible(tip));
    EXPECT_EQ(tipText(), L"Keyname: Software\\Game\\\r\nValue name: Path\r\nData: C:\\Games\r\nOld data: C:\\Old");
    SendMessageW(list, WM_MOUSEMOVE, 0, pointAt(1));
    EXPECT_TRUE(IsWindowVisible(tip)) << "the same line keeps its tip";
    SendMessageW(list, WM_MOUSEMOVE, 0, pointAt(0));
    EXPECT_FALSE(IsWindowVisible(tip));
    SendMessageW(list, WM_MOUSEHOVER, 0, pointAt(0));
    EXPECT_EQ(tipText(), L"Keyname: Software\\Game\\\r\nValue name: Version\r\nData: 2");
    // A multi-string shows a string a line, without the tabs a tip would draw
    // as boxes; a long line is broken, as a tip breaks only at blanks.
    const ResultList& edited = window().list(ListId::EditedRegistry);
    EXPECT_EQ(edited.tipText(2), "Keyname: Software\\Game\\\r\nValue name: Mods\r\nData: first\r\nsecond\r\nthird");
    window().appendRow(ListId::EditedRegistry, ResultRow{"Software\\Game\\", "Long", std::string(230, 'x')});
    window().flush();
    EXPECT_EQ(edited.tipText(3), "Keyname: Software\\Game\\\r\nValue name: Long\r\nData: " + std::string(94, 'x') + "\r\n" +
                                     std::string(100, 'x') + "\r\n" + std::string(36, 'x'));
    SendMessageW(list, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(tip));
    RECT client{};
    GetClientRect(list, &client);
    SendMessageW(list, WM_MOUSEHOVER, 0, MAKELPARAM(20, client.bottom - 4));  // below the last line
    EXPECT_FALSE(IsWindowVisible(tip));
    SendMessageW(list, WM_MOUSEHOVER, 0, pointAt(1));
    testing::keepScreenshot(main_, L"row-tooltip.bmp");
}

// The bar shows activity while a capture runs; once it ends, no block of
// that activity is left drawn on it.
TEST_F(ResultSurfaceTest, TheProgressBarIsEmptyAgainOnceACaptureEnds) {
    HWND bar = control(IDC_pbBar1);
    // The bar's coloured pixels along its middle: its empty face is grey or white.
    const auto coloured = [&] {
        RECT r{};
        GetWindowRect(bar, &r);
        HDC screen = GetDC(nullptr);
        int n = 0;
        for (int x = r.left + 2; x < r.right - 2; ++x) {
            const COLORREF c = GetPixel(screen, x, (r.top + r.bottom) / 2);
            const int hi = std::max({GetRValue(c), GetGValue(c), GetBValue(c)});
            const int lo = std::min({GetRValue(c), GetGValue(c), GetBValue(c)});
            n += hi - lo > 60;
        }
        ReleaseDC(nullptr, screen);
        return n;
    };
    window().showCapture(true);
    testing::pumpFor(400);
    EXPECT_GT(coloured(), 0) << "the activity is drawn while the capture runs";
    window().showCapture(false);
    testing::pumpFor(100);
    EXPECT_EQ(coloured(), 0);
}

TEST_F(ResultSurfaceTest, TabWalksTheControlsInTheOrderTheyStand) {
    // The window starts with the focus on its first command.
    EXPECT_EQ(GetFocus(), control(IDC_cmdSnapShot));
    SendMessageW(control(IDC_chkDetectFiles), BM_CLICK, 0, 0);  // the folder's controls come alive
    const std::vector<int> expected = {IDC_cmbRegStart,   IDC_txtRegKeyStart, IDC_txtFileSystemStart,
                                       IDC_cmdFileSystemStart, IDC_chkDetectRegistry, IDC_chkDetectFiles,
                                       IDC_cmdAdvanced,   IDC_cmdSnapShot,    IDC_cmdReset,
                                       IDC_txtFind,       IDC_tbDisplay,      IDC_lstNewEntries};
    std::vector<int> walked;
    HWND at = control(expected.front());
    for (size_t i = 0; i < expected.size(); ++i) {
        walked.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(main_, at, FALSE);
    }
    EXPECT_EQ(walked, expected);
    EXPECT_EQ(GetDlgCtrlID(at), expected.front()) << "Tab goes round";

    // The Advanced dialog: the two boxes of switches, left then right, the
    // tabs, the visible page top to bottom, and OK and Cancel last.
    SendMessageW(control(IDC_cmdAdvanced), BM_CLICK, 0, 0);
    HWND dialog = app_->advanced().hwnd();
    ASSERT_NE(dialog, nullptr);
    using namespace advanced;
    const std::vector<int> page = {IDC_chkNewReg,   IDC_chkDeleteReg,     IDC_chkEditedReg,     IDC_chkNewFiles,
                                   IDC_chkDeleteFiles, IDC_chkModifiedFiles, IDC_tbExceptions, IDC_lstRegExceptions,
                                   IDC_cmbRegStartAdvanced, IDC_txtRegKey, IDC_cmdAddRegExceptions,
                                   IDC_cmdRemoveRegExceptions, IDC_cmdOK, IDC_cmdCancel};
    walked.clear();
    at = GetDlgItem(dialog, page.front());
    for (size_t i = 0; i < page.size(); ++i) {
        walked.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(dialog, at, FALSE);
    }
    EXPECT_EQ(walked, page);
    EXPECT_EQ(GetDlgCtrlID(at), page.front());
}

// A screen reader names a box by the label made just before it: each box's
// accessible name is its label, in the main window and in the Advanced dialog.
TEST_F(ResultSurfaceTest, EveryBoxIsNamedByItsLabel) {
    const auto accessibleName = [](HWND box) {
        // The interface's identity spelled out: the one that an import
        // library gives may not be it.
        static const GUID accessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
        IAccessible* object = nullptr;
        if (FAILED(AccessibleObjectFromWindow(box, static_cast<DWORD>(OBJID_CLIENT), accessible,
                                              reinterpret_cast<void**>(&object))) ||
            !object)
            return std::wstring(L"<no object>");
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR name = nullptr;
        std::wstring text = SUCCEEDED(object->get_accName(self, &name)) && name ? name : L"<no name>";
        SysFreeString(name);
        object->Release();
        return text;
    };
    // The label made just before a box, whose text the name is taken from.
    const auto labelBefore = [](HWND box) {
        HWND label = GetWindow(box, GW_HWNDPREV);
        wchar_t cls[32] = {}, text[128] = {};
        GetClassNameW(label, cls, 32);
        GetWindowTextW(label, text, 128);
        std::wstring shown = text;
        std::erase(shown, L'&');
        return _wcsicmp(cls, L"Static") == 0 ? shown : L"<" + std::wstring(cls) + L">";
    };
    SendMessageW(control(IDC_cmdAdvanced), BM_CLICK, 0, 0);
    HWND dialog = app_->advanced().hwnd();
    ASSERT_NE(dialog, nullptr);
    struct Box {
        HWND window;
        const wchar_t* label;
        bool edit;  // an edit box, whose name the accessibility layer reads from the label
    };
    using namespace advanced;
    const Box boxes[] = {
        {control(IDC_cmbRegStart), L"Registry start search key:", false},
        {control(IDC_txtRegKeyStart), L"Key below the root:", false},
        {control(IDC_txtFileSystemStart), L"File system start search directory:", true},
        {control(IDC_txtFind), L"Find:", true},
        {GetDlgItem(dialog, IDC_cmbRegStartAdvanced), L"Key:", false},
        {GetDlgItem(dialog, IDC_txtRegKey), L"Subkey:", true},
        {GetDlgItem(dialog, IDC_txtFilter), L"Data:", true},
    };
    CoInitialize(nullptr);
    for (const Box& b : boxes) {
        EXPECT_EQ(labelBefore(b.window), b.label);
        if (b.edit) {
            EXPECT_EQ(accessibleName(b.window), b.label);
        }
    }
    CoUninitialize();
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

// Columns keep their width in the eye at every DPI: no header is cut short.
TEST_F(ResultSurfaceTest, ColumnHeadersFitAtTheWindowsDpi) {
    for (ListId id : kAllLists) {
        HWND list = window().list(id).hwnd();
        HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
        const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
        for (int c = 0; c + 1 < columns; ++c) {
            wchar_t text[64] = {};
            LVCOLUMNW col{};
            col.mask = LVCF_TEXT;
            col.pszText = text;
            col.cchTextMax = 64;
            SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col));
            const int needed = static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text)));
            EXPECT_GE(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0), needed + 12)
                << "column " << c << " of list " << static_cast<int>(id);
        }
    }
}

// A move to a monitor of another scale: each window grows with it, its
// captions still fit, and a move back restores it.
TEST_F(ResultSurfaceTest, EveryWindowFollowsAMoveToAMonitorOfAnotherScale) {
    SendMessageW(control(IDC_cmdAdvanced), BM_CLICK, 0, 0);
    app_->about().show(main_);
    for (HWND box : {main_, app_->advanced().hwnd(), app_->about().hwnd()}) {
        ASSERT_NE(box, nullptr);
        HWND ok = box == main_ ? control(IDC_cmdSnapShot) : GetDlgItem(box, IDOK);
        const UINT dpi = GetDpiForWindow(box) ? GetDpiForWindow(box) : 96;
        const auto measure = [&] {
            RECT client{}, button = testing::childRect(box, ok);
            GetClientRect(box, &client);
            LOGFONTW font{};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(ok, WM_GETFONT, 0, 0)), sizeof font, &font);
            // Not the client's height: Wine keeps the caption bar at the
            // system's size, so the frame's inside differs by a few pixels.
            return std::array<int, 4>{client.right, button.top, button.right - button.left, std::abs(font.lfHeight)};
        };
        const std::array<int, 4> before = measure();
        RECT home{};
        GetWindowRect(box, &home);
        // The frame the system suggests: the window's own, scaled.
        const auto moveTo = [&](UINT to) {
            RECT suggested{home.left, home.top, home.left + MulDiv(home.right - home.left, to, dpi),
                           home.top + MulDiv(home.bottom - home.top, to, dpi)};
            SendMessageW(box, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
        };
        moveTo(dpi * 3 / 2);
        const std::array<int, 4> larger = measure();
        // The frame's borders keep the system's size under Wine, so the
        // inside of a frame scaled whole is a few pixels off; and a frame
        // larger than the screen is cut to it.
        if (MulDiv(home.right - home.left, 3, 2) < GetSystemMetrics(SM_CXSCREEN)) {
            EXPECT_NEAR(larger[0], before[0] * 3 / 2, 8) << "width";
        }
        EXPECT_NEAR(larger[1], before[1] * 3 / 2, 2) << "top";
        EXPECT_NEAR(larger[2], before[2] * 3 / 2, 2) << "button";
        EXPECT_GT(larger[3], before[3]) << "the font grows too";
        EXPECT_EQ(testing::cutCaptions(box), std::vector<std::string>{});
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            const RECT r = testing::childRect(box, child);
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= larger[0]) << GetDlgCtrlID(child);
        }
        moveTo(dpi);
        EXPECT_EQ(measure(), before);
    }
}

// Alt with a letter presses or ticks a control without an ampersand in its
// caption, and Ctrl+Tab walks the tabs, in the main window and the dialog.
TEST_F(ResultSurfaceTest, AltKeysPressControlsAndCtrlTabWalksTheTabs) {
    HWND list = control(IDC_lstNewEntries);
    SetFocus(list);
    press(list, VK_TAB, false, true);
    EXPECT_TRUE(IsWindowVisible(control(IDC_lstDeletedEntries)));
    EXPECT_EQ(GetFocus(), control(IDC_lstDeletedEntries)) << "the keys follow to the list shown";
    press(GetFocus(), VK_TAB, false, true, true);
    press(GetFocus(), VK_TAB, false, true, true);
    EXPECT_TRUE(IsWindowVisible(control(IDC_lstModifiedFiles))) << "Ctrl+Shift+Tab goes round backwards";
    press(GetFocus(), VK_NEXT, false, true);
    EXPECT_TRUE(IsWindowVisible(control(IDC_lstNewEntries)));
    EXPECT_FALSE(IsWindowVisible(control(IDC_lstModifiedFiles)));

    press(GetFocus(), 'Y', true);
    EXPECT_EQ(SendMessageW(control(IDC_chkDetectFiles), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_TRUE(IsWindowEnabled(control(IDC_cmdFileSystemStart))) << "the box's own effect follows";
    EXPECT_EQ(GetFocus(), control(IDC_chkDetectFiles));
    // The labels' letters lead to the boxes they name.
    press(GetFocus(), 'I', true);
    EXPECT_EQ(GetFocus(), control(IDC_txtFileSystemStart));
    press(GetFocus(), 'R', true);
    EXPECT_EQ(GetFocus(), control(IDC_cmbRegStart));
    press(GetFocus(), 'N', true);
    EXPECT_EQ(GetFocus(), control(IDC_txtFind));

    // A command disabled while it has the keys hands them on: to the next
    // step, or the list, never to Stop/Reset, which Enter would press.
    SetFocus(control(IDC_cmdSnapShot));
    window().setCollectEnabled(false);
    EXPECT_EQ(GetFocus(), window().shownList().hwnd());
    window().setDetectEnabled(true);
    SetFocus(control(IDC_cmdDetectChanges));
    window().setDetectEnabled(false);
    EXPECT_EQ(GetFocus(), window().shownList().hwnd());
    window().setCollectEnabled(true);

    press(GetFocus(), 'V', true);
    HWND dialog = app_->advanced().hwnd();
    ASSERT_NE(dialog, nullptr);
    const auto item = [&](int id) { return GetDlgItem(dialog, id); };
    const LRESULT deleted = SendMessageW(item(advanced::IDC_chkDeleteReg), BM_GETCHECK, 0, 0);
    press(item(advanced::IDC_cmdOK), 'D', true);
    EXPECT_NE(SendMessageW(item(advanced::IDC_chkDeleteReg), BM_GETCHECK, 0, 0), deleted);
    SetFocus(item(advanced::IDC_txtRegKey));
    press(GetFocus(), VK_TAB, false, true);
    EXPECT_TRUE(IsWindowVisible(item(advanced::IDC_lstFileExceptions)));
    EXPECT_EQ(GetFocus(), item(advanced::IDC_lstFileExceptions)) << "not the hidden key box";
    press(GetFocus(), 'O', true);
    EXPECT_EQ(SendMessageW(item(advanced::IDC_optFolder), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(item(advanced::IDC_optFile), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    press(GetFocus(), VK_TAB, false, true, true);
    press(GetFocus(), VK_TAB, false, true, true);
    EXPECT_TRUE(IsWindowVisible(item(advanced::IDC_txtFilter)));
    EXPECT_EQ(SendMessageW(item(advanced::IDC_tbExceptions), TCM_GETCURSEL, 0, 0), 2);
}

}  // namespace
}  // namespace qv

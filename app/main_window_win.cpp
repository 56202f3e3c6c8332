#include "app/main_window_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>

#include "app/resource_ids.h"
#include "core/failure_win.h"
#include "window/scaled_controls_win.h"
#include "app/result_lists.h"
#include "app/result_view.h"
#include "core/utf.h"

namespace qv {
namespace {

HMENU menuId(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

constexpr UINT kFindPauseMs = 150;
constexpr size_t kFindAtOnceRows = 100'000;

int clampInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, 0, INT_MAX)); }

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, CommandTarget& commands) : instance_(instance), commands_(commands) {}

MainWindow::~MainWindow() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    if (accelerators_) DestroyAcceleratorTable(accelerators_);
}

void MainWindow::create(const std::wstring& caption) {
    // The program's own icon, drawn at each of the two sizes the system asks for.
    const auto icon = [&](int width, int height) {
        HANDLE image = LoadImageW(instance_, MAKEINTRESOURCEW(IDI_QUORVEL), IMAGE_ICON, GetSystemMetrics(width),
                                  GetSystemMetrics(height), LR_SHARED);
        return image ? static_cast<HICON>(image) : LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    };
    registerClass(instance_, kMainWindowClass, icon(SM_CXICON, SM_CYICON), icon(SM_CXSMICON, SM_CYSMICON));
    // Menu items without an ampersand take their first letter as access key.
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, IDM_mnuSaveFirst, L"&Save first snapshot\u2026");
    AppendMenuW(file, MF_STRING, IDM_mnuOpenFirst, L"&Open first snapshot\u2026");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, IDM_mnuExport, L"&Export results\u2026");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, IDM_mnuExit, L"E&xit\tAlt+F4");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    HMENU view = CreatePopupMenu();
    AppendMenuW(view, MF_STRING | MF_CHECKED, IDM_mnuShowBackground, L"Show &background changes");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"&View");
    HMENU about = CreatePopupMenu();
    AppendMenuW(about, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(about, MF_STRING, IDM_mnuQuorvel, L"About Quorvel");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(about), L"&About");

    // The buttons' captions are the program's own texts, which scripts look
    // for; Alt with a letter presses them without an ampersand in the text.
    ACCEL keys[] = {{FALT | FVIRTKEY, 'C', IDC_cmdSnapShot},      {FALT | FVIRTKEY, 'D', IDC_cmdDetectChanges},
                    {FALT | FVIRTKEY, 'S', IDC_cmdReset},         {FALT | FVIRTKEY, 'B', IDC_cmdFileSystemStart},
                    {FALT | FVIRTKEY, 'V', IDC_cmdAdvanced},      {FALT | FVIRTKEY, 'G', IDC_chkDetectRegistry},
                    {FALT | FVIRTKEY, 'Y', IDC_chkDetectFiles},   {FCONTROL | FVIRTKEY, 'F', IDC_txtFind},
                    // The labels' own letters lead to the boxes they name.
                    {FALT | FVIRTKEY, 'R', IDC_lblRegStart},      {FALT | FVIRTKEY, 'I', IDC_lblFileSystem},
                    {FALT | FVIRTKEY, 'N', IDC_txtFind},
                    {FVIRTKEY, VK_F3, IDC_txtFind},
                    {FCONTROL | FVIRTKEY, VK_TAB, IDM_nextTab},   {FCONTROL | FSHIFT | FVIRTKEY, VK_TAB, IDM_previousTab},
                    {FCONTROL | FVIRTKEY, VK_NEXT, IDM_nextTab},  {FCONTROL | FVIRTKEY, VK_PRIOR, IDM_previousTab}};
    if (!accelerators_) accelerators_ = CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys)));

    // Sized for the system's DPI, as the controls inside are.
    const UINT dpi = GetDpiForSystem();
    const int width = MulDiv(900, static_cast<int>(dpi ? dpi : 96), 96);
    const int height = MulDiv(640, static_cast<int>(dpi ? dpi : 96), 96);
    if (!CreateWindowExW(WS_EX_CONTROLPARENT, kMainWindowClass, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                         CW_USEDEFAULT, width, height, nullptr, bar, instance_, this)) {
        // The handle that WM_NCCREATE saw is gone with the failed creation.
        const DWORD error = GetLastError();
        hwnd_ = nullptr;
        throwWin32(error);
    }
}

namespace {

BOOL CALLBACK addWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM areas) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info))
        reinterpret_cast<std::vector<ScreenRect>*>(areas)->push_back(
            {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom});
    return TRUE;
}

// A placement's normal rectangle is in workspace coordinates, which the
// primary monitor's taskbar shifts from the screen's.
POINT workspaceOffset() {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    return POINT{info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top};
}

}  // namespace

Placement MainWindow::placement() const {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    GetWindowPlacement(hwnd_, &wp);
    const POINT shift = workspaceOffset();
    const RECT& r = wp.rcNormalPosition;
    return Placement{{r.left + shift.x, r.top + shift.y, r.right + shift.x, r.bottom + shift.y},
                     wp.showCmd == SW_SHOWMAXIMIZED || IsZoomed(hwnd_)};
}

void MainWindow::restorePlacement(const Placement& p, int& showCommand) {
    std::vector<ScreenRect> areas;
    EnumDisplayMonitors(nullptr, nullptr, addWorkArea, reinterpret_cast<LPARAM>(&areas));
    const SIZE least = minimumFrame();
    if (!placementFits(p, areas, least.cx, least.cy)) return;
    SetWindowPos(hwnd_, nullptr, p.normal.left, p.normal.top, p.normal.width(), p.normal.height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (p.maximized && (showCommand == SW_SHOWNORMAL || showCommand == SW_SHOWDEFAULT || showCommand == SW_SHOW))
        showCommand = SW_SHOWMAXIMIZED;
}

ColumnWidths MainWindow::columnWidths() const {
    ColumnWidths widths;
    for (size_t i = 0; i < lists_.size(); ++i) widths[i] = lists_[i].columnWidths96();
    return widths;
}

void MainWindow::setColumnWidths(const ColumnWidths& widths) {
    for (size_t i = 0; i < lists_.size(); ++i)
        if (!widths[i].empty()) lists_[i].setColumnWidths96(widths[i]);
}

void MainWindow::focusFirst() {
    HWND first = control(IDC_cmdSnapShot);
    if (!IsWindowEnabled(first)) first = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    if (first) SetFocus(first);
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            dpi_ = GetDpiForWindow(hwnd_);
            if (!dpi_) dpi_ = 96;
            // A failure must not unwind through the system's call of this
            // procedure: the creation fails instead, and its caller reports it.
            try {
                createControls();
            } catch (const std::exception&) {
                return -1;
            }
            return 0;
        case WM_SIZE:
            if (wParam == SIZE_MINIMIZED) return 0;
            SendMessageW(control(IDC_Status), WM_SIZE, 0, 0);
            layout();
            // Group box edges and the status bar's grip move with the size;
            // what they left behind is painted over at once.
            RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            return 0;
        case WM_GETMINMAXINFO: {
            // The system's own sizing stops where everything fits.
            const SIZE least = minimumFrame();
            if (least.cx <= 0) break;
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {least.cx, least.cy};
            return 0;
        }
        case WM_WINDOWPOSCHANGING:
            // Not held to the minimum: under Wine the window manager has
            // already sized the frame on the screen when this comes, and a
            // window held larger would lay out controls where nobody sees
            // them. Below the minimum the controls scroll instead.
            return 0;
        case WM_HSCROLL:
        case WM_VSCROLL:
            if (lParam) break;  // a control's own bar
            onScroll(msg == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(wParam));
            return 0;
        case WM_MOUSEWHEEL:
            if (onWheel(GET_WHEEL_DELTA_WPARAM(wParam))) return 0;
            break;
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            applyFont();
            const RECT* r = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
            } else if (lastFocus_ && IsWindow(lastFocus_) && IsWindowEnabled(lastFocus_)) {
                SetFocus(lastFocus_);
            } else {
                focusFirst();
            }
            return 0;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (code == 1 && lParam == 0) {  // an accelerator
                onAccelerator(id);
                return 0;
            }
            if (id == IDOK && lParam == 0) {
                onDefaultKey();
                return 0;
            }
            if (id == IDCANCEL && lParam == 0) {
                // Esc clears the find box; it never stops or resets a collection.
                if (GetFocus() == control(IDC_txtFind)) SetWindowTextW(control(IDC_txtFind), L"");
                return 0;
            }
            if (id == IDC_txtFind && code == EN_CHANGE) {
                // A long list is searched once the typing pauses, so that
                // every key is answered at once; a short one at each key.
                if (shownList().rows().size() > kFindAtOnceRows) {
                    SetTimer(hwnd_, kFindTimer, kFindPauseMs, nullptr);
                } else {
                    applyFind();
                }
                return 0;
            }
            if (id == IDM_mnuExit) {
                PostMessageW(hwnd_, WM_CLOSE, 0, 0);
                return 0;
            }
            if (id == IDM_mnuShowBackground) {
                showBackground(!backgroundShown_);
                return 0;
            }
            if (id == IDM_ctxCopy || id == IDM_ctxCopyPath) {
                copySelection(id == IDM_ctxCopyPath);
                return 0;
            }
            if (id == IDM_ctxSelectAll) {
                shownList().selectAll();
                return 0;
            }
            if (id == IDM_ctxOpenRegedit || id == IDM_ctxOpenFolder) {
                openFocusedRow(shownList());
                return 0;
            }
            if (id == IDC_chkDetectFiles || id == IDC_chkDetectRegistry) {
                if (code == BN_CLICKED) onCheckBox(id);
                return 0;
            }
            if ((code == BN_CLICKED || code == 0) && findCommand(id)) {
                commands_.onCommand(id);
                flush();
                return 0;
            }
            break;
        }
        case WM_TIMER:
            if (wParam == kFindTimer) {
                KillTimer(hwnd_, kFindTimer);
                HCURSOR old = SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
                applyFind();
                SetCursor(old);
                return 0;
            }
            break;
        case WM_SYSCOMMAND:
            // Alt with a letter that no menu has would leave the menu bar
            // active, so that the next keys go to it instead of the window.
            if ((wParam & 0xFFF0) == SC_KEYMENU && lParam > ' ' && !menuHasAccessKey(static_cast<wchar_t>(lParam)))
                return 0;
            break;
        case WM_INITMENUPOPUP:
            greyUnavailable(reinterpret_cast<HMENU>(wParam));
            return 0;
        case WM_CONTEXTMENU: {
            HWND from = reinterpret_cast<HWND>(wParam);
            if (from == shownList().hwnd()) {
                showContextMenu(from, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
                return 0;
            }
            break;
        }
        case WM_NOTIFY: {
            auto* hdr = reinterpret_cast<NMHDR*>(lParam);
            if (hdr->idFrom == IDC_tbDisplay && hdr->code == TCN_SELCHANGE) {
                showList(selectedTab());
                return 0;
            }
            LRESULT result = 0;
            if (onListNotify(*hdr, lParam, result)) return result;
            break;
        }
        case WM_CLOSE:
            // Once the user has let go of what would be lost, the process
            // ends, also in the middle of a capture that is pumping messages.
            if (mayClose && !mayClose()) return 0;
            if (onClose) {
                onClose();
            } else {
                ExitProcess(0);
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void MainWindow::onAccelerator(int id) {
    if (id == IDM_nextTab || id == IDM_previousTab) {
        HWND focus = GetFocus();
        selectTab((selectedTab() + (id == IDM_nextTab ? 1 : 5)) % 6);
        keepKeysOnPage(focus, shownList().hwnd());
        return;
    }
    if (id == IDC_txtFind) {
        SetFocus(control(IDC_txtFind));
        SendMessageW(control(IDC_txtFind), EM_SETSEL, 0, -1);
        return;
    }
    if (id == IDC_lblRegStart || id == IDC_lblFileSystem) {
        HWND box = control(id == IDC_lblRegStart ? IDC_cmbRegStart : IDC_txtFileSystemStart);
        if (IsWindowEnabled(box)) SetFocus(box);
        return;
    }
    pressForKey(control(id));
}

// A command that is disabled while it holds the keyboard leaves the window
// deaf to Enter and Esc: the keys go to the command that takes the next step,
// or to the list on show. Never to "Stop/Reset", which Enter would press.
void MainWindow::keepKeysAlive() {
    if (GetActiveWindow() != hwnd_) return;
    HWND focus = GetFocus();
    if (focus && focus != hwnd_ && IsWindowEnabled(focus) && IsWindowVisible(focus)) return;
    for (int id : {IDC_cmdDetectChanges, IDC_cmdSnapShot}) {
        if (IsWindowEnabled(control(id))) {
            SetFocus(control(id));
            return;
        }
    }
    SetFocus(shownList().hwnd());
}

void MainWindow::onDefaultKey() {
    HWND focus = GetFocus();
    if (focus == control(IDC_txtFind)) {
        SetFocus(shownList().hwnd());
        return;
    }
    // Enter takes the next step of the job: collect, or detect when both
    // snapshots are there.
    for (int id : {IDC_cmdSnapShot, IDC_cmdDetectChanges}) {
        if (IsWindowEnabled(control(id))) {
            SendMessageW(control(id), BM_CLICK, 0, 0);
            return;
        }
    }
}

int MainWindow::scale(int dips) const { return scaledToDpi(dips, dpi_); }

bool MainWindow::menuHasAccessKey(wchar_t letter) const {
    HMENU bar = GetMenu(hwnd_);
    const wchar_t wanted = static_cast<wchar_t>(reinterpret_cast<UINT_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(letter)))));
    for (int i = 0, n = GetMenuItemCount(bar); i < n; ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(bar, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        for (const wchar_t* at = text; *at; ++at) {
            if (at[0] == L'&' && at[1] && at[1] != L'&') {
                const wchar_t key = static_cast<wchar_t>(reinterpret_cast<UINT_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(at[1])))));
                if (key == wanted) return true;
                break;
            }
        }
    }
    return false;
}

void MainWindow::createControls() {
    auto make = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
        return checkWin32(CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, 0, 0,
                                          0, 0, hwnd_, menuId(id), instance_, nullptr));
    };
    // Created in the order the eye reads them: the tab key and the z-order
    // follow it. A label comes just before the box it names, so its access
    // key moves there.
    make(0, L"STATIC", L"&Registry start search key:", SS_LEFT | SS_CENTERIMAGE, IDC_lblRegStart);
    HWND roots = make(0, WC_COMBOBOXW, L"", WS_TABSTOP | WS_GROUP | CBS_DROPDOWNLIST | WS_VSCROLL, IDC_cmbRegStart);
    for (const wchar_t* root : {L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE", L"HKEY_USERS",
                                L"HKEY_CURRENT_CONFIG"})
        SendMessageW(roots, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(root));
    SendMessageW(roots, CB_SETCURSEL, 2, 0);
    // The key box shares the visible label with the root: its own names it
    // for screen readers, which take the label made just before a box.
    CreateWindowExW(0, L"STATIC", L"Key below the root:", WS_CHILD | SS_LEFT, 0, 0, 0, 0, hwnd_,
                    menuId(IDC_lblRegKeyStart), instance_, nullptr);
    HWND key = make(0, WC_COMBOBOXW, L"", WS_TABSTOP | CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL,
                    IDC_txtRegKeyStart);
    SetWindowTextW(key, L"SOFTWARE");
    make(0, L"STATIC", L"F&ile system start search directory:", SS_LEFT | SS_CENTERIMAGE | WS_DISABLED,
         IDC_lblFileSystem);
    make(WS_EX_CLIENTEDGE, L"EDIT", L"C:\\", WS_TABSTOP | ES_AUTOHSCROLL | WS_DISABLED, IDC_txtFileSystemStart);
    make(0, L"BUTTON", L"Browse", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, IDC_cmdFileSystemStart);
    HWND reg = make(0, L"BUTTON", L"Detect registry changes", WS_TABSTOP | BS_AUTOCHECKBOX, IDC_chkDetectRegistry);
    SendMessageW(reg, BM_SETCHECK, BST_CHECKED, 0);
    make(0, L"BUTTON", L"Detect file system changes", WS_TABSTOP | BS_AUTOCHECKBOX, IDC_chkDetectFiles);
    make(0, L"BUTTON", L"Advanced", WS_TABSTOP | BS_PUSHBUTTON, IDC_cmdAdvanced);

    make(0, L"BUTTON", L"Collect data", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, IDC_cmdSnapShot);
    make(0, L"BUTTON", L"Detect changes", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, IDC_cmdDetectChanges);
    make(0, L"BUTTON", L"Stop/Reset", WS_TABSTOP | BS_PUSHBUTTON, IDC_cmdReset);
    HWND bar = make(0, PROGRESS_CLASSW, L"", 0, IDC_pbBar1);
    SendMessageW(bar, PBM_SETRANGE32, 0, 1);

    make(0, L"STATIC", L"Fi&nd:", SS_LEFT | SS_CENTERIMAGE, IDC_lblFind);
    HWND find = make(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, IDC_txtFind);
    SendMessageW(find, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"Text in any column (Ctrl+F)"));
    make(0, L"STATIC", L"", SS_LEFT | SS_CENTERIMAGE | SS_ENDELLIPSIS | SS_NOPREFIX, IDC_lblCounts);

    HWND tab = make(0, WC_TABCONTROLW, L"", WS_TABSTOP | WS_GROUP, IDC_tbDisplay);
    const wchar_t* tabs[] = {L"New registry entries", L"Deleted registry / old entries", L"Edited registry data",
                             L"New files created",    L"Deleted files",                  L"Modified files"};
    for (int i = 0; i < 6; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(tabs[i]);
        SendMessageW(tab, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    for (int i = 0; i < 6; ++i) {
        const ListId id = listOfTab(i);
        ResultList& list = lists_[static_cast<size_t>(id)];
        list.create(hwnd_, kListIdsByTab[i], id, instance_);
        list.tipDetail = [this, id](const ResultRow& row) { return rowDetail ? rowDetail(id, row) : std::string(); };
    }
    HWND status = make(0, STATUSCLASSNAMEW, L"", SBARS_SIZEGRIP, IDC_Status);
    SendMessageW(status, SB_SIMPLE, TRUE, 0);
    // Above the other controls: scrolled, they pass beneath it. It takes no
    // keys, so the tab order stays as made.
    SetWindowPos(status, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // The frame goes to the bottom, below the boxes it surrounds, so that
    // painting it never paints over them.
    HWND frame = make(0, L"BUTTON", L"Search parameters:", BS_GROUPBOX, IDC_Frame2);
    SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    showList(0);
    applyFont();
}

void MainWindow::applyFont() {
    // The controls take the new font before the old one is freed.
    UniqueFont old = std::move(font_);
    font_.reset(messageFontFor(dpi_));
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    for (auto& l : lists_) {
        l.setTipWidth(scale(600));
        l.setDpi(dpi_);
    }
    layout();
}

void MainWindow::onCheckBox(int id) {
    const bool ticked = SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (id == IDC_chkDetectFiles) {
        for (int c : {IDC_lblFileSystem, IDC_txtFileSystemStart, IDC_cmdFileSystemStart}) setEnabled(c, ticked);
    } else {
        for (int c : {IDC_lblRegStart, IDC_cmbRegStart, IDC_txtRegKeyStart}) setEnabled(c, ticked);
    }
}

void MainWindow::setTicked(int id, bool ticked) {
    SendMessageW(control(id), BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
    onCheckBox(id);
}

void MainWindow::greyUnavailable(HMENU menu) {
    for (const CommandInfo& c : kCommands) {
        if (!c.greyedWhenUnavailable) continue;
        const UINT state = commands_.available(c.id) ? MF_ENABLED : MF_GRAYED;
        EnableMenuItem(menu, static_cast<UINT>(c.id), MF_BYCOMMAND | state);
    }
}

void MainWindow::setRegRootText(std::string_view hiveName) {
    // The whole name: a prefix match would take the first root it begins.
    HWND roots = control(IDC_cmbRegStart);
    const LRESULT at = SendMessageW(roots, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(toWide(hiveName).c_str()));
    if (at != CB_ERR) SendMessageW(roots, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
}

void MainWindow::setRegKeyText(std::string_view text) {
    SetWindowTextW(control(IDC_txtRegKeyStart), toWide(text).c_str());
}

void MainWindow::setRegistryTicked(bool ticked) { setTicked(IDC_chkDetectRegistry, ticked); }

void MainWindow::setFilesTicked(bool ticked) { setTicked(IDC_chkDetectFiles, ticked); }

void MainWindow::setEnabled(int id, bool enabled) {
    if (locked_) {
        for (size_t i = 0; i < std::size(kLockable); ++i) {
            if (kLockable[i] == id) {
                savedEnabled_[i] = enabled;
                return;
            }
        }
    }
    EnableWindow(control(id), enabled ? TRUE : FALSE);
}

void MainWindow::lockCommands(bool locked) {
    if (locked == locked_) return;
    if (locked) {
        for (size_t i = 0; i < std::size(kLockable); ++i) {
            savedEnabled_[i] = IsWindowEnabled(control(kLockable[i])) != FALSE;
            EnableWindow(control(kLockable[i]), FALSE);
        }
        locked_ = true;
    } else {
        locked_ = false;
        for (size_t i = 0; i < std::size(kLockable); ++i)
            EnableWindow(control(kLockable[i]), savedEnabled_[i] ? TRUE : FALSE);
    }
}

bool MainWindow::registryTicked() const {
    return SendMessageW(control(IDC_chkDetectRegistry), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool MainWindow::filesTicked() const {
    return SendMessageW(control(IDC_chkDetectFiles), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string MainWindow::collectCaption() const { return toUtf8(windowText(control(IDC_cmdSnapShot))); }

void MainWindow::setCollectCaption(std::string_view caption) {
    SetWindowTextW(control(IDC_cmdSnapShot), toWide(caption).c_str());
    layout();  // a longer caption may need a wider button
}

void MainWindow::showCapture(bool running) {
    if (running == (captureStart_ != 0)) return;
    HWND bar = control(IDC_pbBar1);
    const LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
    if (running) {
        // A capture cannot know its end in advance: the bar shows activity,
        // and the line beside the tabs what has been recorded so far.
        captureStart_ = GetTickCount64();
        captureShown_ = 0;
        SetWindowLongPtrW(bar, GWL_STYLE, style | PBS_MARQUEE);
        SendMessageW(bar, PBM_SETMARQUEE, TRUE, 30);
    } else {
        captureStart_ = 0;
        SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
        SetWindowLongPtrW(bar, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
        SendMessageW(bar, PBM_SETPOS, 0, 0);
        // The marquee's last block stays drawn unless the bar is painted anew.
        InvalidateRect(bar, nullptr, TRUE);
        counts_ = L"\1";  // whatever was shown, the next update replaces it
    }
    updateCounts();
}

void MainWindow::setCollectEnabled(bool enabled) {
    setEnabled(IDC_cmdSnapShot, enabled);
    keepKeysAlive();
}

void MainWindow::setDetectEnabled(bool enabled) {
    setEnabled(IDC_cmdDetectChanges, enabled);
    keepKeysAlive();
}

std::string MainWindow::regRootText() const { return toUtf8(windowText(control(IDC_cmbRegStart))); }

std::string MainWindow::regKeyText() const { return toUtf8(windowText(control(IDC_txtRegKeyStart))); }

std::string MainWindow::fileStartText() const { return toUtf8(windowText(control(IDC_txtFileSystemStart))); }

void MainWindow::setFileStartText(std::string_view text) {
    SetWindowTextW(control(IDC_txtFileSystemStart), toWide(text).c_str());
}

void MainWindow::setProgressMax(int64_t max) {
    progressMax_ = max;
    progressDirty_ = true;
}

void MainWindow::setProgressValue(int64_t value) {
    progressValue_ = value;
    progressDirty_ = true;
}

void MainWindow::setStatus(std::string_view text) {
    // Called once per recorded entry: keep the text and paint it at the next
    // message pump instead of repainting the bar a million times.
    status_.assign(text);
    statusDirty_ = true;
}

void MainWindow::flush() {
    if (!hwnd_) return;
    if (statusDirty_) {
        statusDirty_ = false;
        SendMessageW(control(IDC_Status), SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(toWide(status_).c_str()));
    }
    if (progressDirty_ && !captureStart_) {
        progressDirty_ = false;
        HWND bar = control(IDC_pbBar1);
        SendMessageW(bar, PBM_SETRANGE32, 0, clampInt(progressMax_));
        SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(clampInt(progressValue_)), 0);
    }
    for (auto& l : lists_) l.flush();
    updateCounts();
}

}  // namespace qv

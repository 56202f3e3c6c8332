#include "app/main_window_win.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "core/failure_win.h"
#include "core/utf.h"

namespace qv {
namespace {

HMENU menuId(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

std::wstring windowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

int clampInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, 0, INT_MAX)); }

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, CommandTarget& commands) : instance_(instance), commands_(commands) {}

MainWindow::~MainWindow() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void MainWindow::create(const std::wstring& caption) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance_;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kMainWindowClass;
        checkWin32(RegisterClassExW(&wc));
        registered = true;
    }
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, IDM_mnuSaveFirst, L"Save first snapshot\u2026");
    AppendMenuW(file, MF_STRING, IDM_mnuOpenFirst, L"Open first snapshot\u2026");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, IDM_mnuExport, L"Export results\u2026");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    HMENU about = CreatePopupMenu();
    AppendMenuW(about, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(about, MF_STRING, IDM_mnuQuorvel, L"About Quorvel");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(about), L"&About");
    if (!CreateWindowExW(0, kMainWindowClass, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                         900, 640, nullptr, bar, instance_, this)) {
        // The handle that WM_NCCREATE saw is gone with the failed creation.
        const DWORD error = GetLastError();
        hwnd_ = nullptr;
        throwWin32(error);
    }
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    MainWindow* self = nullptr;
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        self = static_cast<MainWindow*>(cs->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (self) return self->HandleMessage(msg, wParam, lParam);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
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
            SendMessageW(control(IDC_Status), WM_SIZE, 0, 0);
            layout();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = {scale(640), scale(440)};
            return 0;
        }
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            applyFont();
            const RECT* r = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == IDC_chkDetectFiles || id == IDC_chkDetectRegistry) {
                if (code == BN_CLICKED) onCheckBox(id);
                return 0;
            }
            if ((code == BN_CLICKED || code == 0) &&
                (id == IDC_cmdSnapShot || id == IDC_cmdReset || id == IDC_cmdDetectChanges ||
                 id == IDC_cmdFileSystemStart || id == IDC_cmdAdvanced || id == IDM_mnuQuorvel ||
                 id == IDM_mnuSaveFirst || id == IDM_mnuOpenFirst || id == IDM_mnuExport)) {
                commands_.onCommand(id);
                flush();
                return 0;
            }
            break;
        }
        case WM_INITMENUPOPUP:
            greyUnavailable(reinterpret_cast<HMENU>(wParam));
            return 0;
        case WM_NOTIFY: {
            auto* hdr = reinterpret_cast<NMHDR*>(lParam);
            if (hdr->idFrom == IDC_tbDisplay && hdr->code == TCN_SELCHANGE) {
                showList(selectedTab());
                return 0;
            }
            if (hdr->code == LVN_GETDISPINFOW) {
                for (auto& l : lists_) {
                    if (l.hwnd() == hdr->hwndFrom) l.fillDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
                }
                return 0;
            }
            break;
        }
        case WM_CLOSE:
            // Nothing is saved and nothing is asked: the process ends, also in
            // the middle of a capture that is pumping messages.
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

int MainWindow::scale(int dips) const { return MulDiv(dips, static_cast<int>(dpi_), 96); }

void MainWindow::createControls() {
    auto make = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
        return checkWin32(CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd_,
                                          menuId(id), instance_, nullptr));
    };
    // The tab strip first, so the list views created after it sit above it.
    make(0, WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_TABSTOP, IDC_tbDisplay);
    lists_[static_cast<size_t>(ListId::ModifiedFiles)].create(hwnd_, IDC_lstModifiedFiles,
                                                              {L"Filename", L"Size", L"Modified"}, instance_);
    lists_[static_cast<size_t>(ListId::DeletedFiles)].create(hwnd_, IDC_lstDeletedFiles, {L"Filename"}, instance_);
    lists_[static_cast<size_t>(ListId::NewFiles)].create(hwnd_, IDC_lstNewFiles, {L"Filename", L"Size", L"Created"},
                                                         instance_);
    make(0, L"BUTTON", L"Stop/Reset", WS_TABSTOP | BS_PUSHBUTTON, IDC_cmdReset);
    make(0, L"BUTTON", L"Detect changes", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, IDC_cmdDetectChanges);
    lists_[static_cast<size_t>(ListId::DeletedEntries)].create(hwnd_, IDC_lstDeletedEntries,
                                                               {L"Keyname", L"Value name", L"Data"}, instance_);
    lists_[static_cast<size_t>(ListId::NewEntries)].create(hwnd_, IDC_lstNewEntries,
                                                           {L"Keyname", L"Value name", L"Data"}, instance_);
    lists_[static_cast<size_t>(ListId::EditedRegistry)].create(hwnd_, IDC_lstEditedRegistry,
                                                               {L"Keyname", L"Value name", L"Data"}, instance_);
    HWND status = make(0, STATUSCLASSNAMEW, L"", SBARS_SIZEGRIP, IDC_Status);
    SendMessageW(status, SB_SIMPLE, TRUE, 0);
    make(0, L"BUTTON", L"Collect data", WS_TABSTOP | BS_PUSHBUTTON, IDC_cmdSnapShot);

    HWND tab = control(IDC_tbDisplay);
    const wchar_t* tabs[] = {L"New registry entries", L"Deleted registry / old entries", L"Edited registry data",
                             L"New files created",    L"Deleted files",                  L"Modified files"};
    for (int i = 0; i < 6; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(tabs[i]);
        SendMessageW(tab, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    HWND bar = make(0, PROGRESS_CLASSW, L"", 0, IDC_pbBar1);
    SendMessageW(bar, PBM_SETRANGE32, 0, 1);

    make(0, L"BUTTON", L"Search parameters:", BS_GROUPBOX, IDC_Frame2);
    HWND key = make(0, WC_COMBOBOXW, L"", WS_TABSTOP | CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL,
                    IDC_txtRegKeyStart);
    SetWindowTextW(key, L"SOFTWARE");
    make(0, L"BUTTON", L"Advanced", WS_TABSTOP | BS_PUSHBUTTON, IDC_cmdAdvanced);
    make(0, L"BUTTON", L"Detect file system changes", WS_TABSTOP | BS_AUTOCHECKBOX, IDC_chkDetectFiles);
    HWND reg = make(0, L"BUTTON", L"Detect registry changes", WS_TABSTOP | BS_AUTOCHECKBOX, IDC_chkDetectRegistry);
    SendMessageW(reg, BM_SETCHECK, BST_CHECKED, 0);
    HWND roots = make(0, WC_COMBOBOXW, L"", WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL, IDC_cmbRegStart);
    for (const wchar_t* root : {L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE", L"HKEY_USERS",
                                L"HKEY_CURRENT_CONFIG"})
        SendMessageW(roots, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(root));
    SendMessageW(roots, CB_SETCURSEL, 2, 0);
    make(0, L"BUTTON", L"Browse", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, IDC_cmdFileSystemStart);
    make(WS_EX_CLIENTEDGE, L"EDIT", L"C:\\", WS_TABSTOP | ES_AUTOHSCROLL | WS_DISABLED, IDC_txtFileSystemStart);
    make(0, L"STATIC", L"Registry start search key:", SS_LEFT, IDC_lblRegStart);
    make(0, L"STATIC", L"File system start search directory:", SS_LEFT | WS_DISABLED, IDC_lblFileSystem);

    for (auto& l : lists_) SetWindowPos(l.hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    showList(0);
    applyFont();
}

void MainWindow::applyFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi_))
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    font_.reset(CreateFontIndirectW(&metrics.lfMessageFont));
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    layout();
}

void MainWindow::layout() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    RECT statusRect{};
    GetWindowRect(control(IDC_Status), &statusRect);
    const int width = client.right;
    const int bottom = client.bottom - (statusRect.bottom - statusRect.top);
    const int m = scale(8), rowH = scale(24), gap = scale(6), labelW = scale(210);
    auto place = [&](int id, int x, int y, int w, int h) {
        MoveWindow(control(id), x, y, std::max(w, 0), std::max(h, 0), TRUE);
    };

    const int frameH = scale(22) + 3 * rowH + 2 * gap + scale(10);
    place(IDC_Frame2, m, m, width - 2 * m, frameH);
    const int inX = m + scale(12), inR = width - m - scale(12);
    int y = m + scale(22);
    place(IDC_lblRegStart, inX, y + scale(4), labelW, rowH);
    const int rootsX = inX + labelW, rootsW = scale(190);
    place(IDC_cmbRegStart, rootsX, y, rootsW, scale(200));
    place(IDC_txtRegKeyStart, rootsX + rootsW + gap, y, inR - (rootsX + rootsW + gap), scale(200));
    y += rowH + gap;
    const int browseW = scale(90);
    place(IDC_lblFileSystem, inX, y + scale(4), labelW, rowH);
    place(IDC_txtFileSystemStart, rootsX, y, inR - browseW - gap - rootsX, rowH);
    place(IDC_cmdFileSystemStart, inR - browseW, y, browseW, rowH);
    y += rowH + gap;
    place(IDC_chkDetectRegistry, inX, y, labelW, rowH);
    place(IDC_chkDetectFiles, rootsX, y, scale(240), rowH);
    place(IDC_cmdAdvanced, inR - browseW, y, browseW, rowH);

    y = m + frameH + m;
    const int buttonH = scale(28);
    int x = m;
    for (auto [id, w] : {std::pair{IDC_cmdSnapShot, 140}, {IDC_cmdDetectChanges, 140}, {IDC_cmdReset, 110}}) {
        place(id, x, y, scale(w), buttonH);
        x += scale(w) + gap;
    }
    place(IDC_pbBar1, x + gap, y + scale(4), width - m - (x + gap), buttonH - scale(8));
    y += buttonH + m;

    const int tabH = bottom - m - y;
    place(IDC_tbDisplay, m, y, width - 2 * m, tabH);
    RECT inner{m, y, width - m, y + tabH};
    SendMessageW(control(IDC_tbDisplay), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&inner));
    for (auto& l : lists_)
        MoveWindow(l.hwnd(), inner.left, inner.top, inner.right - inner.left, inner.bottom - inner.top, TRUE);
}

int MainWindow::selectedTab() const {
    return static_cast<int>(SendMessageW(control(IDC_tbDisplay), TCM_GETCURSEL, 0, 0));
}

void MainWindow::selectTab(int index) {
    SendMessageW(control(IDC_tbDisplay), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    showList(index);
}

void MainWindow::showList(int tabIndex) {
    for (int i = 0; i < 6; ++i) ShowWindow(control(kListIdsByTab[i]), i == tabIndex ? SW_SHOW : SW_HIDE);
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
    for (int id : {IDM_mnuSaveFirst, IDM_mnuOpenFirst, IDM_mnuExport}) {
        const UINT state = commands_.available(id) ? MF_ENABLED : MF_GRAYED;
        EnableMenuItem(menu, static_cast<UINT>(id), MF_BYCOMMAND | state);
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

const std::vector<ResultRow>& MainWindow::resultRows(ListId id) const {
    return lists_[static_cast<size_t>(id)].rows();
}

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
}

void MainWindow::setCollectEnabled(bool enabled) { setEnabled(IDC_cmdSnapShot, enabled); }

void MainWindow::setDetectEnabled(bool enabled) { setEnabled(IDC_cmdDetectChanges, enabled); }

std::string MainWindow::regRootText() const { return toUtf8(windowText(control(IDC_cmbRegStart))); }

std::string MainWindow::regKeyText() const { return toUtf8(windowText(control(IDC_txtRegKeyStart))); }

std::string MainWindow::fileStartText() const { return toUtf8(windowText(control(IDC_txtFileSystemStart))); }

void MainWindow::setFileStartText(std::string_view text) {
    SetWindowTextW(control(IDC_txtFileSystemStart), toWide(text).c_str());
}

void MainWindow::clearList(ListId id) { list(id).clear(); }

void MainWindow::appendRow(ListId id, ResultRow row) { list(id).append(std::move(row)); }

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
    if (progressDirty_) {
        progressDirty_ = false;
        HWND bar = control(IDC_pbBar1);
        SendMessageW(bar, PBM_SETRANGE32, 0, clampInt(progressMax_));
        SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(clampInt(progressValue_)), 0);
    }
    for (auto& l : lists_) l.flush();
}

}  // namespace qv

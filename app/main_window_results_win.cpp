// The results pane of frmMain: the six lists behind the tab strip, the find
// box and the count line beside it, the lists' notifications and their
// right-click menu, and what a row opens.
#include "app/main_window_win.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

#include "app/count_line.h"
#include "app/result_lists.h"
#include "app/result_view.h"
#include "core/utf.h"
#include "window/scaled_controls_win.h"

namespace qv {

bool MainWindow::onListNotify(NMHDR& hdr, LPARAM lParam, LRESULT& result) {
    ResultList* list = nullptr;
    for (auto& l : lists_) {
        if (l.hwnd() == hdr.hwndFrom) list = &l;
    }
    if (!list) return false;
    switch (hdr.code) {
        case NM_CUSTOMDRAW:
            result = list->customDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
            return true;
        case LVN_GETDISPINFOW:
            list->fillDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
            return true;
        case LVN_COLUMNCLICK: {
            HCURSOR old = SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
            list->sortBy(reinterpret_cast<NMLISTVIEW*>(lParam)->iSubItem);
            SetCursor(old);
            return true;
        }
        case LVN_KEYDOWN: {
            const WORD key = reinterpret_cast<NMLVKEYDOWN*>(lParam)->wVKey;
            const bool ctrl = GetKeyState(VK_CONTROL) < 0;
            if (ctrl && key == 'A') list->selectAll();
            if (ctrl && key == 'C') copySelection(false);
            return true;
        }
        case NM_DBLCLK:
            openFocusedRow(*list);
            return true;
        default:
            return false;
    }
}

ListId MainWindow::listOfTab(int tab) {
    return kAllLists[static_cast<size_t>(std::clamp(tab, 0, 5))];
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
    applyFind();
    shownList().fitLastColumn();
}

void MainWindow::applyFind() {
    if (!hwnd_ || !control(IDC_txtFind)) return;
    KillTimer(hwnd_, kFindTimer);
    shownList().setFilter(toUtf8(windowText(control(IDC_txtFind))));
    updateCounts();
}

bool MainWindow::hasResults() const {
    return std::any_of(lists_.begin(), lists_.end(), [](const ResultList& l) { return !l.rows().empty(); });
}

std::wstring MainWindow::countsText() const {
    if (!hasResults()) return {};
    std::string text;
    const ResultList& shown = shownList();
    if (shown.shownCount() != shown.rows().size())
        text = "Showing " + std::to_string(shown.shownCount()) + " of " + std::to_string(shown.rows().size()) +
               " \u00b7 ";
    std::array<const std::vector<ResultRow>*, 6> rows{};
    for (size_t i = 0; i < 6; ++i) rows[i] = &lists_[i].rows();
    const std::array<bool, 6> checked =
        listsChecked ? listsChecked() : std::array<bool, 6>{true, true, true, true, true, true};
    text += countLine(rows, checked, !backgroundShown_, unreadPlaces ? unreadPlaces() : 0);
    return toWide(text);
}

void MainWindow::showBackground(bool shown) {
    backgroundShown_ = shown;
    CheckMenuItem(GetMenu(hwnd_), IDM_mnuShowBackground, shown ? MF_CHECKED : MF_UNCHECKED);
    for (ResultList& list : lists_) list.setHideBackground(!shown);
    updateCounts();
}

void MainWindow::updateCounts() {
    std::wstring text;
    if (captureStart_) {
        const ULONGLONG now = GetTickCount64();
        // The marquee moves by itself; the numbers change a few times a second.
        if (captureShown_ && now - captureShown_ < 250) return;
        captureShown_ = now;
        const ULONGLONG seconds = (now - captureStart_) / 1000;
        std::string line = captureProgress ? captureProgress() : std::string();
        if (!line.empty()) line += " \u00b7 ";
        const std::string ss = std::to_string(seconds % 60);
        line += std::to_string(seconds / 60) + ":" + (ss.size() < 2 ? "0" : "") + ss + " elapsed";
        text = toWide(line);
    } else {
        text = countsText();
    }
    if (text == counts_) return;
    counts_ = std::move(text);
    SetWindowTextW(control(IDC_lblCounts), counts_.c_str());
}

void MainWindow::copySelection(bool pathsOnly) {
    ResultList& list = shownList();
    const std::vector<uint32_t> rows = list.selectedRows();
    if (rows.empty()) return;
    std::string text;
    if (pathsOnly) {
        // A key's path whole, with its root, as the Registry Editor's address bar takes it.
        const bool registry = isRegistryList(list.id());
        for (uint32_t r : rows) text += (registry ? fullKeyPath(list.rows()[r]) : list.rows()[r].text) + "\r\n";
    } else {
        text = rowsAsText(list.id(), list.rows(), rows);
    }
    copyToClipboard(hwnd_, text);
}

void MainWindow::showContextMenu(HWND listWindow, POINT at) {
    ResultList& list = shownList();
    if (at.x == -1 && at.y == -1) {  // the keyboard's menu key: at the focused line
        const int line = static_cast<int>(SendMessageW(listWindow, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
        RECT r{LVIR_LABEL, 0, 0, 0};
        if (line < 0 || !SendMessageW(listWindow, LVM_GETITEMRECT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(&r)))
            r = RECT{0, 0, 0, 0};
        at = POINT{r.left, r.bottom};
        ClientToScreen(listWindow, &at);
    }
    const bool registry = isRegistryList(list.id());
    const bool any = SendMessageW(listWindow, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
    const UINT state = any ? MF_ENABLED : MF_GRAYED;
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING | state, IDM_ctxCopy, L"&Copy\tCtrl+C");
    AppendMenuW(menu, MF_STRING | state, IDM_ctxCopyPath, registry ? L"Copy &key path" : L"Copy &file path");
    AppendMenuW(menu, MF_STRING, IDM_ctxSelectAll, L"Select &all\tCtrl+A");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    const bool gone = list.id() == ListId::DeletedFiles;
    if (registry) {
        AppendMenuW(menu, MF_STRING | state, IDM_ctxOpenRegedit, L"Open in &Registry Editor");
    } else {
        AppendMenuW(menu, MF_STRING | (any && !gone ? MF_ENABLED : MF_GRAYED), IDM_ctxOpenFolder,
                    L"Open containing &folder");
    }
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
    DestroyMenu(menu);
}

// Where a row lives: a key in the Registry Editor, a file in its folder. A
// deleted file has nowhere to be shown.
void MainWindow::openFocusedRow(const ResultList& list) {
    const ResultRow* row = list.focusedRow();
    if (!row) return;
    if (isRegistryList(list.id())) {
        openInRegistryEditor(*row);
    } else if (list.id() != ListId::DeletedFiles) {
        openContainingFolder(*row);
    }
}

std::string MainWindow::fullKeyPath(const ResultRow& row) const {
    const std::string root = registryRoot ? registryRoot() : std::string();
    std::string key = row.text;
    while (!key.empty() && key.back() == '\\') key.pop_back();
    if (root.empty()) return key;
    return key.empty() ? root : root + "\\" + key;
}

void MainWindow::openInRegistryEditor(const ResultRow& row) {
    if (!registryRoot || registryRoot().empty()) return;
    const std::string path = fullKeyPath(row);
    // The editor opens at the key it was last at: that is the documented way
    // to point it somewhere.
    const std::wstring last = toWide("Computer\\" + path);
    HKEY applet = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit", 0,
                        nullptr, 0, KEY_SET_VALUE, nullptr, &applet, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(applet, L"LastKey", 0, REG_SZ, reinterpret_cast<const BYTE*>(last.c_str()),
                       static_cast<DWORD>((last.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(applet);
    }
    // "-m" lets Windows' editor open beside one already running; Wine's
    // editor takes it for a file to import, and quits.
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    ShellExecuteW(hwnd_, L"open", L"regedit.exe", wine ? nullptr : L"-m", nullptr, SW_SHOWNORMAL);
    // Nor does Wine's editor open at its last key: the path goes on the
    // clipboard, and the status bar says where to go.
    if (wine && copyToClipboard(hwnd_, path))
        setStatus("Wine's Registry Editor cannot open at a key: " + path + " is on the clipboard.");
}

void MainWindow::openContainingFolder(const ResultRow& row) {
    const std::wstring args = L"/select,\"" + toWide(row.text) + L"\"";
    ShellExecuteW(hwnd_, L"open", L"explorer.exe", args.c_str(), nullptr, SW_SHOWNORMAL);
}

const std::vector<ResultRow>& MainWindow::resultRows(ListId id) const {
    return lists_[static_cast<size_t>(id)].rows();
}

void MainWindow::clearList(ListId id) { list(id).clear(); }

void MainWindow::appendRow(ListId id, ResultRow row) { list(id).append(std::move(row)); }

}  // namespace qv

#include "settings/advanced_dialog_win.h"

#include <commctrl.h>

#include "core/failure_win.h"
#include "core/utf.h"

namespace qv {
namespace {

using namespace advanced;

constexpr int kCheckIds[] = {IDC_chkNewReg,   IDC_chkDeleteReg,   IDC_chkEditedReg,
                             IDC_chkNewFiles, IDC_chkDeleteFiles, IDC_chkModifiedFiles};
constexpr int kListIds[] = {IDC_lstRegExceptions, IDC_lstFileExceptions, IDC_lstFilter};
// The controls each tab shows besides its list; the other tabs' are hidden.
constexpr int kTabControls[3][4] = {{IDC_lblKey, IDC_cmbRegStartAdvanced, IDC_lblSubkey, IDC_txtRegKey},
                                    {IDC_optFile, IDC_optFolder, 0, 0},
                                    {IDC_lblData, IDC_txtFilter, 0, 0}};
constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
const wchar_t* const kRoots[] = {L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE", L"HKEY_USERS",
                                 L"HKEY_CURRENT_CONFIG"};

std::string textOf(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int n = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    return toUtf8(text);
}

std::string itemText(HWND list, int item, int sub) {
    std::wstring buffer(256, L'\0');
    for (;;) {
        LVITEMW lv{};
        lv.iSubItem = sub;
        lv.pszText = buffer.data();
        lv.cchTextMax = static_cast<int>(buffer.size());
        const auto n = static_cast<size_t>(SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item),
                                                        reinterpret_cast<LPARAM>(&lv)));
        if (n + 1 < buffer.size()) return toUtf8(std::wstring_view(buffer.data(), n));
        buffer.resize(buffer.size() * 4);
    }
}

}  // namespace

using namespace advanced;

AdvancedDialog::AdvancedDialog(HINSTANCE instance,
                               std::function<std::unique_ptr<AdvancedSettings>(AdvancedView&)> makeLogic)
    : instance_(instance), makeLogic_(std::move(makeLogic)) {}

AdvancedDialog::~AdvancedDialog() {
    if (hwnd_) DestroyWindow(hwnd_);
    if (keys_) DestroyAcceleratorTable(keys_);
}

void AdvancedDialog::show(HWND owner) {
    if (hwnd_) {
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        SetForegroundWindow(hwnd_);
        return;
    }
    registerClass(instance_, kAdvancedWindowClass);
    if (!keys_) {
        ACCEL keys[] = {{FALT | FVIRTKEY, 'N', IDC_chkNewReg},
                        {FALT | FVIRTKEY, 'D', IDC_chkDeleteReg},
                        {FALT | FVIRTKEY, 'E', IDC_chkEditedReg},
                        {FALT | FVIRTKEY, 'F', IDC_chkNewFiles},
                        {FALT | FVIRTKEY, 'L', IDC_chkDeleteFiles},
                        {FALT | FVIRTKEY, 'M', IDC_chkModifiedFiles},
                        {FALT | FVIRTKEY, 'A', IDC_cmdAddRegExceptions},
                        {FALT | FVIRTKEY, 'R', IDC_cmdRemoveRegExceptions},
                        {FALT | FVIRTKEY, 'I', IDC_optFile},
                        {FALT | FVIRTKEY, 'O', IDC_optFolder},
                        {FCONTROL | FVIRTKEY, VK_TAB, IDM_nextTab},
                        {FCONTROL | FSHIFT | FVIRTKEY, VK_TAB, IDM_previousTab},
                        {FCONTROL | FVIRTKEY, VK_NEXT, IDM_nextTab},
                        {FCONTROL | FVIRTKEY, VK_PRIOR, IDM_previousTab}};
        keys_ = CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys)));
    }
    // Laid out in pixels of 96 DPI and scaled to the owner's. No clipping of
    // children: the parent must paint the page behind the group boxes, which
    // are children too and paint only their frames.
    dpi_ = dpiBeside(owner);
    const SIZE frame = frameSize();
    RECT at{};
    if (owner) GetWindowRect(owner, &at);
    checkWin32(CreateWindowExW(kExStyle, kAdvancedWindowClass, L"Advanced settings", kStyle, at.left + scale(40),
                               at.top + scale(40), frame.cx, frame.cy, owner, nullptr, instance_, this));
    // The owner's icon, as the program's other windows show it.
    if (owner) {
        for (const auto& [which, index] : {std::pair{ICON_BIG, GCLP_HICON}, std::pair{ICON_SMALL, GCLP_HICONSM}})
            SendMessageW(hwnd_, WM_SETICON, which, static_cast<LPARAM>(GetClassLongPtrW(owner, index)));
    }
    logic_ = makeLogic_(*this);
    logic_->Form_Load();
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetFocus(control(IDC_cmdOK));
}

void AdvancedDialog::createControls() {
    controls_.attach(hwnd_, instance_, dpi_);
    const auto make = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w,
                          int h, int id) { return controls_.add(exStyle, cls, text, style, {x, y, w, h}, id); };
    const auto frame = [&](const wchar_t* text, int x, int id) {
        make(0, WC_BUTTONW, text, BS_GROUPBOX, x, 8, 265, 100, id);
    };
    const DWORD check = BS_3STATE | WS_TABSTOP;
    frame(L"Registry", 10, IDC_Frame1);
    make(0, WC_BUTTONW, L"Detect new entries", check | WS_GROUP, 22, 30, 240, 20, IDC_chkNewReg);
    make(0, WC_BUTTONW, L"Detect deleted entries", check, 22, 54, 240, 20, IDC_chkDeleteReg);
    make(0, WC_BUTTONW, L"Detect edited entries", check, 22, 78, 240, 20, IDC_chkEditedReg);
    frame(L"File system", 285, IDC_Frame2);
    make(0, WC_BUTTONW, L"Detect new files", check, 297, 30, 240, 20, IDC_chkNewFiles);
    make(0, WC_BUTTONW, L"Detect deleted files", check, 297, 54, 240, 20, IDC_chkDeleteFiles);
    make(0, WC_BUTTONW, L"Detect modified files", check, 297, 78, 240, 20, IDC_chkModifiedFiles);

    // The tab strip is only as tall as its tabs: the list and the boxes
    // below sit beside it, never under it, so nothing paints over them.
    HWND tabs = make(0, WC_TABCONTROLW, L"", WS_TABSTOP | WS_GROUP, 10, 118, 540, 24, IDC_tbExceptions);
    const wchar_t* const captions[] = {L"Registry exceptions", L"File system exceptions", L"Registry filter"};
    for (int i = 0; i < 3; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(captions[i]);
        SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    const struct {
        int id;
        std::vector<std::pair<const wchar_t*, int>> columns;
    } lists[] = {{IDC_lstRegExceptions, {{L"HKEY", 170}, {L"Registry key", 330}}},
                 {IDC_lstFileExceptions, {{L"Path", 400}, {L"Type", 100}}},
                 {IDC_lstFilter, {{L"Data to filter", 500}}}};
    for (const auto& l : lists) {
        HWND list = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP, 10, 144,
                         540, 196, l.id);
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        for (size_t c = 0; c < l.columns.size(); ++c) {
            LVCOLUMNW col{};
            col.mask = LVCF_TEXT | LVCF_WIDTH;
            col.pszText = const_cast<wchar_t*>(l.columns[c].first);
            col.cx = scale(l.columns[c].second);
            SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&col));
        }
        // The last column reaches the list's right edge: no empty header past it.
        SendMessageW(list, LVM_SETCOLUMNWIDTH, l.columns.size() - 1, LVSCW_AUTOSIZE_USEHEADER);
    }
    // Each label just before its box, so that its name and tab place are the box's.
    const DWORD label = SS_LEFT | SS_CENTERIMAGE;
    make(0, WC_STATICW, L"Key:", label, 10, 350, 34, 24, IDC_lblKey);
    HWND roots = make(0, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 46, 350, 180, 200,
                      IDC_cmbRegStartAdvanced);
    for (const wchar_t* r : kRoots) SendMessageW(roots, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(r));
    make(0, WC_STATICW, L"Subkey:", label, 234, 350, 52, 24, IDC_lblSubkey);
    make(WS_EX_CLIENTEDGE, WC_EDITW, L"SOFTWARE", ES_AUTOHSCROLL | WS_TABSTOP, 288, 350, 262, 24, IDC_txtRegKey);
    make(0, WC_BUTTONW, L"File", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 12, 350, 90, 22, IDC_optFile);
    make(0, WC_BUTTONW, L"Folder", BS_AUTORADIOBUTTON, 110, 350, 90, 22, IDC_optFolder);
    SendMessageW(control(IDC_optFile), BM_SETCHECK, BST_CHECKED, 0);
    make(0, WC_STATICW, L"Data:", label, 10, 350, 40, 24, IDC_lblData);
    make(WS_EX_CLIENTEDGE, WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP, 52, 350, 498, 24, IDC_txtFilter);
    make(0, WC_BUTTONW, L"Add", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 10, 400, 90, 28, IDC_cmdAddRegExceptions);
    make(0, WC_BUTTONW, L"Remove", BS_PUSHBUTTON | WS_TABSTOP, 110, 400, 90, 28, IDC_cmdRemoveRegExceptions);
    make(0, WC_BUTTONW, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 360, 432, 90, 28, IDC_cmdOK);
    make(0, WC_BUTTONW, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 460, 432, 90, 28, IDC_cmdCancel);
    // The group boxes go below everything made after them too, so that
    // painting them never covers the boxes they surround.
    for (int id : {IDC_Frame1, IDC_Frame2})
        SetWindowPos(control(id), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    fitTabRow();
    showTab(SettingsList::RegExceptions);
}

// The tab strip is as tall as its row of tabs in the current font.
void AdvancedDialog::fitTabRow() {
    HWND tabs = control(IDC_tbExceptions);
    RECT item{};
    if (SendMessageW(tabs, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item)))
        SetWindowPos(tabs, nullptr, 0, 0, scale(540), item.bottom + scale(2), SWP_NOMOVE | SWP_NOZORDER);
}

// Moved to a monitor of another scale: the frame keeps its size in pixels of
// 96 DPI, and the controls, the font and the list columns follow.
void AdvancedDialog::changeDpi(UINT dpi, const RECT& suggested) {
    const UINT old = dpi_;
    dpi_ = dpi ? dpi : 96;
    controls_.setDpi(dpi_);
    fitTabRow();
    for (int id : kListIds) {
        HWND list = control(id);
        HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
        const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
        for (int c = 0; c < columns; ++c) {
            const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0));
            SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c),
                         MulDiv(width, static_cast<int>(dpi_), static_cast<int>(old)));
        }
    }
    const SIZE frame = frameSize();
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, frame.cx, frame.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE AdvancedDialog::frameSize() const { return frameAt(560, 470, kStyle, kExStyle, dpi_); }

LRESULT AdvancedDialog::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            createControls();
            return 0;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (code == 1 && lParam == 0 && logic_) {  // an accelerator
                onAccelerator(id);
                return 0;
            }
            if (code != BN_CLICKED || !logic_) break;
            for (size_t i = 0; i < std::size(kCheckIds); ++i) {
                // A click ticks a box that is not ticked, a dimmed one included.
                if (id == kCheckIds[i]) setCheckValue(i, checkValue(i) == 1 ? 0 : 1);
            }
            if (id == IDC_cmdAddRegExceptions) logic_->cmdAddRegExceptions_Click();
            if (id == IDC_cmdRemoveRegExceptions) logic_->cmdRemoveRegExceptions_Click();
            if (id == IDC_cmdOK) logic_->cmdOK_Click();
            if (id == IDC_cmdCancel) logic_->cmdCancel_Click();
            return 0;
        }
        case WM_NOTIFY: {
            const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
            if (hdr->idFrom == IDC_tbExceptions && hdr->code == TCN_SELCHANGE && logic_) {
                const auto index = SendMessageW(hdr->hwndFrom, TCM_GETCURSEL, 0, 0);
                logic_->tbExceptions_Click(static_cast<int>(index) + 1);
                return 0;
            }
            if (hdr->code == LVN_KEYDOWN && reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey == VK_DELETE) {
                removeSelectedRows();
                return 0;
            }
            break;
        }
        case WM_DPICHANGED:
            changeDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_CLOSE:
            close();
            return 0;
        case WM_DESTROY:
            hwnd_ = nullptr;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

HWND AdvancedDialog::listControl(SettingsList list) const { return control(kListIds[static_cast<size_t>(list)]); }

void AdvancedDialog::onAccelerator(int id) {
    if (id == IDM_nextTab || id == IDM_previousTab) {
        const auto shown = static_cast<int>(visibleList());
        HWND focus = GetFocus();
        logic_->tbExceptions_Click((shown + (id == IDM_nextTab ? 1 : 2)) % 3 + 1);
        keepKeysOnPage(focus, listControl(visibleList()));
        return;
    }
    pressForKey(control(id));
}

void AdvancedDialog::removeSelectedRows() {
    HWND list = listControl(visibleList());
    for (int i = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) - 1; i >= 0; --i) {
        if (SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED) & LVIS_SELECTED)
            SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(i), 0);
    }
}

int16_t AdvancedDialog::checkValue(size_t index) const {
    return static_cast<int16_t>(SendMessageW(control(kCheckIds[index]), BM_GETCHECK, 0, 0));
}

void AdvancedDialog::setCheckValue(size_t index, int16_t value) {
    // BST_UNCHECKED, BST_CHECKED and BST_INDETERMINATE are 0, 1 and 2.
    SendMessageW(control(kCheckIds[index]), BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

std::string AdvancedDialog::regRootText() const { return textOf(control(IDC_cmbRegStartAdvanced)); }

void AdvancedDialog::setRegRootText(const std::string& text) {
    SendMessageW(control(IDC_cmbRegStartAdvanced), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(toWide(text).c_str()));
}

std::string AdvancedDialog::regKeyText() const { return textOf(control(IDC_txtRegKey)); }
std::string AdvancedDialog::filterText() const { return textOf(control(IDC_txtFilter)); }

bool AdvancedDialog::fileOptionSelected() const {
    return SendMessageW(control(IDC_optFile), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void AdvancedDialog::showTab(SettingsList list) {
    const auto shown = static_cast<size_t>(list);
    for (size_t tab = 0; tab < 3; ++tab) {
        const int how = tab == shown ? SW_SHOW : SW_HIDE;
        ShowWindow(control(kListIds[tab]), how);
        for (int id : kTabControls[tab]) {
            if (id) ShowWindow(control(id), how);
        }
    }
    SendMessageW(control(IDC_tbExceptions), TCM_SETCURSEL, shown, 0);
}

SettingsList AdvancedDialog::visibleList() const {
    for (size_t tab = 0; tab < 3; ++tab) {
        if (GetWindowLongPtrW(control(kListIds[tab]), GWL_STYLE) & WS_VISIBLE) return static_cast<SettingsList>(tab);
    }
    return SettingsList::RegExceptions;
}

std::vector<SettingsRow> AdvancedDialog::rows(SettingsList list) const {
    HWND lv = listControl(list);
    const bool pairs = list != SettingsList::Filter;
    std::vector<SettingsRow> out;
    const int count = static_cast<int>(SendMessageW(lv, LVM_GETITEMCOUNT, 0, 0));
    out.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto state = SendMessageW(lv, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_STATEIMAGEMASK);
        out.push_back({itemText(lv, i, 0), pairs ? itemText(lv, i, 1) : std::string(),
                       ((state & LVIS_STATEIMAGEMASK) >> 12) == 2});
    }
    return out;
}

void AdvancedDialog::setRows(SettingsList list, const std::vector<SettingsRow>& rows) {
    HWND lv = listControl(list);
    SendMessageW(lv, WM_SETREDRAW, FALSE, 0);
    SendMessageW(lv, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < rows.size(); ++i) {
        std::wstring text = toWide(rows[i].text), sub = toWide(rows[i].sub1);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = text.data();
        const auto at = SendMessageW(lv, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        if (list != SettingsList::Filter) {
            LVITEMW subItem{};
            subItem.iSubItem = 1;
            subItem.pszText = sub.data();
            SendMessageW(lv, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&subItem));
        }
        LVITEMW state{};
        state.stateMask = LVIS_STATEIMAGEMASK;
        state.state = INDEXTOSTATEIMAGEMASK(rows[i].ticked ? 2 : 1);
        SendMessageW(lv, LVM_SETITEMSTATE, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&state));
    }
    SendMessageW(lv, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(lv, nullptr, TRUE);
}

void AdvancedDialog::close() {
    if (hwnd_) DestroyWindow(hwnd_);
}

}  // namespace qv

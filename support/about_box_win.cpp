#include "support/about_box_win.h"

#include <vector>

#include "core/app_state.h"
#include "core/failure_win.h"
#include "core/utf.h"
#include "support/about_box.h"

namespace qv {

using namespace about;

namespace {
constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
}  // namespace

std::optional<std::string> GetKeyValue(HKEY KeyRoot, const std::string& KeyName, const std::string& SubKeyRef) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(KeyRoot, toWide(KeyName).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
    std::vector<BYTE> buffer(1024, 0);
    DWORD type = 0, size = static_cast<DWORD>(buffer.size());
    const LSTATUS rc = RegQueryValueExW(key, toWide(SubKeyRef).c_str(), nullptr, &type, buffer.data(), &size);
    RegCloseKey(key);
    // A value with no bytes at all, or one that is no string, names no program.
    if (rc != ERROR_SUCCESS || size == 0 || type != REG_SZ) return std::nullopt;
    std::wstring text(reinterpret_cast<const wchar_t*>(buffer.data()), size / sizeof(wchar_t));
    text = text.substr(0, text.find(L'\0'));
    return toUtf8(text);
}

AboutBox::~AboutBox() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void AboutBox::show(HWND owner) {
    if (hwnd_) {
        SetForegroundWindow(hwnd_);
        return;
    }
    owner_ = owner;
    registerClass(instance_, kAboutWindowClass);
    // Laid out in pixels of 96 DPI, scaled to the owner's.
    dpi_ = dpiBeside(owner);
    const SIZE frame = frameSize();
    RECT at{};
    if (owner) GetWindowRect(owner, &at);
    const std::wstring title = L"About " + toWide(kAppname);
    checkWin32(CreateWindowExW(kExStyle, kAboutWindowClass, title.c_str(), kStyle, at.left + scale(60),
                               at.top + scale(60), frame.cx, frame.cy, owner, nullptr, instance_, this));
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetFocus(GetDlgItem(hwnd_, IDC_cmdOK));
}

void AboutBox::createControls() {
    controls_.attach(hwnd_, instance_, dpi_);
    const auto make = [&](const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y, int w, int h,
                          int id) { return controls_.add(0, cls, text.c_str(), style, {x, y, w, h}, id); };
    // The main window's icon, which the form and its picture box show.
    HICON icon = owner_ ? reinterpret_cast<HICON>(GetClassLongPtrW(owner_, GCLP_HICON)) : nullptr;
    if (!icon) icon = LoadIconW(nullptr, IDI_APPLICATION);
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    if (owner_) SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, static_cast<LPARAM>(GetClassLongPtrW(owner_, GCLP_HICONSM)));
    HWND pic = make(L"STATIC", L"", SS_ICON, 16, 16, 32, 32, IDC_picIcon);
    SendMessageW(pic, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    make(L"STATIC", toWide(kAppname), SS_LEFT, 64, 16, 330, 20, IDC_lblTitle);
    make(L"STATIC", toWide(kCurrentVersion), SS_LEFT, 64, 40, 330, 20, IDC_lblVersion);
    make(L"STATIC", toWide(kAboutDescription), SS_LEFT, 64, 64, 340, 56, IDC_lblDescription);
    make(L"STATIC", L"", SS_ETCHEDHORZ, 16, 128, 388, 2, IDC_Line1);
    make(L"STATIC", toWide(kAboutDisclaimer), SS_LEFT, 16, 138, 388, 44, IDC_lblDisclaimer);
    make(L"STATIC", L"", SS_ETCHEDHORZ, 16, 186, 388, 2, IDC_Line1b);
    // In the order they stand, so Tab walks them left to right.
    make(L"BUTTON", L"&System Info...", BS_PUSHBUTTON | WS_TABSTOP, 176, 200, 110, 28, IDC_cmdSysInfo);
    make(L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 294, 200, 110, 28, IDC_cmdOK);
}

SIZE AboutBox::frameSize() const { return frameAt(420, 250, kStyle, kExStyle, dpi_); }

LRESULT AboutBox::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            createControls();
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) break;
            if (LOWORD(wParam) == IDC_cmdOK || LOWORD(wParam) == IDCANCEL) DestroyWindow(hwnd_);
            if (LOWORD(wParam) == IDC_cmdSysInfo) StartSysInfo();
            return 0;
        case WM_DPICHANGED: {
            // Moved to a monitor of another scale: the box keeps its size in
            // pixels of 96 DPI, and its controls and font follow.
            dpi_ = HIWORD(wParam);
            controls_.setDpi(dpi_);
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            const SIZE frame = frameSize();
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, frame.cx, frame.cy,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_CLOSE:
            DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            hwnd_ = nullptr;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void AboutBox::StartSysInfo() {
    const auto reader = [](const std::string& key, const std::string& value) {
        return GetKeyValue(HKEY_LOCAL_MACHINE, key, value);
    };
    const auto exists = [](const std::string& path) {
        const DWORD a = GetFileAttributesW(toWide(path).c_str());
        return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
    };
    if (const std::optional<std::string> path = sysInfoPath(reader, exists)) {
        std::wstring command = L"\"" + toWide(*path) + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION pi{};
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
            return;
        }
    }
    prompt_.ask(kSysInfoUnavailable, kAppname, Buttons::Ok, Icon::None);
}

}  // namespace qv

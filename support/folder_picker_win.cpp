#include "support/folder_picker_win.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "core/failure_win.h"
#include "core/utf.h"
#include "support/centring_hook_win.h"
#include "support/keys_back_win.h"

namespace qv {

std::string ShellFolderPicker::BrowseFolder(std::string_view prompt, intptr_t owner) {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(init) && init != RPC_E_CHANGED_MODE) checkHr(init);
    struct ComScope {
        bool active;
        ~ComScope() {
            if (active) CoUninitialize();
        }
    } com{SUCCEEDED(init)};

    const std::wstring title = toWide(browsePrompt(prompt));
    BROWSEINFOW info{};
    info.lpszTitle = title.c_str();
    info.ulFlags = 0;
    PIDLIST_ABSOLUTE chosen;
    // The browser belongs to the window that asked, which it holds still
    // while open: no second browser, and no closing of that window under it.
    HWND asking = reinterpret_cast<HWND>(owner);
    info.hwndOwner = asking;
    {
        CentringHook hook(nullptr);
        chosen = SHBrowseForFolderW(&info);
    }
    returnKeysTo(asking);
    if (!chosen) return {};
    // The parsing name keeps virtual folders recognisable ("::{GUID}"), so they
    // are refused the same way as any other non-file-system choice.
    PWSTR name = nullptr;
    std::string path;
    if (SUCCEEDED(SHGetNameFromIDList(chosen, SIGDN_DESKTOPABSOLUTEPARSING, &name)) && name) {
        path = toUtf8(std::wstring_view(name));
        CoTaskMemFree(name);
    }
    CoTaskMemFree(chosen);
    return acceptedFolder(path);
}

}  // namespace qv

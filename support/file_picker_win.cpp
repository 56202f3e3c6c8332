#include "support/file_picker_win.h"

#include <windows.h>
#include <commdlg.h>

#include <vector>

#include "core/utf.h"
#include "support/centring_hook_win.h"
#include "support/file_picker.h"

namespace qv {

SelectedFile Win32FilePicker::ShowOpen(FileDialog& dialog, intptr_t owner, bool centerForm) {
    HWND hwnd = reinterpret_cast<HWND>(owner);
    if (dialog.flags == 0) dialog.flags = OFS_FILE_OPEN_FLAGS;
    // Room for thousands of chosen names; the buffer lives for this call only.
    std::vector<wchar_t> file(1 << 20, L'\0');
    const std::u16string previous = toUtf16(dialog.sFile);
    const std::u16string_view initial = initialFileName(previous);
    if (initial.size() < file.size()) std::copy(initial.begin(), initial.end(), file.begin());
    std::vector<wchar_t> title(2048, L'\0');
    std::wstring filter = toWide(dialog.filter);
    filter.push_back(L'\0');
    const std::wstring initialDir = toWide(dialog.initialDir);
    const std::wstring caption = toWide(dialog.title);

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrFileTitle = title.data();
    ofn.nMaxFileTitle = static_cast<DWORD>(title.size());
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    ofn.lpstrTitle = caption.empty() ? nullptr : caption.c_str();
    ofn.Flags = dialog.flags;

    BOOL chosen;
    {
        CentringHook hook(centerForm ? hwnd : nullptr);
        chosen = GetOpenFileNameW(&ofn);
    }
    if (!chosen) return SelectedFile{};
    size_t end = 0;
    while (end + 1 < file.size() && (file[end] != L'\0' || file[end + 1] != L'\0')) ++end;
    const std::u16string_view buffer(reinterpret_cast<const char16_t*>(file.data()), end + 1);
    dialog.sFile = toUtf8(std::u16string_view(buffer.data(), buffer.find(u'\0')));
    return parseOpenFileBuffer(buffer, ofn.nFileOffset);
}

}  // namespace qv

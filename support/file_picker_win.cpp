#include "support/file_picker_win.h"

#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "core/utf.h"
#include "support/centring_hook_win.h"
#include "support/keys_back_win.h"
#include "support/file_picker.h"

namespace qv {
namespace {

// The texts and buffers that an OPENFILENAMEW points at, alive for one call.
struct DialogRecord {
    std::vector<wchar_t> file;
    std::vector<wchar_t> title = std::vector<wchar_t>(2048, L'\0');
    std::wstring filter;
    std::wstring initialDir;
    std::wstring caption;
    std::wstring defaultExt;
    OPENFILENAMEW ofn{};

    DialogRecord(const FileDialog& dialog, HWND owner, size_t fileChars) : file(fileChars, L'\0') {
        const std::u16string previous = toUtf16(dialog.sFile);
        const std::u16string_view initial = initialFileName(previous);
        if (initial.size() < file.size()) std::copy(initial.begin(), initial.end(), file.begin());
        filter = toWide(dialog.filter);
        filter.push_back(L'\0');
        initialDir = toWide(dialog.initialDir);
        caption = toWide(dialog.title);
        defaultExt = toWide(dialog.defaultExt);
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = owner;
        ofn.lpstrFilter = filter.c_str();
        ofn.nFilterIndex = dialog.filterIndex;
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = static_cast<DWORD>(file.size());
        ofn.lpstrFileTitle = title.data();
        ofn.nMaxFileTitle = static_cast<DWORD>(title.size());
        ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
        ofn.lpstrTitle = caption.empty() ? nullptr : caption.c_str();
        ofn.Flags = dialog.flags;
        ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
    }

    // Shows the dialog centred on the owner or on the screen.
    template <class Show>
    bool show(Show dialogFunction, bool centerForm) {
        bool chosen = false;
        {
            CentringHook hook(centerForm ? ofn.hwndOwner : nullptr);
            chosen = dialogFunction(&ofn) != FALSE;
        }
        returnKeysTo(ofn.hwndOwner);
        return chosen;
    }
};

}  // namespace

SelectedFile Win32FilePicker::ShowOpen(FileDialog& dialog, intptr_t owner, bool centerForm) {
    if (dialog.flags == 0) dialog.flags = OFS_FILE_OPEN_FLAGS;
    // Room for thousands of chosen names; the buffer lives for this call only.
    DialogRecord record(dialog, reinterpret_cast<HWND>(owner), 1 << 20);
    if (!record.show(GetOpenFileNameW, centerForm)) return SelectedFile{};
    const std::vector<wchar_t>& file = record.file;
    size_t end = 0;
    while (end + 1 < file.size() && (file[end] != L'\0' || file[end + 1] != L'\0')) ++end;
    const std::u16string_view buffer(reinterpret_cast<const char16_t*>(file.data()), end + 1);
    dialog.sFile = toUtf8(std::u16string_view(buffer.data(), buffer.find(u'\0')));
    return parseOpenFileBuffer(buffer, record.ofn.nFileOffset);
}

std::string Win32SaveFilePicker::ShowSave(FileDialog& dialog, intptr_t owner, bool centerForm) {
    // Long paths: the dialog may hand back more than MAX_PATH characters.
    DialogRecord record(dialog, reinterpret_cast<HWND>(owner), 32768);
    if (!record.show(GetSaveFileNameW, centerForm)) return {};
    dialog.sFile = toUtf8(std::wstring_view(record.file.data()));
    dialog.filterIndex = record.ofn.nFilterIndex;
    return dialog.sFile;
}

}  // namespace qv

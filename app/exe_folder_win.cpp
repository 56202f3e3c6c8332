#include "app/exe_folder_win.h"

#include <windows.h>

#include "core/utf.h"

namespace qv {

std::string exeFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return ".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return toUtf8(std::wstring_view(path).substr(0, path.rfind(L'\\')));
}

}  // namespace qv

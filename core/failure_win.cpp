#include "core/failure_win.h"

#include "core/utf.h"

namespace qv {

std::string win32ErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length && buffer) {
        // The system's texts end with a full stop and a line break; the report
        // adds its own full stop.
        while (length && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' || buffer[length - 1] == L' '))
            --length;
        if (length && buffer[length - 1] == L'.') --length;
        text = toUtf8(std::wstring_view(buffer, length));
    }
    if (buffer) LocalFree(buffer);
    if (text.empty()) text = "Error " + std::to_string(error);
    return text;
}

}  // namespace qv

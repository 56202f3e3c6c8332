#include "settings/ansi_code_page_win.h"

#include <windows.h>

#include "core/utf.h"

namespace qv {

std::optional<std::string> Win32AnsiCodePage::fromUtf8(std::string_view text) const {
    if (text.empty()) return std::string();
    const std::wstring wide = toWide(text);
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy) return std::nullopt;
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), bytes.data(), n,
                        nullptr, &lossy);
    if (lossy) return std::nullopt;
    // A code page without a lossless form of the text may still answer
    // without complaint: only a round trip proves the bytes say the same.
    if (toUtf8(bytes) != text) return std::nullopt;
    return bytes;
}

std::string Win32AnsiCodePage::toUtf8(std::string_view bytes) const {
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return qv::toUtf8(wide);
}

}  // namespace qv

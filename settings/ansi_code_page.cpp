#include "settings/ansi_code_page.h"

#include "core/utf.h"

namespace qv {

std::optional<std::string> Latin1CodePage::fromUtf8(std::string_view text) const {
    const std::u16string wide = toUtf16(text);
    std::string bytes;
    bytes.reserve(wide.size());
    for (char16_t unit : wide) {
        if (unit > 0xFF) return std::nullopt;
        bytes.push_back(static_cast<char>(unit));
    }
    return bytes;
}

std::string Latin1CodePage::toUtf8(std::string_view bytes) const {
    std::u16string wide;
    wide.reserve(bytes.size());
    for (char b : bytes) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(b)));
    return qv::toUtf8(wide);
}

}  // namespace qv

#include "support/registry_store.h"

#include "core/utf.h"

namespace qv {

std::string storedValueText(uint32_t type, std::string_view data) {
    if (type == kRegSz) {
        std::u16string text(data.size() / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                            (static_cast<unsigned char>(data[2 * i + 1]) << 8));
        return toUtf8(std::u16string_view(text).substr(0, text.find(u'\0')));
    }
    if (type == kRegBinary && !data.empty()) {
        // Room for two bytes; a shorter value fills the rest with zero.
        const auto low = static_cast<unsigned char>(data[0]);
        const auto high = data.size() > 1 ? static_cast<unsigned char>(data[1]) : 0u;
        return std::to_string(static_cast<int16_t>(static_cast<uint16_t>(low | (high << 8))));
    }
    return {};
}

}  // namespace qv

#include "capture/value_rendering.h"

namespace qv {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kMultiStringSeparator[] = "\r\n\t\t\t\t\t\t";
}  // namespace

std::string renderBinary(const std::vector<uint8_t>& bytes) {
    std::string text;
    if (bytes.empty()) return text;
    text.resize(bytes.size() * 3 - 1, ',');
    char* out = text.data();
    for (uint8_t b : bytes) {
        out[0] = kHexDigits[b >> 4];
        out[1] = kHexDigits[b & 0x0F];
        out += 3;
    }
    return text;
}

std::string renderMultiString(const std::vector<std::string>& strings) {
    std::string text;
    for (size_t i = 0; i < strings.size(); ++i) {
        if (i) text += kMultiStringSeparator;
        text += strings[i];
    }
    return text;
}

std::string renderDword(uint32_t value) {
    return std::to_string(value);
}

std::string readValueData(RegistryProvider& oreg, int32_t hive, const std::string& keyName,
                          const std::string& valueName, uint32_t type) {
    // Each read starts from empty output, so a provider that fails half-way
    // cannot leave part of a value (or the previous value) in the entry.
    switch (type) {
        case kRegSz: {
            std::string text;
            if (oreg.GetStringValue(hive, keyName, valueName, text)) return text;
            return {};
        }
        case kRegExpandSz: {
            std::string text;
            if (oreg.GetExpandedStringValue(hive, keyName, valueName, text)) return text;
            return {};
        }
        case kRegBinary: {
            std::vector<uint8_t> bytes;
            if (oreg.GetBinaryValue(hive, keyName, valueName, bytes)) return renderBinary(bytes);
            return {};
        }
        case kRegDword: {
            uint32_t number = 0;
            if (oreg.GetDWORDValue(hive, keyName, valueName, number)) return renderDword(number);
            return {};
        }
        case kRegMultiSz: {
            std::vector<std::string> strings;
            if (oreg.GetMultiStringValue(hive, keyName, valueName, strings))
                return renderMultiString(strings);
            return {};
        }
        default:
            return {};
    }
}

}  // namespace qv

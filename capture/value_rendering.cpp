#include "capture/value_rendering.h"

#include "core/registry_types.h"
#include "core/utf.h"

namespace qv {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
// A scratch buffer kept for the next value up to this size; one that a huge
// value grew is given back, rather than held for the rest of the run.
constexpr size_t kKeptScratch = size_t{1} << 20;
constexpr char kMultiStringSeparator[] = "\r\n\t\t\t\t\t\t";
}  // namespace

std::string renderBinary(std::string_view bytes) {
    std::string text;
    if (bytes.empty()) return text;
    text.resize(bytes.size() * 3 - 1, ',');
    char* out = text.data();
    for (char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        out[0] = kHexDigits[b >> 4];
        out[1] = kHexDigits[b & 0x0F];
        out += 3;
    }
    return text;
}

std::string renderBinary(const std::vector<uint8_t>& bytes) {
    return renderBinary(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
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

namespace {

char16_t unitAt(std::string_view bytes, size_t i) {
    return static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) | static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
}

void appendUnits(std::string& bytes, std::u16string_view units) {
    for (char16_t u : units) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
}

template <class Number>
std::optional<Number> littleEndian(std::string_view bytes) {
    if (bytes.size() != sizeof(Number)) return std::nullopt;
    Number n = 0;
    for (size_t i = 0; i < sizeof(Number); ++i) n |= static_cast<Number>(static_cast<uint8_t>(bytes[i])) << (8 * i);
    return n;
}

template <class Number>
std::optional<std::string> numberBytes(std::string_view text) {
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string_view::npos ||
        (text.size() > 1 && text[0] == '0'))
        return std::nullopt;
    unsigned long long n = 0;
    for (char c : text) {
        const unsigned long long next = n * 10 + static_cast<unsigned>(c - '0');
        if (next / 10 != n) return std::nullopt;
        n = next;
    }
    if (n > static_cast<unsigned long long>(static_cast<Number>(~Number{0}))) return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < sizeof(Number); ++i) bytes += static_cast<char>((n >> (8 * i)) & 0xFF);
    return bytes;
}

std::optional<std::string> hexBytes(std::string_view text) {
    std::string bytes;
    if (text.empty()) return bytes;
    if ((text.size() + 1) % 3 != 0) return std::nullopt;
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < text.size(); i += 3) {
        const int high = digit(text[i]), low = digit(text[i + 1]);
        if (high < 0 || low < 0 || (i + 2 < text.size() && text[i + 2] != ',')) return std::nullopt;
        bytes += static_cast<char>(high << 4 | low);
    }
    return bytes;
}

std::string stringText(std::string_view bytes) {
    // One buffer for every value the walk renders, rather than one each.
    thread_local std::u16string units;
    units.clear();
    for (size_t i = 0, n = bytes.size() / 2; i < n; ++i) {
        const char16_t u = unitAt(bytes, i);
        if (u == 0) break;
        units.push_back(u);
    }
    std::string text;
    text.reserve(units.size());
    appendUtf8(text, units);
    if (units.capacity() * sizeof(char16_t) > kKeptScratch) std::u16string().swap(units);
    return text;
}

// Whether the bytes that `text` was rendered from follow from it again, found
// without building them where that is cheap: a string with exactly its one
// terminator, a number of its own size, binary data of any kind.
std::optional<bool> derivableAtOnce(uint32_t type, std::string_view bytes) {
    switch (type) {
        case kRegSz:
        case kRegExpandSz: {
            if (bytes.size() < 2 || bytes.size() % 2 != 0) return false;
            const size_t units = bytes.size() / 2;
            if (unitAt(bytes, units - 1) != 0) return false;
            for (size_t i = 0; i + 1 < units; ++i) {
                const char16_t u = unitAt(bytes, i);
                // The text of an expandable string is expanded: where the
                // stored string names a variable, the text cannot give it back.
                if (u == 0 || (u == u'%' && type == kRegExpandSz)) return false;
            }
            return true;
        }
        case kRegDword:
            return bytes.size() == 4;
        case kRegMultiSz:
        case kKeyEntryType:
            return std::nullopt;
        default:
            // Binary and every other type render as hex pairs, which give their
            // bytes back; so does a QWORD's number.
            return true;
    }
}

}  // namespace

std::string renderValue(uint32_t type, std::string_view bytes) {
    switch (type) {
        case kRegSz:
        case kRegExpandSz:
            return stringText(bytes);
        case kRegDword: {
            const std::optional<uint32_t> n = littleEndian<uint32_t>(bytes);
            return n ? renderDword(*n) : std::string();
        }
        case kRegQword: {
            if (const std::optional<uint64_t> n = littleEndian<uint64_t>(bytes)) return std::to_string(*n);
            break;
        }
        case kRegMultiSz: {
            // The list's terminator and its last string's are not strings of
            // their own; every string before them is, the empty ones too.
            std::u16string_view units;
            const std::u16string all = utf16Units(bytes);
            units = all;
            for (int terminator = 0; terminator < 2 && !units.empty() && units.back() == u'\0'; ++terminator)
                units.remove_suffix(1);
            std::vector<std::string> strings;
            if (!units.empty() || !all.empty()) {
                for (size_t start = 0;;) {
                    const size_t end = units.find(u'\0', start);
                    strings.push_back(toUtf8(units.substr(start, end == std::u16string_view::npos ? end : end - start)));
                    if (end == std::u16string_view::npos) break;
                    start = end + 1;
                }
            }
            return renderMultiString(strings);
        }
        default:
            break;
    }
    return renderBinary(bytes);
}

std::optional<std::string> bytesFromText(uint32_t type, std::string_view text) {
    switch (type) {
        case kKeyEntryType:
            return std::nullopt;
        case kRegExpandSz:
            if (text.find('%') != std::string_view::npos) return std::nullopt;
            [[fallthrough]];
        case kRegSz: {
            std::string bytes;
            appendUnits(bytes, toUtf16(text));
            bytes.append(2, '\0');
            return bytes;
        }
        case kRegDword:
            return numberBytes<uint32_t>(text);
        case kRegQword:
            if (std::optional<std::string> bytes = numberBytes<uint64_t>(text)) return bytes;
            return hexBytes(text);
        case kRegMultiSz: {
            std::string bytes;
            std::string_view rest = text;
            const std::string_view separator = kMultiStringSeparator;
            for (;;) {
                const size_t at = rest.find(separator);
                appendUnits(bytes, toUtf16(rest.substr(0, at)));
                bytes.append(2, '\0');
                if (at == std::string_view::npos) break;
                rest.remove_prefix(at + separator.size());
            }
            bytes.append(2, '\0');
            return bytes;
        }
        default:
            return hexBytes(text);
    }
}

void keepRawBytes(RegEntry& entry, std::string_view bytes) {
    const std::optional<bool> atOnce = derivableAtOnce(entry.ValueType, bytes);
    const auto derived = [&] {
        const std::optional<std::string> again = bytesFromText(entry.ValueType, entry.ValueData);
        return again && *again == bytes;
    };
    if (atOnce ? *atOnce : derived()) {
        entry.Raw = RawForm::FromText;
        entry.RawData.clear();
    } else {
        entry.Raw = RawForm::Stored;
        entry.RawData.assign(bytes);
    }
}

std::optional<std::string> rawValueBytes(const RegEntry& entry) {
    switch (entry.Raw) {
        case RawForm::Stored:
            return entry.RawData.str();
        case RawForm::FromText:
            return bytesFromText(entry.ValueType, entry.ValueData);
        case RawForm::NotRecorded:
            break;
    }
    return std::nullopt;
}

void readValueInto(RegistryProvider& oreg, int32_t hive, const std::string& keyName, const std::string& valueName,
                   uint32_t type, RegEntry& entry) {
    // Each read starts from empty output, so a provider that fails half-way
    // cannot leave part of a value (or the previous value) in the entry.
    entry.ValueData.clear();
    entry.ValueType = type;
    entry.Raw = RawForm::NotRecorded;
    entry.RawData.clear();
    uint32_t readType = type;
    thread_local std::string held;  // reused: most values keep no bytes of their own
    std::string_view bytes;
    if (oreg.viewsValueBytes()) {
        if (!oreg.GetRawValueView(hive, keyName, valueName, readType, bytes) || readType != type) return;
    } else {
        if (!oreg.GetRawValue(hive, keyName, valueName, readType, held) || readType != type) return;
        bytes = held;
    }
    entry.ValueData = renderValue(type, bytes);
    // A snapshot keeps its texts for as long as it lives: no spare capacity.
    if (entry.ValueData.capacity() > entry.ValueData.size() + 16) entry.ValueData.shrink_to_fit();
    // Like the registry provider of the system: variables that are defined are
    // expanded, the others stay.
    if (type == kRegExpandSz && entry.ValueData.find('%') != std::string::npos &&
        !oreg.GetExpandedStringValue(hive, keyName, valueName, entry.ValueData))
        entry.ValueData.clear();
    keepRawBytes(entry, bytes);
    if (held.capacity() > kKeptScratch) std::string().swap(held);
}

std::u16string utf16Units(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) units[i] = unitAt(bytes, i);
    return units;
}

std::u16string stringDataUnits(std::string_view bytes) {
    std::u16string units = utf16Units(bytes);
    const size_t nul = units.find(u'\0');
    if (nul != std::u16string::npos) units.resize(nul);
    return units;
}

std::vector<std::string> multiStringData(std::string_view bytes) {
    std::vector<std::string> out;
    const std::u16string all = utf16Units(bytes);
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find(u'\0', start);
        if (end == std::u16string::npos) end = all.size();
        if (end == start) break;
        out.push_back(toUtf8(std::u16string_view(all).substr(start, end - start)));
        start = end + 1;
    }
    return out;
}

}  // namespace qv

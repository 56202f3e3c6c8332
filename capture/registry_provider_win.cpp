#include "capture/registry_provider_win.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <string_view>
#include <type_traits>

#include "capture/environment_expansion.h"
#include "core/utf.h"

namespace qv {

namespace {

std::atomic<uint64_t> registryCalls{0};

// The predefined keys are the hive numbers sign-extended to a handle.
HKEY hiveKey(int32_t hive) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(hive)));
}

struct KeyCloser {
    void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// A key argument ending in "\" names the same key.
std::string_view keyPath(std::string_view key) {
    if (!key.empty() && key.back() == '\\') key.remove_suffix(1);
    return key;
}

// Value names are at most 16,383 characters, key names 255; this holds both,
// and grows should a registry ever report more.
constexpr size_t kNameChars = 32768;
constexpr size_t kInitialDataBytes = 64 * 1024;
// ERROR_MORE_DATA retries of one index before it is given up: a value that
// keeps growing between calls must not hold the walk.
constexpr int kMaxRetries = 8;

std::u16string_view wideData(const BYTE* data, size_t bytes) {
    return {reinterpret_cast<const char16_t*>(data), bytes / sizeof(char16_t)};
}

// String data ends at its first NUL, or with the data when it was stored
// without a terminator; an odd last byte is not a character.
std::u16string_view stringData(const BYTE* data, size_t bytes) {
    std::u16string_view text = wideData(data, bytes);
    const size_t nul = text.find(u'\0');
    return nul == std::u16string_view::npos ? text : text.substr(0, nul);
}

// Environment names compare without regard to case.
std::u16string foldEnvironmentName(std::u16string_view name) {
    std::u16string folded(name);
    if (folded.empty()) return folded;
    const int length = static_cast<int>(folded.size());
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, reinterpret_cast<const wchar_t*>(name.data()),
                      length, reinterpret_cast<wchar_t*>(folded.data()), length, nullptr, nullptr,
                      0) != length) {
        folded.assign(name);
        for (char16_t& c : folded)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return folded;
}

class Win32RegistryProvider final : public RegistryProvider {
public:
    Win32RegistryProvider() : name_(kNameChars), data_(kInitialDataBytes) {}

    bool EnumValues(int32_t hive, const std::string& path, std::vector<std::string>& names,
                    std::vector<uint32_t>& types) override {
        names.clear();
        types.clear();
        HKEY key = select(hive, keyPath(path));
        values_.clear();
        valueNames_.clear();
        valueData_.clear();
        cursor_ = 0;
        cached_ = true;
        cacheComplete_ = false;
        if (!key) return false;
        int retries = 0;
        for (DWORD index = 0;;) {
            DWORD nameChars = static_cast<DWORD>(name_.size());
            DWORD dataBytes = static_cast<DWORD>(data_.size());
            DWORD type = REG_NONE;
            ++registryCalls;
            const LSTATUS rc =
                RegEnumValueW(key, index, name_.data(), &nameChars, nullptr, &type, data_.data(), &dataBytes);
            if (rc == ERROR_MORE_DATA) {
                if (++retries > kMaxRetries) break;
                if (dataBytes > data_.size())
                    data_.resize(dataBytes);
                else
                    name_.resize(name_.size() * 2);
                continue;
            }
            if (rc == ERROR_NO_MORE_ITEMS) {
                cacheComplete_ = true;
                break;
            }
            // Any other error ends the enumeration: some keys report one at a
            // fixed index, and retrying it would never end.
            if (rc != ERROR_SUCCESS) break;
            retries = 0;
            ++index;

            CachedValue value;
            value.type = type;
            value.nameOffset = valueNames_.size();
            appendUtf8(valueNames_, std::wstring_view(name_.data(), nameChars));
            value.nameSize = valueNames_.size() - value.nameOffset;
            // Keep every value's data aligned for reading it as characters.
            valueData_.resize((valueData_.size() + 7) & ~static_cast<size_t>(7));
            value.dataOffset = valueData_.size();
            value.dataSize = dataBytes;
            valueData_.insert(valueData_.end(), data_.data(), data_.data() + dataBytes);
            values_.push_back(value);
            names.emplace_back(valueNames_, value.nameOffset, value.nameSize);
            types.push_back(type);
        }
        return !names.empty();
    }

    bool denied(int32_t hive, const std::string& path) override {
        return isSelected(hive, keyPath(path)) && open_.back().denied;
    }

    KeyAccess keyAccess(int32_t hive, const std::string& path) override {
        HKEY key = nullptr;
        ++registryCalls;
        const LSTATUS rc = RegOpenKeyExW(hiveKey(hive), toWide(keyPath(path)).c_str(), 0, KEY_READ, &key);
        if (rc == ERROR_SUCCESS) {
            RegCloseKey(key);
            return KeyAccess::Readable;
        }
        return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND ? KeyAccess::Missing : KeyAccess::Denied;
    }

    bool EnumKey(int32_t hive, const std::string& path, std::vector<std::string>& names) override {
        names.clear();
        HKEY key = select(hive, keyPath(path));
        if (!key) return false;
        int retries = 0;
        for (DWORD index = 0;;) {
            DWORD nameChars = static_cast<DWORD>(name_.size());
            ++registryCalls;
            const LSTATUS rc =
                RegEnumKeyExW(key, index, name_.data(), &nameChars, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_MORE_DATA) {
                if (++retries > kMaxRetries) break;
                name_.resize(name_.size() * 2);
                continue;
            }
            if (rc != ERROR_SUCCESS) break;
            retries = 0;
            ++index;
            names.push_back(toUtf8(std::wstring_view(name_.data(), nameChars)));
        }
        return !names.empty();
    }

    bool GetRawValue(int32_t hive, const std::string& key, const std::string& name, uint32_t& type,
                     std::string& bytes) override {
        Raw raw;
        if (!read(hive, key, name, raw)) return false;
        type = raw.type;
        bytes.assign(reinterpret_cast<const char*>(raw.data), raw.size);
        return true;
    }

    bool GetStringValue(int32_t hive, const std::string& key, const std::string& name,
                        std::string& out) override {
        Raw raw;
        if (!read(hive, key, name, raw) || raw.type != REG_SZ) return false;
        const std::u16string_view text = stringData(raw.data, raw.size);
        out.clear();
        out.reserve(text.size());
        appendUtf8(out, text);
        return true;
    }

    bool GetExpandedStringValue(int32_t hive, const std::string& key, const std::string& name,
                                std::string& out) override {
        Raw raw;
        if (!read(hive, key, name, raw) || raw.type != REG_EXPAND_SZ) return false;
        const std::u16string_view text = stringData(raw.data, raw.size);
        out.clear();
        // Like StdRegProv: variables that are defined are expanded, others stay.
        if (text.find(u'%') == std::u16string_view::npos) {
            out.reserve(text.size());
            appendUtf8(out, text);
            return true;
        }
        expanded_.clear();
        environment().expand(text, expanded_);
        out.reserve(expanded_.size());
        appendUtf8(out, expanded_);
        return true;
    }

    bool GetBinaryValue(int32_t hive, const std::string& key, const std::string& name,
                        std::vector<uint8_t>& out) override {
        Raw raw;
        if (!read(hive, key, name, raw) || raw.type != REG_BINARY) return false;
        out.assign(raw.data, raw.data + raw.size);
        return true;
    }

    bool GetDWORDValue(int32_t hive, const std::string& key, const std::string& name,
                       uint32_t& out) override {
        Raw raw;
        if (!read(hive, key, name, raw) || raw.type != REG_DWORD || raw.size != sizeof(uint32_t))
            return false;
        std::memcpy(&out, raw.data, sizeof(uint32_t));
        return true;
    }

    bool GetMultiStringValue(int32_t hive, const std::string& key, const std::string& name,
                             std::vector<std::string>& out) override {
        Raw raw;
        if (!read(hive, key, name, raw) || raw.type != REG_MULTI_SZ) return false;
        out.clear();
        // NUL-separated strings; the list ends at the double NUL (an empty
        // string) or with the data, whichever comes first.
        const std::u16string_view all = wideData(raw.data, raw.size);
        size_t start = 0;
        while (start < all.size()) {
            size_t end = all.find(u'\0', start);
            if (end == std::u16string_view::npos) end = all.size();
            if (end == start) break;
            out.emplace_back();
            appendUtf8(out.back(), all.substr(start, end - start));
            start = end + 1;
        }
        return true;
    }

private:
    struct Raw {
        DWORD type = REG_NONE;
        const BYTE* data = nullptr;
        size_t size = 0;
    };
    struct CachedValue {
        DWORD type = REG_NONE;
        size_t nameOffset = 0;
        size_t nameSize = 0;
        size_t dataOffset = 0;
        size_t dataSize = 0;
    };

    // The process environment as it is at the first expansion of the walk.
    const EnvironmentExpander& environment() {
        if (!environment_) {
            environment_.emplace(processEnvironment());
        }
        return *environment_;
    }

    // The open key for `path`. The walk enumerates a key's values, reads them
    // and enumerates its subkeys before it moves on, so the key stays open
    // for those calls; its ancestors stay open too, so that a subkey opens
    // below its parent's handle like a plain recursive enumeration does. A
    // key that failed to open is remembered as such.
    HKEY select(int32_t hive, std::string_view path) {
        if (isSelected(hive, path)) return open_.back().key.get();
        cached_ = false;
        if (hive != openHive_) {
            open_.clear();
            openHive_ = hive;
        }
        while (!open_.empty() && !(open_.back().key && below(open_.back().path, path))) open_.pop_back();
        HKEY base = hiveKey(hive);
        std::string_view rest = path;
        if (!open_.empty()) {
            base = open_.back().key.get();
            if (!open_.back().path.empty()) rest.remove_prefix(open_.back().path.size() + 1);
        }
        HKEY key = nullptr;
        ++registryCalls;
        const LSTATUS rc = RegOpenKeyExW(base, toWide(rest).c_str(), 0, KEY_READ, &key);
        if (rc != ERROR_SUCCESS) key = nullptr;
        open_.push_back(OpenLevel{std::string(path), UniqueKey(key), rc == ERROR_ACCESS_DENIED});
        return key;
    }

    bool isSelected(int32_t hive, std::string_view path) const {
        return !open_.empty() && hive == openHive_ && open_.back().path == path;
    }

    // Whether `path` names a key below `ancestor` by plain "\"-joined names.
    static bool below(std::string_view ancestor, std::string_view path) {
        if (ancestor.empty()) return !path.empty() && path.front() != '\\';
        return path.size() > ancestor.size() + 1 && path.starts_with(ancestor) &&
               path[ancestor.size()] == '\\' && path[ancestor.size() + 1] != '\\';
    }

    // The value as the last enumeration read it, or else from the registry.
    bool read(int32_t hive, const std::string& key, const std::string& name, Raw& raw) {
        const std::string_view path = keyPath(key);
        if (cached_ && isSelected(hive, path)) {
            if (const CachedValue* value = cachedValue(name)) {
                raw = Raw{value->type, valueData_.data() + value->dataOffset, value->dataSize};
                return true;
            }
            // A key that enumerated no values has no default value either.
            if (cacheComplete_ && values_.empty()) return false;
        }
        HKEY k = select(hive, path);
        if (!k) return false;
        const std::wstring wideName = toWide(name);
        for (int tries = 0; tries <= kMaxRetries; ++tries) {
            DWORD type = REG_NONE;
            DWORD bytes = static_cast<DWORD>(data_.size());
            ++registryCalls;
            const LSTATUS rc = RegQueryValueExW(k, wideName.c_str(), nullptr, &type, data_.data(), &bytes);
            if (rc == ERROR_MORE_DATA) {
                data_.resize(bytes);
                continue;
            }
            if (rc != ERROR_SUCCESS) return false;
            raw = Raw{type, data_.data(), bytes};
            return true;
        }
        return false;
    }

    // The walk reads the values in enumeration order, so the next one is
    // tried first. Names are compared exactly; another spelling is left to
    // the registry's own (case-insensitive) lookup.
    const CachedValue* cachedValue(std::string_view name) {
        auto nameAt = [&](size_t i) {
            return std::string_view(valueNames_).substr(values_[i].nameOffset, values_[i].nameSize);
        };
        if (cursor_ < values_.size() && nameAt(cursor_) == name) return &values_[cursor_++];
        for (size_t i = 0; i < values_.size(); ++i) {
            if (nameAt(i) == name) {
                cursor_ = i + 1;
                return &values_[i];
            }
        }
        return nullptr;
    }

    struct OpenLevel {
        std::string path;
        UniqueKey key;  // null when the key could not be opened
        bool denied = false;  // and it could not because access was refused
    };
    int32_t openHive_ = 0;
    std::vector<OpenLevel> open_;  // the selected key last, each below the one before

    bool cached_ = false;         // values_ belong to the selected key
    bool cacheComplete_ = false;  // the enumeration reached its end
    std::vector<CachedValue> values_;
    std::string valueNames_;
    std::vector<BYTE> valueData_;
    size_t cursor_ = 0;

    std::vector<wchar_t> name_;
    std::vector<BYTE> data_;
    std::optional<EnvironmentExpander> environment_;
    std::u16string expanded_;
};

}  // namespace

uint64_t registryCallsMade() { return registryCalls.load(); }

EnvironmentExpander processEnvironment() {
    wchar_t* block = GetEnvironmentStringsW();
    EnvironmentExpander expander(parseEnvironmentBlock(reinterpret_cast<const char16_t*>(block)),
                                 foldEnvironmentName);
    if (block) FreeEnvironmentStringsW(block);
    return expander;
}

std::unique_ptr<RegistryProvider> Win32RegistryProviderSource::connect() {
    return std::make_unique<Win32RegistryProvider>();
}

}  // namespace qv

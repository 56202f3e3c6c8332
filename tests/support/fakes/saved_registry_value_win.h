#pragma once
// Test help: a string value of the real registry that a test may overwrite or
// delete; the destructor puts back what stood there, key and all.
#include <windows.h>

#include <optional>
#include <string>

namespace qv::testing {

inline std::optional<std::wstring> readString(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t buffer[2048] = {};
    DWORD size = sizeof buffer;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

inline void writeString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    RegSetKeyValueW(root, key.c_str(), name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
}

class SavedRegistryValue {
public:
    SavedRegistryValue(HKEY root, std::wstring key, const wchar_t* name)
        : root_(root), key_(std::move(key)), name_(name), saved_(readString(root_, key_, name)) {
        HKEY k = nullptr;
        keyExisted_ = RegOpenKeyExW(root_, key_.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS;
        if (k) RegCloseKey(k);
    }
    ~SavedRegistryValue() {
        if (saved_) {
            writeString(root_, key_, name_, *saved_);
        } else if (keyExisted_) {
            RegDeleteKeyValueW(root_, key_.c_str(), name_);
        } else {
            RegDeleteTreeW(root_, key_.c_str());
            RegDeleteKeyW(root_, key_.c_str());
        }
    }
    SavedRegistryValue(const SavedRegistryValue&) = delete;
    SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

    void remove() { RegDeleteKeyValueW(root_, key_.c_str(), name_); }
    void set(const std::wstring& text) { writeString(root_, key_, name_, text); }
    std::optional<std::wstring> now() const { return readString(root_, key_, name_); }

private:
    HKEY root_;
    std::wstring key_;
    const wchar_t* name_;
    std::optional<std::wstring> saved_;
    bool keyExisted_ = false;
};

}  // namespace qv::testing

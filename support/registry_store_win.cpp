#include "support/registry_store_win.h"

#include <windows.h>

#include "core/utf.h"

namespace qv {
namespace {

HKEY rootOf(int32_t hKey) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<uint32_t>(hKey))); }

}  // namespace

void Win32RegistryStore::SaveString(int32_t hKey, const std::string& strPath, const std::string& strValue,
                                    const std::string& strData) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(rootOf(hKey), toWide(strPath).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    const std::wstring data = toWide(strData);
    RegSetValueExW(key, toWide(strValue).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::string Win32RegistryStore::GetString(int32_t hKey, const std::string& strPath, const std::string& strValue) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(rootOf(hKey), toWide(strPath).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
    std::string text = RegQueryStringValue(key, strValue);
    RegCloseKey(key);
    return text;
}

std::string RegQueryStringValue(void* hKey, const std::string& strValueName) {
    const std::wstring name = toWide(strValueName);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(static_cast<HKEY>(hKey), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_BINARY) return {};
    std::string data(size, '\0');
    if (RegQueryValueExW(static_cast<HKEY>(hKey), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) != ERROR_SUCCESS)
        return {};
    data.resize(size);
    return storedValueText(type, data);
}

}  // namespace qv

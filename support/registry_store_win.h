#pragma once
#include "support/registry_store.h"

namespace qv {

// The store over the wide registry functions; every call opens and closes its key.
class Win32RegistryStore : public RegistryStore {
public:
    void SaveString(int32_t hKey, const std::string& strPath, const std::string& strValue,
                    const std::string& strData) override;
    std::string GetString(int32_t hKey, const std::string& strPath, const std::string& strValue) override;
};

// RegQueryStringValue: the text of a value of a key that is already open.
std::string RegQueryStringValue(void* hKey, const std::string& strValueName);

}  // namespace qv

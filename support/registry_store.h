#pragma once
// Small per-user values of the program, kept as named string values below one
// registry key. A missing value reads as the empty text.
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegBinary = 3;

class RegistryStore {
public:
    virtual ~RegistryStore() = default;
    // Writes strData as the string value strValue of key strPath below hKey,
    // creating the key when needed. A failure leaves the registry unchanged.
    virtual void SaveString(int32_t hKey, const std::string& strPath, const std::string& strValue,
                            const std::string& strData) = 0;
    // The text of the value, or "" when the key or the value is missing.
    virtual std::string GetString(int32_t hKey, const std::string& strPath, const std::string& strValue) = 0;
};

// What a stored value reads as: a string up to its first NUL, a binary value
// as the decimal 16-bit number of its first two bytes (low byte first), and
// anything else as the empty text. `data` holds the raw UTF-16 bytes.
std::string storedValueText(uint32_t type, std::string_view data);

}  // namespace qv

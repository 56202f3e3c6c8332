#pragma once
// What the registry walk needs of a registry source: seven operations keyed by
// hive number and key path. A key argument ending in "\" names the same key.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/registry_types.h"

namespace qv {

// "HKEY_LOCAL_MACHINE" and the other four names; nothing for any other text.
std::optional<int32_t> hiveNumber(std::string_view hiveName);
// The name of one of the five hive numbers; "" for any other number.
std::string_view hiveName(int32_t hive);

class RegistryProvider {
public:
    virtual ~RegistryProvider() = default;

    // Value names with their parallel type codes. false stands for the null
    // list: the key has no values or cannot be read.
    virtual bool EnumValues(int32_t hive, const std::string& path, std::vector<std::string>& names,
                            std::vector<uint32_t>& types) = 0;
    // Subkey names; false for the null list.
    virtual bool EnumKey(int32_t hive, const std::string& path, std::vector<std::string>& names) = 0;

    // Whether a key is there to be walked. The walk itself cannot tell a key
    // that is missing from one without values, so a collection asks first.
    enum class KeyAccess { Readable, Denied, Missing };
    virtual KeyAccess keyAccess(int32_t /*hive*/, const std::string& /*path*/) { return KeyAccess::Readable; }

    // Whether the key, whose listing just failed, was refused rather than
    // empty. Asked right after EnumValues or EnumKey of the same key.
    virtual bool denied(int32_t /*hive*/, const std::string& /*path*/) { return false; }

    // About how many entries a walk of the key records (one for each value,
    // one for each key without values), where the source can tell without
    // reading the key; 0 when it cannot. The walk reserves room for them, so
    // that a snapshot of a million entries is not copied as it grows.
    virtual size_t expectedEntries(int32_t /*hive*/, const std::string& /*path*/) { return 0; }

    // A value's type and its bytes as the registry holds them; false when it
    // cannot be read.
    virtual bool GetRawValue(int32_t hive, const std::string& key, const std::string& name, uint32_t& type,
                             std::string& bytes) = 0;

    // Where the provider holds every value's bytes itself (hives read from
    // files), GetRawValue as a view of them, valid while the provider lives,
    // so that a value of a hundred megabytes is not copied to be rendered.
    virtual bool viewsValueBytes() const { return false; }
    virtual bool GetRawValueView(int32_t /*hive*/, const std::string& /*key*/, const std::string& /*name*/,
                                 uint32_t& /*type*/, std::string_view& /*bytes*/) {
        return false;
    }

    // Value reads. false when the value cannot be read as that type.
    virtual bool GetStringValue(int32_t hive, const std::string& key, const std::string& name,
                                std::string& out) = 0;
    virtual bool GetExpandedStringValue(int32_t hive, const std::string& key, const std::string& name,
                                        std::string& out) = 0;
    virtual bool GetBinaryValue(int32_t hive, const std::string& key, const std::string& name,
                                std::vector<uint8_t>& out) = 0;
    virtual bool GetDWORDValue(int32_t hive, const std::string& key, const std::string& name,
                               uint32_t& out) = 0;
    virtual bool GetMultiStringValue(int32_t hive, const std::string& key, const std::string& name,
                                     std::vector<std::string>& out) = 0;
};

// Hands out a provider before each walk; the walk's caller releases it after.
class RegistryProviderSource {
public:
    virtual ~RegistryProviderSource() = default;
    // Throws a Failure when no provider can be had.
    virtual std::unique_ptr<RegistryProvider> connect() = 0;
};

}  // namespace qv

#pragma once
// An in-memory registry behind the provider interface, for native tests of the
// walk and of the collection workflow. Keys form a tree per hive with subkeys
// and values kept in the order they were added; key and value names match
// without regard to ASCII case, like the real registry.
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "capture/registry_provider.h"
#include "core/snapshot_types.h"

namespace qv {
// Readable failure messages for snapshot comparisons.
inline void PrintTo(const RegEntry& e, std::ostream* os) {
    *os << "{\"" << e.KeyName << "\", \"" << e.ValueName << "\", \"" << e.ValueData << "\"}";
}
}  // namespace qv

namespace qv::testing {

// The entries as their texts and types, without how the raw bytes are kept:
// for tests of what a walk or a workflow records, not of the bytes.
inline RegSnapshot withoutRaw(RegSnapshot snapshot) {
    for (RegEntry& e : snapshot) {
        e.Raw = RawForm::NotRecorded;
        e.RawData.clear();
    }
    return snapshot;
}
inline RegEntry withoutRaw(RegEntry e) {
    e.Raw = RawForm::NotRecorded;
    e.RawData.clear();
    return e;
}

class FakeRegistry : public RegistryProvider {
public:
    // Creates the key and any missing parents; the empty path is the hive itself.
    void addKey(int32_t hive, std::string_view path);
    // Adds (or replaces, keeping its place) a value; creates the key as needed. The text is the data:
    // the bytes of a binary value, the digits of a DWORD, the NUL-separated strings of a multi-string.
    void addValue(int32_t hive, std::string_view path, std::string_view name, uint32_t type,
                  std::string text = {});

    // Takes a value away, as an uninstaller does.
    void removeValue(int32_t hive, std::string_view path, std::string_view name);
    // Reads of this value fail, leaving its data behind in the output as a failed platform read may.
    void failRead(int32_t hive, std::string_view path, std::string_view name);
    // The key cannot be enumerated: no values, no subkeys, no default value.
    void makeUnreadable(int32_t hive, std::string_view path);

    long readCalls = 0;  // value reads served
    long enumCalls = 0;  // value and subkey listings served

    bool EnumValues(int32_t hive, const std::string& path, std::vector<std::string>& names,
                    std::vector<uint32_t>& types) override;
    bool EnumKey(int32_t hive, const std::string& path, std::vector<std::string>& names) override;
    KeyAccess keyAccess(int32_t hive, const std::string& path) override;
    bool denied(int32_t hive, const std::string& path) override;
    bool GetRawValue(int32_t hive, const std::string& key, const std::string& name, uint32_t& type,
                     std::string& bytes) override;
    bool GetStringValue(int32_t hive, const std::string& key, const std::string& name,
                        std::string& out) override;
    bool GetExpandedStringValue(int32_t hive, const std::string& key, const std::string& name,
                                std::string& out) override;
    bool GetBinaryValue(int32_t hive, const std::string& key, const std::string& name,
                        std::vector<uint8_t>& out) override;
    bool GetDWORDValue(int32_t hive, const std::string& key, const std::string& name, uint32_t& out) override;
    bool GetMultiStringValue(int32_t hive, const std::string& key, const std::string& name,
                             std::vector<std::string>& out) override;

private:
    struct Value {
        std::string name;
        uint32_t type = 0;
        std::string text;
    };
    struct Key {
        std::vector<std::string> subkeys;  // names as added, in that order
        std::vector<Value> values;
        std::unordered_map<std::string, size_t> index;  // folded value name -> position in values
        bool unreadable = false;
    };
    struct Tree {
        std::map<std::pair<int32_t, std::string>, Key> keys;  // by hive and folded path without trailing "\"
        std::set<std::tuple<int32_t, std::string, std::string>> failedReads;
    };
    Key* find(int32_t hive, std::string_view path, bool create);
    bool read(int32_t hive, const std::string& key, const std::string& name, uint32_t type, std::string& out);

    std::shared_ptr<Tree> tree_ = std::make_shared<Tree>();  // shared by copies, as connections share it
};

// Connects providers that share one FakeRegistry's keys and values (not its
// overrides), so a test can change the registry between two collections. connect() throws a Failure (access
// denied) when told to.
class FakeRegistrySource : public RegistryProviderSource {
public:
    explicit FakeRegistrySource(FakeRegistry& registry) : registry_(registry) {}

    bool failConnect = false;
    long connects = 0;
    long live = 0;  // providers handed out and not yet released

    std::unique_ptr<RegistryProvider> connect() override;

private:
    FakeRegistry& registry_;
};

}  // namespace qv::testing

#pragma once
// Wine's registry save files (system.reg, user.reg, userdef.reg) read into a
// tree of keys and values (capture/regf_hive.h reads Windows' binary hives
// into the same tree). wineserver writes them from its memory when it
// ends, and renames them into place, so a file read whole is never half
// written. Values keep their type and their bytes as Windows returns them:
// strings as UTF-16LE with their terminating NUL.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qv {

class WineHive {
public:
    static constexpr uint32_t kNoKey = UINT32_MAX;
    static constexpr uint32_t kRoot = 0;

    struct Key {
        std::string name;  // UTF-8 (WTF-8 for lone surrogates), as saved
        uint32_t parent = kNoKey;
        std::vector<uint32_t> children;  // in the order the file lists them
        uint32_t firstValue = 0;
        uint32_t valueCount = 0;
        uint64_t modified = 0;  // FILETIME ticks; 0 where the file gave none
        bool link = false;      // a registry symbolic link (#link)
    };
    struct Value {
        uint32_t key = 0;
        uint32_t type = 0;
        uint64_t nameOffset = 0;
        uint32_t nameSize = 0;
        uint64_t dataOffset = 0;
        uint32_t dataSize = 0;
    };

    // Reads the text of a save file. `fileName` only names it in an error,
    // which is one line: "<file>, line <n>: <what is wrong>". On an error the
    // hive is empty but for its root.
    bool parse(std::string_view text, const std::string& fileName, std::string& error);

    // The path the file says its keys are relative to ("\User\S-1-5-21-...").
    const std::string& relativeTo() const { return relativeTo_; }
    // The "#arch=" of the file ("win64", "win32"); "" where it gave none.
    const std::string& arch() const { return arch_; }

    const Key& key(uint32_t k) const { return keys_[k]; }
    size_t keyCount() const { return keys_.size(); }
    size_t valueCount() const { return values_.size(); }

    // The subkey called `name`, compared as the registry compares names
    // (without regard to case); kNoKey when there is none.
    uint32_t child(uint32_t parent, std::string_view name) const;

    std::string_view valueName(const Value& v) const { return std::string_view(names_).substr(v.nameOffset, v.nameSize); }
    std::string_view valueData(const Value& v) const { return std::string_view(data_).substr(v.dataOffset, v.dataSize); }
    // The key's values in the file's order (which is Wine's own order).
    const Value* values(uint32_t k) const { return values_.data() + keys_[k].firstValue; }
    // The value called `name` (any case), or nullptr.
    const Value* findValue(uint32_t k, std::string_view name) const;

private:
    friend class WineRegParser;
    friend class RegfReader;
    uint32_t addChild(uint32_t parent, std::string name);

    std::vector<Key> keys_;
    std::vector<Value> values_;
    std::string names_;
    std::string data_;
    std::string relativeTo_;
    std::string arch_;
    // The parent's index (4 bytes) and the folded name -> the key.
    std::unordered_map<std::string, uint32_t> index_;
};

// The form in which two registry names compare equal: upper case for ASCII,
// Latin-1, Greek and Cyrillic letters, as the registry folds them.
std::string foldRegistryName(std::string_view name);
bool registryNamesEqual(std::string_view a, std::string_view b);

}  // namespace qv

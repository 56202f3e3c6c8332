#pragma once
// The snapshot and list records shared by capture, detection and the settings.
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// The type of the entry that stands for a key without values: no value type
// the registry has.
inline constexpr uint32_t kKeyEntryType = 0xFFFFFFFFu;

// One registry snapshot entry. KeyName ends with "\"; ValueName is "" for the
// entry that stands for a key without values. ValueType is the registry's type
// code of the value, which the text alone cannot tell (an undo file needs it);
// detection compares the texts only.
struct RegEntry {
    std::string KeyName;
    std::string ValueName;
    std::string ValueData;
    uint32_t ValueType = kKeyEntryType;
    bool operator==(const RegEntry&) const = default;
};

// One file snapshot entry: full path and last-write time as locale text.
struct FileSnapshotEntry {
    std::string Filepath;
    std::string ModifiedDate;
    bool operator==(const FileSnapshotEntry&) const = default;
};

struct RegException {
    std::string hKey;     // root key name, such as "HKEY_LOCAL_MACHINE"
    std::string KeyPath;  // key path below that root
    bool operator==(const RegException&) const = default;
};

struct FileException {
    std::string Path;          // a file's full path, or a folder's ending in "\"
    std::string FileorFolder;  // "File" or "Folder"
    bool operator==(const FileException&) const = default;
};

// Registry snapshots are used from index 0; file snapshots and the lists loaded
// from the data files keep an empty element 0 and hold their entries from 1 on.
using RegSnapshot = std::vector<RegEntry>;
using FileSnapshot = std::vector<FileSnapshotEntry>;

}  // namespace qv

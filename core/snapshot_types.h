#pragma once
// The snapshot and list records shared by capture, detection and the settings.
#include <string>
#include <vector>

namespace qv {

// One registry snapshot entry. KeyName ends with "\"; ValueName is "" for the
// entry that stands for a key without values.
struct RegEntry {
    std::string KeyName;
    std::string ValueName;
    std::string ValueData;
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

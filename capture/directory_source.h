#pragma once
// What the file finder needs of a file system: full path names, attributes and
// the listing of one folder. Paths are UTF-8 text in the platform's form
// (X:\dir\name); the Windows source adds the long-path prefix itself.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/shared_text.h"

namespace qv {

inline constexpr uint32_t kAttrReadOnly = 0x1;
inline constexpr uint32_t kAttrHidden = 0x2;
inline constexpr uint32_t kAttrSystem = 0x4;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrReparsePoint = 0x400;

struct DirEntry {
    std::string name;
    uint32_t attributes = 0;
    uint64_t lastWriteTime = 0;  // UTC, 100 ns ticks since 1601 (a FILETIME)
    uint64_t size = 0;           // a file's size in bytes, as the listing gives it
    uint32_t reparseTag = 0;     // with kAttrReparsePoint: the reparse point's tag, where the listing tells it
};

// Whether a reparse point stands for another place (a symbolic link, a
// junction, a mount point) rather than holding data of its own (a cloud
// file's placeholder, a deduplicated folder). An unknown tag is taken for a
// link, so that a folder that may lead elsewhere is never entered blindly.
inline bool isNameSurrogate(uint32_t attributes, uint32_t reparseTag) {
    if ((attributes & kAttrReparsePoint) == 0) return false;
    return reparseTag == 0 || (reparseTag & 0x20000000u) != 0;
}

class DirEnumeration {
public:
    virtual ~DirEnumeration() = default;  // closes the enumeration
    // The next entry, "." and ".." included where the platform lists them.
    virtual bool next(DirEntry& entry) = 0;
};

class DirectorySource {
public:
    virtual ~DirectorySource() = default;
    // The absolute form of a path; "" when it cannot be formed.
    virtual std::string fullPathName(const std::string& path) = 0;
    // The attributes of a path; nothing when it does not exist or cannot be read.
    virtual std::optional<uint32_t> attributes(const std::string& path) = 0;
    // Every entry of a folder (the path ends with "\"); nullptr when the folder
    // cannot be listed.
    virtual std::unique_ptr<DirEnumeration> list(const std::string& folder) = 0;
    // A last-write time as the user's short date, a blank and the long time
    // (the short date alone at 00:00:00), in local time. Throws a Failure when
    // the time cannot be converted.
    virtual SharedText modifiedText(uint64_t lastWriteTime) = 0;
    // The present size of a file in bytes; nothing when it cannot be measured.
    virtual std::optional<uint64_t> fileSize(const std::string& path) = 0;
    // A last-write time as local seconds since 1601-01-01, for the exports'
    // machine-readable dates; nothing where the source does not tell.
    virtual std::optional<int64_t> localSeconds(uint64_t /*lastWriteTime*/) { return std::nullopt; }
    // Where a folder really is, with every link on its way resolved, as a path
    // ending with its separator; two paths to one folder give the same text.
    // "" where that cannot be told (a link that leads nowhere).
    virtual std::string folderIdentity(const std::string& /*folder*/) { return {}; }
};

}  // namespace qv

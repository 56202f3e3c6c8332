#pragma once
// The snapshot and list records shared by capture, detection and the settings.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/shared_text.h"

namespace qv {

// The type of the entry that stands for a key without values: no value type
// the registry has.
inline constexpr uint32_t kKeyEntryType = 0xFFFFFFFFu;

// How an entry keeps its value's bytes as the registry holds them, for an undo
// that restores them exactly. Most values' bytes follow from their text (a
// plain string, a number, binary data), and are not kept twice.
enum class RawForm : uint8_t {
    NotRecorded,  // a key's own entry, a value that could not be read, or an older snapshot file
    FromText,     // the bytes follow exactly from ValueData and ValueType
    Stored,       // the bytes are RawData
};

// A value's bytes where they do not follow from its text. Few entries have
// them, so an entry without pays one pointer instead of a whole string.
class RawBytes {
public:
    RawBytes() = default;
    RawBytes(std::string_view bytes) {  // NOLINT: written as text where it is used
        if (!bytes.empty()) assign(bytes);
    }
    RawBytes(const char* bytes) : RawBytes(std::string_view(bytes)) {}     // NOLINT
    RawBytes(const std::string& bytes) : RawBytes(std::string_view(bytes)) {}  // NOLINT
    RawBytes(const RawBytes& other) : bytes_(other.bytes_ ? std::make_unique<std::string>(*other.bytes_) : nullptr) {}
    RawBytes& operator=(const RawBytes& other) {
        if (this != &other) bytes_ = other.bytes_ ? std::make_unique<std::string>(*other.bytes_) : nullptr;
        return *this;
    }
    RawBytes(RawBytes&&) noexcept = default;
    RawBytes& operator=(RawBytes&&) noexcept = default;

    void clear() { bytes_.reset(); }
    void assign(std::string_view bytes) { text().assign(bytes); }
    // The bytes to fill in place.
    std::string& text() {
        if (!bytes_) bytes_ = std::make_unique<std::string>();
        return *bytes_;
    }
    const std::string& str() const {
        static const std::string none;
        return bytes_ ? *bytes_ : none;
    }
    operator const std::string&() const { return str(); }
    bool empty() const { return !bytes_ || bytes_->empty(); }
    size_t size() const { return bytes_ ? bytes_->size() : 0; }
    bool operator==(const RawBytes& other) const { return str() == other.str(); }

private:
    std::unique_ptr<std::string> bytes_;
};

// One registry snapshot entry. KeyName ends with "\", and the entries of one
// key share its text; ValueName is "" for the entry that stands for a key
// without values. ValueType is the registry's type code of the value, which
// the text alone cannot tell (an undo file needs it); detection compares the
// texts, and the types.
struct RegEntry {
    SharedText KeyName;
    std::string ValueName;
    std::string ValueData;
    uint32_t ValueType = kKeyEntryType;
    RawForm Raw = RawForm::NotRecorded;
    RawBytes RawData{};  // only with RawForm::Stored
    bool operator==(const RegEntry&) const = default;
};

// A file entry's size or attributes where they were not recorded (a snapshot
// file of an older version).
inline constexpr uint64_t kUnknownFileSize = UINT64_MAX;
inline constexpr uint32_t kUnknownFileAttributes = UINT32_MAX;
inline constexpr int32_t kUnknownUtcOffset = INT32_MIN;

// One file snapshot entry: full path and last-write time as locale text, with
// the size and attributes that the same find data holds.
struct FileSnapshotEntry {
    std::string Filepath;
    SharedText ModifiedDate;  // files of the same second share it
    uint64_t Size = kUnknownFileSize;
    uint32_t Attributes = kUnknownFileAttributes;
    // Local time less UTC at that date, in seconds, so that the date can be
    // told with its offset; kUnknownUtcOffset where not recorded. It fills
    // what would be padding after Attributes.
    int32_t UtcOffset = kUnknownUtcOffset;
    int64_t ModifiedLocal = -1;  // the date as local seconds since 1601; -1 where not recorded
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

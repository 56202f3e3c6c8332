#pragma once
// One collection kept in a file, so that a first snapshot survives a reboot and
// scripts can diff two collections. The format is versioned and checksummed
// per section; a file is either loaded whole or not at all.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/snapshot_types.h"

namespace qv {

// What one collection took: the registry walk's entries and the file scan's,
// and where each began. The vectors keep the layout of the window's state
// (registry entries from index 0, files with an empty element 0), so a loaded
// collection moves straight into it.
struct Collection {
    bool registryWalked = false;
    int32_t hive = 0;           // the predefined key walked (core/registry_types.h)
    std::string startKey;       // below the hive, as the user typed it
    RegSnapshot registry;
    bool filesScanned = false;
    std::string startFolder;
    FileSnapshot files = FileSnapshot(1);
    double seconds = 0;         // the time the collection took
    // Older files recorded files alone; this version records folders too.
    bool foldersRecorded = true;
    // A collection of several places names each of them ("HKEY_USERS\..."
    // and "C:\"); the fields above then hold the first of each kind, and
    // the registry entries' key names begin with their root. Empty where the
    // collection has one place of a kind.
    std::vector<std::string> registryPlaces;
    std::vector<std::string> folderPlaces;
    // What the capture could not read, each with its place ("key
    // HKEY_LOCAL_MACHINE\...", "folder C:\..."): a diff of it cannot see there.
    std::vector<std::string> unread;
    // When and where it was taken: seconds since 1970 (UTC, -1 where not
    // recorded), the machine's and the user's names.
    int64_t takenAt = -1;
    std::string machine;
    std::string user;
    bool operator==(const Collection&) const = default;
    bool rootsInKeys() const { return registryPlaces.size() > 1; }
};

// Writes `collection` to `path` atomically (a temporary file beside it, then a
// replacing rename). On failure returns false and says why in `error`, naming
// the file; an existing file at `path` is then left as it was.
bool saveCollection(const std::string& path, const Collection& collection, std::string& error);

// Reads a file that saveCollection wrote. A damaged, truncated, foreign or
// newer-version file gives nothing, and `error` names the file and the fault.
std::optional<Collection> loadCollection(const std::string& path, std::string& error);

// The same on bytes in memory, for the reader's fuzzing and for tests.
std::string collectionBytes(const Collection& collection);
std::optional<Collection> collectionFromBytes(std::string_view bytes, std::string& fault);

// The checksum that each section carries of its bytes, so that a fuzzer can
// mend the checksums of the bytes it made and reach the parsing behind them.
uint64_t sectionChecksum(std::string_view bytes);

}  // namespace qv

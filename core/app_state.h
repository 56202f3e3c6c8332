#pragma once
// Process-wide state: the snapshots, switches, lists and flags that the window,
// the captures and detection share. One instance lives as long as the program.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/snapshot_types.h"

namespace qv {

inline constexpr const char* kAppname = "Quorvel";
inline constexpr const char* kCurrentVersion = "1.00";
inline constexpr const char* kMainKey = "SOFTWARE\\Marrowby";

struct DetectionSwitches {
    int16_t chkNewRegSetting = 1;
    int16_t chkDeleteRegSetting = 0;
    int16_t chkEditedRegSetting = 1;
    int16_t chkNewFilesSetting = 1;
    int16_t chkDeleteFilesSetting = 0;
    int16_t chkModifiedFilesSetting = 1;
    // A seventh switch after the six: a file whose attributes alone changed is
    // listed as modified. Off unless Settings.dat turns it on.
    int16_t chkAttributeChangesSetting = 0;

    bool anyRegistry() const { return chkNewRegSetting || chkDeleteRegSetting || chkEditedRegSetting; }
    bool anyFiles() const { return chkNewFilesSetting || chkDeleteFilesSetting || chkModifiedFilesSetting; }
};

// Where a collection began and what it took: enough, with the snapshots, to
// save it and to head an export with the places it covers.
struct CollectionPlaces {
    bool registryWalked = false;
    int32_t hive = 0;  // the predefined key walked (core/registry_types.h)
    std::string startKey;
    bool filesScanned = false;
    std::string startFolder;  // with its trailing backslash, as scanned
    double seconds = 0;
    bool operator==(const CollectionPlaces&) const = default;
};

struct AppState {
    bool StopDetect = false;
    bool StartFileListBoolean = false;

    RegSnapshot regArray = RegSnapshot(1);
    RegSnapshot regArray2 = RegSnapshot(1);
    int32_t j = 0;

    FileSnapshot StartFileList = FileSnapshot(1);
    FileSnapshot FinishFileList = FileSnapshot(1);
    // True once a final file scan has filled FinishFileList, so that a final
    // scan that found nothing can still report every first file as deleted.
    bool FinishFileScanRan = false;
    // Whether each file snapshot records folders as entries of their own; a
    // snapshot file of an older version does not, and folders are then
    // compared only where both do.
    bool StartFoldersRecorded = true;
    bool FinishFoldersRecorded = true;
    // What each collection could not read, with its place: "key
    // HKEY_LOCAL_MACHINE\\..." or "folder C:\\...". A snapshot that says
    // nothing of what it missed would let a diff pass for complete.
    std::vector<std::string> FirstUnread;
    std::vector<std::string> FinalUnread;
    // Set when a first collection completes or a first snapshot is opened;
    // empty from the start of the next first collection and after a reset,
    // so a half-taken snapshot is never offered for saving.
    std::optional<CollectionPlaces> FirstPlaces;

    DetectionSwitches switches;
    // The four data files, beside the executable.
    std::string SettingsPath;
    std::string RegExceptionsPath;
    std::string FileExceptionsPath;
    std::string FilterPath;
    std::string BackgroundPath;
    std::vector<RegException> RegExceptions = std::vector<RegException>(1);
    std::vector<FileException> FileExceptions = std::vector<FileException>(1);
    std::vector<std::string> FilterList = std::vector<std::string>(1);
    // The places that change on their own, one pattern each (no empty element
    // 0): rows there are marked, never hidden. Empty: nothing is marked.
    std::vector<std::string> BackgroundList;
};

}  // namespace qv

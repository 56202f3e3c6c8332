#pragma once
// Process-wide state: the snapshots, switches, lists and flags that the window,
// the captures and detection share. One instance lives as long as the program.
#include <cstdint>
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

    bool anyRegistry() const { return chkNewRegSetting || chkDeleteRegSetting || chkEditedRegSetting; }
    bool anyFiles() const { return chkNewFilesSetting || chkDeleteFilesSetting || chkModifiedFilesSetting; }
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

    DetectionSwitches switches;
    // The four data files, beside the executable.
    std::string SettingsPath;
    std::string RegExceptionsPath;
    std::string FileExceptionsPath;
    std::string FilterPath;
    std::vector<RegException> RegExceptions = std::vector<RegException>(1);
    std::vector<FileException> FileExceptions = std::vector<FileException>(1);
    std::vector<std::string> FilterList = std::vector<std::string>(1);
};

}  // namespace qv

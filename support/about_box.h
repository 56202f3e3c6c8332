#pragma once
// frmAbout's texts and StartSysInfo's search for the System Information tool.
#include <functional>
#include <optional>
#include <string>

namespace qv {

inline constexpr const char* kAboutDescription =
    "Will detect changes made to the registry and file system upon setup of any game/application";
inline constexpr const char* kAboutDisclaimer = "Warning: Use this program at your own risk. ";
inline constexpr const char* kSysInfoUnavailable = "System Information Is Unavailable At This Time";

// Reads a string value below HKEY_LOCAL_MACHINE: nothing when it cannot be read.
using KeyValueReader = std::function<std::optional<std::string>(const std::string& key, const std::string& value)>;

// Where the tool is: the path stored under "Shared Tools\MSINFO", else
// MSINFO32.EXE in the folder stored under "Shared Tools Location" when that
// file exists; nothing when neither holds.
std::optional<std::string> sysInfoPath(const KeyValueReader& GetKeyValue,
                                       const std::function<bool(const std::string&)>& fileExists);

}  // namespace qv

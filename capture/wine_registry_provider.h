#pragma once
// The registry of a Wine prefix read from its save files, with no Wine
// running: the five roots mapped as Wine maps them for a 64-bit program.
//   HKEY_LOCAL_MACHINE   system.reg (\Registry\Machine)
//   HKEY_CURRENT_USER    user.reg (\Registry\User\<SID>)
//   HKEY_USERS           .Default (userdef.reg) and <SID> (user.reg)
//   HKEY_CLASSES_ROOT    HKEY_LOCAL_MACHINE\Software\Classes, as Wine opens it
//   HKEY_CURRENT_CONFIG  HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current
// Registry links (#link keys, such as CurrentControlSet and the 32-bit view's
// Software\Wow6432Node\Classes) are followed when a key is opened through
// them, as RegOpenKeyEx follows them; a listing names the link itself.
// Volatile keys (HKEY_LOCAL_MACHINE\Hardware) live only in wineserver's
// memory and are not in the files.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "capture/registry_provider.h"
#include "capture/wine_registry.h"

namespace qv {

struct WinePrefixHives {
    WineHive machine;      // system.reg
    WineHive user;         // user.reg
    WineHive userDefault;  // userdef.reg
    std::string userSid;   // the user's key under HKEY_USERS ("S-1-5-21-0-0-0-1000")
};

using EnvironmentList = std::vector<std::pair<std::u16string, std::u16string>>;

// Reads the prefix's three files, each once and whole. A missing user.reg or
// userdef.reg leaves that hive empty; a missing system.reg, any file that is
// not a regular file (a pipe, a device, links that lead round: refused at
// once, never waited on) or that does not parse is an error, one line naming
// the file (and line).
bool loadPrefixHives(const std::filesystem::path& prefix, WinePrefixHives& hives, std::string& error);

// A provider over loaded hives. `host` is the environment the variables of
// expandable strings come from besides the prefix's own, as Wine passes the
// Unix environment on to the programs it starts.
std::unique_ptr<RegistryProvider> makeWineRegistryProvider(std::shared_ptr<const WinePrefixHives> hives,
                                                           EnvironmentList host);

// Hands out providers over the prefix's files, read afresh whenever a file
// changed since the last read. A file that cannot be read throws a Failure
// that names it.
class WineRegistryProviderSource : public RegistryProviderSource {
public:
    WineRegistryProviderSource(std::filesystem::path prefix, EnvironmentList host)
        : prefix_(std::move(prefix)), host_(std::move(host)) {}
    // Reads the files now; false with the reason when they cannot be.
    bool load(std::string& error);
    std::unique_ptr<RegistryProvider> connect() override;
    // The hives as last read; nullptr before the first read.
    std::shared_ptr<const WinePrefixHives> hives() const { return hives_; }

private:
    std::filesystem::path prefix_;
    EnvironmentList host_;
    std::shared_ptr<const WinePrefixHives> hives_;
    std::vector<std::filesystem::file_time_type> stamps_;
};

}  // namespace qv

#include "capture/registry_provider.h"

namespace qv {

std::optional<int32_t> hiveNumber(std::string_view hiveName) {
    if (hiveName == "HKEY_CLASSES_ROOT") return kHiveClassesRoot;
    if (hiveName == "HKEY_CURRENT_USER") return kHiveCurrentUser;
    if (hiveName == "HKEY_LOCAL_MACHINE") return kHiveLocalMachine;
    if (hiveName == "HKEY_USERS") return kHiveUsers;
    if (hiveName == "HKEY_CURRENT_CONFIG") return kHiveCurrentConfig;
    return std::nullopt;
}

}  // namespace qv

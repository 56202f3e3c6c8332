#include "capture/registry_provider.h"

namespace qv {
namespace {

struct Hive {
    std::string_view name;
    int32_t number;
};
constexpr Hive kHives[] = {{"HKEY_CLASSES_ROOT", kHiveClassesRoot},
                           {"HKEY_CURRENT_USER", kHiveCurrentUser},
                           {"HKEY_LOCAL_MACHINE", kHiveLocalMachine},
                           {"HKEY_USERS", kHiveUsers},
                           {"HKEY_CURRENT_CONFIG", kHiveCurrentConfig}};

}  // namespace

std::optional<int32_t> hiveNumber(std::string_view hiveName) {
    for (const Hive& hive : kHives)
        if (hive.name == hiveName) return hive.number;
    return std::nullopt;
}

std::string_view hiveName(int32_t hive) {
    for (const Hive& h : kHives)
        if (h.number == hive) return h.name;
    return {};
}

}  // namespace qv

#include "support/about_box.h"

namespace qv {

std::optional<std::string> sysInfoPath(const KeyValueReader& GetKeyValue,
                                       const std::function<bool(const std::string&)>& fileExists) {
    if (auto path = GetKeyValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH")) return path;
    if (auto folder = GetKeyValue("SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO")) {
        const std::string path = *folder + "\\MSINFO32.EXE";
        if (fileExists(path)) return path;
    }
    return std::nullopt;
}

}  // namespace qv

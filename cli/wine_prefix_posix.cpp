#include "cli/wine_prefix_posix.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>
#include <thread>

#include "core/registry_types.h"
#include "core/utf.h"

extern char** environ;

namespace qv::cli {

std::string winePrefixPath(const std::string& given) {
    if (!given.empty()) return given;
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine";
}

namespace {

// The folders where a server of the prefix puts its lock: /tmp/.wine-<uid>/,
// and for root the private folder whose name Wine keeps in the prefix's
// "wineserver" file.
std::vector<std::string> serverFolders(const std::string& prefix, const std::string& tmp) {
    std::vector<std::string> folders{tmp + "/.wine-" + std::to_string(getuid())};
    std::ifstream named(prefix + "/wineserver");
    std::string name;
    if (named && std::getline(named, name) && !name.empty() && name.find('/') == std::string::npos &&
        name != "." && name != "..")
        folders.push_back(tmp + "/" + name);
    return folders;
}

bool lockHeld(const std::string& path, pid_t& holder) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool asked = fcntl(fd, F_GETLK, &lock) == 0;
    close(fd);
    if (!asked || lock.l_type == F_UNLCK) return false;
    holder = lock.l_pid;
    return true;
}

}  // namespace

std::optional<pid_t> runningWineServer(const std::string& prefix, const std::string& tmp) {
    struct stat st {};
    if (stat(prefix.c_str(), &st) != 0) return std::nullopt;
    char server[64];
    std::snprintf(server, sizeof(server), "/server-%llx-%llx/lock", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    pid_t holder = 0;
    for (const std::string& folder : serverFolders(prefix, tmp))
        if (lockHeld(folder + server, holder)) return holder;
    return std::nullopt;
}

void waitForWineServer(const std::string& prefix, const std::string& tmp) {
    while (runningWineServer(prefix, tmp)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

std::string prefixReadiness(const std::string& prefix, bool wait, bool registry, Console& console,
                            const std::string& tmp) {
    std::error_code ec;
    if (!std::filesystem::is_directory(prefix, ec)) return "no Wine prefix at " + prefix + " (there is no such folder)";
    // Only what is not there at all is told here; what stands there but is no
    // file to read is named by the read, with the reason.
    const auto systemHive = std::filesystem::symlink_status(std::filesystem::path(prefix) / "system.reg", ec);
    if (systemHive.type() == std::filesystem::file_type::not_found)
        return "no Wine prefix at " + prefix + " (it has no system.reg)";
    if (!registry) return {};
    const std::optional<pid_t> server = runningWineServer(prefix, tmp);
    if (!server) return {};
    if (!wait)
        return "the wineserver of " + prefix + " is running (process " + std::to_string(*server) +
               "): its registry files are behind it until it ends; close the prefix's programs, or end them all with WINEPREFIX=" + prefix +
               " wineserver -k, or give --wait";
    console.progress("Waiting for the wineserver of " + prefix + " to end");
    waitForWineServer(prefix, tmp);
    console.progress("");
    return {};
}

DatePictures datePictures(const WinePrefixHives& hives) {
    DatePictures pictures;
    const WineHive& user = hives.user;
    uint32_t key = WineHive::kRoot;
    for (const char* name : {"Control Panel", "International"}) {
        key = user.child(key, name);
        if (key == WineHive::kNoKey) return pictures;
    }
    const auto text = [&](const char* name, std::string& out) {
        const WineHive::Value* v = user.findValue(key, name);
        if (!v || v->type != kRegSz) return;
        const std::string_view data = user.valueData(*v);
        std::u16string units;
        for (size_t i = 0; i + 1 < data.size(); i += 2) {
            const auto u = static_cast<char16_t>(static_cast<uint8_t>(data[i]) | static_cast<uint8_t>(data[i + 1]) << 8);
            if (u == 0) break;
            units.push_back(u);
        }
        out = toUtf8(units);
    };
    text("sShortDate", pictures.shortDate);
    text("sTimeFormat", pictures.longTime);
    text("s1159", pictures.am);
    text("s2359", pictures.pm);
    return pictures;
}

EnvironmentList hostEnvironment() {
    EnvironmentList vars;
    for (char** e = environ; e && *e; ++e) {
        const std::string_view entry(*e);
        const size_t equals = entry.find('=');
        if (equals == std::string_view::npos || equals == 0) continue;
        vars.emplace_back(toUtf16(entry.substr(0, equals)), toUtf16(entry.substr(equals + 1)));
    }
    // Wine names the user's profile after the Unix account, whatever $USER says.
    if (const passwd* account = getpwuid(getuid()); account && account->pw_name) {
        const std::u16string name = toUtf16(account->pw_name);
        bool found = false;
        for (auto& [n, v] : vars)
            if (n == u"USER") {
                v = name;
                found = true;
            }
        if (!found) vars.emplace_back(u"USER", name);
    }
    return vars;
}

}  // namespace qv::cli

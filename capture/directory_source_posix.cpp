#include "capture/directory_source_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <vector>

#include "capture/wine_registry.h"
#include "core/failure.h"

namespace qv {
namespace {

constexpr int64_t kEpochSeconds = 11644473600;

uint64_t ticksOf(const struct stat& st) {
    return static_cast<uint64_t>(st.st_mtim.tv_sec + kEpochSeconds) * kTicksPerSecond +
           static_cast<uint64_t>(st.st_mtim.tv_nsec / 100);
}

int64_t toLocalTicks(uint64_t utcTicks) {
    const auto seconds = static_cast<int64_t>(utcTicks / kTicksPerSecond) - kEpochSeconds;
    const auto unixTime = static_cast<time_t>(seconds);
    struct tm local {};
    check(localtime_r(&unixTime, &local) != nullptr, 5, "Invalid procedure call or argument");
    return static_cast<int64_t>(utcTicks) + static_cast<int64_t>(local.tm_gmtoff) * static_cast<int64_t>(kTicksPerSecond);
}

// The hidden and system bits Wine keeps in the extended attribute that
// Samba also uses, written as "0x22".
uint32_t storedAttributes(const char* path) {
    char text[64];
    const ssize_t n = lgetxattr(path, "user.DOSATTRIB", text, sizeof(text) - 1);
    if (n <= 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return 0;
    text[n] = '\0';
    return static_cast<uint32_t>(std::strtoul(text + 2, nullptr, 16)) & (kAttrHidden | kAttrSystem);
}

// The attributes Wine shows for a file: from the link's target where it is
// a link, a reparse point where that target is a folder.
struct Found {
    uint32_t attributes = 0;
    uint64_t lastWriteTime = 0;
    uint64_t size = 0;
};
std::optional<Found> describe(int dir, const char* name, const char* fullPath, bool root) {
    struct stat st {};
    if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    bool link = false;
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        if (fstatat(dir, name, &target, 0) == 0) {
            st = target;
            link = !root;
        }
    }
    Found f;
    if (S_ISDIR(st.st_mode)) {
        f.attributes = kAttrDirectory | (link && S_ISDIR(st.st_mode) ? kAttrReparsePoint : 0);
    } else {
        f.attributes = kAttrArchive;
        f.size = static_cast<uint64_t>(st.st_size);
    }
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) f.attributes |= kAttrReadOnly;
    const std::string_view base(name);
    if (!root && base.size() > 1 && base[0] == '.' && base != "..") f.attributes |= kAttrHidden;
    f.attributes |= storedAttributes(fullPath);
    f.lastWriteTime = ticksOf(st);
    return f;
}

// Names in the order Wine lists them: by their upper-case form, then as they are.
bool listedBefore(const std::string& a, const std::string& b) {
    const std::string fa = foldRegistryName(a), fb = foldRegistryName(b);
    return fa != fb ? fa < fb : a < b;
}

class PosixEnumeration : public DirEnumeration {
public:
    explicit PosixEnumeration(std::vector<DirEntry> entries) : entries_(std::move(entries)) {}
    bool next(DirEntry& entry) override {
        if (next_ >= entries_.size()) return false;
        entry = std::move(entries_[next_++]);
        return true;
    }

private:
    std::vector<DirEntry> entries_;
    size_t next_ = 0;
};

}  // namespace

PosixDirectorySource::PosixDirectorySource(std::filesystem::path prefix, DatePictures pictures)
    : prefix_(std::move(prefix)),
      pictures_(std::move(pictures)),
      dates_(toLocalTicks, [this](const CivilTime& t) { return formatDatePicture(pictures_.shortDate, t); },
             [this](const CivilTime& t) { return formatTimePicture(pictures_.longTime, t, pictures_.am, pictures_.pm); }) {}

std::string PosixDirectorySource::fullPathName(const std::string& path) {
    if (path.empty()) return {};
    std::string text = path;
    std::replace(text.begin(), text.end(), '/', '\\');
    // A Unix path is reached through Z:, as Wine maps the root there.
    if (path[0] == '/') {
        text = "Z:" + text;
    } else if (!(text.size() >= 2 && text[1] == ':')) {
        std::error_code ec;
        std::string cwd = std::filesystem::current_path(ec).string();
        if (ec) return {};
        std::replace(cwd.begin(), cwd.end(), '/', '\\');
        text = "Z:" + cwd + "\\" + text;
    }
    const char drive = static_cast<char>(text[0] >= 'a' && text[0] <= 'z' ? text[0] - 32 : text[0]);
    if (drive < 'A' || drive > 'Z') return {};
    // "." and ".." go, as the platform's path parsing takes them away.
    std::vector<std::string> parts;
    size_t start = 2;
    while (start < text.size()) {
        if (text[start] == '\\') {
            ++start;
            continue;
        }
        size_t end = text.find('\\', start);
        if (end == std::string::npos) end = text.size();
        const std::string part = text.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (part != ".") {
            parts.push_back(part);
        }
        start = end;
    }
    std::string full{drive, ':', '\\'};
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) full += '\\';
        full += parts[i];
    }
    if (text.back() == '\\' && !parts.empty()) full += '\\';
    return full;
}

std::optional<std::string> PosixDirectorySource::unixPath(const std::string& windowsPath) const {
    if (windowsPath.size() < 2 || windowsPath[1] != ':') return std::nullopt;
    const char letter = static_cast<char>(windowsPath[0] >= 'A' && windowsPath[0] <= 'Z' ? windowsPath[0] + 32 : windowsPath[0]);
    std::string path = (prefix_ / "dosdevices" / std::string{letter, ':'}).string();
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    size_t start = 2;
    while (start < windowsPath.size()) {
        if (windowsPath[start] == '\\') {
            ++start;
            continue;
        }
        size_t end = windowsPath.find('\\', start);
        if (end == std::string::npos) end = windowsPath.size();
        const std::string name = windowsPath.substr(start, end - start);
        std::string next = path + "/" + name;
        if (lstat(next.c_str(), &st) != 0) {
            // Wine finds a name in any case where it is not there as given.
            if (DIR* dir = opendir(path.c_str())) {
                while (const dirent* e = readdir(dir)) {
                    if (registryNamesEqual(e->d_name, name)) {
                        next = path + "/" + e->d_name;
                        break;
                    }
                }
                closedir(dir);
            }
        }
        path = std::move(next);
        start = end;
    }
    return path;
}

std::optional<uint32_t> PosixDirectorySource::attributes(const std::string& path) {
    const std::optional<std::string> unix = unixPath(path);
    if (!unix) return std::nullopt;
    // A drive is a link to its folder, which Wine shows as the plain folder.
    const bool root = path.size() <= 3;
    const std::optional<Found> f = describe(AT_FDCWD, unix->c_str(), unix->c_str(), root);
    if (!f) return std::nullopt;
    return f->attributes;
}

std::unique_ptr<DirEnumeration> PosixDirectorySource::list(const std::string& folder) {
    const std::optional<std::string> unix = unixPath(folder);
    if (!unix) return nullptr;
    const int fd = open(unix->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return nullptr;
    }
    std::vector<std::string> names;
    while (const dirent* e = readdir(dir)) {
        const std::string_view n(e->d_name);
        if (n != "." && n != "..") names.emplace_back(n);
    }
    std::sort(names.begin(), names.end(), listedBefore);
    std::vector<DirEntry> entries;
    entries.reserve(names.size() + 2);
    std::string full = *unix;
    if (full.empty() || full.back() != '/') full += '/';
    const size_t base = full.size();
    struct stat self {};
    if (fstat(fd, &self) == 0) {
        for (const char* dot : {".", ".."}) {
            DirEntry e;
            e.name = dot;
            e.attributes = kAttrDirectory;
            e.lastWriteTime = ticksOf(self);
            entries.push_back(std::move(e));
        }
    }
    for (std::string& name : names) {
        full.resize(base);
        full += name;
        const std::optional<Found> f = describe(fd, name.c_str(), full.c_str(), false);
        if (!f) continue;
        DirEntry e;
        e.name = std::move(name);
        e.attributes = f->attributes;
        e.lastWriteTime = f->lastWriteTime;
        e.size = f->size;
        entries.push_back(std::move(e));
    }
    closedir(dir);
    return std::make_unique<PosixEnumeration>(std::move(entries));
}

std::string PosixDirectorySource::modifiedText(uint64_t lastWriteTime) {
    return dates_.text(lastWriteTime);
}

std::optional<uint64_t> PosixDirectorySource::fileSize(const std::string& path) {
    const std::optional<std::string> unix = unixPath(path);
    struct stat st {};
    if (!unix || stat(unix->c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

}  // namespace qv

#include "capture/directory_source_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <sys/syscall.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "capture/wine_registry.h"
#include "capture/work_ahead.h"
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

// getxattrat(2), from Linux 6.13: the attribute of a name in an open folder,
// without walking the whole path again for every file.
#ifndef __NR_getxattrat
#define __NR_getxattrat 464
#endif
struct XattrArgs {
    uint64_t value;
    uint32_t size;
    uint32_t flags;
};
std::atomic<bool> noGetxattrat{false};

ssize_t readDosAttribute(int dir, const char* name, char* text, size_t size) {
    if (dir == AT_FDCWD) return lgetxattr(name, "user.DOSATTRIB", text, size);
    if (!noGetxattrat.load(std::memory_order_relaxed)) {
        XattrArgs args{reinterpret_cast<uintptr_t>(text), static_cast<uint32_t>(size), 0};
        const long n = syscall(__NR_getxattrat, dir, name, AT_SYMLINK_NOFOLLOW, "user.DOSATTRIB", &args, sizeof(args));
        if (n >= 0 || errno == ENODATA || errno == ENOTSUP || errno == ERANGE) return n;
        // An older kernel has no such call, and a sandbox may forbid one it
        // does not know: the path then serves for the rest of the run.
        if (errno == ENOSYS || errno == EPERM) noGetxattrat = true;
    }
    // The folder's descriptor as /proc shows it: a short path, however deep
    // the folder lies.
    char through[48 + NAME_MAX];
    std::snprintf(through, sizeof through, "/proc/self/fd/%d/%s", dir, name);
    return lgetxattr(through, "user.DOSATTRIB", text, size);
}

// The hidden and system bits Wine keeps in the extended attribute that
// Samba also uses, written as "0x22".
uint32_t storedAttributes(int dir, const char* name) {
    char text[64];
    const ssize_t n = readDosAttribute(dir, name, text, sizeof(text) - 1);
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
    uint32_t reparseTag = 0;
};

// The tag Windows gives a symbolic link.
constexpr uint32_t kSymlinkTag = 0xA000000Cu;
std::optional<Found> describe(int dir, const char* name, bool root) {
    struct stat st {};
    if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    bool link = false;
    const bool isLink = S_ISLNK(st.st_mode);
    if (isLink) {
        // Wine lists no link that leads nowhere.
        struct stat target {};
        if (fstatat(dir, name, &target, 0) != 0) return std::nullopt;
        st = target;
        link = !root;
    }
    Found f;
    if (S_ISDIR(st.st_mode)) {
        f.attributes = kAttrDirectory | (link ? kAttrReparsePoint : 0);
        f.reparseTag = link ? kSymlinkTag : 0;
    } else {
        f.attributes = kAttrArchive;
        f.size = static_cast<uint64_t>(st.st_size);
    }
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) f.attributes |= kAttrReadOnly;
    const std::string_view base(name);
    if (!root && base.size() > 1 && base[0] == '.' && base != "..") f.attributes |= kAttrHidden;
    // Only files and folders carry user attributes; a link never does.
    if (!isLink) f.attributes |= storedAttributes(dir, name);
    f.lastWriteTime = ticksOf(st);
    return f;
}

// A name and the key that places it: Wine lists names by their upper-case
// form, then as they are. The key is folded once per name, not per comparison.
struct Listed {
    std::string folded;
    std::string name;
    bool operator<(const Listed& o) const { return folded != o.folded ? folded < o.folded : name < o.name; }
};

size_t usableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<size_t>(std::max(1, CPU_COUNT(&set)));
    return std::max(1u, std::thread::hardware_concurrency());
}

// A folder of this many names is described ahead, in chunks of kChunk.
constexpr size_t kAheadFrom = 256;
constexpr size_t kChunk = 64;

// A listed folder: its open handle, its names, and what is known of each.
struct ListedFolder {
    ListedFolder(int d, std::vector<Listed> n) : dir(d), names(std::move(n)) {}
    ~ListedFolder() { close(dir); }
    ListedFolder(const ListedFolder&) = delete;
    ListedFolder& operator=(const ListedFolder&) = delete;

    int dir;
    std::vector<Listed> names;
    std::vector<std::optional<Found>> ahead;  // when described ahead
    std::optional<ChunkedJob> job;            // describes `ahead`
};

// Each entry is described as it is asked for: a caller that wants only the
// first entry costs one stat, not one per name. A large folder is described
// ahead by helper threads while the walk takes in what they have described:
// a stat and an attribute read per file are system calls that take longer
// than all else the walk does.
class PosixEnumeration : public DirEnumeration {
public:
    PosixEnumeration(std::shared_ptr<ListedFolder> folder, uint64_t folderTime, HelperThreads* helpers)
        : folder_(std::move(folder)), folderTime_(folderTime) {
        ListedFolder& f = *folder_;
        if (!helpers || f.names.size() < kAheadFrom) return;
        f.ahead.resize(f.names.size());
        const size_t chunks = (f.names.size() + kChunk - 1) / kChunk;
        f.job.emplace(chunks, [&f](size_t chunk) {
            const size_t end = std::min((chunk + 1) * kChunk, f.names.size());
            for (size_t i = chunk * kChunk; i < end; ++i) f.ahead[i] = describe(f.dir, f.names[i].name.c_str(), false);
        });
        // The helpers hold the folder while they work on it, however soon
        // this listing ends.
        helpers->post(std::shared_ptr<ChunkedJob>(folder_, &*f.job));
    }
    ~PosixEnumeration() override {
        if (folder_->job) folder_->job->abandon();
    }
    bool next(DirEntry& entry) override {
        if (dots_ < 2) {
            entry.name = dots_++ ? ".." : ".";
            entry.attributes = kAttrDirectory;
            entry.lastWriteTime = folderTime_;
            entry.size = 0;
            return true;
        }
        ListedFolder& f = *folder_;
        while (next_ < f.names.size()) {
            const size_t i = next_++;
            std::optional<Found> found;
            if (f.job) {
                if (i % kChunk == 0) f.job->await(i / kChunk);
                found = f.ahead[i];
            } else {
                found = describe(f.dir, f.names[i].name.c_str(), false);
            }
            if (!found) continue;
            entry.name = std::move(f.names[i].name);
            entry.attributes = found->attributes;
            entry.lastWriteTime = found->lastWriteTime;
            entry.size = found->size;
            entry.reparseTag = found->reparseTag;
            return true;
        }
        return false;
    }

private:
    std::shared_ptr<ListedFolder> folder_;
    uint64_t folderTime_;
    size_t next_ = 0;
    int dots_ = 0;
};

// The names of a Windows path from `start` on, between its backslashes;
// doubled backslashes give no empty names.
std::vector<std::string_view> pathParts(std::string_view path, size_t start) {
    std::vector<std::string_view> parts;
    while (start < path.size()) {
        if (path[start] == '\\') {
            ++start;
            continue;
        }
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end;
    }
    return parts;
}

}  // namespace

PosixDirectorySource::PosixDirectorySource(std::filesystem::path prefix, DatePictures pictures)
    : prefix_(std::move(prefix)),
      pictures_(std::move(pictures)),
      dates_(toLocalTicks, [this](const CivilTime& t) { return formatDatePicture(pictures_.shortDate, t); },
             [this](const CivilTime& t) { return formatTimePicture(pictures_.longTime, t, pictures_.am, pictures_.pm); }),
      chain_(prefix_) {}

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
    std::vector<std::string_view> parts;
    for (const std::string_view part : pathParts(text, 2)) {
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (part != ".") {
            parts.push_back(part);
        }
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
    for (const std::string_view name : pathParts(windowsPath, 2)) {
        std::string next = path + "/";
        next += name;
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
    }
    return path;
}

std::optional<uint32_t> PosixDirectorySource::attributes(const std::string& path) {
    // The finder asks what its start is before every walk: the folders kept
    // open from an earlier walk may have been moved since.
    chain_.forget();
    const std::optional<std::string> unix = unixPath(path);
    if (!unix) return std::nullopt;
    // A drive is a link to its folder, which Wine shows as the plain folder.
    const bool root = path.size() <= 3;
    const std::optional<Found> f = describe(AT_FDCWD, unix->c_str(), root);
    if (!f) return std::nullopt;
    return f->attributes;
}

std::unique_ptr<DirEnumeration> PosixDirectorySource::list(const std::string& folder) {
    if (folder.size() < 2 || folder[1] != ':') return nullptr;
    const char drive = static_cast<char>(folder[0] >= 'A' && folder[0] <= 'Z' ? folder[0] + 32 : folder[0]);
    const int fd = chain_.open(drive, pathParts(folder, 2));
    if (fd < 0) return nullptr;
    struct stat self {};
    if (fstat(fd, &self) != 0) {
        close(fd);
        return nullptr;
    }
    // The listing reads a duplicate, so that closing it leaves `fd` for the stats.
    const int listed = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = listed >= 0 ? fdopendir(listed) : nullptr;
    if (!dir) {
        if (listed >= 0) close(listed);
        close(fd);
        return nullptr;
    }
    std::vector<Listed> names;
    while (const dirent* e = readdir(dir)) {
        const std::string_view n(e->d_name);
        if (n != "." && n != "..") names.push_back({foldRegistryName(n), std::string(n)});
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    if (!helpers_ && names.size() >= kAheadFrom) {
        // Helpers for the other processors this program may run on (taskset
        // may allow fewer than the machine has); none on a single one.
        const size_t processors = usableProcessors();
        if (processors > 1) helpers_ = std::make_unique<HelperThreads>(std::min<size_t>(processors - 1, 3));
    }
    HelperThreads* helpers = helpers_ && helpers_->count() > 0 ? helpers_.get() : nullptr;
    return std::make_unique<PosixEnumeration>(std::make_shared<ListedFolder>(fd, std::move(names)),
                                              ticksOf(self), helpers);
}

SharedText PosixDirectorySource::modifiedText(uint64_t lastWriteTime) {
    return dates_.text(lastWriteTime);
}

std::string PosixDirectorySource::folderIdentity(const std::string& folder) {
    const std::optional<std::string> unix = unixPath(folder);
    if (!unix) return {};
    char* real = realpath(unix->c_str(), nullptr);
    if (!real) return {};
    std::string identity(real);
    free(real);
    if (identity.back() != '/') identity += '/';
    return identity;
}

std::optional<uint64_t> PosixDirectorySource::fileSize(const std::string& path) {
    const std::optional<std::string> unix = unixPath(path);
    struct stat st {};
    if (!unix || stat(unix->c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

}  // namespace qv

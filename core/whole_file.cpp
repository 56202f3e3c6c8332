#include "core/whole_file.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace qv {
namespace {

namespace fs = std::filesystem;

fs::path pathOf(const std::string& utf8) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

std::string reason(const std::error_code& ec) { return ec ? ec.message() : std::string("unknown error"); }

// Windows' reserved device names, which name a device in every folder and take
// no rename: "NUL", "CON", "NUL.txt", "C:\dir\nul" alike.
bool isDeviceName(const std::string& path) {
#ifdef _WIN32
    std::string name = path.substr(path.find_last_of("\\/:") == std::string::npos ? 0 : path.find_last_of("\\/:") + 1);
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    for (const char* device : {"NUL", "CON", "PRN", "AUX", "CONOUT$"})
        if (name == device) return true;
    return false;
#else
    (void)path;
    return false;
#endif
}

// A link is followed to the file it names, however many links lead there, so
// that the link stays a link and its file is the one replaced.
fs::path followLinks(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec)) || ec) return path;
        const fs::path next = fs::read_symlink(path, ec);
        if (ec) return path;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

// Creates the temporary file anew, never through a link or over a file that
// someone else put there first (a shared folder such as /tmp), with the owner
// of the file it will replace, `old`, where there is one and we may give it.
// A new file is as open as the user's umask lets files be, as a shell's
// redirection makes it, so that the results can be shared as the user shares
// files; a replaced one gets its old permissions before it holds a byte.
bool createOwnFile(const fs::path& temporary, const fs::path& old) {
#ifdef _WIN32
    (void)old;
    std::error_code ec;
    return !fs::exists(fs::symlink_status(temporary, ec));
#else
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    struct stat was {};
    if (!old.empty() && ::stat(old.c_str(), &was) == 0) (void)!::fchown(fd, was.st_uid, was.st_gid);
    ::close(fd);
    return true;
#endif
}

// Writes straight into what stands at the path: a device or a pipe cannot be
// replaced, and a rename over it would put a plain file in its place.
bool writeInPlace(const fs::path& target, const std::function<bool(std::ostream&)>& write, std::string* error) {
    std::ofstream out(target, std::ios::binary);
    if (out && !write(out)) out.setstate(std::ios::failbit);
    if (out) out.flush();
    if (!out) setError(error, "cannot write to the device (is it full?)");
    return static_cast<bool>(out);
}

}  // namespace

bool openForReading(const std::string& path, std::ifstream& in, uint64_t& size, std::string* error) {
    std::error_code ec;
    if (fs::is_directory(pathOf(path), ec)) {
        setError(error, "it is a folder, not a file");
        return false;
    }
    in.open(pathOf(path), std::ios::binary);
    if (!in) {
        setError(error, "cannot open the file");
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    in.seekg(0, std::ios::beg);
    if (end < 0 || !in) {
        setError(error, "cannot read the file");
        return false;
    }
    size = static_cast<uint64_t>(end);
    return true;
}

std::optional<std::string> readWholeFile(const std::string& path, std::string* error, uint64_t limit) {
    std::ifstream in;
    uint64_t size = 0;
    if (!openForReading(path, in, size, error)) return std::nullopt;
    size = std::min(size, limit);
    std::string bytes;
    if (size > 0) {
        bytes.resize(static_cast<size_t>(size));
        in.read(bytes.data(), static_cast<std::streamsize>(size));
    }
    if (in.bad() || (size > 0 && static_cast<uint64_t>(in.gcount()) != size)) {
        setError(error, "cannot read the file");
        return std::nullopt;
    }
    return bytes;
}

RegularFileReader::~RegularFileReader() {
#ifndef _WIN32
    if (fd_ >= 0) ::close(fd_);
#endif
}

bool RegularFileReader::open(const std::string& path, std::string* error, bool* missing) {
    if (missing) *missing = false;
#ifdef _WIN32
    std::error_code ec;
    const fs::file_status st = fs::status(pathOf(path), ec);
    if (st.type() == fs::file_type::not_found) {
        if (missing) *missing = true;
        setError(error, "there is no such file");
        return false;
    }
    if (!ec && !fs::is_regular_file(st)) {
        setError(error, fs::is_directory(st) ? "it is a folder, not a file" : "it is not a regular file");
        return false;
    }
    return openForReading(path, in_, size_, error);
#else
    // Opened without waiting, as opening a pipe would wait for a writer, and
    // checked on the descriptor itself, so nothing can be put in its place
    // between the check and the read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int why = errno;
        if (missing) *missing = why == ENOENT;
        setError(error, std::strerror(why));
        return false;
    }
    struct stat st {};
    const char* refusal = nullptr;
    if (::fstat(fd, &st) != 0) {
        refusal = "cannot tell what it is";
    } else if (S_ISDIR(st.st_mode)) {
        refusal = "it is a folder, not a file";
    } else if (S_ISFIFO(st.st_mode)) {
        refusal = "it is a pipe, not a regular file";
    } else if (S_ISSOCK(st.st_mode)) {
        refusal = "it is a socket, not a regular file";
    } else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        refusal = "it is a device, not a regular file";
    } else if (!S_ISREG(st.st_mode)) {
        refusal = "it is not a regular file";
    }
    if (refusal) {
        ::close(fd);
        setError(error, refusal);
        return false;
    }
    fd_ = fd;
    size_ = static_cast<uint64_t>(st.st_size);
    return true;
#endif
}

bool RegularFileReader::read(char* into, size_t room, size_t& got, std::string* error) {
    got = 0;
#ifdef _WIN32
    if (room == 0) return true;
    in_.read(into, static_cast<std::streamsize>(room));
    got = static_cast<size_t>(in_.gcount());
    if (in_.bad()) {
        setError(error, "cannot read the file");
        return false;
    }
    return true;
#else
    for (;;) {
        const ssize_t n = ::read(fd_, into, room);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            setError(error, std::strerror(errno));
            return false;
        }
        got = static_cast<size_t>(n);
        return true;
    }
#endif
}

std::optional<std::string> readRegularFile(const std::string& path, std::string* error, bool* missing) {
    RegularFileReader file;
    if (!file.open(path, error, missing)) return std::nullopt;
    // Read to its end, which need not be where its size said: a file may grow.
    std::string bytes(static_cast<size_t>(file.size()), '\0');
    size_t done = 0;
    for (;;) {
        if (done == bytes.size()) bytes.resize(bytes.size() + 65536);
        size_t got = 0;
        if (!file.read(bytes.data() + done, bytes.size() - done, got, error)) return std::nullopt;
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

bool replaceWholeFile(const std::string& path, std::string_view bytes, std::string* error) {
    return replaceWholeFileWith(
        path,
        [&](std::ostream& out) {
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            return true;
        },
        error);
}

bool replaceWholeFileWith(const std::string& path, const std::function<bool(std::ostream&)>& write,
                          std::string* error) {
    static std::atomic<unsigned> counter{0};
    if (isDeviceName(path)) return writeInPlace(pathOf(path), write, error);
    // The system follows the links to what stands at the end ("/dev/stdout"
    // leads to a pipe through a link whose text names no file).
    std::error_code statusError;
    const fs::file_status st = fs::status(pathOf(path), statusError);
    const bool exists = !statusError && fs::exists(st);
    const bool replacesFile = exists && fs::is_regular_file(st);
    if (exists && !replacesFile && !fs::is_directory(st)) return writeInPlace(pathOf(path), write, error);
    std::error_code canonicalError;
    fs::path target = exists ? fs::canonical(pathOf(path), canonicalError) : followLinks(pathOf(path));
    if (canonicalError) target = pathOf(path);
    std::error_code linkError;
    if (!exists && fs::is_symlink(fs::symlink_status(target, linkError))) {
        setError(error, "its links lead round in a loop");
        return false;
    }
    // The replacing rename would pass over a read-only file where the platform
    // does not check it (Wine, a POSIX root): the user's protection holds here.
    if (replacesFile && (st.permissions() & fs::perms::owner_write) == fs::perms::none) {
        setError(error, "the file is read-only");
        return false;
    }
    fs::path temporary = target;
    temporary += ".tmp" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000) +
                 "-" + std::to_string(counter++);
    {
        if (!createOwnFile(temporary, replacesFile ? target : fs::path())) {
            setError(error, "cannot create a file in that folder");
            return false;
        }
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            setError(error, "cannot create a file in that folder");
            return false;
        }
        // The new file has the old one's permissions before it holds a byte.
        std::error_code ignored;
        if (replacesFile) fs::permissions(temporary, st.permissions(), fs::perm_options::replace, ignored);
        bool written = false;
        try {
            written = write(out);
        } catch (...) {
            // Memory running out, say: no half-written temporary stays behind.
            out.close();
            std::error_code ignored;
            fs::remove(temporary, ignored);
            throw;
        }
        if (!written) out.setstate(std::ios::failbit);
        out.flush();
        if (!out) {
            out.close();
            std::error_code ignored;
            fs::remove(temporary, ignored);
            setError(error, "cannot write the file (is the disk full?)");
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        setError(error, "cannot replace the file: " + reason(ec));
        return false;
    }
    return true;
}

bool removeFile(const std::string& path) {
    std::error_code ec;
    fs::remove(pathOf(path), ec);
    return !ec;
}

bool regularFileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(pathOf(path), ec);
}

}  // namespace qv

namespace qv {

bool pathExists(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(pathOf(path), ec);
    return std::filesystem::exists(status) || (ec && ec != std::errc::no_such_file_or_directory);
}

}  // namespace qv

#pragma once
// Whole-file reads and replacements by UTF-8 path, for the data files, the
// snapshot files and the exports.
#include <cstdint>
#include <fstream>
#include <functional>
#include <ostream>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// The file's bytes, at most `limit` of them from its start; nothing when it
// cannot be opened or read, with the reason in `error` when given.
std::optional<std::string> readWholeFile(const std::string& path, std::string* error = nullptr,
                                         uint64_t limit = UINT64_MAX);

// The bytes of a regular file, as readWholeFile reads them; anything else that
// stands at `path` (a pipe, a device, a folder, links that lead round) is
// refused at once with the reason, never waited on. `missing` is set when
// nothing stands there at all, which callers may take as an empty file.
std::optional<std::string> readRegularFile(const std::string& path, std::string* error = nullptr,
                                           bool* missing = nullptr);

// A regular file read a block at a time, for readers that need not hold it
// whole; what is no regular file is refused as readRegularFile refuses it.
class RegularFileReader {
public:
    RegularFileReader() = default;
    ~RegularFileReader();
    RegularFileReader(const RegularFileReader&) = delete;
    RegularFileReader& operator=(const RegularFileReader&) = delete;

    // False with the reason; `missing` is set when nothing stands at `path`.
    bool open(const std::string& path, std::string* error = nullptr, bool* missing = nullptr);
    // The file's size when it was opened.
    uint64_t size() const { return size_; }
    // Up to `room` of the next bytes, their count in `got`: 0 at the end.
    bool read(char* into, size_t room, size_t& got, std::string* error = nullptr);

private:
#ifdef _WIN32
    std::ifstream in_;
#else
    int fd_ = -1;
#endif
    uint64_t size_ = 0;
};

// Opens a file for reading from its start and tells its size, for readers that
// check a file piece by piece rather than load it whole.
bool openForReading(const std::string& path, std::ifstream& in, uint64_t& size, std::string* error = nullptr);

// Replaces the file at `path` with `bytes` so that a crash or a full disk never
// leaves it half-written: the bytes go to a temporary file in the same folder,
// which is then renamed over the old file. On failure the old file stays as it
// was, the temporary is removed, `error` gets the reason and the result is false.
// A read-only file is refused, not replaced. A device name ("NUL", "CON") is
// written to as it is, having no folder to hold a temporary file.
bool replaceWholeFile(const std::string& path, std::string_view bytes, std::string* error = nullptr);
// The same, with the bytes written by `write` a piece at a time, for a file too
// large to hold twice in memory. `write` returns false, having written all it
// could, when the file cannot be made; that, or a failed stream, is a failure.
bool replaceWholeFileWith(const std::string& path, const std::function<bool(std::ostream&)>& write,
                          std::string* error = nullptr);

// True when `path` names an existing regular file.
bool regularFileExists(const std::string& path);
// Removes the file at `path`; true when it is gone, also when it was never there.
bool removeFile(const std::string& path);
// True when anything stands at `path`: a file, a folder, or what cannot be told.
bool pathExists(const std::string& path);

}  // namespace qv

#include "core/whole_file.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

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

std::optional<std::string> readWholeFile(const std::string& path, std::string* error) {
    std::ifstream in;
    uint64_t size = 0;
    if (!openForReading(path, in, size, error)) return std::nullopt;
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

bool replaceWholeFile(const std::string& path, std::string_view bytes, std::string* error) {
    static std::atomic<unsigned> counter{0};
    const fs::path target = pathOf(path);
    fs::path temporary = target;
    temporary += ".tmp" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000) +
                 "-" + std::to_string(counter++);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            setError(error, "cannot create a file in that folder");
            return false;
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
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

// Saving and loading a collection of 1M registry entries and 1M files, with
// paths as long and as alike as a real tree's. Prints both times, the file's
// size and the bytes per entry; the target is under 2 s each.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/large_collection.h"

namespace {

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    constexpr size_t kEntries = 1000000;
    const qv::Collection c = qv::bench::largeCollection(kEntries);
    const std::string path = (std::filesystem::temp_directory_path() / "quorvel_bench.qvs").string();
    std::string error;
    auto start = std::chrono::steady_clock::now();
    if (!qv::saveCollection(path, c, error)) return std::printf("%s\n", error.c_str()), 1;
    const double save = since(start);
    start = std::chrono::steady_clock::now();
    const std::optional<qv::Collection> back = qv::loadCollection(path, error);
    const double load = since(start);
    if (!back || back->registry.size() != kEntries || back->files.size() != kEntries + 1)
        return std::printf("load failed: %s\n", error.c_str()), 1;
    const auto bytes = std::filesystem::file_size(path);
    if (!std::getenv("KEEP")) std::filesystem::remove(path);
    std::printf(
        "1M registry entries + 1M files: save %.3f s, load %.3f s (target < 2 s each); "
        "file %.1f MiB, %.1f bytes per entry\n",
        save, load, static_cast<double>(bytes) / 1048576.0, static_cast<double>(bytes) / (2.0 * kEntries));
    return 0;
}

#pragma once
// A collection of n registry entries and n files whose paths are as long and
// as alike as a real tree's, for the snapshot file's benches.
#include <string>

#include "core/registry_types.h"
#include "core/snapshot_file.h"

namespace qv::bench {

inline Collection largeCollection(size_t n) {
    Collection c;
    c.registryWalked = true;
    c.hive = kHiveLocalMachine;
    c.startKey = "SOFTWARE";
    c.registry.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const std::string key = "SOFTWARE\\Classes\\Vendor" + std::to_string(i / 1000) + "\\Product" +
                                std::to_string(i / 10) + "\\Settings\\";
        c.registry.push_back({key, "Value" + std::to_string(i % 10),
                              "C:\\Program Files\\Vendor\\data" + std::to_string(i), kRegSz});
    }
    c.filesScanned = true;
    c.startFolder = "C:\\";
    c.files.reserve(n + 1);  // after its empty element 0
    for (size_t i = 0; i < n; ++i)
        c.files.push_back({"C:\\Program Files\\Vendor" + std::to_string(i / 5000) + "\\Product\\folder" +
                               std::to_string(i / 50) + "\\file" + std::to_string(i) + ".dll",
                           "07/12/2026 12:34:56"});
    return c;
}

}  // namespace qv::bench

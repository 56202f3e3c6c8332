#pragma once
// A file system that only knows the sizes of files, for detection's "Size"
// column. Paths without a size cannot be measured; paths in `failing` make
// fileSize throw, as a locked or unreadable file may.
#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "capture/directory_source.h"

namespace qv::testing {

class SizeOnlySource : public DirectorySource {
public:
    std::map<std::string, uint64_t> sizes;
    std::set<std::string> failing;
    std::vector<std::string> measured;  // every path asked for, in order

    std::string fullPathName(const std::string&) override { return {}; }
    std::optional<uint32_t> attributes(const std::string&) override { return std::nullopt; }
    std::unique_ptr<DirEnumeration> list(const std::string&) override { return nullptr; }
    SharedText modifiedText(uint64_t) override { return {}; }
    std::optional<uint64_t> fileSize(const std::string& path) override {
        measured.push_back(path);
        if (failing.contains(path)) throw std::runtime_error("Permission denied");
        auto it = sizes.find(path);
        return it == sizes.end() ? std::nullopt : std::optional<uint64_t>(it->second);
    }
};

}  // namespace qv::testing

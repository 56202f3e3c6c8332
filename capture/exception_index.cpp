#include "capture/exception_index.h"

#include <algorithm>
#include <optional>

#include "capture/registry_provider.h"

namespace qv {

bool RegistryExceptionIndex::covers(const std::vector<RegException>& exceptions, const std::string& keyPath,
                                    unsigned long long turn) {
    if (built_.changed(exceptions, turn)) {
        paths_.clear();
        for (size_t x = 1; x < exceptions.size(); ++x) {
            const std::optional<int32_t> hive = hiveNumber(exceptions[x].hKey);
            if (hive && *hive == hive_) paths_.insert(exceptions[x].KeyPath);
        }
    }
    return !paths_.empty() && paths_.contains(keyPath);
}

void FileExceptionIndex::refresh(const std::vector<FileException>& exceptions, unsigned long long turn) {
    if (!built_.changed(exceptions, turn)) return;
    files_.clear();
    folders_.clear();
    for (size_t i = 1; i < exceptions.size(); ++i) {
        const FileException& e = exceptions[i];
        if (e.FileorFolder == "File") {
            files_.insert(e.Path);
        } else if (e.FileorFolder == "Folder" && !e.Path.empty()) {
            folders_.push_back(e.Path);
        }
    }
    std::sort(folders_.begin(), folders_.end());
    // A prefix sorts right before everything it begins, so one pass drops every
    // entry that a kept shorter one already covers.
    size_t kept = 0;
    for (size_t i = 0; i < folders_.size(); ++i) {
        if (kept > 0 && folders_[i].starts_with(folders_[kept - 1])) continue;
        if (kept != i) folders_[kept] = std::move(folders_[i]);
        ++kept;
    }
    folders_.resize(kept);
}

bool FileExceptionIndex::coversFile(const std::vector<FileException>& exceptions, const std::string& path,
                                    unsigned long long turn) {
    refresh(exceptions, turn);
    return !files_.empty() && files_.contains(path);
}

bool FileExceptionIndex::coversFolder(const std::vector<FileException>& exceptions,
                                      const std::string& folderPath, unsigned long long turn) {
    refresh(exceptions, turn);
    // Every string between a prefix and the path it begins also begins with
    // that prefix, and no kept entry begins another.
    const auto above = std::upper_bound(folders_.begin(), folders_.end(), folderPath);
    return above != folders_.begin() && folderPath.starts_with(*std::prev(above));
}

}  // namespace qv

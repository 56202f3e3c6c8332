#include "tests/support/fakes/fake_file_system.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <source_location>

#include "capture/date_text.h"
#include "capture/file_finder.h"
#include "core/failure.h"

namespace qv::testing {
namespace {

std::string slashes(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Map key: folded case, no trailing backslash except on a drive root.
std::string keyOf(const std::string& path) {
    std::string key = slashes(path);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    const bool driveRoot = key.size() == 3 && key[1] == ':';
    if (!driveRoot && key.size() > 1 && key.back() == '\\') key.pop_back();
    return key;
}

// A drive root ("C:\\") or a share ("\\\\SERVER\\SHARE"), the forms keyOf gives them.
bool isRootKey(const std::string& key) {
    return !key.empty() && clsFileFind::RootLength(key) == key.size();
}

// The key of the folder holding `key`; "" for a root.
std::string parentKeyOf(const std::string& key) {
    if (isRootKey(key)) return {};
    const size_t slash = key.rfind('\\');
    if (slash == std::string::npos) return {};
    if (slash == 2 && key[1] == ':') return key.substr(0, 3);
    return key.substr(0, slash);
}

std::string lastName(const std::string& path) {
    std::string p = slashes(path);
    if (p.size() > 3 && p.back() == '\\') p.pop_back();
    const size_t slash = p.rfind('\\');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

class FakeEnumeration : public DirEnumeration {
public:
    FakeEnumeration(std::vector<DirEntry> entries, int& open, int& maxOpen)
        : entries_(std::move(entries)), open_(open) {
        ++open_;
        maxOpen = std::max(maxOpen, open_);
    }
    ~FakeEnumeration() override { --open_; }
    bool next(DirEntry& entry) override {
        if (index_ >= entries_.size()) return false;
        entry = entries_[index_++];
        return true;
    }

private:
    std::vector<DirEntry> entries_;
    size_t index_ = 0;
    int& open_;
};

}  // namespace

uint64_t fileTime(int year, int month, int day, int hour, int minute, int second) {
    const std::chrono::sys_days date = std::chrono::year(year) / month / day;
    const int64_t days1601 = date.time_since_epoch().count() + 134'774;
    return static_cast<uint64_t>(days1601 * 86'400 + hour * 3600 + minute * 60 + second) * kTicksPerSecond;
}

FakeFileSystem::Node* FakeFileSystem::find(const std::string& path) {
    auto it = nodes_.find(keyOf(path));
    if (it == nodes_.end()) it = nodes_.find(resolvedKey(keyOf(path)));
    return it == nodes_.end() ? nullptr : &it->second;
}

std::string FakeFileSystem::resolvedKey(std::string key) const {
    for (int hops = 0; hops < 40; ++hops) {
        // The first link on the way, from the root down.
        bool followed = false;
        for (size_t end = 0; end <= key.size() && !followed; ++end) {
            if (end != key.size() && key[end] != '\\') continue;
            const auto it = nodes_.find(key.substr(0, end));
            if (it == nodes_.end() || it->second.linkTarget.empty()) continue;
            key = it->second.linkTarget + key.substr(end);
            followed = true;
        }
        if (!followed) return nodes_.contains(key) ? key : std::string();
    }
    return {};
}

void FakeFileSystem::addLink(const std::string& path, const std::string& target, uint32_t tag) {
    Node& node = addNode(path, kAttrDirectory | kAttrReparsePoint);
    node.reparseTag = tag;
    node.linkTarget = keyOf(target);
}

void FakeFileSystem::addTaggedFolder(const std::string& path, uint32_t tag) {
    addNode(path, kAttrDirectory | kAttrReparsePoint).reparseTag = tag;
}

std::string FakeFileSystem::folderIdentity(const std::string& folder) {
    const std::string key = resolvedKey(keyOf(folder));
    if (key.empty()) return {};
    return key.back() == '\\' ? key : key + "\\";
}

FakeFileSystem::Node& FakeFileSystem::addNode(const std::string& path, uint32_t attributes) {
    const std::string key = keyOf(path);
    auto it = nodes_.find(key);
    if (it != nodes_.end()) {
        it->second.attributes = attributes;
        return it->second;
    }
    const std::string parentKey = parentKeyOf(key);
    if (!parentKey.empty()) {
        // The parent's path as written: the same length as its key.
        if (!nodes_.contains(parentKey)) addNode(slashes(path).substr(0, parentKey.size()), kAttrDirectory);
        nodes_[parentKey].children.push_back(key);
    }
    Node& node = nodes_[key];
    node.name = isRootKey(key) ? slashes(path) : lastName(path);
    node.attributes = attributes;
    return node;
}

void FakeFileSystem::addFile(const std::string& path, uint64_t size, uint64_t lastWriteTime,
                             uint32_t attributes) {
    Node& node = addNode(path, attributes & ~kAttrDirectory);
    node.size = size;
    node.lastWriteTime = lastWriteTime;
}

void FakeFileSystem::addFolder(const std::string& path, uint32_t attributes, uint64_t lastWriteTime) {
    Node& node = addNode(path, attributes | kAttrDirectory);
    node.lastWriteTime = lastWriteTime;
}

void FakeFileSystem::setUnlistable(const std::string& folder) {
    if (Node* node = find(folder)) node->unlistable = true;
}

std::string FakeFileSystem::textOf(uint64_t lastWriteTime) {
    const auto seconds = static_cast<int64_t>(lastWriteTime / kTicksPerSecond);
    const CivilTime t = civilTime(seconds);
    char buffer[40];
    if (t.hour == 0 && t.minute == 0 && t.second == 0) {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.year, t.month, t.day);
    } else {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                      t.minute, t.second);
    }
    return buffer;
}

std::string FakeFileSystem::fullPathName(const std::string& path) {
    if (path.empty()) return {};
    std::string p = slashes(path);
    std::string absolute;
    if (clsFileFind::RootLength(p) != 0) {
        absolute = p;
    } else if (p.size() >= 2 && p[1] == ':') {
        absolute = p.substr(0, 2) + "\\" + p.substr(2);
    } else if (p[0] == '\\') {
        absolute = currentDirectory.substr(0, 2) + p;
    } else {
        absolute = currentDirectory;
        if (absolute.back() != '\\') absolute += '\\';
        absolute += p;
    }
    // Resolve "." and ".." the way the platform does, never above the root.
    const size_t root = clsFileFind::RootLength(absolute);
    std::string rest(1, '/');
    rest += absolute.substr(root);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    rest = std::filesystem::path(rest).lexically_normal().generic_string().substr(1);
    std::replace(rest.begin(), rest.end(), '/', '\\');
    return absolute.substr(0, root) + rest;
}

std::optional<uint32_t> FakeFileSystem::attributes(const std::string& path) {
    const Node* node = find(path);
    if (!node) return std::nullopt;
    // Like the platform, "name\" does not reach a file.
    if (path.size() > 3 && path.back() == '\\' && (node->attributes & kAttrDirectory) == 0)
        return std::nullopt;
    return node->attributes;
}

std::unique_ptr<DirEnumeration> FakeFileSystem::list(const std::string& folder) {
    listed.push_back(folder);
    const Node* node = find(folder);
    // A link is listed as the folder it leads to.
    if (node && !node->linkTarget.empty()) node = find(resolvedKey(keyOf(folder)));
    if (!node || (node->attributes & kAttrDirectory) == 0 || node->unlistable) return nullptr;
    std::vector<DirEntry> entries;
    if (!isRootKey(keyOf(folder))) {
        entries.push_back({".", kAttrDirectory, node->lastWriteTime});
        entries.push_back({"..", kAttrDirectory, node->lastWriteTime});
    }
    for (const auto& childKey : node->children) {
        const Node& child = nodes_.at(childKey);
        entries.push_back({child.name, child.attributes, child.lastWriteTime, child.size, child.reparseTag});
    }
    return std::make_unique<FakeEnumeration>(std::move(entries), openListings, maxOpenListings);
}

SharedText FakeFileSystem::modifiedText(uint64_t lastWriteTime) {
    if (failingTimes_.count(lastWriteTime))
        throw Failure(53, "File not found", std::source_location::current());
    return textOf(lastWriteTime);
}

std::optional<uint64_t> FakeFileSystem::fileSize(const std::string& path) {
    const Node* node = find(path);
    if (!node || (node->attributes & kAttrDirectory) != 0) return std::nullopt;
    return node->size;
}

}  // namespace qv::testing

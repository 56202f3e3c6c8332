#pragma once
// An in-memory file system for the finder and the collection workflow. Paths
// are Windows paths (C:\dir\name, \\server\share\name), compared without regard
// to ASCII case like the platform; names keep the case they were added with.
// A folder lists "." and ".." first (drive and share roots do not), then its
// entries in the order they were added.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "capture/directory_source.h"

namespace qv::testing {

// A FILETIME (UTC) for a calendar date and time.
uint64_t fileTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

inline const uint64_t kDefaultFileTime = fileTime(2024, 5, 1, 12, 34, 56);

class FakeFileSystem : public DirectorySource {
public:
    // Adds a file, or updates the one of that path in place (keeping its place
    // in the listing). Missing parent folders are created.
    void addFile(const std::string& path, uint64_t size = 0, uint64_t lastWriteTime = kDefaultFileTime,
                 uint32_t attributes = kAttrArchive);
    // Adds a folder (and its missing parents). Extra attributes such as hidden or
    // kAttrReparsePoint are added to the directory bit.
    void addFolder(const std::string& path, uint32_t attributes = 0,
                   uint64_t lastWriteTime = kDefaultFileTime);
    // A link to a folder: a reparse point with `tag` (a symbolic link's by
    // default) that leads to `target`, which is listed in its place.
    void addLink(const std::string& path, const std::string& target, uint32_t tag = 0xA000000Cu);
    // A reparse point that holds its own data, such as a cloud file
    // provider's folder: an ordinary folder with a tag.
    void addTaggedFolder(const std::string& path, uint32_t tag);
    // A folder that exists but whose listing cannot be started.
    void setUnlistable(const std::string& folder);
    // modifiedText throws a Failure for this time, as for a time the platform
    // cannot convert.
    void failModifiedTextFor(uint64_t lastWriteTime) { failingTimes_.insert(lastWriteTime); }

    // The deterministic text that modifiedText gives: "YYYY-MM-DD hh:mm:ss" of the
    // UTC time, the date alone at 00:00:00.
    static std::string textOf(uint64_t lastWriteTime);

    // Relative paths given to fullPathName are taken from here.
    std::string currentDirectory = "C:\\";

    // What the finder did to it.
    std::vector<std::string> listed;  // the folders asked for, in order
    int openListings = 0;
    int maxOpenListings = 0;

    std::string fullPathName(const std::string& path) override;
    std::optional<uint32_t> attributes(const std::string& path) override;
    std::unique_ptr<DirEnumeration> list(const std::string& folder) override;
    SharedText modifiedText(uint64_t lastWriteTime) override;
    std::optional<uint64_t> fileSize(const std::string& path) override;
    std::string folderIdentity(const std::string& folder) override;

private:
    struct Node {
        std::string name;
        uint32_t attributes = 0;
        uint64_t lastWriteTime = 0;
        uint64_t size = 0;
        bool unlistable = false;
        uint32_t reparseTag = 0;
        std::string linkTarget;  // the key it leads to, for a link
        std::vector<std::string> children;  // keys, in the order added
    };
    Node* find(const std::string& path);
    // The key of a path with every link on its way followed; "" where a link
    // leads nowhere or round in a circle.
    std::string resolvedKey(std::string key) const;
    Node& addNode(const std::string& path, uint32_t attributes);

    std::map<std::string, Node> nodes_;  // by folded path without trailing backslash (roots keep theirs)
    std::set<uint64_t> failingTimes_;
};

}  // namespace qv::testing

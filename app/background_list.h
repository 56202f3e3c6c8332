#pragma once
// The places that change on their own, between any two snapshots, whatever
// was installed: Wine's start-up keys, Windows' usage records, logs and
// indexes. A row in one of them is marked as background, so that it stands
// apart from the installer's work and stays out of the undo files.
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class BackgroundList {
public:
    // Patterns as the data file holds them: a registry path beginning with its
    // root (long or short name) or a file path; "*" stands for any run of
    // characters, backslashes included, "?" for one; letter case does not count.
    explicit BackgroundList(const std::vector<std::string>& patterns);

    bool empty() const { return patterns_.empty(); }
    // A registry row: `root` is the root's long name, "" where the key name
    // begins with it already; `key` ends with its backslash.
    bool matchesRegistry(std::string_view root, std::string_view key, std::string_view valueName) const;
    bool matchesFile(std::string_view path) const;

private:
    struct Pattern {
        std::string text;    // with the root's long name, folded to upper case
        std::string prefix;  // the letters before the first wildcard
        std::string suffix;  // the letters after the last one
        bool wild = false;
    };
    bool matches(std::string_view path) const;

    std::vector<Pattern> patterns_;
    mutable std::string scratch_;
};

}  // namespace qv

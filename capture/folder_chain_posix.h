#pragma once
// The folders on the way down to the one a walk listed last, each known by
// its name in the Windows path and held by a descriptor, so that the next
// folder of a depth-first walk is opened relative to its parent with one
// openat: no path is resolved from the root again, the cost of a folder does
// not grow with its depth, and no limit on a path's length applies. The
// deepest kOpenFolders keep their descriptors; a walk that climbs above them
// opens its way down again from the nearest one still open.
//
// A descriptor leads to the folder it was opened on even after that folder is
// moved, so the chain serves one walk: a folder that is already in the chain,
// or one outside the folder where the walk began, starts a new walk, opened
// from the drive afresh; so does forget().
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class FolderChain {
public:
    static constexpr size_t kOpenFolders = 64;

    explicit FolderChain(std::filesystem::path prefix) : prefix_(std::move(prefix)) {}
    ~FolderChain() { forget(); }
    FolderChain(const FolderChain&) = delete;
    FolderChain& operator=(const FolderChain&) = delete;

    // A descriptor of its own for the folder at `drive` (a lower-case letter)
    // and `names` below it, which the caller closes; -1 when it cannot be
    // opened. A name that is not there in the case given is looked for in
    // any case, as Wine does.
    int open(char drive, const std::vector<std::string_view>& names);

    // Closes every descriptor; the next folder is opened from its drive.
    void forget();

private:
    struct Step {
        std::string name;  // as the Windows path gives it; the drive's letter for the first
        int fd = -1;       // -1 where it was closed to keep within kOpenFolders
    };

    void truncate(size_t steps);
    void keepWithinBudget();

    std::filesystem::path prefix_;
    std::vector<Step> steps_;  // steps_[0] is the drive, steps_[i] the folder names[i - 1]
    size_t walkSteps_ = 0;     // the steps of the folder where the walk began
    size_t open_ = 0;          // descriptors held
};

}  // namespace qv

#include "capture/folder_chain_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "capture/wine_registry.h"

namespace qv {
namespace {

int openFolderAt(int parent, const char* name) {
    return openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// The folder `name` in `parent`, in the case given or else in any case.
int openName(int parent, std::string_view name) {
    const std::string given(name);
    const int fd = openFolderAt(parent, given.c_str());
    if (fd >= 0 || errno != ENOENT) return fd;
    const int listed = openFolderAt(parent, ".");
    DIR* dir = listed >= 0 ? fdopendir(listed) : nullptr;
    if (!dir) {
        if (listed >= 0) close(listed);
        return -1;
    }
    int found = -1;
    while (const dirent* e = readdir(dir)) {
        if (registryNamesEqual(e->d_name, name)) {
            found = openFolderAt(parent, e->d_name);
            break;
        }
    }
    closedir(dir);
    if (found < 0) errno = ENOENT;
    return found;
}

}  // namespace

void FolderChain::forget() {
    truncate(0);
    walkSteps_ = 0;
}

void FolderChain::truncate(size_t steps) {
    while (steps_.size() > steps) {
        if (steps_.back().fd >= 0) {
            close(steps_.back().fd);
            --open_;
        }
        steps_.pop_back();
    }
}

// The drive and the deepest folders keep theirs; those between give theirs
// up, shallowest first.
void FolderChain::keepWithinBudget() {
    for (size_t i = 1; open_ > kOpenFolders && i < steps_.size(); ++i) {
        if (steps_[i].fd < 0) continue;
        close(steps_[i].fd);
        steps_[i].fd = -1;
        --open_;
    }
}

int FolderChain::open(char drive, const std::vector<std::string_view>& names) {
    const size_t steps = names.size() + 1;
    size_t common = 0;
    if (!steps_.empty() && steps_[0].name.size() == 1 && steps_[0].name[0] == drive) {
        common = 1;
        while (common < steps && common < steps_.size() && steps_[common].name == names[common - 1]) ++common;
    }
    if (common == steps || common < walkSteps_ || common == 0) {
        truncate(0);
        common = 0;
        walkSteps_ = steps;
    }
    truncate(common);
    if (steps_.empty()) {
        const std::string device = (prefix_ / "dosdevices" / std::string{drive, ':'}).string();
        const int fd = ::open(device.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return -1;
        steps_.push_back({std::string(1, drive), fd});
        ++open_;
    }
    // The nearest folder on the way that is still open, and from it down.
    size_t from = steps_.size() - 1;
    while (steps_[from].fd < 0) --from;
    for (size_t i = from + 1; i < steps; ++i) {
        const int fd = openName(steps_[i - 1].fd, names[i - 1]);
        if (fd < 0) {
            truncate(i);
            return -1;
        }
        if (i < steps_.size()) {
            steps_[i].fd = fd;
        } else {
            steps_.push_back({std::string(names[i - 1]), fd});
        }
        ++open_;
        keepWithinBudget();
        // The budget never takes the folder just opened nor its parent.
    }
    return fcntl(steps_.back().fd, F_DUPFD_CLOEXEC, 0);
}

}  // namespace qv

#pragma once
// A chain of nested folders deeper than any path may be long, made and taken
// away through descriptors (no path is ever given whole):
//   <base>/folder-0000/folder-0001/.../folder-<depth-1>/leaf.txt
// and, where `sideAt` names one of its folders, a subfolder "zz" there with
// "side.txt", which a depth-first walk reaches only after the deepest folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace qv::testing {

inline std::string deepFolderName(int i) {
    char name[24];
    std::snprintf(name, sizeof name, "folder-%04d", i);
    return name;
}

inline void writeFileAt(int dir, const char* name) {
    const int fd = openat(dir, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) close(fd);
}

inline bool buildDeepChain(const std::string& base, int depth, int sideAt = -1) {
    int fd = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; fd >= 0 && i < depth; ++i) {
        const std::string name = deepFolderName(i);
        mkdirat(fd, name.c_str(), 0755);
        const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
        if (i == sideAt && fd >= 0) {
            mkdirat(fd, "zz", 0755);
            const int side = openat(fd, "zz", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            writeFileAt(side, "side.txt");
            if (side >= 0) close(side);
        }
    }
    if (fd < 0) return false;
    writeFileAt(fd, "leaf.txt");
    close(fd);
    return true;
}

inline void removeDeepChain(const std::string& base, int depth, int sideAt = -1) {
    int fd = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int reached = -1;
    for (int i = 0; fd >= 0 && i < depth; ++i) {
        const int next = openat(fd, deepFolderName(i).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (next < 0) break;
        close(fd);
        fd = next;
        reached = i;
    }
    if (fd < 0) return;
    unlinkat(fd, "leaf.txt", 0);
    for (int i = reached; i >= 0; --i) {
        if (i == sideAt) {
            const int side = openat(fd, "zz", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (side >= 0) {
                unlinkat(side, "side.txt", 0);
                close(side);
            }
            unlinkat(fd, "zz", AT_REMOVEDIR);
        }
        const int parent = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        if (parent < 0) return;
        unlinkat(parent, deepFolderName(i).c_str(), AT_REMOVEDIR);
        fd = parent;
    }
    close(fd);
}

}  // namespace qv::testing

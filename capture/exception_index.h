#pragma once
// Lookups into the exception lists that cost O(1) or O(log n) per entry however
// long the lists grow. Each index is built from the list the first time it is
// asked, and built again whenever the list has been replaced since: a handler
// run during a walk's yield (the settings dialog's OK) may change the list.
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/snapshot_types.h"
#include "core/yielder.h"

namespace qv {

// The copy of the list an index was built from. The list is compared with it
// only after handlers have had the thread since the last look (the yielder's
// turn moved, or is unknown), so a walk pays for the comparison once a pump,
// not once an entry.
template <class T>
class IndexedList {
public:
    // True when `list` differs from the copy, which then takes its content.
    bool changed(const std::vector<T>& list, unsigned long long turn) {
        if (valid_ && turn == turn_ && turn != Yielder::kTurnsUnknown) return false;
        turn_ = turn;
        if (valid_ && list == copy_) return false;
        copy_ = list;
        valid_ = true;
        return true;
    }
    // Something other than a yield may have run handlers (a modal error box).
    void forget() { valid_ = false; }

private:
    std::vector<T> copy_;
    unsigned long long turn_ = 0;
    bool valid_ = false;
};

// The registry exceptions of one hive: an exact, case-sensitive match of the
// key path. Exceptions whose hive name is none of the five never match.
class RegistryExceptionIndex {
public:
    explicit RegistryExceptionIndex(int32_t hive) : hive_(hive) {}
    // Whether some exception from index 1 on names `keyPath` in this hive.
    // `turn` is the walk's yielder's turns().
    bool covers(const std::vector<RegException>& exceptions, const std::string& keyPath,
                unsigned long long turn);

private:
    int32_t hive_;
    IndexedList<RegException> built_;
    std::unordered_set<std::string> paths_;
};

// The file exceptions: "File" entries match a file's full path exactly;
// "Folder" entries match every folder path (with its backslash) that they
// begin, so C:\Temp also covers C:\Temp2\. An empty "Folder" path is no
// exception at all; entries of any other kind never match.
class FileExceptionIndex {
public:
    bool coversFile(const std::vector<FileException>& exceptions, const std::string& path,
                    unsigned long long turn);
    bool coversFolder(const std::vector<FileException>& exceptions, const std::string& folderPath,
                      unsigned long long turn);
    void forget() { built_.forget(); }

private:
    void refresh(const std::vector<FileException>& exceptions, unsigned long long turn);

    IndexedList<FileException> built_;
    std::unordered_set<std::string> files_;
    // Sorted, and none begins another: the only candidate prefix of a path is
    // then the greatest entry not above it.
    std::vector<std::string> folders_;
};

}  // namespace qv

#include "app/change_detection.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "app/first_index_table.h"

namespace qv {
namespace {

constexpr std::string_view kCheckingNewRegistry = "Checking for new/edited registry data... ";
constexpr std::string_view kCheckingDeletedRegistry = "Checking for deleted registry data ";
constexpr std::string_view kCheckingNewFiles = "Checking for new/edited files... ";
constexpr std::string_view kCheckingDeletedFiles = "Checking for deleted files ";

// Keeps the window's commands disabled for as long as detection runs, and
// gives them back on every way out, a throwing view call included.
class CommandLock {
public:
    explicit CommandLock(MainView& view) : view_(view) { view_.lockCommands(true); }
    CommandLock(const CommandLock&) = delete;
    CommandLock& operator=(const CommandLock&) = delete;
    ~CommandLock() {
        if (!held_) return;
        try {
            view_.lockCommands(false);
        } catch (...) {
            // Already leaving through an exception; a second one would end the program.
        }
    }
    void release() {
        held_ = false;
        view_.lockCommands(false);
    }

private:
    MainView& view_;
    bool held_ = true;
};

// The status text changes once per outer step; one buffer serves them all so a
// step costs a copy of the name, not an allocation.
class StatusLine {
public:
    void show(StatusSink& sink, std::string_view prefix, std::string_view name) {
        buffer_.assign(prefix);
        buffer_.append(name);
        sink.setStatus(buffer_);
    }

private:
    std::string buffer_;
};

// The filter entries stand at index 1 on; element 0 is not an entry.
class FilterSet {
public:
    explicit FilterSet(const std::vector<std::string>& list) {
        for (size_t f = 1; f < list.size(); ++f) texts_.insert(list[f]);
    }
    bool suppresses(std::string_view data) const { return !texts_.empty() && texts_.contains(data); }

private:
    std::unordered_set<std::string_view> texts_;
};

// A walk records at least one entry with a key path; a snapshot that was never
// filled holds only its empty element 0, which stands for nothing.
bool holdsRealEntry(const RegSnapshot& snapshot) {
    return snapshot.size() > 1 || (snapshot.size() == 1 && !snapshot.front().KeyName.empty());
}

int64_t upperBound(size_t size) {
    return size == 0 ? 0 : static_cast<int64_t>(size - 1);
}

uint64_t nameHash(const RegEntry& e) {
    return mixHash(hashText(e.KeyName), hashText(e.ValueName));
}
uint64_t entryHash(const RegEntry& e) {
    return mixHash(nameHash(e), hashText(e.ValueData));
}
bool sameName(const RegEntry& a, const RegEntry& b) {
    return a.ValueName == b.ValueName && a.KeyName == b.KeyName;
}
bool sameEntry(const RegEntry& a, const RegEntry& b) {
    return sameName(a, b) && a.ValueData == b.ValueData;
}

ResultRow registryRow(const RegEntry& e) {
    return ResultRow{e.KeyName, e.ValueName, e.ValueData};
}

// The present size of a file; empty when it cannot be measured (deleted again,
// locked, not accessible). Such a file still gets its row.
std::string sizeText(DirectorySource& files, const std::string& path) {
    try {
        std::optional<uint64_t> size = files.fileSize(path);
        return size ? std::to_string(*size) : std::string();
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        return std::string();
    }
}

class Detection {
public:
    explicit Detection(DetectionContext& ctx)
        : state_(ctx.state),
          view_(ctx.view),
          yielder_(ctx.yielder),
          files_(ctx.files),
          switches_(ctx.state.switches),
          filter_(ctx.state.FilterList) {}

    void run() {
        view_.setProgressValue(0);
        yielder_.yield();
        if (view_.registryTicked() && switches_.anyRegistry()) registryPasses();
        filePasses();
    }

private:
    void registryPasses() {
        const bool newOrEdited = switches_.chkNewRegSetting != 0 || switches_.chkEditedRegSetting != 0;
        if (newOrEdited && holdsRealEntry(state_.regArray2)) newAndEditedEntries();
        if (switches_.chkDeleteRegSetting != 0 && holdsRealEntry(state_.regArray)) deletedEntries();
    }

    // Every final entry is looked up by key and value name among the first
    // entries; the earliest first entry with that name decides whether it was edited.
    void newAndEditedEntries() {
        const RegSnapshot& firstSnap = state_.regArray;
        const RegSnapshot& finalSnap = state_.regArray2;
        FirstIndexTable byName(firstSnap.size());
        for (size_t k = 0; k < firstSnap.size(); ++k) {
            byName.insertFirst(nameHash(firstSnap[k]), k,
                               [&](size_t s) { return sameName(firstSnap[s], firstSnap[k]); });
        }
        view_.setProgressMax(upperBound(finalSnap.size()));
        for (size_t i = 0; i < finalSnap.size(); ++i) {
            const RegEntry& f = finalSnap[i];
            step(i, kCheckingNewRegistry, f.KeyName);
            if (filter_.suppresses(f.ValueData)) continue;
            std::optional<size_t> s =
                byName.find(nameHash(f), [&](size_t stored) { return sameName(firstSnap[stored], f); });
            if (!s) {
                // New entries are listed whenever this pass runs, also when only
                // the edited switch is on.
                view_.appendRow(ListId::NewEntries, registryRow(f));
            } else if (firstSnap[*s].ValueData != f.ValueData && switches_.chkEditedRegSetting == 1) {
                view_.appendRow(ListId::EditedRegistry, registryRow(f));
            }
        }
    }

    // A first entry is gone unless the final snapshot holds the same key, name
    // and data; an edited value therefore shows here with its old data too.
    void deletedEntries() {
        const RegSnapshot& firstSnap = state_.regArray;
        const RegSnapshot& finalSnap = state_.regArray2;
        FirstIndexTable entries(finalSnap.size());
        for (size_t k = 0; k < finalSnap.size(); ++k) {
            entries.insertFirst(entryHash(finalSnap[k]), k,
                                [&](size_t s) { return sameEntry(finalSnap[s], finalSnap[k]); });
        }
        view_.setProgressMax(upperBound(firstSnap.size()));
        for (size_t i = 0; i < firstSnap.size(); ++i) {
            const RegEntry& s = firstSnap[i];
            step(i, kCheckingDeletedRegistry, s.KeyName);
            if (entries.find(entryHash(s), [&](size_t stored) { return sameEntry(finalSnap[stored], s); }))
                continue;
            if (filter_.suppresses(s.ValueData)) continue;
            // The entry of a key without values is never reported as deleted.
            if (s.ValueName.empty()) continue;
            view_.appendRow(ListId::DeletedEntries, registryRow(s));
        }
    }

    void filePasses() {
        view_.setProgressValue(0);
        // No final file scan means nothing to compare; a final scan that found
        // nothing means every first file is gone.
        if (!state_.FinishFileScanRan && state_.FinishFileList.size() <= 1) return;
        newAndModifiedFiles();
        if (switches_.chkDeleteFilesSetting == 0 || state_.StartFileList.size() <= 1) return;
        deletedFiles();
    }

    // Element 0 of both file lists is the empty element; it stays in the index
    // because the first-match search includes it.
    void newAndModifiedFiles() {
        const FileSnapshot& firstSnap = state_.StartFileList;
        const FileSnapshot& finalSnap = state_.FinishFileList;
        FirstIndexTable byPath(firstSnap.size());
        for (size_t k = 0; k < firstSnap.size(); ++k) {
            byPath.insertFirst(hashText(firstSnap[k].Filepath), k,
                               [&](size_t s) { return firstSnap[s].Filepath == firstSnap[k].Filepath; });
        }
        view_.setProgressMax(upperBound(finalSnap.size()));
        for (size_t i = 1; i < finalSnap.size(); ++i) {
            const FileSnapshotEntry& f = finalSnap[i];
            step(i, kCheckingNewFiles, f.Filepath);
            std::optional<size_t> s = byPath.find(hashText(f.Filepath), [&](size_t stored) {
                return firstSnap[stored].Filepath == f.Filepath;
            });
            if (!s) {
                view_.appendRow(ListId::NewFiles,
                                ResultRow{f.Filepath, sizeText(files_, f.Filepath), f.ModifiedDate});
            } else if (firstSnap[*s].ModifiedDate != f.ModifiedDate) {
                view_.appendRow(ListId::ModifiedFiles,
                                ResultRow{f.Filepath, sizeText(files_, f.Filepath), f.ModifiedDate});
            }
        }
    }

    void deletedFiles() {
        const FileSnapshot& firstSnap = state_.StartFileList;
        const FileSnapshot& finalSnap = state_.FinishFileList;
        FirstIndexTable paths(finalSnap.size());
        for (size_t k = 0; k < finalSnap.size(); ++k) {
            paths.insertFirst(hashText(finalSnap[k].Filepath), k,
                              [&](size_t s) { return finalSnap[s].Filepath == finalSnap[k].Filepath; });
        }
        view_.setProgressMax(upperBound(firstSnap.size()));
        for (size_t i = 0; i < firstSnap.size(); ++i) {
            const FileSnapshotEntry& s = firstSnap[i];
            step(i, kCheckingDeletedFiles, s.Filepath);
            if (paths.find(hashText(s.Filepath),
                           [&](size_t stored) { return finalSnap[stored].Filepath == s.Filepath; }))
                continue;
            view_.appendRow(ListId::DeletedFiles, ResultRow{s.Filepath, std::string(), std::string()});
        }
    }

    // One outer step: hand the thread to the window, then show where we are.
    void step(size_t i, std::string_view prefix, std::string_view name) {
        yielder_.yield();
        view_.setProgressValue(static_cast<int64_t>(i));
        status_.show(view_, prefix, name);
    }

    const AppState& state_;
    MainView& view_;
    Yielder& yielder_;
    DirectorySource& files_;
    const DetectionSwitches& switches_;
    FilterSet filter_;
    StatusLine status_;
};

}  // namespace

void Detect_Click(DetectionContext& ctx) {
    CommandLock lock(ctx.view);
    Detection(ctx).run();
    // Unlock first: the window restores the commands it had before the lock,
    // and "Detect changes" must end up disabled whatever it was then.
    lock.release();
    ctx.view.setDetectEnabled(false);
    ctx.view.setProgressValue(0);
    ctx.view.setStatus("");
    ctx.prompt.ask("Detection done", "Done", Buttons::Ok, Icon::Information);
}

}  // namespace qv

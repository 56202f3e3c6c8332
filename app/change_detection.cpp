#include "app/change_detection.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "capture/value_rendering.h"
#include "app/background_list.h"
#include "app/snapshot_index.h"
#include "capture/registry_provider.h"

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

// The status text changes once per outer step: a pass sets its prefix once,
// and each step replaces only the name behind it, in a buffer that is reused
// rather than allocated per step.
class StatusLine {
public:
    void begin(std::string_view prefix) {
        buffer_.assign(prefix);
        prefixLength_ = prefix.size();
    }
    void show(StatusSink& sink, std::string_view name) {
        buffer_.resize(prefixLength_);
        buffer_.append(name);
        sink.setStatus(buffer_);
    }

private:
    std::string buffer_;
    size_t prefixLength_ = 0;
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
// Extends name hashes to hashes of the whole entry, name and data.
void addDataHashes(const RegSnapshot& snapshot, std::vector<uint64_t>& hashes) {
    for (size_t k = 0; k < snapshot.size(); ++k)
        hashes[k] = mixHash(hashes[k], hashText(snapshot[k].ValueData));
}
bool sameName(const RegEntry& a, const RegEntry& b) {
    return a.ValueName == b.ValueName && a.KeyName == b.KeyName;
}
// A value whose type changed is changed, even where its text did not (the
// string "5" that became the DWORD 5). A key's own entry has no type to change.
// So is a value whose bytes changed under the same text: an expandable string
// "%SystemRoot%\x" that became "C:\windows\x". Where neither side kept bytes
// of their own, they follow from the text and type alike.
bool sameData(const RegEntry& a, const RegEntry& b) {
    if (a.ValueData != b.ValueData) return false;
    if (a.ValueType == kKeyEntryType || b.ValueType == kKeyEntryType) return true;
    if (a.ValueType != b.ValueType) return false;
    if (a.Raw != RawForm::Stored && b.Raw != RawForm::Stored) return true;
    if (a.Raw == RawForm::NotRecorded || b.Raw == RawForm::NotRecorded) return true;  // an older snapshot file
    return rawValueBytes(a) == rawValueBytes(b);
}
bool sameEntry(const RegEntry& a, const RegEntry& b) {
    return sameName(a, b) && sameData(a, b);
}
uint64_t pathHash(const FileSnapshotEntry& e) {
    return hashText(e.Filepath);
}
bool samePath(const FileSnapshotEntry& a, const FileSnapshotEntry& b) {
    return a.Filepath == b.Filepath;
}

// The root that registry rows' key names are below: "" where they begin with
// it themselves (a collection of several places).
std::string registryRoot(const AppState& state) {
    if (!state.FirstPlaces || !state.FirstPlaces->registryWalked) return {};
    return std::string(hiveName(state.FirstPlaces->hive));
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
          recordedSizes_(ctx.recordedSizes),
          switches_(ctx.state.switches),
          filter_(ctx.state.FilterList),
          background_(ctx.state.BackgroundList),
          root_(registryRoot(ctx.state)) {}

    void run() {
        view_.setProgressValue(0);
        yielder_.yield();
        if (view_.registryTicked() && switches_.anyRegistry()) registryPasses();
        filePasses();
    }

private:
    void registryPasses() {
        const bool newOrEdited = switches_.chkNewRegSetting != 0 || switches_.chkEditedRegSetting != 0;
        const bool runNew = newOrEdited && holdsRealEntry(state_.regArray2);
        const bool runDeleted = switches_.chkDeleteRegSetting != 0 && holdsRealEntry(state_.regArray);
        if (!runNew && !runDeleted) return;
        std::vector<uint64_t> firstHashes = keyHashes(state_.regArray, nameHash);
        std::vector<uint64_t> finalHashes = keyHashes(state_.regArray2, nameHash);
        // The deleted pass needs to know which first entries were edited, so
        // the pass by name runs for it too, even where it lists nothing.
        if (runNew || (runDeleted && holdsRealEntry(state_.regArray2)))
            newAndEditedEntries(firstHashes, finalHashes, runNew);
        if (!runDeleted) return;
        addDataHashes(state_.regArray, firstHashes);
        addDataHashes(state_.regArray2, finalHashes);
        deletedEntries(firstHashes, finalHashes);
    }

    // Every final entry is looked up by key and value name among the first
    // entries; the earliest first entry with that name decides whether it was
    // edited, and is marked as such for the deleted pass.
    void newAndEditedEntries(const std::vector<uint64_t>& firstHashes, const std::vector<uint64_t>& finalHashes,
                             bool listRows) {
        const RegSnapshot& firstSnap = state_.regArray;
        const RegSnapshot& finalSnap = state_.regArray2;
        SnapshotIndex byName(table_, firstSnap, firstHashes, finalSnap, finalHashes, sameName);
        edited_.assign(firstSnap.size(), false);
        view_.setProgressMax(upperBound(finalSnap.size()));
        status_.begin(kCheckingNewRegistry);
        for (size_t i = 0; i < finalSnap.size(); ++i) {
            const RegEntry& f = finalSnap[i];
            step(i, f.KeyName);
            std::optional<size_t> s = byName.firstMatch(i);
            const bool changed = s && !sameData(firstSnap[*s], f);
            if (changed) edited_[*s] = true;
            if (!listRows || filter_.suppresses(f.ValueData)) continue;
            if (!s) {
                // New entries are listed whenever this pass runs, also when only
                // the edited switch is on.
                view_.appendRow(ListId::NewEntries, registryRow(f));
            } else if (changed && switches_.chkEditedRegSetting == 1) {
                view_.appendRow(ListId::EditedRegistry, registryRow(f));
            }
        }
    }

    // A first entry is gone unless the final snapshot holds the same key, name
    // and data; an edited value therefore shows here with its old data too.
    void deletedEntries(const std::vector<uint64_t>& firstHashes, const std::vector<uint64_t>& finalHashes) {
        const RegSnapshot& firstSnap = state_.regArray;
        const RegSnapshot& finalSnap = state_.regArray2;
        SnapshotIndex entries(table_, finalSnap, finalHashes, firstSnap, firstHashes, sameEntry);
        view_.setProgressMax(upperBound(firstSnap.size()));
        status_.begin(kCheckingDeletedRegistry);
        for (size_t i = 0; i < firstSnap.size(); ++i) {
            const RegEntry& s = firstSnap[i];
            step(i, s.KeyName);
            if (entries.firstMatch(i)) continue;
            if (filter_.suppresses(s.ValueData)) continue;
            // The entry of a key without values is never reported as deleted;
            // a default value, which has the empty name too, is.
            if (s.ValueName.empty() && s.ValueType == kKeyEntryType) continue;
            ResultRow row = registryRow(s);
            row.oldData = i < edited_.size() && edited_[i];
            view_.appendRow(ListId::DeletedEntries, std::move(row));
        }
    }

    void filePasses() {
        view_.setProgressValue(0);
        // No final file scan means nothing to compare; a final scan that found
        // nothing means every first file is gone.
        if (!state_.FinishFileScanRan && state_.FinishFileList.size() <= 1) return;
        const std::vector<uint64_t> firstHashes = keyHashes(state_.StartFileList, pathHash);
        const std::vector<uint64_t> finalHashes = keyHashes(state_.FinishFileList, pathHash);
        newAndModifiedFiles(firstHashes, finalHashes);
        if (switches_.chkDeleteFilesSetting == 0 || state_.StartFileList.size() <= 1) return;
        deletedFiles(firstHashes, finalHashes);
    }

    // Element 0 of both file lists is the empty element; it stays in the index
    // because the first-match search includes it.
    void newAndModifiedFiles(const std::vector<uint64_t>& firstHashes,
                             const std::vector<uint64_t>& finalHashes) {
        const FileSnapshot& firstSnap = state_.StartFileList;
        const FileSnapshot& finalSnap = state_.FinishFileList;
        SnapshotIndex byPath(table_, firstSnap, firstHashes, finalSnap, finalHashes, samePath);
        view_.setProgressMax(upperBound(finalSnap.size()));
        status_.begin(kCheckingNewFiles);
        for (size_t i = 1; i < finalSnap.size(); ++i) {
            const FileSnapshotEntry& f = finalSnap[i];
            step(i, f.Filepath);
            std::optional<size_t> s = byPath.firstMatch(i);
            if (!s) {
                if (!comparesFolders_ && isFolderPath(f.Filepath)) continue;
                view_.appendRow(ListId::NewFiles, fileRow(f));
            } else if (modified(firstSnap[*s], f)) {
                ResultRow row = fileRow(f);
                addFirstState(row, firstSnap[*s]);
                view_.appendRow(ListId::ModifiedFiles, std::move(row));
            }
        }
    }

    void deletedFiles(const std::vector<uint64_t>& firstHashes, const std::vector<uint64_t>& finalHashes) {
        const FileSnapshot& firstSnap = state_.StartFileList;
        const FileSnapshot& finalSnap = state_.FinishFileList;
        SnapshotIndex paths(table_, finalSnap, finalHashes, firstSnap, firstHashes, samePath);
        view_.setProgressMax(upperBound(firstSnap.size()));
        status_.begin(kCheckingDeletedFiles);
        for (size_t i = 0; i < firstSnap.size(); ++i) {
            const FileSnapshotEntry& s = firstSnap[i];
            step(i, s.Filepath);
            if (paths.firstMatch(i)) continue;
            if (!comparesFolders_ && isFolderPath(s.Filepath)) continue;
            ResultRow row{s.Filepath, std::string(), std::string()};
            addFirstState(row, s);
            row.background = background_.matchesFile(row.text);
            view_.appendRow(ListId::DeletedFiles, std::move(row));
        }
    }

    // A file is modified when its date text changed, or its size (whatever its
    // date says: a rewrite within the same second, a time set back), or, when
    // the user asks for it, its attributes. Sizes and attributes count only
    // where both snapshots recorded them.
    bool modified(const FileSnapshotEntry& first, const FileSnapshotEntry& final) const {
        // A folder's date moves with every name added to it or taken from
        // it: those names are the changes to show, not the folder.
        if (isFolderPath(final.Filepath)) return false;
        if (first.ModifiedDate != final.ModifiedDate) return true;
        if (first.Size != kUnknownFileSize && final.Size != kUnknownFileSize && first.Size != final.Size) return true;
        return switches_.chkAttributeChangesSetting != 0 && first.Attributes != kUnknownFileAttributes &&
               final.Attributes != kUnknownFileAttributes && first.Attributes != final.Attributes;
    }

    ResultRow fileRow(const FileSnapshotEntry& f) {
        const bool folder = isFolderPath(f.Filepath);
        const bool recorded = recordedSizes_ && f.Size != kUnknownFileSize;
        std::string size;
        if (!folder) size = recorded ? std::to_string(f.Size) : sizeText(files_, f.Filepath);
        ResultRow row{f.Filepath, std::move(size), f.ModifiedDate.str()};
        row.modifiedLocal = f.ModifiedLocal;
        row.utcOffset = f.UtcOffset;
        row.background = background_.matchesFile(f.Filepath);
        return row;
    }

    static void addFirstState(ResultRow& row, const FileSnapshotEntry& first) {
        row.firstSize = first.Size;
        row.firstDate = first.ModifiedDate.str();
        row.firstModifiedLocal = first.ModifiedLocal;
        row.firstUtcOffset = first.UtcOffset;
    }

    ResultRow registryRow(const RegEntry& e) const {
        ResultRow row{e.KeyName.str(), e.ValueName, e.ValueData, e.ValueType};
        row.background = background_.matchesRegistry(root_, row.text, row.sub1);
        return row;
    }

    // One outer step: hand the thread to the window, then show where we are.
    void step(size_t i, std::string_view name) {
        yielder_.yield();
        view_.setProgressValue(static_cast<int64_t>(i));
        status_.show(view_, name);
    }

    const AppState& state_;
    MainView& view_;
    Yielder& yielder_;
    DirectorySource& files_;
    const bool recordedSizes_;
    const DetectionSwitches& switches_;
    FilterSet filter_;
    BackgroundList background_;
    const std::string root_;
    // Folders are compared only where both snapshots recorded them: a
    // snapshot file of an older version holds none.
    const bool comparesFolders_ = state_.StartFoldersRecorded && state_.FinishFoldersRecorded;
    std::vector<bool> edited_;  // first entries whose value the final snapshot holds with other data
    StatusLine status_;
    FirstIndexTable table_;  // one slot array lent to each pass in turn
};

}  // namespace

bool listChecked(ListId list, const DetectionSwitches& switches, bool registryCompared, bool filesCompared) {
    switch (list) {
        case ListId::NewEntries:
            return registryCompared && (switches.chkNewRegSetting != 0 || switches.chkEditedRegSetting != 0);
        case ListId::DeletedEntries:
            return registryCompared && switches.chkDeleteRegSetting != 0;
        case ListId::EditedRegistry:
            return registryCompared && switches.chkEditedRegSetting == 1;
        case ListId::NewFiles:
        case ListId::ModifiedFiles:
            return filesCompared;
        case ListId::DeletedFiles:
            return filesCompared && switches.chkDeleteFilesSetting != 0;
    }
    return false;
}

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

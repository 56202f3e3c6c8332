#pragma once
// The main window as the workflow, the captures and detection see it.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/status_sink.h"

namespace qv {

// The six result lists, in the order of their tabs (tab index - 1).
enum class ListId { NewEntries, DeletedEntries, EditedRegistry, NewFiles, DeletedFiles, ModifiedFiles };

struct ResultRow {
    std::string text;  // first column
    std::string sub1;
    std::string sub2;
    // A registry row's value type, for the exports that name it; not shown,
    // and not part of what makes two rows the same.
    uint32_t type = UINT32_MAX;
    // A file row's date as local seconds since 1601, for the same reason; -1
    // where it was not recorded.
    int64_t modifiedLocal = -1;
    int32_t utcOffset = INT32_MIN;  // local less UTC at that date, in seconds; INT32_MIN where not recorded
    // A deleted-list row that holds the old data of a value the final
    // snapshot still has under another value: an edit, not a deletion.
    bool oldData = false;
    // A change that the system makes on its own (a place on the background
    // list), not the installer's.
    bool background = false;
    // A modified or deleted file's size and date in the first snapshot.
    uint64_t firstSize = UINT64_MAX;
    std::string firstDate{};
    int64_t firstModifiedLocal = -1;
    int32_t firstUtcOffset = INT32_MIN;
    bool operator==(const ResultRow& other) const {
        return text == other.text && sub1 == other.sub1 && sub2 == other.sub2;
    }
};

// A file list's row for a folder: its path ends with a backslash, as the
// start folder is written.
inline bool isFolderPath(std::string_view path) {
    return !path.empty() && path.back() == '\\';
}

class MainView : public StatusSink {
public:
    virtual bool registryTicked() const = 0;  // chkDetectRegistry
    virtual bool filesTicked() const = 0;     // chkDetectFiles

    virtual std::string collectCaption() const = 0;  // cmdSnapShot
    virtual void setCollectCaption(std::string_view caption) = 0;
    virtual void setCollectEnabled(bool enabled) = 0;
    virtual void setDetectEnabled(bool enabled) = 0;  // cmdDetectChanges

    virtual std::string regRootText() const = 0;    // cmbRegStart
    virtual void setRegRootText(std::string_view hiveName) = 0;  // one of its items
    virtual std::string regKeyText() const = 0;     // txtRegKeyStart
    virtual void setRegKeyText(std::string_view text) = 0;
    virtual std::string fileStartText() const = 0;  // txtFileSystemStart
    virtual void setFileStartText(std::string_view text) = 0;

    virtual void clearList(ListId list) = 0;
    virtual void appendRow(ListId list, ResultRow row) = 0;

    virtual void setProgressMax(int64_t max) = 0;  // pbBar1
    virtual void setProgressValue(int64_t value) = 0;

    // A capture runs from true to false: the window may show activity and
    // what has been recorded so far.
    virtual void showCapture(bool /*running*/) {}

    // While detection runs, every command of the window is disabled so nothing
    // can change the snapshots mid-pass; unlocking restores what was enabled.
    virtual void lockCommands(bool locked) = 0;

    // The window's handle, which the pickers it opens belong to; 0 for none.
    virtual intptr_t windowHandle() const { return 0; }
};

}  // namespace qv

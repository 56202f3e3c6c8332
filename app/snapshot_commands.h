#pragma once
// The window's File menu: the first snapshot saved to a file and opened again
// in place of a first collection, and the six lists exported. The dialogs are
// reached through the picker interfaces, so all of it runs natively in tests.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/collection_workflow.h"
#include "app/exports.h"
#include "app/main_view.h"
#include "app/result_lists.h"
#include "core/app_state.h"
#include "core/error_sink.h"
#include "core/pickers.h"
#include "core/snapshot_file.h"
#include "core/user_prompt.h"

namespace qv {

// What the menu needs of the window beyond MainView: the check boxes a
// loaded collection ticks, the rows the lists show, and whether detection
// holds the commands.
class SnapshotView {
public:
    virtual ~SnapshotView() = default;
    // Tick or untick the check box with what its click does to the controls
    // that depend on it.
    virtual void setRegistryTicked(bool ticked) = 0;  // chkDetectRegistry
    virtual void setFilesTicked(bool ticked) = 0;     // chkDetectFiles
    virtual const std::vector<ResultRow>& resultRows(ListId list) const = 0;
    virtual bool commandsLocked() const = 0;
};

ResultLists shownResults(const SnapshotView& view);
ResultContext resultContext(const AppState& state);

struct ExportTarget {
    std::string path;
    ExportFormat format;
    bool operator==(const ExportTarget&) const = default;
};
// A name ending in one of the five extensions is written in that format;
// any other gets the chosen filter's format and extension.
ExportTarget exportTarget(std::string path, uint32_t filterIndex);

struct SnapshotServices {
    AppState& state;
    MainView& view;
    SnapshotView& places;
    UserPrompt& prompt;
    ErrorSink& reporter;
    FilePicker& openPicker;
    SaveFilePicker& savePicker;
    CollectionWorkflow& workflow;
};

class SnapshotCommands {
public:
    explicit SnapshotCommands(SnapshotServices services);

    // The owner window of the dialogs.
    intptr_t owner = 0;

    // What the menu offers now; the others are greyed.
    bool canSave() const;
    bool canOpen() const;
    bool canExport() const;

    // Each is a complete event handler: failures are reported and end it.
    void mnuSaveFirst_Click();
    void mnuOpenFirst_Click();
    void mnuExport_Click();

    // The save dialog and the write of "Save first snapshot"; true once the
    // file is written, false when cancelled or refused (the user was told).
    bool saveFirstAs();
    // The first snapshot written to `path` without a dialog or a message.
    bool saveFirstTo(const std::string& path, std::string& error);
    // Opens `path` in place of a first collection, as the menu does; false,
    // after telling the user, when the file cannot be used.
    bool openFirst(const std::string& path);

    // Told when the first snapshot is in a file the user chose (saved to it,
    // or opened from it), and when the results were exported.
    std::function<void(const std::string& path)> firstInFile;
    std::function<void()> exported;

private:
    void refuse(std::string_view title, const std::string& why);
    bool busy() const;
    // True when the command may run; otherwise the user is told why not.
    bool available(bool can, std::string_view title, std::string_view why);
    // Puts a loaded first collection into the state and the window exactly
    // as a first collection of the same places leaves them.
    void apply(Collection collection);

    SnapshotServices s_;
    FileDialog snapshotDialog_;
    FileDialog exportDialog_;
};

}  // namespace qv

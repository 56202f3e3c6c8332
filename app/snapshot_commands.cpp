#include "app/snapshot_commands.h"

#include <algorithm>
#include <utility>

#include "app/change_detection.h"
#include "app/exports.h"
#include "app/unread_places.h"
#include "capture/registry_provider.h"
#include "core/handler.h"
#include "core/whole_file.h"

namespace qv {
namespace {

constexpr const char* kSaveTitle = "Save first snapshot";
constexpr const char* kOpenTitle = "Open first snapshot";
constexpr const char* kExportTitle = "Export results";
constexpr const char* kWait = "Please wait until the collection or the detection has finished.";
// Both save dialogs: a name in an existing folder, confirmed before replacing.
constexpr uint32_t kSaveFlags =
    OFN_EXPLORER_FLAG | OFN_LONGNAMES_FLAG | OFN_HIDEREADONLY_FLAG | OFN_OVERWRITEPROMPT_FLAG | OFN_PATHMUSTEXIST_FLAG;
constexpr const char* kSnapshotFilter = "Quorvel snapshot (*.qvs)\0*.qvs\0All files (*.*)\0*.*\0";

// The platform's "Path/File access error", for files that cannot be read,
// written or understood; the description says which and why.

struct ExportKind {
    ExportFormat format;
    const char* extension;
    const char* description;
};
// In the order of the export dialog's filters.
constexpr ExportKind kExportKinds[] = {
    {ExportFormat::Csv, ".csv", "CSV for spreadsheets (*.csv)"},
    {ExportFormat::Html, ".html", "Web page (*.html)"},
    {ExportFormat::Json, ".json", "JSON (*.json)"},
    {ExportFormat::RegUndo, ".reg", "Registry file that undoes the changes (*.reg)"},
    {ExportFormat::Cmd, ".cmd", "Command file that deletes the new files (*.cmd)"},
    {ExportFormat::Markdown, ".md", "Markdown report for tickets and forum posts (*.md)"},
};

std::string exportFilter() {
    std::string filter;
    for (const ExportKind& kind : kExportKinds) {
        filter += kind.description;
        filter += '\0';
        filter += '*';
        filter += kind.extension;
        filter += '\0';
    }
    return filter;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Extensions are told apart as the file system does, whatever their case.
bool endsWithNoCase(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) return false;
    const std::string_view tail = text.substr(text.size() - end.size());
    return std::equal(tail.begin(), tail.end(), end.begin(),
                      [](char a, char b) { return lowerAscii(a) == lowerAscii(b); });
}

// The reporter puts a full stop after the description itself.
std::string withoutFullStop(std::string text) {
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

// Lends the first snapshots to the file's record for the write and takes them
// back however it ends, so saving a million entries copies none of them.
class LentSnapshots {
public:
    LentSnapshots(AppState& state, Collection& collection) : state_(state), collection_(collection) {
        // After a walk that found nothing the snapshot is one empty element,
        // which is no entry of the collection.
        lendRegistry_ =
            collection.registryWalked && !(state.regArray.size() == 1 && state.regArray[0] == RegEntry{});
        swap();
    }
    ~LentSnapshots() { swap(); }
    LentSnapshots(const LentSnapshots&) = delete;
    LentSnapshots& operator=(const LentSnapshots&) = delete;

private:
    void swap() noexcept {
        if (lendRegistry_) std::swap(state_.regArray, collection_.registry);
        if (collection_.filesScanned) std::swap(state_.StartFileList, collection_.files);
    }
    AppState& state_;
    Collection& collection_;
    bool lendRegistry_ = false;
};

}  // namespace

ResultLists shownResults(const SnapshotView& view) {
    ResultLists lists;
    for (ListId id : kAllLists) lists[id] = view.resultRows(id);
    return lists;
}

ResultContext resultContext(const AppState& state) {
    ResultContext context;
    // The window keeps no time, machine or user of its snapshots, and has no
    // comment to give: the report's header leaves them out.
    context.facts.version = kCurrentVersion;
    context.facts.switches = state.switches;
    if (!state.FirstPlaces) return context;
    const CollectionPlaces& places = *state.FirstPlaces;
    if (places.registryWalked) {
        context.hiveName = std::string(hiveName(places.hive));
        context.startKey = places.startKey;
    }
    if (places.filesScanned) context.startFolder = places.startFolder;
    for (ListId list : kAllLists)
        context.checked[static_cast<size_t>(list)] =
            listChecked(list, state.switches, places.registryWalked, state.FinishFileScanRan);
    context.unread = unreadOfBoth(state.FirstUnread, state.FinalUnread);
    return context;
}

ExportTarget exportTarget(std::string path, uint32_t filterIndex) {
    for (const ExportKind& kind : kExportKinds)
        if (endsWithNoCase(path, kind.extension)) return {std::move(path), kind.format};
    const size_t at = std::clamp<size_t>(filterIndex, 1, std::size(kExportKinds)) - 1;
    return {std::move(path) + kExportKinds[at].extension, kExportKinds[at].format};
}


SnapshotCommands::SnapshotCommands(SnapshotServices services) : s_(services) {
    snapshotDialog_.filter.assign(kSnapshotFilter, sizeof kSnapshotFilter - 1);
    snapshotDialog_.defaultExt = "qvs";
    exportDialog_.filter = exportFilter();
}

bool SnapshotCommands::busy() const {
    return s_.workflow.collecting() || s_.places.commandsLocked();
}

bool SnapshotCommands::canSave() const {
    return !busy() && s_.state.FirstPlaces.has_value();
}

bool SnapshotCommands::canOpen() const {
    return !busy();
}

bool SnapshotCommands::canExport() const {
    if (busy()) return false;
    for (ListId id : kAllLists)
        if (!s_.places.resultRows(id).empty()) return true;
    return false;
}

bool SnapshotCommands::available(bool can, std::string_view title, std::string_view why) {
    if (!can) s_.prompt.ask(why, title, Buttons::Ok, Icon::Information);
    return can;
}

// A file the user chose that cannot be used is the user's to mend, not a
// fault of the program: a plain message that names it, and nothing changes.
void SnapshotCommands::refuse(std::string_view title, const std::string& why) {
    s_.prompt.ask(withoutFullStop(why) + ".", title, Buttons::Ok, Icon::Exclamation);
}

void SnapshotCommands::mnuSaveFirst_Click() {
    runHandler(s_.reporter, [&] { saveFirstAs(); });
}

bool SnapshotCommands::saveFirstAs() {
    if (!available(canSave(), kSaveTitle,
                   busy() ? kWait : "There is no first snapshot to save. Please collect data first."))
        return false;
    snapshotDialog_.title = kSaveTitle;
    snapshotDialog_.flags = kSaveFlags;
    const std::string path = s_.savePicker.ShowSave(snapshotDialog_, owner);
    if (path.empty() || !s_.state.FirstPlaces) return false;
    std::string error;
    if (!saveFirstTo(path, error)) {
        refuse(kSaveTitle, error);
        return false;
    }
    s_.view.setStatus("First snapshot saved to " + path);
    if (firstInFile) firstInFile(path);
    return true;
}

bool SnapshotCommands::saveFirstTo(const std::string& path, std::string& error) {
    if (!s_.state.FirstPlaces) {
        error = "There is no first snapshot to save";
        return false;
    }
    const CollectionPlaces& places = *s_.state.FirstPlaces;
    Collection collection;
    collection.registryWalked = places.registryWalked;
    collection.hive = places.hive;
    collection.startKey = places.startKey;
    collection.filesScanned = places.filesScanned;
    collection.startFolder = places.startFolder;
    collection.seconds = places.seconds;
    collection.foldersRecorded = s_.state.StartFoldersRecorded;
    // What it could not read goes with it: a diff of it must not pass for complete.
    collection.unread = s_.state.FirstUnread;
    LentSnapshots lent(s_.state, collection);
    return saveCollection(path, collection, error);
}

void SnapshotCommands::mnuOpenFirst_Click() {
    runHandler(s_.reporter, [&] {
        if (!available(canOpen(), kOpenTitle, kWait)) return;
        snapshotDialog_.title = kOpenTitle;
        snapshotDialog_.flags = OFN_EXPLORER_FLAG | OFN_LONGNAMES_FLAG | OFN_HIDEREADONLY_FLAG |
                                OFN_FILEMUSTEXIST_FLAG | OFN_PATHMUSTEXIST_FLAG;
        const SelectedFile chosen = s_.openPicker.ShowOpen(snapshotDialog_, owner);
        if (chosen.bCanceled || chosen.nFilesSelected < 1) return;
        openFirst(chosen.sLastDirectory + chosen.sFiles[1]);
    });
}

bool SnapshotCommands::openFirst(const std::string& path) {
    std::string error;
    std::optional<Collection> collection = loadCollection(path, error);
    // Refused whole: the state and the window are as they were.
    if (!collection) {
        refuse(kOpenTitle, error);
        return false;
    }
    if (collection->registryPlaces.size() > 1 || collection->folderPlaces.size() > 1) {
        refuse(kOpenTitle, "The snapshot file " + path +
                               " covers several registry keys or folders; this window takes one of "
                               "each. Compare it with quorvel-cli diff.");
        return false;
    }
    apply(std::move(*collection));
    if (firstInFile) firstInFile(path);
    return true;
}

void SnapshotCommands::apply(Collection collection) {
    AppState& st = s_.state;
    const bool walked = collection.registryWalked;
    const bool scanned = collection.filesScanned;
    // The flags as the collect click that took these snapshots left them.
    st.StopDetect = false;
    if (scanned) st.StartFileListBoolean = true;
    st.j = walked ? static_cast<int32_t>(collection.registry.size()) : 0;
    st.regArray = walked && !collection.registry.empty() ? std::move(collection.registry) : RegSnapshot(1);
    st.StartFileList = scanned ? std::move(collection.files) : FileSnapshot(1);
    st.StartFoldersRecorded = collection.foldersRecorded;
    st.FirstUnread = std::move(collection.unread);
    st.FinalUnread.clear();
    st.FirstPlaces = CollectionPlaces{walked,  collection.hive,        collection.startKey,
                                      scanned, collection.startFolder, collection.seconds};

    // The check boxes follow what the collection took, so the final
    // collection takes the same.
    s_.places.setRegistryTicked(walked);
    if (walked) {
        s_.view.setRegRootText(std::string(hiveName(collection.hive)));
        s_.view.setRegKeyText(collection.startKey);
    }
    s_.places.setFilesTicked(scanned);
    if (scanned) s_.view.setFileStartText(collection.startFolder);
    s_.workflow.firstSnapshotOpened();
}

void SnapshotCommands::mnuExport_Click() {
    runHandler(s_.reporter, [&] {
        if (!available(canExport(), kExportTitle,
                       busy() ? kWait : "There are no results to export. Please detect changes first."))
            return;
        exportDialog_.title = kExportTitle;
        exportDialog_.flags = kSaveFlags;
        std::string chosen = s_.savePicker.ShowSave(exportDialog_, owner);
        if (chosen.empty()) return;
        const ExportTarget target = exportTarget(std::move(chosen), exportDialog_.filterIndex);
        const std::string bytes =
            exportBytes(target.format, shownResults(s_.places), resultContext(s_.state), s_.state.regArray);
        std::string why;
        if (!replaceWholeFile(target.path, bytes, &why))
            return refuse(kExportTitle, "The export file " + target.path + " could not be written: " + why);
        s_.view.setStatus("Results exported to " + target.path);
        if (exported) exported();
    });
}

}  // namespace qv

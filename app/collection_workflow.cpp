#include "app/collection_workflow.h"

#include <cctype>

#include <chrono>

#include "app/excepted_places.h"
#include "app/unread_places.h"
#include "capture/file_finder.h"
#include "capture/registry_walk.h"
#include "core/handler.h"

namespace qv {
namespace {

constexpr const char* kCollectData = "Collect data";
constexpr const char* kCollectFinal = "Collect final data";
constexpr const char* kStop = "Stop";
constexpr const char* kCollectDone =
    "Data has been collected. Please install your application/game now. Once that has been done, click the "
    "'Collect final data' button.";

// Clears a flag when the scope ends, however it ends.
struct FlagScope {
    bool& flag;
    explicit FlagScope(bool& f) : flag(f) { flag = true; }
    ~FlagScope() { flag = false; }
};

// A start folder as the scan takes it: with its trailing backslash.
std::string withBackslash(std::string folder) {
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder;
}

void appendBackslash(MainView& view) {
    const std::string text = view.fileStartText();
    if (const std::string folder = withBackslash(text); folder != text) view.setFileStartText(folder);
}

}  // namespace

void CollectionWorkflow::cmdSnapShot_Click() {
    // A click that arrives while a collection is still on the stack (a file
    // scan after a skipped registry phase, or a capture unwinding after a stop)
    // must not start a second collection on top of it, nor clear the stop
    // request that the unwinding capture is obeying. Only "Stop" acts then.
    if (collecting_ && s_.view.collectCaption() != kStop) return;
    runHandler(s_.reporter, [&] { collect(); });
}

void CollectionWorkflow::collect() {
    s_.state.StopDetect = false;
    if (!s_.view.registryTicked() && !s_.view.filesTicked()) {
        s_.prompt.ask("Please select to either detect registry changes or file system changes.", "Changes",
                      Buttons::Ok, Icon::Information);
        return;
    }
    const std::string caption = s_.view.collectCaption();
    if (caption == kStop) {
        s_.state.StopDetect = true;
        reset();
        s_.view.setCollectCaption(kCollectData);
        return;
    }
    if (caption == kCollectFinal && !finalPlacesMatchFirst()) return;
    // A start key or folder that is not there would walk nothing and still end
    // in "Data has been collected": the user is told now, and the window stays
    // as it was.
    if ((caption == kCollectData || caption == kCollectFinal) && !placesExist()) return;
    FlagScope busy(collecting_);
    if (caption == kCollectData) {
        firstCollection();
    } else if (caption == kCollectFinal) {
        finalCollection();
    }
    // A scan that was stopped still names the files of the folder it was
    // reading as it unwinds; the window it leaves is idle, with no status.
    if (s_.state.StopDetect) s_.view.setStatus("");
}

bool CollectionWorkflow::awaitingFinal() const { return s_.view.collectCaption() == kCollectFinal; }

bool CollectionWorkflow::placesExist() {
    if (registryPhaseDue()) {
        const std::optional<int32_t> hive = hiveNumber(s_.view.regRootText());
        // A provider that cannot be had is reported by the walk's own phase.
        std::unique_ptr<RegistryProvider> provider;
        try {
            if (hive) provider = s_.registry.connect();
        } catch (const Failure&) {
        }
        if (provider) {
            const std::string key = s_.view.regKeyText();
            const RegistryProvider::KeyAccess access = provider->keyAccess(*hive, key);
            // A key that is there but closed to this user is still collected,
            // as a key without contents; the status bar says so afterwards.
            unreadable_ = access == RegistryProvider::KeyAccess::Denied
                              ? s_.view.regRootText() + (key.empty() ? "" : "\\") + key
                              : std::string();
            if (access == RegistryProvider::KeyAccess::Missing) {
                s_.prompt.ask("The registry key " + s_.view.regRootText() + (key.empty() ? "" : "\\") + key +
                                  " does not exist. Please check the registry start search key.",
                              "Collect", Buttons::Ok, Icon::Exclamation);
                return false;
            }
        }
    }
    // An empty start folder stands for the root of the current drive.
    if (filePhaseDue() && !s_.view.fileStartText().empty()) {
        const std::string folder = s_.view.fileStartText();
        const std::optional<uint32_t> attributes = s_.files.attributes(s_.files.fullPathName(folder));
        if (!attributes || !(*attributes & kAttrDirectory)) {
            s_.prompt.ask((attributes ? folder + " is a file, not a folder." : "The folder " + folder + " does not exist.") +
                              " Please check the file system start search directory.",
                          "Collect", Buttons::Ok, Icon::Exclamation);
            return false;
        }
    }
    return true;
}

// Final data taken from another key or folder than the first, or from the same
// key typed in other letter case, would list every difference between the two
// places as a change: the entries' texts are compared exactly.
bool CollectionWorkflow::finalPlacesMatchFirst() {
    const std::optional<CollectionPlaces>& first = s_.state.FirstPlaces;
    if (!first) return true;
    const std::string folder = withBackslash(s_.view.fileStartText());
    const bool keyMoved = first->registryWalked && registryPhaseDue() &&
                          (hiveNumber(s_.view.regRootText()) != first->hive || s_.view.regKeyText() != first->startKey);
    const bool folderMoved = first->filesScanned && filePhaseDue() && folder != first->startFolder;
    if (!keyMoved && !folderMoved) return true;
    std::string places;
    if (first->registryWalked)
        places = std::string(hiveName(first->hive)) + (first->startKey.empty() ? "" : "\\") + first->startKey;
    if (first->filesScanned) places += (places.empty() ? "" : " and ") + first->startFolder;
    const Answer answer = s_.prompt.ask(
        "The first data was collected from " + places +
            ". Final data from other places would list every difference between the places as a change.\r\n\r\n"
            "Collect the final data from " + places + "?",
        "Collect", Buttons::YesNo, Icon::Exclamation);
    if (answer != Answer::Yes) return false;
    if (first->registryWalked) {
        s_.view.setRegRootText(hiveName(first->hive));
        s_.view.setRegKeyText(first->startKey);
    }
    if (first->filesScanned) s_.view.setFileStartText(first->startFolder);
    return true;
}

bool CollectionWorkflow::registryPhaseDue() const {
    return s_.view.registryTicked() && s_.state.switches.anyRegistry();
}

bool CollectionWorkflow::filePhaseDue() const {
    return s_.view.filesTicked() && s_.state.switches.anyFiles();
}

bool CollectionWorkflow::registryPhase(bool first) {
    AppState& st = s_.state;
    RegSnapshot& target = first ? st.regArray : st.regArray2;
    // A root that names no hive fails before the window shows a walk, so the
    // collect button is left as the click found it.
    const std::optional<int32_t> hive = hiveNumber(s_.view.regRootText());
    check(hive.has_value(), 5, "Invalid procedure call or argument");
    target.assign(1, RegEntry{});
    // The final walk finds about what the first found: room for that and a
    // quarter more spares it the growth that would copy every entry while
    // the first snapshot is held too. Room never written takes no memory.
    if (!first) target.reserve(st.regArray.size() + st.regArray.size() / 4);
    st.j = 0;
    // The provider belongs to this phase's frame: a reset that runs nested
    // inside the walk only forgets it, and the walk never touches it again
    // once it has seen the stop request.
    std::unique_ptr<RegistryProvider> provider = s_.registry.connect();
    oreg_ = provider.get();
    if (first) {
        s_.view.setCollectCaption(kStop);
    } else {
        s_.view.setCollectEnabled(false);
    }
    RegistryWalkContext ctx{st, *provider, s_.yielder, s_.view};
    const std::string start = s_.view.regKeyText();
    if (first) {
        getvalsStart(ctx, *hive, start, std::string());
    } else {
        getvalsFinish(ctx, *hive, start, std::string());
    }
    oreg_ = nullptr;
    provider.reset();
    trimSnapshot(target, st.j);
    return !st.StopDetect;
}

bool CollectionWorkflow::filePhase(bool first) {
    AppState& st = s_.state;
    if (first) {
        st.StartFileList.assign(1, FileSnapshotEntry{});
        st.StartFoldersRecorded = true;
    } else {
        st.FinishFileList.assign(1, FileSnapshotEntry{});
        // The same tree again, give or take what the install changed: room for
        // as many entries as the first scan found spares the list its growth.
        st.FinishFileList.reserve(st.StartFileList.size());
        st.FinishFileScanRan = true;
    }
    st.StartFileListBoolean = first;
    appendBackslash(s_.view);
    clsFileFind finder(st, s_.files, s_.yielder, s_.view, s_.reporter);
    finder.SearchFile(s_.view.fileStartText(), true, false);
    return !st.StopDetect;
}

void CollectionWorkflow::clearForFirstCollection() {
    // Lists in the order the window has always cleared them at a new start.
    for (ListId id : {ListId::NewEntries, ListId::EditedRegistry, ListId::DeletedEntries, ListId::NewFiles,
                      ListId::DeletedFiles, ListId::ModifiedFiles})
        s_.view.clearList(id);
}

void CollectionWorkflow::readyForFinal() {
    s_.view.setStatus("");
    s_.view.setCollectEnabled(true);
}

void CollectionWorkflow::firstSnapshotOpened() {
    inHand_.reset();
    clearForFirstCollection();
    readyForFinal();
    s_.view.setCollectCaption(kCollectFinal);
}

namespace {
// The capture's part of a collection, without the questions around it.
class CaptureShown {
public:
    explicit CaptureShown(MainView& view) : view_(view) { view_.showCapture(true); }
    ~CaptureShown() { end(); }
    CaptureShown(const CaptureShown&) = delete;
    CaptureShown& operator=(const CaptureShown&) = delete;
    void end() {
        if (running_) view_.showCapture(false);
        running_ = false;
    }

private:
    MainView& view_;
    bool running_ = true;
};
}  // namespace

void CollectionWorkflow::firstCollection() {
    inHand_.reset();
    clearForFirstCollection();
    CaptureShown capture(s_.view);

    s_.state.FirstPlaces.reset();
    s_.state.FirstUnread.clear();
    const auto started = std::chrono::steady_clock::now();
    CollectionPlaces places;
    places.registryWalked = registryPhaseDue();
    if (places.registryWalked) {
        places.hive = hiveNumber(s_.view.regRootText()).value_or(0);
        places.startKey = s_.view.regKeyText();
        if (!registryPhase(true)) return;
    }
    places.filesScanned = filePhaseDue();
    if (places.filesScanned) {
        // The folder as the scan takes it: the field may be edited while it runs.
        appendBackslash(s_.view);
        places.startFolder = s_.view.fileStartText();
        if (!filePhase(true)) return;
    }
    places.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    s_.state.FirstPlaces = std::move(places);
    capture.end();

    readyForFinal();
    sayIfUnreadable(s_.state.FirstUnread);
    if (firstCollected) firstCollected();
    s_.prompt.ask(kCollectDone, "Collect", Buttons::Ok, Icon::Information);
    s_.view.setCollectCaption(kCollectFinal);
}

void CollectionWorkflow::finalCollection() {
    const bool AutoDetect =
        s_.prompt.ask("Do you wish to automatically detect changes once the final data has been collected?",
                      "Detect", Buttons::YesNoCancel, Icon::Question) == Answer::Yes;

    CaptureShown capture(s_.view);
    s_.state.FinalUnread.clear();
    InHand taken;
    taken.registry = registryPhaseDue();
    if (taken.registry && !registryPhase(false)) return;
    taken.files = filePhaseDue();
    if (taken.files && !filePhase(false)) return;
    capture.end();
    const std::optional<CollectionPlaces>& first = s_.state.FirstPlaces;
    taken.registry = taken.registry && first && first->registryWalked;
    taken.files = taken.files && first && first->filesScanned;
    inHand_ = taken;

    if (AutoDetect) {
        runDetection();
    } else {
        s_.view.setDetectEnabled(true);
    }
    s_.view.setCollectCaption(kCollectData);
    sayIfUnreadable(s_.state.FinalUnread);
}

void CollectionWorkflow::sayIfUnreadable(const std::vector<std::string>& unread) {
    if (!unreadable_.empty() && registryPhaseDue()) {
        s_.view.setStatus("The registry key " + unreadable_ +
                          " could not be read: it was collected without its values and subkeys.");
    } else if (const std::string said = unreadSummary(unread); !said.empty()) {
        // The first letter up, as the status bar's sentences begin.
        s_.view.setStatus(std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(said[0])))) +
                          said.substr(1) + ".");
    }
}

void CollectionWorkflow::cmdReset_Click() {
    runHandler(s_.reporter, [&] { reset(); });
}

void CollectionWorkflow::reset() {
    AppState& st = s_.state;
    st.StopDetect = true;
    st.regArray.assign(1, RegEntry{});
    st.regArray2.assign(1, RegEntry{});
    st.j = 0;
    oreg_ = nullptr;
    st.FinishFileScanRan = false;
    st.FirstPlaces.reset();
    inHand_.reset();
    for (ListId id : {ListId::NewEntries, ListId::DeletedEntries, ListId::EditedRegistry, ListId::NewFiles,
                      ListId::DeletedFiles, ListId::ModifiedFiles})
        s_.view.clearList(id);
    s_.view.setCollectCaption(kCollectData);
    s_.view.setCollectEnabled(true);
    s_.view.setDetectEnabled(false);
    s_.view.setStatus("");
}

void CollectionWorkflow::cmdFileSystemStart_Click() {
    runHandler(s_.reporter, [&] {
        std::string folder = s_.folders.BrowseFolder("Please select a source directory", s_.view.windowHandle());
        if (!folder.empty()) s_.view.setFileStartText(folder);
        appendBackslash(s_.view);
    });
}

void CollectionWorkflow::cmdDetectChanges_Click() {
    runHandler(s_.reporter, [&] { runDetection(); });
}

void CollectionWorkflow::applySettingsToSnapshots() {
    runHandler(s_.reporter, [&] {
        if (!inHand_ || collecting_) return;
        dropExceptedPlaces(s_.state);
        for (ListId id : {ListId::NewEntries, ListId::DeletedEntries, ListId::EditedRegistry, ListId::NewFiles,
                          ListId::DeletedFiles, ListId::ModifiedFiles})
            s_.view.clearList(id);
        runDetection();
    });
}

void CollectionWorkflow::runDetection() {
    if (Detect_Click) Detect_Click();
}

}  // namespace qv

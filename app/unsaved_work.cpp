#include "app/unsaved_work.h"

#include "app/result_lists.h"
#include "capture/registry_provider.h"
#include "core/registry_types.h"
#include "core/whole_file.h"

namespace qv {
namespace {

constexpr const char* kDontAsk = "AskBeforeDropping";      // "No" once the user ticked "Don't ask again"
constexpr const char* kClosedWith = "FirstSnapshotFile";  // the user's file of a first snapshot left waiting
constexpr const char* kTitle = "Quorvel";

std::string placesText(const CollectionPlaces& places) {
    std::string text;
    if (places.registryWalked)
        text = std::string(hiveName(places.hive)) + (places.startKey.empty() ? "" : "\\") + places.startKey;
    if (places.filesScanned) text += (text.empty() ? "" : " and ") + places.startFolder;
    return text;
}

}  // namespace

UnsavedWork::UnsavedWork(UnsavedWorkServices services) : s_(std::move(services)) {}

std::string UnsavedWork::storedText(const char* suffix) const {
    return s_.store.GetString(kHiveCurrentUser, kMainKey, std::string(kAppname) + suffix);
}

void UnsavedWork::store(const char* suffix, const std::string& text) {
    s_.store.SaveString(kHiveCurrentUser, kMainKey, std::string(kAppname) + suffix, text);
}

void UnsavedWork::firstCollected() {
    firstSaved_ = false;
    firstFile_.clear();
    store(kClosedWith, "");
    std::string ignored;
    // Best effort: a folder the program may not write to still lets it work,
    // with the questions as the only guard.
    if (!s_.snapshots.saveFirstTo(s_.keptPath, ignored)) removeFile(s_.keptPath);
}

void UnsavedWork::firstInFile(const std::string& path) {
    if (path == s_.keptPath) return;  // opened again after a crash: still only kept
    // The user's file now guards the first snapshot, also against a crash.
    firstSaved_ = true;
    firstFile_ = path;
    store(kClosedWith, path);
    removeFile(s_.keptPath);
}

void UnsavedWork::compared() {
    resultsExported_ = false;
    store(kClosedWith, "");
    removeFile(s_.keptPath);
}

void UnsavedWork::exported() { resultsExported_ = true; }

bool UnsavedWork::firstWaiting() const {
    return s_.workflow.awaitingFinal() && s_.state.FirstPlaces.has_value() && !firstSaved_;
}

bool UnsavedWork::resultsUnsaved() const {
    if (resultsExported_) return false;
    for (ListId id : kAllLists)
        if (!s_.window.resultRows(id).empty()) return true;
    return false;
}

bool UnsavedWork::mayDrop(std::string_view action) {
    const bool first = firstWaiting(), results = resultsUnsaved();
    if (!first && !results) return true;
    if (storedText(kDontAsk) == "No") return true;
    std::string text = std::string(action) + " drops ";
    if (first) text += "the first snapshot of " + placesText(*s_.state.FirstPlaces) + ", which waits for its final data";
    if (first && results) text += ", and ";
    if (results) text += "the results shown, which were not saved or exported";
    text += ".";
    const bool canSave = s_.snapshots.canSave();
    text += canSave ? "\r\n\r\nSave the first snapshot to a file first?" : "\r\n\r\nGo on?";
    bool dontAsk = false;
    const Answer answer = s_.prompt.askWithTick(text, kTitle, canSave ? Buttons::YesNoCancel : Buttons::YesNo,
                                                Icon::Exclamation, "Don't ask again", dontAsk);
    if (canSave) {
        if (answer == Answer::Cancel) return false;
        if (answer == Answer::Yes && !s_.snapshots.saveFirstAs()) return false;
    } else if (answer != Answer::Yes) {
        return false;
    }
    if (dontAsk) store(kDontAsk, "No");
    return true;
}

void UnsavedWork::dropped() {
    store(kClosedWith, "");
    removeFile(s_.keptPath);
    firstSaved_ = false;
    firstFile_.clear();
    resultsExported_ = false;
}

void UnsavedWork::closing() {
    // Saved at the close, or opened from a file: that file is where the
    // first snapshot lives on.
    store(kClosedWith, s_.workflow.awaitingFinal() && firstSaved_ ? firstFile_ : std::string());
    removeFile(s_.keptPath);
    firstSaved_ = false;
}

void UnsavedWork::forget() {
    store(kClosedWith, "");
    removeFile(s_.keptPath);
}

void UnsavedWork::offerKept() {
    const bool crashed = regularFileExists(s_.keptPath);
    const std::string path = crashed ? s_.keptPath : storedText(kClosedWith);
    // Offered once: a user's file that is declined stays where it is, unnamed.
    if (!crashed) store(kClosedWith, "");
    if (path.empty() || !regularFileExists(path)) return;
    const std::string text =
        crashed ? "Quorvel ended while a first snapshot waited for its final data. It was kept in " + path +
                      ".\r\n\r\nOpen it now, to collect the final data? No deletes the file."
                : "The first snapshot in " + path +
                      " waited for its final data when Quorvel last ended.\r\n\r\nOpen it now, to collect the "
                      "final data?";
    if (s_.prompt.ask(text, "Open first snapshot", Buttons::YesNo, Icon::Question) == Answer::Yes) {
        s_.snapshots.openFirst(path);
        return;
    }
    if (crashed) removeFile(s_.keptPath);
}

}  // namespace qv

#pragma once
// The collect button's state machine and the reset: first collection, final
// collection, stop. Talks to the window only through MainView and UserPrompt,
// so it runs natively in tests.
#include <functional>
#include <memory>
#include <optional>

#include "app/main_view.h"
#include "capture/directory_source.h"
#include "capture/registry_provider.h"
#include "core/app_state.h"
#include "core/error_sink.h"
#include "core/pickers.h"
#include "core/user_prompt.h"
#include "core/yielder.h"

namespace qv {

struct WorkflowServices {
    AppState& state;
    MainView& view;
    UserPrompt& prompt;
    Yielder& yielder;
    ErrorSink& reporter;
    RegistryProviderSource& registry;
    DirectorySource& files;
    FolderPicker& folders;
};

class CollectionWorkflow {
public:
    explicit CollectionWorkflow(WorkflowServices services) : s_(services) {}

    // Each is a complete event handler: failures are reported and end it.
    void cmdSnapShot_Click();
    void cmdReset_Click();
    void cmdFileSystemStart_Click();
    void cmdDetectChanges_Click();

    // The window after a first snapshot was opened from a file in place of a
    // first collection (the snapshots and places already in the state): as a
    // completed first collection leaves it, without its "Collect" box.
    void firstSnapshotOpened();

    // Detection, run by "Detect changes" and after a final collection that
    // asked for it.
    std::function<void()> Detect_Click;
    // Told when a first collection has completed, before its "Collect" box.
    std::function<void()> firstCollected;

    // True from the start of a collection until its click has returned, also
    // while a stopped capture is still unwinding.
    bool collecting() const { return collecting_; }
    // True while a first snapshot waits for its final data.
    bool awaitingFinal() const;
    // What both snapshots cover once a final collection has completed; nothing
    // before that, after a reset or from the start of a new first collection.
    struct InHand {
        bool registry = false;
        bool files = false;
    };
    std::optional<InHand> inHand() const { return inHand_; }
    // Settings changed after a final collection, applied to the snapshots in
    // hand: what the exceptions now except is dropped from both, and the
    // lists are detected again.
    void applySettingsToSnapshots();
    // True while a registry walk holds the provider.
    bool holdsProvider() const { return oreg_ != nullptr; }

    // Whether a collection walks the registry and scans the files: the window's
    // tick and at least one of the phase's three detection switches.
    bool registryPhaseDue() const;
    bool filePhaseDue() const;

private:
    // Names the start key in the status bar when it could not be read.
    void sayIfUnreadable(const std::vector<std::string>& unread);
    std::string unreadable_;  // the start key, when it is there but closed
    void collect();
    // False, after telling the user, when the start key or folder of a due
    // phase does not exist.
    bool placesExist();
    // False when the user declines to collect the final data from the places
    // of the first; true when they match, or once the fields are put back.
    bool finalPlacesMatchFirst();
    void firstCollection();
    void clearForFirstCollection();
    void readyForFinal();
    void finalCollection();
    void reset();
    // Returns false when the collection was stopped.
    bool registryPhase(bool first);
    bool filePhase(bool first);
    void runDetection();

    WorkflowServices s_;
    RegistryProvider* oreg_ = nullptr;
    bool collecting_ = false;
    std::optional<InHand> inHand_;
};

}  // namespace qv

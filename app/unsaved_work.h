#pragma once
// What Stop/Reset and closing the window would drop: a first snapshot that
// waits for its final data, and results not saved or exported. The user is
// asked before they go, and a first snapshot is kept in a file beside the
// program until its final data is compared, so a crash does not lose it.
#include <string>
#include <string_view>

#include "app/collection_workflow.h"
#include "app/snapshot_commands.h"
#include "core/app_state.h"
#include "core/user_prompt.h"
#include "support/registry_store.h"

namespace qv {

// The kept first snapshot's name, in the program's folder.
inline constexpr const char* kKeptSnapshotName = "FirstSnapshot.qvs";

struct UnsavedWorkServices {
    AppState& state;
    SnapshotView& window;
    UserPrompt& prompt;
    RegistryStore& store;
    SnapshotCommands& snapshots;
    CollectionWorkflow& workflow;
    std::string keptPath;  // the file that holds the first snapshot meanwhile
};

class UnsavedWork {
public:
    explicit UnsavedWork(UnsavedWorkServices services);

    // The events that make or keep work.
    void firstCollected();
    void firstInFile(const std::string& path);
    void compared();  // detection ran on the two snapshots
    void exported();

    // Asks before `action` ("Stop/Reset", "Closing Quorvel") drops work, and
    // offers to save the first snapshot; true when the action may go on.
    bool mayDrop(std::string_view action);
    // The user dropped the work on purpose: the kept file goes too.
    void dropped();
    // The window closes: a first snapshot that waits in a file of the user's
    // is offered at the next start.
    void closing();
    // The program ends without its close (a test's run): nothing is left
    // for the next start.
    void forget();
    // At start: offers the first snapshot that a crash or the last close left.
    void offerKept();

    // Whether there is anything that mayDrop would ask about.
    bool firstWaiting() const;
    bool resultsUnsaved() const;

private:
    std::string storedText(const char* suffix) const;
    void store(const char* suffix, const std::string& text);

    UnsavedWorkServices s_;
    bool firstSaved_ = false;      // the waiting first snapshot is in a file the user chose
    std::string firstFile_;        // that file
    bool resultsExported_ = false;
};

}  // namespace qv

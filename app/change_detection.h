#pragma once
// Change detection: compares the first and the final snapshots and appends the
// differences to the six result lists of the main window.
#include "app/main_view.h"
#include "capture/directory_source.h"
#include "core/app_state.h"
#include "core/user_prompt.h"
#include "core/yielder.h"

namespace qv {

struct DetectionContext {
    AppState& state;
    MainView& view;
    Yielder& yielder;
    DirectorySource& files;  // measures new and modified files at detection time
    UserPrompt& prompt;
    // Snapshots read from files may come from another machine, or from a disk
    // that has changed since: a size they recorded is shown, not measured.
    bool recordedSizes = false;
};

// Whether detection looks for `list` at all: its switch is on and its place
// was collected (`registryCompared`: both registry snapshots were taken and
// "Detect registry changes" is ticked; `filesCompared`: a final file scan ran).
bool listChecked(ListId list, const DetectionSwitches& switches, bool registryCompared, bool filesCompared);

// Runs the four passes (new and edited registry entries, deleted registry
// entries, new and modified files, deleted files), then disables "Detect
// changes" and shows "Detection done". The window's commands stay locked while
// it runs, so the snapshots cannot change under it.
void Detect_Click(DetectionContext& ctx);

}  // namespace qv

#pragma once
// The exception lists applied to snapshots already taken: what a walk with
// these lists would not have recorded is dropped, so that settings changed
// after a final collection answer from the two snapshots in hand.
#include "core/app_state.h"

namespace qv {

// Drops, from both registry snapshots, the entries of every key below the
// start key that an exception of the walked root names, with its subkeys;
// and from both file snapshots, each file an exception names exactly and
// everything in a folder whose path a "Folder" exception begins.
void dropExceptedPlaces(AppState& state);

}  // namespace qv

#pragma once
// The tooltip of a result row: the row whole, column by column, and what the
// cells leave out (types, old data, the first snapshot's size and date).
#include <string>
#include <string_view>

#include "app/main_view.h"
#include "core/snapshot_types.h"

namespace qv {

// What the cells of `row` leave out, one line each. `first` is the entry of an
// edited value in the first snapshot, where it was found.
std::string rowDetail(ListId list, const ResultRow& row, const RegEntry* first);

// The whole tooltip: each column's name and cell (the unnamed value as
// "(Default)"), then `detail`; long lines broken, and the whole cut short
// where a value of megabytes would make it larger than the screen.
std::string rowTipText(ListId list, const ResultRow& row, std::string_view detail);

}  // namespace qv

#pragma once
// Windows' binary hive files ("regf": the system's hive files and what
// RegSaveKeyEx writes) read into the same key tree as Wine's save files, so
// one provider serves both. The file is untrusted: every offset, length and
// count is checked against it, a cell is used at most once (so no loop and no
// shared data can multiply the work), keys go no deeper than the registry
// allows, and a damaged cell gives one error line naming it.
#include <string>
#include <string_view>

#include "capture/wine_registry.h"

namespace qv {

// Reads `bytes` into `hive`, its root key being the file's root key. The
// error is one line: "<file>: <what is wrong>" (with the cell's offset where
// a cell is at fault); on an error the hive is empty but for its root.
// Security descriptors and class names are not read: no snapshot shows them.
bool parseRegfHive(std::string_view bytes, const std::string& fileName, WineHive& hive, std::string& error);

// Whether the bytes begin as a regf hive does, to tell one from Wine's text.
bool looksLikeRegfHive(std::string_view bytes);

}  // namespace qv

#pragma once
// What the open-file dialog's buffer says, for any number of chosen files.
#include <cstdint>
#include <string_view>

#include "core/pickers.h"

namespace qv {

// `buffer` holds one full path, or (several files) the folder, a NUL, each
// name followed by a NUL, and a final NUL; `fileOffset` is where the first
// name starts. The folder comes back with one trailing backslash.
SelectedFile parseOpenFileBuffer(std::u16string_view buffer, size_t fileOffset);

// The initial file name offered by the next dialog: the previous choice up to
// its first NUL, so the buffer stays the same size however often it opens.
std::u16string_view initialFileName(std::u16string_view previous);

}  // namespace qv

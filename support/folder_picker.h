#pragma once
#include <string>
#include <string_view>

#include "core/pickers.h"

namespace qv {

// What the browser's raw answer becomes: virtual shell folders ("::{...}") and
// paths without any backslash are not file-system folders and give "".
std::string acceptedFolder(std::string_view shellPath);

// The browser's title line: the prompt, or "Select Folder..." when it is empty.
std::string_view browsePrompt(std::string_view prompt);

}  // namespace qv

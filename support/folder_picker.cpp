#include "support/folder_picker.h"

namespace qv {

std::string acceptedFolder(std::string_view shellPath) {
    if (shellPath.substr(0, 2) == "::") return {};
    if (shellPath.find('\\') == std::string_view::npos) return {};
    return std::string(shellPath);
}

std::string_view browsePrompt(std::string_view prompt) { return prompt.empty() ? "Select Folder..." : prompt; }

}  // namespace qv

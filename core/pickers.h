#pragma once
// The pickers as the workflow and the dialogs see them; the shell's dialogs
// answer them in the program, scripts answer them in tests.
#include <string>
#include <string_view>

namespace qv {

// The shell's folder browser. Returns the chosen folder, or "" when nothing
// usable was chosen.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    virtual std::string BrowseFolder(std::string_view prompt) = 0;
};

}  // namespace qv

#pragma once
#include "support/folder_picker.h"

namespace qv {

// The shell's folder browser (SHBrowseForFolderW).
class ShellFolderPicker : public FolderPicker {
public:
    std::string BrowseFolder(std::string_view prompt, intptr_t owner) override;
};

}  // namespace qv

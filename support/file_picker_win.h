#pragma once
#include "core/pickers.h"

namespace qv {

// The common open-file dialog (GetOpenFileNameW).
class Win32FilePicker : public FilePicker {
public:
    SelectedFile ShowOpen(FileDialog& dialog, intptr_t owner, bool centerForm = true) override;
};

// The common save-file dialog (GetSaveFileNameW).
class Win32SaveFilePicker : public SaveFilePicker {
public:
    std::string ShowSave(FileDialog& dialog, intptr_t owner, bool centerForm = true) override;
};

}  // namespace qv

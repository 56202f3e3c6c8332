#pragma once
// The pickers as the workflow and the dialogs see them; the shell's dialogs
// answer them in the program, scripts answer them in tests.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The shell's folder browser. Returns the chosen folder, or "" when nothing
// usable was chosen. `owner` is the window it belongs to and holds still while
// it is open.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    virtual std::string BrowseFolder(std::string_view prompt, intptr_t owner) = 0;
};

// What the open-file dialog answers.
struct SelectedFile {
    int32_t nFilesSelected = 0;
    // The bare names of the chosen files, from index 1 on (element 0 stays empty).
    std::vector<std::string> sFiles;
    // The folder of the chosen files, with its trailing backslash.
    std::string sLastDirectory;
    bool bCanceled = true;
};

inline constexpr uint32_t OFN_OVERWRITEPROMPT_FLAG = 0x2;
inline constexpr uint32_t OFN_HIDEREADONLY_FLAG = 0x4;
inline constexpr uint32_t OFN_ALLOWMULTISELECT_FLAG = 0x200;
inline constexpr uint32_t OFN_PATHMUSTEXIST_FLAG = 0x800;
inline constexpr uint32_t OFN_FILEMUSTEXIST_FLAG = 0x1000;
inline constexpr uint32_t OFN_CREATEPROMPT_FLAG = 0x2000;
inline constexpr uint32_t OFN_NODEREFERENCELINKS_FLAG = 0x100000;
inline constexpr uint32_t OFN_EXPLORER_FLAG = 0x80000;
inline constexpr uint32_t OFN_LONGNAMES_FLAG = 0x200000;
inline constexpr uint32_t OFS_FILE_OPEN_FLAGS = 0x382204;

// The open-file dialog's settings, filled by the caller and by ShowOpen
// together; it keeps its contents between calls.
struct FileDialog {
    std::string filter;      // description and pattern pairs, each text ended by a NUL
    std::string initialDir;  // may be empty
    std::string title;
    uint32_t flags = 0;  // 0: OFS_FILE_OPEN_FLAGS
    std::string sFile;   // the previous choice, offered again as the initial file name
    // The 1-based filter shown first; the save dialog puts the chosen one here.
    uint32_t filterIndex = 1;
    // The extension, without its dot, that a name typed without one gets.
    std::string defaultExt;
};

// The platform's open-file dialog, centred on its owner (centerForm) or on
// the screen. `owner` is the owner window's handle.
class FilePicker {
public:
    virtual ~FilePicker() = default;
    virtual SelectedFile ShowOpen(FileDialog& dialog, intptr_t owner, bool centerForm = true) = 0;
};

// The platform's save-file dialog, centred like the open dialog. Returns the
// chosen full path, or "" when the user cancelled; the path and the chosen
// filter are also kept in `dialog` for the next call.
class SaveFilePicker {
public:
    virtual ~SaveFilePicker() = default;
    virtual std::string ShowSave(FileDialog& dialog, intptr_t owner, bool centerForm = true) = 0;
};

}  // namespace qv

#pragma once
// Control identifiers of the main window. The demo driver and the window tests
// find controls by these numbers.

namespace qv {

inline constexpr const wchar_t* kMainWindowClass = L"QuorvelMain";

enum ControlId : int {
    IDC_lstModifiedFiles = 101,
    IDC_lstDeletedFiles,
    IDC_lstNewFiles,
    IDC_cmdReset,
    IDC_cmdDetectChanges,
    IDC_lstDeletedEntries,
    IDC_lstNewEntries,
    IDC_lstEditedRegistry,
    IDC_Status,
    IDC_cmdSnapShot,
    IDC_tbDisplay,
    IDC_pbBar1,
    IDC_Frame2,
    IDC_txtRegKeyStart,
    IDC_cmdAdvanced,
    IDC_chkDetectFiles,
    IDC_chkDetectRegistry,
    IDC_cmbRegStart,
    IDC_cmdFileSystemStart,
    IDC_txtFileSystemStart,
    IDC_lblRegStart,
    IDC_lblFileSystem,
    IDC_lblFind,
    IDC_txtFind,
    IDC_lblCounts,
    IDC_lblRegKeyStart,
    IDM_mnuQuorvel = 201,
    IDM_mnuSaveFirst,
    IDM_mnuOpenFirst,
    IDM_mnuExport,
    IDM_mnuExit,
    IDM_mnuShowBackground,
    // Ctrl+Tab and Ctrl+Shift+Tab (or Ctrl+PgDn and Ctrl+PgUp) between the tabs.
    IDM_nextTab,
    IDM_previousTab,
    // The result lists' right-click menu.
    IDM_ctxCopy = 301,
    IDM_ctxCopyPath,
    IDM_ctxOpenRegedit,
    IDM_ctxOpenFolder,
    IDM_ctxSelectAll,
};

// The window's commands in one table: what a click or a menu item hands to
// the application, what detection locks, and what the File menu greys when it
// makes no sense. The dispatch, the lock and the greying all read it.
struct CommandInfo {
    int id;
    bool lockedDuringDetection;
    bool greyedWhenUnavailable;  // a menu item the application may refuse
};
inline constexpr CommandInfo kCommands[] = {
    {IDC_cmdSnapShot, true, false},        {IDC_cmdDetectChanges, true, false},
    {IDC_cmdReset, true, false},           {IDC_cmdAdvanced, true, false},
    {IDC_cmdFileSystemStart, true, false}, {IDM_mnuQuorvel, false, false},
    {IDM_mnuSaveFirst, false, true},       {IDM_mnuOpenFirst, false, true},
    {IDM_mnuExport, false, true},
};
// Controls that detection locks besides the commands: the check boxes.
inline constexpr int kLockedBoxes[] = {IDC_chkDetectFiles, IDC_chkDetectRegistry};

inline constexpr const CommandInfo* findCommand(int id) {
    for (const CommandInfo& c : kCommands) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

// The list views in the order of their tabs.
inline constexpr int kListIdsByTab[6] = {IDC_lstNewEntries,  IDC_lstDeletedEntries, IDC_lstEditedRegistry,
                                         IDC_lstNewFiles,    IDC_lstDeletedFiles,   IDC_lstModifiedFiles};

}  // namespace qv

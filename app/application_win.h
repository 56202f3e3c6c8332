#pragma once
// The running program: the state, the window and the services, wired together.
#include <windows.h>

#include "app/collection_workflow.h"
#include "app/exe_folder_win.h"
#include "app/main_window_win.h"
#include "app/message_pump_win.h"
#include "app/snapshot_commands.h"
#include "app/unsaved_work.h"
#include "capture/directory_source_win.h"
#include "capture/registry_saver_win.h"
#include "settings/advanced_dialog_win.h"
#include "settings/ansi_code_page_win.h"
#include <optional>

#include "core/app_state.h"
#include "support/error_report.h"
#include "support/about_box_win.h"
#include "support/file_picker_win.h"
#include "support/folder_picker_win.h"
#include "support/message_box_win.h"
#include "support/registry_store_win.h"
#include "support/start_up_win.h"

namespace qv {

class Application : public CommandTarget, public MainResults {
public:
    // `updateHost`: where the start-up check looks for a newer version; the
    // exe's own unless a test points it at a server of its own.
    explicit Application(HINSTANCE instance, std::string updateHost = builtInUpdateHost());
    // A run that remembers nothing (a test's) and ends without its window's
    // close leaves nothing to offer at the next start either.
    ~Application() override;

    // The window's load: arrays emptied, caption set, window shown.
    // False when the start-up checks end the program before any window shows,
    // or when the main window cannot be created.
    bool Form_Load(int showCommand);
    // Whether the places, the placement and the column widths are kept
    // between runs, and a first snapshot left by a run that ended without
    // its close; a test's run turns it off, so every run starts alike.
    bool remembers = true;
    // True when Form_Load failed for want of a window: the exit code is then 1.
    bool windowFailed() const { return windowFailed_; }
    // The message loop of the program; returns the exit code.
    int run();

    void onCommand(int controlId) override;
    bool available(int controlId) const override;
    Work workInHand() const override;
    void clearResultsForNewSettings() override;
    void applySettingsToSnapshots() override;

    // The File menu's dialogs answered by `open` and `save` instead of the
    // common dialogs, which a test under Wine cannot drive reliably.
    void answerFileDialogsWith(FilePicker& open, SaveFilePicker& save);

    AppState& state() { return state_; }
    MainWindow& window() { return window_; }
    CollectionWorkflow& workflow() { return workflow_; }
    SnapshotCommands& snapshots() { return *snapshots_; }
    UnsavedWork& unsaved() { return *unsaved_; }
    MessagePump& pump() { return pump_; }
    MessageBoxPrompt& prompt() { return prompt_; }
    AdvancedDialog& advanced() { return advanced_; }
    AboutBox& about() { return about_; }

private:
    std::string oldDataOf(ListId list, const ResultRow& row) const;
    // The places, the window's placement and its column widths, kept at the
    // close through the registry store and put back at the next start.
    void remember();
    void recall(int& showCommand);
    std::string captureProgress() const;

    bool windowFailed_ = false;
    AppState state_;
    MessageBoxPrompt prompt_;
    std::optional<DialogPrompt> advancedPrompt_;  // the Advanced dialog's questions
    ErrorReporter reporter_{prompt_};
    MessagePump pump_;
    SavingRegistryProviderSource registry_;
    Win32DirectorySource files_;
    ShellFolderPicker folders_;
    Win32AnsiCodePage codePage_;
    Win32FilePicker filePicker_;
    Win32SaveFilePicker savePicker_;
    FileDialog fileDialog_;
    MainWindow window_;
    CollectionWorkflow workflow_;
    std::optional<SnapshotCommands> snapshots_;
    std::optional<UnsavedWork> unsaved_;
    bool closed_ = false;  // the window's close asked and went on
    AdvancedDialog advanced_;
    AboutBox about_;
    Win32RegistryStore store_;
    ShellBrowser browser_;
    std::string updateHost_;
};

}  // namespace qv

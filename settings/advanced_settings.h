#pragma once
// frmAdvanced's behaviour over a view of its controls: the six switches and
// the three lists edited on copies, saved and applied only by OK.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/error_sink.h"
#include "core/pickers.h"
#include "core/user_prompt.h"
#include "settings/ansi_code_page.h"

namespace qv {

// The dialog's three lists, in the order of their tabs (tab index - 1).
enum class SettingsList { RegExceptions, FileExceptions, Filter };

struct SettingsRow {
    std::string text;  // first column
    std::string sub1;  // second column ("" for the filter list)
    bool ticked = false;
    bool operator==(const SettingsRow&) const = default;
};

class AdvancedView {
public:
    virtual ~AdvancedView() = default;
    // The six check boxes in the order of the flags: 0 unticked, 1 ticked, 2 dimmed.
    virtual int16_t checkValue(size_t index) const = 0;
    virtual void setCheckValue(size_t index, int16_t value) = 0;
    virtual std::string regRootText() const = 0;  // cmbRegStart
    virtual void setRegRootText(const std::string& text) = 0;
    virtual std::string regKeyText() const = 0;  // txtRegKey
    virtual std::string filterText() const = 0;  // txtFilter
    virtual bool fileOptionSelected() const = 0;  // optFile, else optFolder
    // The tab strip's visibility rules: shows the controls of one list's tab.
    virtual void showTab(SettingsList list) = 0;
    virtual SettingsList visibleList() const = 0;
    virtual std::vector<SettingsRow> rows(SettingsList list) const = 0;
    virtual void setRows(SettingsList list, const std::vector<SettingsRow>& rows) = 0;
    virtual intptr_t windowHandle() const = 0;
    virtual void close() = 0;
};

// What OK resets in the main window so that the next collection starts anew.
class MainResults {
public:
    virtual ~MainResults() = default;
    // What starting over would cost the user: a first snapshot that waits for
    // its final data, results on show, or a collection under way.
    struct Work {
        bool firstSnapshot = false;
        bool results = false;
        bool collecting = false;
        // Once a final collection has completed: both snapshots are in hand,
        // and which places both cover.
        bool bothSnapshots = false;
        bool registryInHand = false;
        bool filesInHand = false;
        // The main window's "Detect registry changes" and "Detect file system changes".
        bool registryTicked = false;
        bool filesTicked = false;
        bool any() const { return firstSnapshot || results || collecting; }
    };
    virtual Work workInHand() const = 0;
    // Clears the results and stops a collection under way.
    virtual void clearResultsForNewSettings() = 0;
    // Applies the settings just saved to the two snapshots in hand and
    // detects the changes again.
    virtual void applySettingsToSnapshots() = 0;
};

struct AdvancedServices {
    AppState& state;
    AdvancedView& view;
    UserPrompt& prompt;
    ErrorSink& reporter;
    FolderPicker& folders;
    FilePicker& files;
    FileDialog& fileDialog;
    const AnsiCodePage& codePage;
    MainResults& main;
    std::string exeFolder;
};

class AdvancedSettings {
public:
    explicit AdvancedSettings(AdvancedServices services) : s_(std::move(services)) {}

    void Form_Load();
    void tbExceptions_Click(int index);  // 1-based tab index
    void cmdAddRegExceptions_Click();
    void cmdRemoveRegExceptions_Click();
    void cmdOK_Click();
    void cmdCancel_Click() { s_.view.close(); }

    // A list whose file existed but could not be read when the dialog opened;
    // OK keeps that file and its entries as they are.
    bool unreadable(SettingsList list) const { return unreadable_[static_cast<size_t>(list)]; }

private:
    void loadList(SettingsList list, const std::string& path);
    void add();
    // Whether the snapshots in hand can answer the settings in the dialog:
    // every place they ask for was walked, and no exception was taken away
    // (its place was not walked either).
    bool snapshotsAnswer(const MainResults::Work& work) const;
    void ok(std::string& failures, bool onSnapshots);

    AdvancedServices s_;
    std::array<bool, 3> unreadable_{};
};

}  // namespace qv

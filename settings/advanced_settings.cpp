#include "settings/advanced_settings.h"

#include <algorithm>

#include "core/failure.h"
#include "core/handler.h"
#include "core/split_string.h"
#include "core/whole_file.h"
#include "settings/data_files.h"
#include "settings/text_files.h"

namespace qv {
namespace {

const char* const kListNames[] = {"registry exceptions", "file system exceptions", "registry filter"};

std::vector<std::string> piecesAtCr(const std::string& text) {
    std::vector<std::string> pieces;
    SplitString(text, '\r', pieces);
    return pieces;
}

std::vector<TextPair> pairsOf(const std::vector<SettingsRow>& rows) {
    std::vector<TextPair> pairs;
    for (const auto& r : rows) pairs.emplace_back(r.text, r.sub1);
    return pairs;
}

std::vector<std::string> textsOf(const std::vector<SettingsRow>& rows) {
    std::vector<std::string> texts;
    for (const auto& r : rows) texts.push_back(r.text);
    return texts;
}

void appendRow(AdvancedView& view, SettingsList list, std::string text, std::string sub1) {
    std::vector<SettingsRow> rows = view.rows(list);
    rows.push_back({std::move(text), std::move(sub1), false});
    view.setRows(list, rows);
}

}  // namespace

void AdvancedSettings::Form_Load() {
    runHandler(s_.reporter, [&] {
        s_.view.setRegRootText("HKEY_LOCAL_MACHINE");
        const std::array<int16_t, 6> flags = flagsOf(s_.state.switches);
        // A hand-edited value that no check box can show opens unticked.
        for (size_t i = 0; i < flags.size(); ++i)
            s_.view.setCheckValue(i, flags[i] >= 0 && flags[i] <= 2 ? flags[i] : 0);
        loadList(SettingsList::RegExceptions, s_.state.RegExceptionsPath);
        loadList(SettingsList::FileExceptions, s_.state.FileExceptionsPath);
        loadList(SettingsList::Filter, s_.state.FilterPath);
    });
}

void AdvancedSettings::loadList(SettingsList list, const std::string& path) {
    // Anything standing at the path counts, so that a file the dialog cannot
    // read is never taken for a missing one and overwritten by OK.
    if (!pathExists(path)) return;
    std::string error;
    std::optional<std::string> text = readTextFile(path, s_.codePage, &error);
    if (!text) {
        unreadable_[static_cast<size_t>(list)] = true;
        runHandler(s_.reporter, [&] {
            fail(75, "Path/File access error: " + path + " (" + error +
                         "). It will be kept as it is when the settings are saved");
        });
        return;
    }
    std::vector<SettingsRow> rows;
    if (list == SettingsList::Filter) {
        for (auto& t : singleRule(piecesAtCr(*text))) rows.push_back({std::move(t), "", false});
    } else {
        for (auto& [a, b] : pairRule(piecesAtCr(*text))) rows.push_back({std::move(a), std::move(b), false});
    }
    s_.view.setRows(list, rows);
}

void AdvancedSettings::tbExceptions_Click(int index) {
    if (index >= 1 && index <= 3) s_.view.showTab(static_cast<SettingsList>(index - 1));
}

void AdvancedSettings::cmdAddRegExceptions_Click() {
    runHandler(s_.reporter, [&] { add(); });
}

void AdvancedSettings::add() {
    switch (s_.view.visibleList()) {
        case SettingsList::RegExceptions: {
            const std::string key = s_.view.regKeyText();
            if (key.empty()) {
                s_.prompt.ask("Please type a registry key to add to your exception list.", "Exception", Buttons::Ok,
                              Icon::Information);
                return;
            }
            appendRow(s_.view, SettingsList::RegExceptions, s_.view.regRootText(), key);
            return;
        }
        case SettingsList::FileExceptions: {
            if (s_.view.fileOptionSelected()) {
                s_.fileDialog.filter = std::string("All Files (*.*)\0*.*\0", 20);
                s_.fileDialog.flags = OFN_EXPLORER_FLAG | OFN_LONGNAMES_FLAG | OFN_HIDEREADONLY_FLAG |
                                      OFN_ALLOWMULTISELECT_FLAG;
                s_.fileDialog.title = "Show Open";
                s_.fileDialog.initialDir = s_.exeFolder + "\\";
                const SelectedFile chosen = s_.files.ShowOpen(s_.fileDialog, s_.view.windowHandle(), true);
                std::string path;
                if (!chosen.bCanceled && chosen.sFiles.size() > 1) path = chosen.sLastDirectory + chosen.sFiles[1];
                if (path.empty()) return;
                appendRow(s_.view, SettingsList::FileExceptions, path, "File");
            } else {
                std::string folder = s_.folders.BrowseFolder("Select an exception folder.", s_.view.windowHandle());
                if (folder.empty()) return;
                if (folder.back() != '\\') folder += '\\';
                appendRow(s_.view, SettingsList::FileExceptions, folder, "Folder");
            }
            return;
        }
        case SettingsList::Filter: {
            const std::string text = s_.view.filterText();
            if (text.empty()) {
                s_.prompt.ask("Please type some data to add to your filter list.", "Filter", Buttons::Ok,
                              Icon::Information);
                return;
            }
            appendRow(s_.view, SettingsList::Filter, text, "");
            return;
        }
    }
}

void AdvancedSettings::cmdRemoveRegExceptions_Click() {
    runHandler(s_.reporter, [&] {
        const SettingsList list = s_.view.visibleList();
        std::vector<SettingsRow> rows = s_.view.rows(list);
        std::erase_if(rows, [](const SettingsRow& r) { return r.ticked; });
        s_.view.setRows(list, rows);
    });
}

void AdvancedSettings::cmdOK_Click() {
    std::string failures;
    runHandler(s_.reporter, [&] {
        const MainResults::Work work = s_.main.workInHand();
        bool onSnapshots = false;
        if (work.bothSnapshots && !work.collecting && snapshotsAnswer(work)) {
            const Answer answer = s_.prompt.ask(
                "The new settings can apply to the two snapshots in hand: the places now excepted are dropped "
                "from both, and the changes are detected again.\r\n\r\nApply them to the snapshots in hand? No "
                "starts over: the results shown are cleared, and the next click on \"Collect data\" collects the "
                "first data again.",
                "Advanced settings", Buttons::YesNoCancel, Icon::Question);
            if (answer == Answer::Cancel) return;
            onSnapshots = answer == Answer::Yes;
        } else if (work.any()) {
            // Starting over sets aside a first snapshot that cannot be taken
            // again once the software is installed: the user says so first.
            std::string text = work.collecting ? "The collection under way will be stopped. " : "";
            text += "The new settings apply from a new first snapshot: the next click on \"Collect data\" collects the "
                    "first data again";
            if (work.firstSnapshot) text += ", and the first data collected so far will not be compared";
            if (work.results) text += ", and the results shown are cleared";
            text += ".\r\n\r\nApply the settings and start over?";
            if (s_.prompt.ask(text, "Advanced settings", Buttons::YesNo, Icon::Question) != Answer::Yes) return;
        }
        ok(failures, onSnapshots);
        // A file that was not written must not look saved: the dialog stays
        // open with the edits, and the user is told which file kept its old text.
        if (!failures.empty()) fail(75, "The settings could not all be saved:" + failures);
        s_.view.close();
    });
}

bool AdvancedSettings::snapshotsAnswer(const MainResults::Work& work) const {
    std::array<int16_t, 6> flags{};
    for (size_t i = 0; i < flags.size(); ++i) flags[i] = s_.view.checkValue(i);
    DetectionSwitches wanted = s_.state.switches;
    setFlags(wanted, flags);
    if (work.registryTicked && wanted.anyRegistry() && !work.registryInHand) return false;
    if (work.filesTicked && wanted.anyFiles() && !work.filesInHand) return false;
    // Entries from index 1 on, as the lists keep them.
    const auto kept = [](const auto& old, const auto& now) {
        return std::all_of(old.begin() + (old.empty() ? 0 : 1), old.end(),
                           [&](const auto& e) { return std::find(now.begin(), now.end(), e) != now.end(); });
    };
    if (!unreadable(SettingsList::RegExceptions) &&
        !kept(s_.state.RegExceptions,
              regExceptionsFromText(pairsText(pairsOf(s_.view.rows(SettingsList::RegExceptions))))))
        return false;
    if (!unreadable(SettingsList::FileExceptions) &&
        !kept(s_.state.FileExceptions,
              fileExceptionsFromText(pairsText(pairsOf(s_.view.rows(SettingsList::FileExceptions))))))
        return false;
    return true;
}

void AdvancedSettings::ok(std::string& failures, bool onSnapshots) {
    AppState& st = s_.state;
    const auto save = [&](const std::string& text, const std::string& path) {
        std::string error;
        if (!SaveData(text, path, s_.codePage, &error)) failures += " " + path + " (" + error + ").";
    };
    std::array<int16_t, 6> flags{};
    for (size_t i = 0; i < flags.size(); ++i) flags[i] = s_.view.checkValue(i);
    // The dialog has no box for the seventh switch: it is kept as it was.
    save(settingsText(flags, st.switches.chkAttributeChangesSetting), st.SettingsPath);
    setFlags(st.switches, flags);

    const auto keepUnread = [&](SettingsList list, const std::string& path) {
        if (!unreadable(list)) return false;
        if (!s_.view.rows(list).empty())
            failures += " " + path + " could not be read when the dialog opened, so the " +
                        kListNames[static_cast<size_t>(list)] + " were not changed.";
        return true;
    };
    if (!keepUnread(SettingsList::RegExceptions, st.RegExceptionsPath)) {
        const std::string text = pairsText(pairsOf(s_.view.rows(SettingsList::RegExceptions)));
        save(text, st.RegExceptionsPath);
        st.RegExceptions = regExceptionsFromText(text);
    }
    if (!keepUnread(SettingsList::FileExceptions, st.FileExceptionsPath)) {
        const std::string text = pairsText(pairsOf(s_.view.rows(SettingsList::FileExceptions)));
        save(text, st.FileExceptionsPath);
        st.FileExceptions = fileExceptionsFromText(text);
    }
    if (!keepUnread(SettingsList::Filter, st.FilterPath)) {
        const std::string text = singlesText(textsOf(s_.view.rows(SettingsList::Filter)));
        save(text, st.FilterPath);
        st.FilterList = filterListFromText(text);
    }
    if (onSnapshots) {
        s_.main.applySettingsToSnapshots();
    } else {
        s_.main.clearResultsForNewSettings();
    }
}

}  // namespace qv

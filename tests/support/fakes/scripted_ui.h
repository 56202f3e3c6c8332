#pragma once
// Scripted stand-ins for the window, the message boxes and the message pump, so
// that the real workflow runs natively without a window.
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/main_view.h"
#include "core/pickers.h"
#include "core/user_prompt.h"
#include "core/yielder.h"

namespace qv::testing {

struct PromptCall {
    std::string text;
    std::string title;
    Buttons buttons;
    Icon icon;
    std::string tick;  // the tick box's text, "" for a box without one
};

// Answers boxes from a queue (Ok or Yes when the queue is empty) and records them.
class ScriptedPrompt : public UserPrompt {
public:
    std::deque<Answer> answers;
    std::vector<PromptCall> calls;
    std::function<void(const PromptCall&)> onAsk;

    Answer ask(std::string_view text, std::string_view title, Buttons buttons, Icon icon) override {
        calls.push_back({std::string(text), std::string(title), buttons, icon, {}});
        if (onAsk) onAsk(calls.back());
        if (answers.empty()) return buttons == Buttons::Ok ? Answer::Ok : Answer::Yes;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    // The tick boxes are left as `ticks` says, in turn (unticked when it is empty).
    std::deque<bool> ticks;
    Answer askWithTick(std::string_view text, std::string_view title, Buttons buttons, Icon icon,
                       std::string_view tick, bool& ticked) override {
        ticked = !ticks.empty() && ticks.front();
        if (!ticks.empty()) ticks.pop_front();
        const Answer a = ask(text, title, buttons, icon);
        calls.back().tick = tick;
        return a;
    }
};

// Counts yields and runs a scripted action at chosen ones ("press Stop at the 3rd").
class ScriptedYielder : public Yielder {
public:
    long count = 0;
    std::map<long, std::function<void()>> at;
    std::function<void(long)> every;

    void yield() override {
        ++count;
        if (every) every(count);
        if (auto it = at.find(count); it != at.end()) {
            auto action = std::move(it->second);
            at.erase(it);
            action();
        }
    }
};

class ScriptedView : public MainView {
public:
    bool chkDetectRegistry = true;
    bool chkDetectFiles = false;
    std::string cmdSnapShotCaption = "Collect data";
    bool cmdSnapShotEnabled = true;
    bool cmdDetectChangesEnabled = false;
    std::string cmbRegStart = "HKEY_LOCAL_MACHINE";
    std::string txtRegKeyStart = "SOFTWARE";
    std::string txtFileSystemStart = "C:\\";
    std::string status;
    std::vector<std::string> statusHistory;
    bool keepStatusHistory = false;
    std::vector<ResultRow> lists[6];
    std::vector<ListId> clearOrder;
    int64_t progressMax = 1;
    int64_t progressValue = 0;
    bool commandsLocked = false;
    int lockCalls = 0;

    std::vector<ResultRow>& list(ListId id) { return lists[static_cast<int>(id)]; }

    bool registryTicked() const override { return chkDetectRegistry; }
    bool filesTicked() const override { return chkDetectFiles; }
    std::string collectCaption() const override { return cmdSnapShotCaption; }
    void setCollectCaption(std::string_view c) override { cmdSnapShotCaption = c; }
    void setCollectEnabled(bool e) override { cmdSnapShotEnabled = e; }
    void setDetectEnabled(bool e) override { cmdDetectChangesEnabled = e; }
    std::string regRootText() const override { return cmbRegStart; }
    void setRegRootText(std::string_view hiveName) override { cmbRegStart = hiveName; }
    std::string regKeyText() const override { return txtRegKeyStart; }
    void setRegKeyText(std::string_view text) override { txtRegKeyStart = text; }
    std::string fileStartText() const override { return txtFileSystemStart; }
    void setFileStartText(std::string_view t) override { txtFileSystemStart = t; }
    void clearList(ListId id) override {
        clearOrder.push_back(id);
        list(id).clear();
    }
    void appendRow(ListId id, ResultRow row) override { list(id).push_back(std::move(row)); }
    void setProgressMax(int64_t m) override { progressMax = m; }
    void setProgressValue(int64_t v) override { progressValue = v; }
    void lockCommands(bool locked) override {
        commandsLocked = locked;
        ++lockCalls;
    }
    void setStatus(std::string_view text) override {
        status = text;
        if (keepStatusHistory) statusHistory.push_back(status);
    }
};

// Answers the open and save dialogs with a chosen full path ("" cancels) and
// keeps what each call was asked, as the common dialogs would be answered.
class ScriptedFileDialogs : public FilePicker, public SaveFilePicker {
public:
    std::string chosen;
    uint32_t filterIndex = 1;
    std::vector<FileDialog> asked;

    SelectedFile ShowOpen(FileDialog& dialog, intptr_t, bool) override {
        asked.push_back(dialog);
        if (chosen.empty()) return SelectedFile{};
        const size_t cut = chosen.find_last_of("\\/") + 1;
        SelectedFile file;
        file.nFilesSelected = 1;
        file.sFiles = {"", chosen.substr(cut)};
        file.sLastDirectory = chosen.substr(0, cut);
        file.bCanceled = false;
        dialog.sFile = chosen;
        return file;
    }
    std::string ShowSave(FileDialog& dialog, intptr_t, bool) override {
        asked.push_back(dialog);
        dialog.sFile = chosen;
        dialog.filterIndex = filterIndex;
        return chosen;
    }
};

}  // namespace qv::testing

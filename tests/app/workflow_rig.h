#pragma once
// The collection workflow on a scripted window, registry and file system, as
// the workflow's and the File menu's tests both drive it.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/collection_workflow.h"
#include "app/snapshot_commands.h"
#include "support/error_report.h"
#include "tests/support/fakes/fake_file_system.h"
#include "tests/support/fakes/fake_registry.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv::testing {

class ScriptedPicker : public FolderPicker {
public:
    std::string answer;
    std::string prompt;
    std::string BrowseFolder(std::string_view p, intptr_t) override {
        prompt = p;
        return answer;
    }
};

class ScriptedWindow : public ScriptedView, public SnapshotView {
public:
    void setRegistryTicked(bool ticked) override { chkDetectRegistry = ticked; }
    void setFilesTicked(bool ticked) override { chkDetectFiles = ticked; }
    const std::vector<ResultRow>& resultRows(ListId id) const override { return lists[static_cast<int>(id)]; }
    bool commandsLocked() const override { return ScriptedView::commandsLocked; }
};

class WorkflowTest : public ::testing::Test {
protected:
    WorkflowTest() {
        view.cmbRegStart = "HKEY_CURRENT_USER";
        view.txtRegKeyStart = "Software\\App";
        registry.addValue(kHiveCurrentUser, "Software\\App", "Version", kRegSz, "1.0");
        registry.addValue(kHiveCurrentUser, "Software\\App", "Path", kRegSz, "C:\\App");
        registry.addKey(kHiveCurrentUser, "Software\\App\\Empty");
        workflow.Detect_Click = [this] { ++detections; };
    }

    void useFiles(const std::string& start = "C:\\Data\\") {
        view.chkDetectFiles = true;
        view.txtFileSystemStart = start;
        files.addFile("C:\\Data\\a.txt", 10, 1000);
        files.addFile("C:\\Data\\sub\\b.txt", 20, 2000);
    }

    using Box = std::tuple<std::string, std::string, Buttons, Icon>;
    std::vector<Box> boxes() const {
        std::vector<Box> b;
        for (const auto& c : prompt.calls) b.emplace_back(c.text, c.title, c.buttons, c.icon);
        return b;
    }
    std::vector<std::string> titles() const {
        std::vector<std::string> t;
        for (const auto& c : prompt.calls) t.push_back(c.title);
        return t;
    }

    AppState state;
    ScriptedWindow view;
    ScriptedPrompt prompt;
    ScriptedYielder yielder;
    ErrorReporter reporter{prompt};
    FakeRegistry registry;
    FakeRegistrySource source{registry};
    FakeFileSystem files;
    ScriptedPicker picker;
    CollectionWorkflow workflow{
        WorkflowServices{state, view, prompt, yielder, reporter, source, files, picker}};
    int detections = 0;
};

}  // namespace qv::testing

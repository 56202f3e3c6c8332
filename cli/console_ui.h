#pragma once
// The window's side of the workflow and of detection, answered on the console:
// a view that keeps the six lists and shows the status as progress, boxes that
// are answered without being shown, errors reported as lines, and a yield with
// no window to hand the thread to.
#include <chrono>
#include <cstdint>
#include <string>

#include "app/main_view.h"
#include "app/result_lists.h"
#include "cli/console.h"
#include "core/error_sink.h"
#include "core/pickers.h"
#include "core/user_prompt.h"
#include "core/yielder.h"

namespace qv::cli {

class ConsoleView : public MainView {
public:
    explicit ConsoleView(Console& console) : console_(console) {}

    // What the "Search parameters" would show.
    bool registry = false;
    bool files = false;
    std::string root, key, folder;
    std::string caption = "Collect data";
    ResultLists lists;

    bool registryTicked() const override { return registry; }
    bool filesTicked() const override { return files; }
    std::string collectCaption() const override { return caption; }
    void setCollectCaption(std::string_view text) override { caption = text; }
    void setCollectEnabled(bool) override {}
    void setDetectEnabled(bool) override {}
    std::string regRootText() const override { return root; }
    void setRegRootText(std::string_view hiveName) override { root = hiveName; }
    std::string regKeyText() const override { return key; }
    void setRegKeyText(std::string_view text) override { key = text; }
    std::string fileStartText() const override { return folder; }
    void setFileStartText(std::string_view text) override { folder = text; }
    void clearList(ListId list) override { lists[list].clear(); }
    void appendRow(ListId list, ResultRow row) override { lists[list].push_back(std::move(row)); }
    void setProgressMax(int64_t) override {}
    void setProgressValue(int64_t) override {}
    void lockCommands(bool) override {}
    // Called once per recorded or compared entry: the line counts them.
    void setStatus(std::string_view text) override;

    // A new run of entries to count, timed from now.
    void startCounting();

private:
    Console& console_;
    uint64_t entries_ = 0;
    std::chrono::steady_clock::time_point started_{};
    std::chrono::steady_clock::time_point drawn_{};
};

// The progress line: entries so far, time so far, and what is being read.
std::string progressLine(uint64_t entries, double seconds, std::string_view status);
// 1234567 as "1,234,567".
std::string groupedNumber(uint64_t n);

// Everything but progress: --quiet.
class QuietConsole : public Console {
public:
    explicit QuietConsole(Console& inner) : inner_(inner) {}
    bool write(std::string_view bytes) override { return inner_.write(bytes); }
    void line(std::string_view text) override { inner_.line(text); }
    void progress(std::string_view) override {}
    bool showsProgress() const override { return false; }

private:
    Console& inner_;
};

// A script cannot answer a box: information is taken as read and a question
// gets the answer that does nothing more.
class SilentPrompt : public UserPrompt {
public:
    Answer ask(std::string_view, std::string_view, Buttons buttons, Icon) override {
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
};

// Each trapped failure becomes one line on standard error, with its number and
// description, and is counted.
class ConsoleErrorSink : public ErrorSink {
public:
    explicit ConsoleErrorSink(Console& console) : console_(console) {}
    void ReportError(int32_t errNumber, std::string_view errDescription, int32_t errLine) override;
    int failures() const { return failures_; }

private:
    Console& console_;
    int failures_ = 0;
};

// Nothing else runs on the thread: no handler can change what a job caches.
class NoYield : public Yielder {
public:
    void yield() override {}
    unsigned long long turns() const override { return 0; }
};

class NoFolderPicker : public FolderPicker {
public:
    std::string BrowseFolder(std::string_view, intptr_t) override { return {}; }
};

// "quorvel-cli: " and the text, the form of every line the program writes to
// standard error.
void complain(Console& console, std::string_view text);

}  // namespace qv::cli

#include "cli/commands.h"

#include <chrono>
#include <optional>

#include "app/change_detection.h"
#include "app/collection_workflow.h"
#include "app/exports.h"
#include "cli/console_ui.h"
#include "core/handler.h"
#include "core/snapshot_file.h"
#include "core/whole_file.h"
#include "settings/data_files.h"

namespace qv::cli {
namespace {

// One run's state and the window's services answered on the console, around
// the window's own workflow.
class Session {
public:
    explicit Session(CliServices& services)
        : services_(services),
          view_(services.console),
          reporter_(services.console),
          workflow_(WorkflowServices{state_, view_, prompt_, yielder_, reporter_, services.registry,
                                     services.files, folders_}) {
        workflow_.Detect_Click = [this] {
            DetectionContext ctx{state_, view_, yielder_, services_.files, prompt_};
            Detect_Click(ctx);
        };
    }

    // The switches and the three lists, from the data files in `folder`.
    bool loadSettings(const std::string& folder) {
        if (!folder.empty() && !pathExists(folder)) {
            complain(services_.console, "no settings folder " + folder);
            return false;
        }
        setDataFilePaths(state_, folder.empty() ? services_.exeFolder : folder);
        LoadSettingsAndLists(state_, services_.codePage, reporter_);
        return !failed();
    }

    // A first collection, as the collect button takes it.
    std::optional<Collection> collect(const CaptureOptions& capture) {
        view_.registry = capture.registry;
        view_.root = capture.root;
        view_.key = capture.key;
        view_.files = capture.files;
        view_.folder = capture.folder;
        view_.caption = "Collect data";
        const auto start = std::chrono::steady_clock::now();
        workflow_.cmdSnapShot_Click();
        services_.console.progress("");
        // The caption moves on only when the collection ran to its end.
        if (failed() || view_.caption != "Collect final data") return std::nullopt;
        Collection c;
        c.registryWalked = workflow_.registryPhaseDue();
        if (c.registryWalked) {
            c.hive = *hiveNumber(capture.root);
            c.startKey = capture.key;
            c.registry = std::move(state_.regArray);
        }
        c.filesScanned = workflow_.filePhaseDue();
        if (c.filesScanned) {
            c.startFolder = view_.folder;
            c.files = std::move(state_.StartFileList);
        }
        c.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return c;
    }

    // Detection of the changes from `before` to `after`.
    std::optional<ResultLists> compare(Collection before, Collection after) {
        state_.regArray = std::move(before.registry);
        state_.regArray2 = std::move(after.registry);
        state_.StartFileList = std::move(before.files);
        state_.FinishFileList = std::move(after.files);
        state_.FinishFileScanRan = after.filesScanned;
        view_.registry = after.registryWalked;
        workflow_.cmdDetectChanges_Click();
        services_.console.progress("");
        if (failed()) return std::nullopt;
        return std::move(view_.lists);
    }

    // Runs the installer; false when it could not be run.
    bool install(const std::vector<std::string>& program) {
        services_.console.progress("Waiting for " + program.front() + " and the processes it starts");
        uint32_t code = 0;
        runHandler(reporter_, [&] { code = services_.runner.run(program); });
        services_.console.progress("");
        if (failed()) return false;
        if (code != 0)
            complain(services_.console, program.front() + " ended with exit code " + std::to_string(code));
        return true;
    }

    const RegSnapshot& firstRegistry() const { return state_.regArray; }

private:
    bool failed() const { return reporter_.failures() > 0; }

    CliServices& services_;
    AppState state_;
    ConsoleView view_;
    SilentPrompt prompt_;
    NoYield yielder_;
    ConsoleErrorSink reporter_;
    NoFolderPicker folders_;
    CollectionWorkflow workflow_;
};

// The six lists as plain text: each list's title and row count, then its rows
// with the columns the window shows, separated by " | ".
std::string textResults(const ResultLists& lists) {
    std::string out;
    for (ListId list : kAllLists) {
        out += '[';
        out += resultListTitle(list);
        out += "] ";
        out += std::to_string(lists[list].size());
        out += " rows\n";
        const int columns = resultListColumns(list).count;
        for (const ResultRow& row : lists[list]) {
            out += "    ";
            for (int c = 0; c < columns; ++c) {
                if (c) out += " | ";
                out += resultCell(row, c);
            }
            out += '\n';
        }
    }
    return out;
}

// A snapshot pair covers the same places, or its comparison means nothing.
std::string mismatch(const Collection& before, const Collection& after) {
    if (before.registryWalked != after.registryWalked || before.filesScanned != after.filesScanned)
        return "the snapshots do not both hold the registry, or do not both hold files";
    if (before.registryWalked && (before.hive != after.hive || before.startKey != after.startKey))
        return "the snapshots are of different registry keys";
    if (before.filesScanned && before.startFolder != after.startFolder)
        return "the snapshots are of different folders";
    return {};
}

ResultContext contextOf(const Collection& c) {
    return ResultContext{c.registryWalked ? std::string(hiveName(c.hive)) : std::string(), c.startKey,
                         c.filesScanned ? c.startFolder : std::string()};
}

// Writes the results where they were asked for; the exit code says whether
// anything changed.
int deliver(const ResultLists& lists, const Arguments& args, const ResultContext& context,
            const RegSnapshot& first, Console& console) {
    const std::string text = formatResults(lists, args.format, context, first);
    if (args.output.empty()) {
        console.write(text);
    } else if (std::string error; !replaceWholeFile(args.output, text, &error)) {
        complain(console, error);
        return kRunFailure;
    }
    return lists.empty() ? kNoChanges : kChangesFound;
}

int snapshot(const Arguments& args, CliServices& services) {
    Session session(services);
    if (!session.loadSettings(args.settingsFolder)) return kBadUsage;
    const std::optional<Collection> collection = session.collect(args.capture);
    if (!collection) return kRunFailure;
    if (std::string error; !saveCollection(args.output, *collection, error)) {
        complain(services.console, error);
        return kRunFailure;
    }
    return kNoChanges;
}

int diff(const Arguments& args, CliServices& services) {
    std::optional<Collection> snapshots[2];
    for (int i = 0; i < 2; ++i) {
        std::string error;
        snapshots[i] = loadCollection(args.snapshots[i], error);
        if (!snapshots[i]) {
            complain(services.console, error);
            return kBadUsage;
        }
    }
    if (const std::string why = mismatch(*snapshots[0], *snapshots[1]); !why.empty()) {
        complain(services.console, why);
        return kBadUsage;
    }
    Session session(services);
    if (!session.loadSettings(args.settingsFolder)) return kBadUsage;
    const ResultContext context = contextOf(*snapshots[0]);
    const std::optional<ResultLists> lists =
        session.compare(std::move(*snapshots[0]), std::move(*snapshots[1]));
    if (!lists) return kRunFailure;
    return deliver(*lists, args, context, session.firstRegistry(), services.console);
}

int watch(const Arguments& args, CliServices& services) {
    Session session(services);
    if (!session.loadSettings(args.settingsFolder)) return kBadUsage;
    std::optional<Collection> before = session.collect(args.capture);
    if (!before || !session.install(args.program)) return kRunFailure;
    std::optional<Collection> after = session.collect(args.capture);
    if (!after) return kRunFailure;
    const ResultContext context = contextOf(*before);
    const std::optional<ResultLists> lists = session.compare(std::move(*before), std::move(*after));
    if (!lists) return kRunFailure;
    return deliver(*lists, args, context, session.firstRegistry(), services.console);
}

}  // namespace

std::string formatResults(const ResultLists& lists, OutputFormat format, const ResultContext& context,
                          const RegSnapshot& first) {
    return format ? exportBytes(*format, lists, context, first) : textResults(lists);
}

int runCommand(const Arguments& args, CliServices& services) {
    if (args.help) {
        services.console.write(helpText(args.command));
        return kNoChanges;
    }
    switch (*args.command) {
        case Command::Snapshot:
            return snapshot(args, services);
        case Command::Diff:
            return diff(args, services);
        case Command::Watch:
            return watch(args, services);
    }
    return kBadUsage;
}

}  // namespace qv::cli

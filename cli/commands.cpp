#include "cli/commands.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "app/change_detection.h"
#include "app/collection_workflow.h"
#include "app/exports.h"
#include "app/unread_places.h"
#include "cli/console_ui.h"
#include "cli/places.h"
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
            DetectionContext ctx{state_, view_, yielder_, services_.files, prompt_, true};
            Detect_Click(ctx);
        };
    }

    // The switches and the three lists, from the data files in `folder`.
    bool loadSettings(const std::string& folder) {
        if (!folder.empty() && !pathExists(folder)) {
            complain(services_.console, "no settings folder " + folder);
            return false;
        }
        if (!folder.empty() && regularFileExists(folder)) {
            complain(services_.console, "the settings folder " + folder + " is a file; give the folder that holds the data files");
            return false;
        }
        setDataFilePaths(state_, folder.empty() ? services_.exeFolder : folder);
        LoadSettingsAndLists(state_, services_.codePage, reporter_);
        // A script asks what changed, all of it: without a Settings.dat that
        // says otherwise, every list is looked for, deletions too.
        if (!regularFileExists(state_.SettingsPath)) {
            DetectionSwitches& s = state_.switches;
            s.chkNewRegSetting = s.chkDeleteRegSetting = s.chkEditedRegSetting = 1;
            s.chkNewFilesSetting = s.chkDeleteFilesSetting = s.chkModifiedFilesSetting = 1;
        }
        return !failed();
    }

    const DetectionSwitches& switches() const { return state_.switches; }

    // Every place in turn, as the collect button takes one key and one
    // folder, made one collection.
    std::optional<Collection> collect(const CapturePlaces& places) {
        std::vector<Collection> parts;
        for (size_t i = 0; i < places.count(); ++i) {
            std::optional<Collection> part = collectOne(places.at(i));
            if (!part) return std::nullopt;
            parts.push_back(std::move(*part));
        }
        Collection all = mergeCollections(std::move(parts));
        all.takenAt = static_cast<int64_t>(
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count());
        all.machine = services_.machine;
        all.user = services_.user;
        return all;
    }

    // A first collection, as the collect button takes it.
    std::optional<Collection> collectOne(const CaptureOptions& capture) {
        view_.registry = capture.registry;
        view_.root = capture.root;
        view_.key = capture.key;
        view_.files = capture.files;
        view_.folder = capture.folder;
        view_.caption = "Collect data";
        view_.startCounting();
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
        c.unread = std::move(state_.FirstUnread);
        return c;
    }

    // Detection of the changes from `before` to `after`.
    std::optional<ResultLists> compare(Collection before, Collection after) {
        // The root that the rows' key names are below; none where they name
        // their own, as in a collection of several keys.
        state_.FirstPlaces = CollectionPlaces{before.registryWalked, before.rootsInKeys() ? 0 : before.hive,
                                              before.startKey,       before.filesScanned,
                                              before.startFolder,    before.seconds};
        state_.StartFoldersRecorded = before.foldersRecorded;
        state_.FinishFoldersRecorded = after.foldersRecorded;
        state_.regArray = std::move(before.registry);
        state_.regArray2 = std::move(after.registry);
        state_.StartFileList = std::move(before.files);
        state_.FinishFileList = std::move(after.files);
        state_.FinishFileScanRan = after.filesScanned;
        view_.registry = after.registryWalked;
        view_.startCounting();
        workflow_.cmdDetectChanges_Click();
        services_.console.progress("");
        if (failed()) return std::nullopt;
        return std::move(view_.lists);
    }

    // A start key or folder that is not there is bad usage, with a line naming
    // it; a key that is there but cannot be read is walked as it is (recorded
    // without values), with a line that says so. 0 when the places are there.
    int checkPlaces(const CapturePlaces& places) {
        if (const std::string overlap =
                overlappingPlaces(places, [&](const std::string& f) { return services_.files.fullPathName(f); });
            !overlap.empty()) {
            complain(services_.console, overlap);
            return kBadUsage;
        }
        for (size_t i = 0; i < places.count(); ++i) {
            if (const int code = checkPlace(places.at(i))) return code;
        }
        return kNoChanges;
    }

    int checkPlace(const CaptureOptions& capture) {
        if (capture.registry) {
            std::unique_ptr<RegistryProvider> provider;
            runHandler(reporter_, [&] { provider = services_.registry.connect(); });
            if (!provider) return kRunFailure;
            const std::string named = capture.root + (capture.key.empty() ? "" : "\\" + capture.key);
            switch (provider->keyAccess(*hiveNumber(capture.root), capture.key)) {
                case RegistryProvider::KeyAccess::Missing:
                    complain(services_.console, "no registry key " + named);
                    return kBadUsage;
                case RegistryProvider::KeyAccess::Denied:
                    // Recorded as unread by the walk, and said with the rest.
                    break;
                case RegistryProvider::KeyAccess::Readable:
                    break;
            }
        }
        if (capture.files) {
            const std::optional<uint32_t> attributes =
                services_.files.attributes(services_.files.fullPathName(capture.folder));
            if (!attributes || !(*attributes & kAttrDirectory)) {
                complain(services_.console, "no folder " + capture.folder);
                return kBadUsage;
            }
        }
        return kNoChanges;
    }

    // Runs the installer; false when it could not be run.
    bool install(const std::vector<std::string>& program, uint32_t timeoutSeconds) {
        services_.console.progress("Waiting for " + program.front() + " and the processes it starts");
        uint32_t code = 0;
        runHandler(reporter_, [&] { code = services_.runner.run(program, timeoutSeconds); });
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

// One row's columns as the window shows them, separated by " | ". An edited
// value shows its old data from the first snapshot before the new.
void textRow(std::string& out, ListId list, const ResultRow& row, const OldEntries& old) {
    const int columns = resultListColumns(list).count;
    for (int c = 0; c < columns; ++c) {
        if (c) out += " | ";
        // A type that changed is named on both sides: the texts alone
        // may read the same ("5 -> 5").
        bool retyped = false, bytesOnly = false;
        if (c == 2) {
            if (const RegEntry* found = old.find(list, row)) {
                const RegEntry& was = *found;
                out += was.ValueData;
                retyped = was.ValueType != row.type && was.ValueType != kKeyEntryType && row.type != kKeyEntryType;
                if (retyped) out += " (" + registryTypeName(was.ValueType) + ")";
                out += " -> ";
                // Same text, same type: the bytes behind the text changed
                // (an expandable string shows its expansion).
                bytesOnly = !retyped && was.ValueData == row.sub2;
            }
        }
        out += resultCell(row, c);
        if (retyped) out += " (" + registryTypeName(row.type) + ")";
        if (bytesOnly) out += " (other bytes)";
    }
}

// The six lists as plain text: each list's title and its true row count (or
// "not checked" where it was not looked for), then its rows. The old data of
// an edited value stands in its edited row, not among the deletions, unless
// edits were not listed. Rows of places that change on their own follow last,
// under their own title.
std::string textResults(const ResultLists& lists, const ResultContext& context, const RegSnapshot& first) {
    const OldEntries old(lists, first);
    const bool editsShown = context.isChecked(ListId::EditedRegistry);
    std::string out, background;
    size_t backgroundRows = 0;
    for (ListId list : kAllLists) {
        out += '[';
        out += resultListTitle(list);
        out += "] ";
        if (!context.isChecked(list)) {
            out += "not checked\n";
            continue;
        }
        std::string rows;
        size_t count = 0;
        for (const ResultRow& row : lists[list]) {
            if (row.oldData && editsShown) continue;
            std::string& to = row.background ? background : rows;
            to += "    ";
            if (row.background) {
                to += resultListTitle(list);
                to += ": ";
                ++backgroundRows;
            } else {
                ++count;
            }
            textRow(to, list, row, old);
            if (row.oldData) to += " (old data of an edited value)";
            to += '\n';
        }
        out += std::to_string(count);
        out += count == 1 ? " row\n" : " rows\n";
        out += rows;
    }
    if (backgroundRows > 0) {
        out += "[Background changes] " + std::to_string(backgroundRows) +
               (backgroundRows == 1 ? " row" : " rows") + ", in places that change on their own (Background.dat)\n";
        out += background;
    }
    return out;
}

ResultContext contextOf(const Collection& c, const Collection& after, const DetectionSwitches& switches,
                        const std::string& comment) {
    ResultContext context{c.registryWalked && !c.rootsInKeys() ? std::string(hiveName(c.hive)) : std::string(),
                          c.startKey, c.filesScanned ? c.startFolder : std::string()};
    context.registryPlaces = c.registryPlaces;
    context.folderPlaces = c.folderPlaces;
    for (ListId list : kAllLists)
        context.checked[static_cast<size_t>(list)] = listChecked(list, switches, c.registryWalked, c.filesScanned);
    context.facts = {comment, {c.takenAt, c.machine, c.user}, {after.takenAt, after.machine, after.user}, switches,
                     kCurrentVersion};
    return context;
}

// "-o -" as Unix tools take it, and "-o CON" as Windows tools take it, are
// standard output, which is the console unless the caller redirected it.
bool toStandardOutput(const std::string& output) {
    const bool console = output.size() == 3 && (output[0] | 0x20) == 'c' && (output[1] | 0x20) == 'o' &&
                         (output[2] | 0x20) == 'n';
    return output.empty() || output == "-" || console;
}

// Writes the results where they were asked for; the exit code says whether
// anything changed.
int deliver(const ResultLists& lists, const Arguments& args, const ResultContext& context,
            const RegSnapshot& first, Console& console) {
    const bool toOutput = toStandardOutput(args.output);
    const std::string text = formatResults(lists, args.format, context, first, !toOutput);
    if (toOutput) {
        if (!console.write(text)) {
            complain(console, "cannot write the results to standard output (is the disk full, or the pipe closed?)");
            return kRunFailure;
        }
    } else if (std::string error; !replaceWholeFile(args.output, text, &error)) {
        complain(console, "cannot write " + args.output + ": " + error);
        return kRunFailure;
    }
    return lists.empty() ? kNoChanges : kChangesFound;
}

// A warning line for what a collection could not read, so that nobody takes
// its snapshot, or a diff of it, for complete.
void warnUnread(Console& console, const std::vector<std::string>& unread, const std::string& which = {}) {
    const std::string said = unreadSummary(unread);
    if (!said.empty()) complain(console, "warning: " + which + said);
}

int snapshot(const Arguments& args, CliServices& services) {
    Session session(services);
    if (!session.loadSettings(args.settingsFolder)) return kBadUsage;
    const CapturePlaces places = expandPlaces(args.capture, services.fixedDrives);
    if (const int code = session.checkPlaces(places)) return code;
    const std::optional<Collection> collection = session.collect(places);
    if (!collection) return kRunFailure;
    warnUnread(services.console, collection->unread);
    // Only "-" is standard output here: a snapshot's bytes are no text for the
    // console that "CON" names.
    const bool toOutput = args.output == "-";
    if (toOutput) {
        if (!services.console.write(collectionBytes(*collection))) {
            complain(services.console,
                     "cannot write the snapshot to standard output (is the disk full, or the pipe closed?)");
            return kRunFailure;
        }
    } else if (std::string error; !saveCollection(args.output, *collection, error)) {
        complain(services.console, error);
        return kRunFailure;
    }
    if (!args.quiet) services.console.line(snapshotSummary(*collection, toOutput ? std::string() : args.output));
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
    if (const std::string why = placesMismatch(*snapshots[0], *snapshots[1]); !why.empty()) {
        complain(services.console, why);
        return kBadUsage;
    }
    Session session(services);
    if (!session.loadSettings(args.settingsFolder)) return kBadUsage;
    warnUnread(services.console, snapshots[0]->unread, "in " + args.snapshots[0] + ", ");
    warnUnread(services.console, snapshots[1]->unread, "in " + args.snapshots[1] + ", ");
    ResultContext context = contextOf(*snapshots[0], *snapshots[1], session.switches(), args.comment);
    context.unread = unreadOfBoth(snapshots[0]->unread, snapshots[1]->unread);
    const std::optional<ResultLists> lists =
        session.compare(std::move(*snapshots[0]), std::move(*snapshots[1]));
    if (!lists) return kRunFailure;
    return deliver(*lists, args, context, session.firstRegistry(), services.console);
}

int watch(const Arguments& args, CliServices& services) {
    Session session(services);
    if (!session.loadSettings(args.settingsFolder)) return kBadUsage;
    const CapturePlaces places = expandPlaces(args.capture, services.fixedDrives);
    if (const int code = session.checkPlaces(places)) return code;
    std::optional<Collection> before = session.collect(places);
    if (!before || !session.install(args.program, args.timeoutSeconds)) return kRunFailure;
    std::optional<Collection> after = session.collect(places);
    if (!after) return kRunFailure;
    ResultContext context = contextOf(*before, *after, session.switches(), args.comment);
    context.unread = unreadOfBoth(before->unread, after->unread);
    warnUnread(services.console, context.unread);
    const std::optional<ResultLists> lists = session.compare(std::move(*before), std::move(*after));
    if (!lists) return kRunFailure;
    return deliver(*lists, args, context, session.firstRegistry(), services.console);
}

}  // namespace

std::string formatResults(const ResultLists& lists, OutputFormat format, const ResultContext& context,
                          const RegSnapshot& first, bool toFile) {
    return format ? exportBytes(*format, lists, context, first, toFile) : textResults(lists, context, first);
}

std::string snapshotSummary(const Collection& c, const std::string& writtenTo) {
    std::string line = "snapshot: ";
    // Every place of a collection of several, else its key and folder.
    std::vector<std::string> places = c.registryPlaces;
    if (places.empty() && c.registryWalked) places.push_back(std::string(hiveName(c.hive)) + (c.startKey.empty() ? "" : "\\" + c.startKey));
    if (!c.folderPlaces.empty()) {
        places.insert(places.end(), c.folderPlaces.begin(), c.folderPlaces.end());
    } else if (c.filesScanned) {
        places.push_back(c.startFolder);
    }
    for (size_t i = 0; i < places.size(); ++i)
        line += (i == 0 ? "" : i + 1 == places.size() ? " and " : ", ") + places[i];
    line += " \xE2\x80\x94 ";  // an em dash
    if (c.registryWalked) {
        line += groupedNumber(c.registry.size());
        line += c.registry.size() == 1 ? " registry entry" : " registry entries";
    }
    if (c.filesScanned) {
        // Element 0 of a file list holds no file; a folder's path ends with "\".
        size_t files = 0, folders = 0;
        for (size_t i = 1; i < c.files.size(); ++i) (isFolderPath(c.files[i].Filepath) ? folders : files) += 1;
        line += (c.registryWalked ? ", " : "") + groupedNumber(files);
        line += files == 1 ? " file" : " files";
        if (folders > 0) line += ", " + groupedNumber(folders) + (folders == 1 ? " folder" : " folders");
    }
    char time[32];
    std::snprintf(time, sizeof time, " in %.*f s", c.seconds < 10 ? 2 : 1, c.seconds);
    line += time;
    line += ", written to ";
    line += writtenTo.empty() ? "standard output" : writtenTo;
    return line;
}

int runCommand(const Arguments& args, CliServices& given) {
    // --quiet: the same run with nothing on standard error but failures.
    QuietConsole quiet(given.console);
    CliServices quieted{given.registry, given.files, given.codePage, given.runner, quiet, given.exeFolder};
    CliServices& services = args.quiet ? quieted : given;
    if (args.help || args.version) {
        if (services.console.write(args.help ? std::string(helpText(args.command)) : versionText())) return kNoChanges;
        complain(services.console, "cannot write to standard output");
        return kRunFailure;
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

int runGuarded(const std::function<int()>& command, const std::function<void(std::string_view)>& sayError) {
    try {
        return command();
    } catch (const std::bad_alloc&) {
        sayError("quorvel-cli: there is not enough memory for this command\n");
    } catch (const std::exception& e) {
        sayError(std::string("quorvel-cli: ") + e.what() + "\n");
    }
    return kRunFailure;
}

}  // namespace qv::cli

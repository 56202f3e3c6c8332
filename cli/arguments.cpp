#include "cli/arguments.h"

#include <algorithm>
#include <iterator>
#include <map>

#include "capture/registry_provider.h"
#include "core/app_state.h"

namespace qv::cli {
namespace {

constexpr std::string_view kOverview =
    "quorvel-cli: what an installation changed, for scripts.\n"
    "\n"
    "  quorvel-cli snapshot (--reg ROOT\\KEY | --dir FOLDER | --machine)... -o FILE [--settings DIR]\n"
    "                   [--quiet]\n"
    "  quorvel-cli diff BEFORE AFTER [--format text|csv|json|html|md|reg|cmd] [-o FILE]\n"
    "                   [--comment TEXT] [--settings DIR] [--quiet]\n"
    "  quorvel-cli watch (--reg ROOT\\KEY | --dir FOLDER | --machine)... [diff options]\n"
    "                   [--timeout SECONDS]\n"
    "                    -- INSTALLER [ARGS...]\n"
    "  quorvel-cli --version\n"
    "\n"
    "On Linux, snapshot and watch read a Wine or Proton prefix's registry files and drives\n"
    "directly: --prefix DIR (default $WINEPREFIX, else ~/.wine) and --wait.\n"
    "\n"
    "-o - is standard output. On a terminal, progress shows on standard error.\n"
    "\n"
    "Each command takes --help (or /?). Exit codes: 0 no changes, 1 changes found,\n"
    "2 bad usage or a bad file, 3 a run-time failure, 130 interrupted.\n";

constexpr std::string_view kSnapshotHelp =
    "quorvel-cli snapshot: takes one snapshot and writes it to a file.\n"
    "\n"
    "  --reg ROOT\\KEY   the registry key to walk, below HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,\n"
    "                   HKEY_LOCAL_MACHINE, HKEY_USERS or HKEY_CURRENT_CONFIG (or HKCR, HKCU,\n"
    "                   HKLM, HKU, HKCC)\n"
    "  --dir FOLDER     the folder to scan, with everything below it\n"
    "  --machine        HKEY_LOCAL_MACHINE, HKEY_USERS and every fixed drive (in a Wine\n"
    "                   prefix: C:)\n"
    "  -o FILE          the snapshot file to write (required; - is standard output)\n"
    "  --settings DIR   the folder of Settings.dat, RegExceptions.dat, FileExceptions.dat and\n"
    "                   Filter.dat (default: the folder of quorvel-cli.exe)\n"
    "  --prefix DIR     (Linux) the Wine prefix whose files are read; its drives give the\n"
    "                   folders (C:\\...)\n"
    "  --wait           (Linux) wait for the prefix's wineserver to end instead of refusing\n"
    "                   with exit code 2 while it runs; a snapshot of folders alone never waits\n"
    "  --quiet          no progress and no summary line on standard error\n"
    "\n"
    "--reg and --dir may be given more than once; at least one place is needed, and each\n"
    "must exist. A folder or link that leads outside the folders given is walked once,\n"
    "under its own path; one that leads back inside is recorded, not entered. The last\n"
    "line on standard error sums up what was written. Exit codes: 0 written, 2 bad usage\n"
    "or a place that does not exist, 3 a run-time failure.\n";

constexpr std::string_view kDiffHelp =
    "quorvel-cli diff: compares two snapshot files into the six lists.\n"
    "\n"
    "  BEFORE AFTER     the first and the final snapshot, taken of the same places\n"
    "  --format F       text (default), csv, json (one object with the six arrays), html (a\n"
    "                   report page that opens offline and prints), md (the report as Markdown,\n"
    "                   for tickets and forum posts), reg (a .reg file that undoes the registry\n"
    "                   changes), or cmd (a batch file that deletes the new files and folders\n"
    "                   and makes deleted folders again)\n"
    "  -o FILE          write there instead of to standard output (- is standard output)\n"
    "  --comment TEXT   a line that heads the html and md reports, such as what was installed\n"
    "  --settings DIR   where the detection switches and the filter list are read from\n"
    "  --quiet          no progress on standard error\n"
    "\n"
    "All six lists are checked unless Settings.dat says otherwise; a list that is switched\n"
    "off is shown as not checked. Rows in places that change on their own (Background.dat)\n"
    "are marked as background and left out of the reg and cmd files.\n"
    "\n"
    "Exit codes: 0 no changes, 1 changes found, 2 bad usage or a bad file, 3 a run-time failure.\n";

constexpr std::string_view kWatchHelp =
    "quorvel-cli watch: snapshot, run an installer, snapshot again, compare.\n"
    "\n"
    "  --reg, --dir, --machine, --settings          as for snapshot\n"
    "  --prefix DIR, --wait                         (Linux) as for snapshot; the final snapshot\n"
    "                                               of a key waits for the prefix's wineserver\n"
    "                                               to end\n"
    "  --format F, -o FILE, --comment, --quiet      as for diff\n"
    "  --timeout SECONDS                            end the installer and every process it\n"
    "                                               started after this long (exit code 3)\n"
    "  -- INSTALLER [ARGS...]                       the program to run; the final snapshot is\n"
    "                                               taken when it and every process it started\n"
    "                                               have ended; on Linux a first word\n"
    "                                               that names a .exe, .msi, .bat or .cmd\n"
    "                                               runs under the prefix's wine\n"
    "\n"
    "Ctrl+C ends the installer and every process it started, and exits with code 130.\n"
    "On Windows the installer's processes are held in a job object. On Linux they are held in\n"
    "a cgroup of their own where one can be made (cgroup v2, writable below quorvel-cli's\n"
    "own): one that leaves its session or forks twice is still waited for and ended, and if\n"
    "quorvel-cli is killed, all of them are killed with it. Otherwise quorvel-cli is their\n"
    "subreaper and finds them as its descendants; if it is killed, only the installer's own\n"
    "process is killed with it.\n"
    "Exit codes: 0 no changes, 1 changes found, 2 bad usage, 3 a run-time failure, 130 interrupted.\n";

constexpr unsigned kSnapshot = 1, kDiff = 2, kWatch = 4;

struct Option {
    std::string_view name;
    std::string_view shortName;
    unsigned commands;
    bool flag = false;  // takes no value
};
constexpr Option kOptions[] = {{"--reg", "", kSnapshot | kWatch},
                               {"--dir", "", kSnapshot | kWatch},
                               {"--machine", "", kSnapshot | kWatch, true},
                               {"--settings", "", kSnapshot | kDiff | kWatch},
                               {"--format", "", kDiff | kWatch},
                               {"--comment", "", kDiff | kWatch},
                               {"--timeout", "", kWatch},
                               {"--prefix", "", kSnapshot | kDiff | kWatch},
                               {"--wait", "", kSnapshot | kWatch, true},
                               {"--quiet", "-q", kSnapshot | kDiff | kWatch, true},
                               {"--output", "-o", kSnapshot | kDiff | kWatch}};

struct Named {
    std::string_view name;
    Command command;
    unsigned bit;
};
constexpr Named kCommands[] = {{"snapshot", Command::Snapshot, kSnapshot},
                               {"diff", Command::Diff, kDiff},
                               {"watch", Command::Watch, kWatch}};

constexpr std::pair<std::string_view, OutputFormat> kFormats[] = {{"text", kTextOutput},
                                                                  {"csv", ExportFormat::Csv},
                                                                  {"json", ExportFormat::Json},
                                                                  {"html", ExportFormat::Html},
                                                                  {"md", ExportFormat::Markdown},
                                                                  {"reg", ExportFormat::RegUndo},
                                                                  {"cmd", ExportFormat::Cmd}};

// The short root names that regedit and reg.exe accept.
constexpr std::pair<std::string_view, std::string_view> kRootAbbreviations[] = {
    {"HKCR", "HKEY_CLASSES_ROOT"}, {"HKCU", "HKEY_CURRENT_USER"}, {"HKLM", "HKEY_LOCAL_MACHINE"},
    {"HKU", "HKEY_USERS"},         {"HKCC", "HKEY_CURRENT_CONFIG"}};

bool isHelp(std::string_view arg) {
    return arg == "--help" || arg == "-h" || arg == "/?" || arg == "-?";
}

const Option* findOption(std::string_view name) {
    for (const Option& o : kOptions)
        if (o.name == name || (!o.shortName.empty() && o.shortName == name)) return &o;
    return nullptr;
}

// "HKEY_LOCAL_MACHINE\SOFTWARE" into its root and key; false for an unknown root.
bool splitRegistry(const std::string& text, RegistryPlace& place) {
    const size_t slash = text.find('\\');
    place.root = text.substr(0, slash);
    // Root names take any letter case, as regedit and reg.exe take them.
    std::string upper = place.root;
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (hiveNumber(upper)) place.root = upper;
    for (const auto& [shortName, name] : kRootAbbreviations)
        if (upper == shortName) place.root = name;
    place.key = slash == std::string::npos ? std::string() : text.substr(slash + 1);
    while (!place.key.empty() && place.key.back() == '\\') place.key.pop_back();
    return hiveNumber(place.root).has_value();
}

// Options that name a place may be given again; each is a place more.
bool repeatable(std::string_view option) {
    return option == "--reg" || option == "--dir";
}

std::string parseCommand(const Named& command, const std::vector<std::string>& args, Arguments& out) {
    std::map<std::string_view, std::string> values;
    std::vector<std::string> keys, folders;
    std::vector<std::string> positional;
    size_t i = 1;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--" && command.command == Command::Watch) break;
        // After "--" a snapshot file may be named "-x".
        if (arg == "--" && command.command == Command::Diff) {
            positional.insert(positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        const size_t equals = arg.find('=');
        const Option* option = findOption(std::string_view(arg).substr(0, equals));
        if (!option || !(option->commands & command.bit))
            return "unknown option " + arg.substr(0, equals) + " for " + std::string(command.name);
        std::string value;
        if (option->flag) {
            if (equals != std::string::npos) return std::string(option->name) + " takes no value";
            value = "1";
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return std::string(option->name) + " needs a value";
        }
        if (value.empty()) return std::string(option->name) + " needs a value";
        if (repeatable(option->name)) {
            (option->name == "--reg" ? keys : folders).push_back(std::move(value));
            continue;
        }
        if (!values.emplace(option->name, value).second) return std::string(option->name) + " is given twice";
    }
    if (command.command == Command::Watch) {
        if (i + 1 >= args.size()) return "watch needs -- and the installer to run";
        out.program.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
    }
    if (command.command == Command::Diff) {
        if (positional.size() != 2) return "diff needs two snapshot files, before and after";
        out.snapshots = positional;
    } else if (!positional.empty()) {
        return "unexpected argument " + positional.front();
    }

    CaptureOptions& capture = out.capture;
    for (const std::string& text : keys) {
        RegistryPlace place;
        if (!splitRegistry(text, place))
            return "unknown registry root " + place.root +
                   " (use HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS or "
                   "HKEY_CURRENT_CONFIG, or HKCR, HKCU, HKLM, HKU, HKCC)";
        if (!capture.registry) {
            capture.registry = true;
            capture.root = std::move(place.root);
            capture.key = std::move(place.key);
        } else {
            capture.moreKeys.push_back(std::move(place));
        }
    }
    for (std::string& folder : folders) {
        if (!capture.files) {
            capture.files = true;
            capture.folder = std::move(folder);
        } else {
            capture.moreFolders.push_back(std::move(folder));
        }
    }
    capture.machine = values.count("--machine") > 0;
    if ((command.bit & (kSnapshot | kWatch)) != 0 && !capture.registry && !capture.files && !capture.machine)
        return std::string(command.name) + " needs --reg, --dir or --machine";
    if (auto it = values.find("--format"); it != values.end()) {
        const auto* format = std::find_if(std::begin(kFormats), std::end(kFormats),
                                          [&](const auto& f) { return f.first == it->second; });
        if (format == std::end(kFormats))
            return "unknown format " + it->second + " (use text, csv, json, html, md, reg or cmd)";
        out.format = format->second;
    }
    if (auto it = values.find("--timeout"); it != values.end()) {
        const std::string& text = it->second;
        uint64_t seconds = 0;
        const bool digits = !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
        if (digits) seconds = std::stoull(text);
        if (!digits || seconds == 0) return "--timeout needs a whole number of seconds, 1 or more";
        out.timeoutSeconds = static_cast<uint32_t>(seconds);
    }
    if (auto it = values.find("--settings"); it != values.end()) out.settingsFolder = it->second;
    if (auto it = values.find("--comment"); it != values.end()) out.comment = it->second;
    if (auto it = values.find("--prefix"); it != values.end()) out.prefix = it->second;
    out.waitForWine = values.count("--wait") > 0;
    out.quiet = values.count("--quiet") > 0;
    if (auto it = values.find("--output"); it != values.end()) out.output = it->second;
    if (command.command == Command::Snapshot && out.output.empty()) return "snapshot needs -o FILE";
    return {};
}

}  // namespace

ParsedArguments parseArguments(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    Arguments& out = parsed.arguments;
    if (args.empty()) {
        parsed.error = "no command given (try quorvel-cli --help)";
        return parsed;
    }
    if (isHelp(args[0]) || args[0] == "help") {
        out.help = true;
        // "help diff" is diff's help.
        if (args.size() > 1) {
            const auto* named = std::find_if(std::begin(kCommands), std::end(kCommands),
                                             [&](const Named& c) { return c.name == args[1]; });
            if (named != std::end(kCommands)) out.command = named->command;
        }
        return parsed;
    }
    if (args[0] == "--version") {
        out.version = true;
        return parsed;
    }
    const auto* command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                       [&](const Named& c) { return c.name == args[0]; });
    if (command == std::end(kCommands)) {
        parsed.error = "unknown command " + args[0] + " (try quorvel-cli --help)";
        return parsed;
    }
    out.command = command->command;
    // --help wins over everything else given with it, up to the installer's own arguments.
    for (size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
        if (isHelp(args[i])) {
            out.help = true;
            return parsed;
        }
    }
    parsed.error = parseCommand(*command, args, out);
    return parsed;
}

std::string versionText() {
    std::string text = "quorvel-cli ";
    text += kCurrentVersion;
    text += '\n';
    return text;
}

std::string_view helpText(std::optional<Command> command) {
    if (!command) return kOverview;
    switch (*command) {
        case Command::Snapshot:
            return kSnapshotHelp;
        case Command::Diff:
            return kDiffHelp;
        case Command::Watch:
            return kWatchHelp;
    }
    return kOverview;
}

}  // namespace qv::cli

#pragma once
// The command line of quorvel-cli: which command, what to collect, where the
// results go. Parsing never touches the registry or the disk.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/exports.h"

namespace qv::cli {

enum class Command { Snapshot, Diff, Watch };
// The six lists as text for a console, or as one of the exported files.
using OutputFormat = std::optional<ExportFormat>;
inline constexpr OutputFormat kTextOutput = std::nullopt;

struct RegistryPlace {
    std::string root;  // "HKEY_LOCAL_MACHINE" and the other four
    std::string key;   // below the root, without a trailing backslash
    bool operator==(const RegistryPlace&) const = default;
};

// What one collection takes: registry keys below their roots, folders, or
// both. The first of each kind stands in the single fields, as the window
// takes one of each; further ones follow in the lists.
struct CaptureOptions {
    bool registry = false;
    std::string root;
    std::string key;
    bool files = false;
    std::string folder;
    std::vector<RegistryPlace> moreKeys{};
    std::vector<std::string> moreFolders{};
    // --machine: HKEY_LOCAL_MACHINE, HKEY_USERS and every fixed drive.
    bool machine = false;
    bool operator==(const CaptureOptions&) const = default;
};

struct Arguments {
    std::optional<Command> command;  // nothing: the program's own help
    bool help = false;
    bool version = false;
    CaptureOptions capture;      // snapshot, watch
    std::string settingsFolder;  // "": the folder of the exe
    std::string output;          // "" or "-": standard output (snapshot requires it given)
    OutputFormat format = kTextOutput;
    std::vector<std::string> snapshots;  // diff: before, after
    std::vector<std::string> program;    // watch: the installer and its arguments
    uint32_t timeoutSeconds = 0;         // watch: 0 waits as long as the installer runs
    std::string prefix;                  // snapshot, watch on Linux: the Wine prefix to read
    bool waitForWine = false;            // snapshot, watch on Linux: wait for the prefix's wineserver to end
    bool quiet = false;                  // no progress and no summary on standard error
    std::string comment;                 // diff, watch: heads the report
    bool operator==(const Arguments&) const = default;
};

// The arguments after the program's name. `error` is one line for the user
// when they cannot be used; `arguments` is meaningful only without it.
struct ParsedArguments {
    Arguments arguments;
    std::string error;
};
ParsedArguments parseArguments(const std::vector<std::string>& args);

// What --help prints: the program's overview, or one command's options.
std::string_view helpText(std::optional<Command> command);
// What --version prints.
std::string versionText();

}  // namespace qv::cli

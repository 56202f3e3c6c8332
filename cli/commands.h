#pragma once
// The three commands on the program's own core: the collection workflow takes
// the snapshots and change detection compares them, exactly as in the window.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/result_lists.h"
#include "capture/directory_source.h"
#include "capture/registry_provider.h"
#include "cli/arguments.h"
#include "cli/console.h"
#include "cli/process_runner.h"
#include "core/snapshot_file.h"
#include "core/snapshot_types.h"
#include "settings/ansi_code_page.h"

namespace qv::cli {

enum ExitCode : int { kNoChanges = 0, kChangesFound = 1, kBadUsage = 2, kRunFailure = 3, kInterrupted = 130 };

// Runs a whole command: whatever escapes it (memory running out included)
// becomes one line for standard error and the failure exit code.
int runGuarded(const std::function<int()>& command, const std::function<void(std::string_view)>& sayError);

struct CliServices {
    RegistryProviderSource& registry;
    DirectorySource& files;
    const AnsiCodePage& codePage;
    ProcessRunner& runner;
    Console& console;
    std::string exeFolder;  // where the data files are when --settings is not given
    std::vector<std::string> fixedDrives{};  // what --machine takes besides the registry ("C:\\")
    std::string machine{};                 // recorded with each collection
    std::string user{};
};

// Runs parsed arguments (help included) and returns the exit code.
int runCommand(const Arguments& arguments, CliServices& services);

// The six lists in one of the output formats. `first` is the first registry
// snapshot, from which the undo file restores old values.
// `toFile`: a CSV file starts with a byte order mark, a stream does not.
std::string formatResults(const ResultLists& lists, OutputFormat format, const ResultContext& context,
                          const RegSnapshot& first, bool toFile = true);

// The line that ends a snapshot on standard error: the places, what they
// held, the time it took and the file written ("" for standard output).
std::string snapshotSummary(const Collection& collection, const std::string& writtenTo);

}  // namespace qv::cli

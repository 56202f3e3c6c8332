// quorvel-cli.exe: the console program on the same core as the window.
#include <windows.h>

#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "app/exe_folder_win.h"
#include "capture/directory_source_win.h"
#include "capture/registry_provider_win.h"
#include "cli/commands.h"
#include "cli/console_ui.h"
#include "cli/console_win.h"
#include "cli/process_runner_win.h"
#include "core/utf.h"
#include "settings/ansi_code_page_win.h"

namespace {

void toStandardError(std::string_view line) {
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD done = 0;
    if (err && err != INVALID_HANDLE_VALUE) WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &done, nullptr);
}

// Ctrl+C, Ctrl+Break or a closed console: the installer's job ends with us,
// and the exit code says the run was cut short. Runs on a thread of its own.
BOOL WINAPI interrupted(DWORD) {
    qv::cli::endRunningJob();
    toStandardError("\nquorvel-cli: interrupted; the installer and every process it started were ended\n");
    ExitProcess(qv::cli::kInterrupted);
}

int run(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(qv::toUtf8(std::wstring_view(argv[i])));

    qv::cli::Win32Console console;
    const qv::cli::ParsedArguments parsed = qv::cli::parseArguments(args);
    if (!parsed.error.empty()) {
        qv::cli::complain(console, parsed.error);
        return qv::cli::kBadUsage;
    }
    // The registry and drives of Windows are the live ones here, not a prefix's files.
    if (!parsed.arguments.prefix.empty() || parsed.arguments.waitForWine) {
        qv::cli::complain(console, "--prefix and --wait are options of the Linux quorvel-cli");
        return qv::cli::kBadUsage;
    }
    qv::Win32RegistryProviderSource registry;
    qv::Win32DirectorySource files;
    qv::Win32AnsiCodePage codePage;
    qv::cli::JobProcessRunner runner;
    qv::cli::CliServices services{registry, files, codePage, runner, console, qv::exeFolder()};
    return qv::cli::runCommand(parsed.arguments, services);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // For scripts: no system box for a missing disk or a crash either.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetConsoleCtrlHandler(interrupted, TRUE);
    return qv::cli::runGuarded([&] { return run(argc, argv); }, [](std::string_view line) { toStandardError(line); });
}

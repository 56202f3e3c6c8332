// quorvel-cli.exe: the console program on the same core as the window.
#include <windows.h>

#include <cwchar>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "app/exe_folder_win.h"
#include "capture/directory_source_win.h"
#include "capture/registry_saver_win.h"
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

// What --machine scans: every fixed drive. Under Wine the other letters
// lead into the host's own file system (Z: is its root), so only the
// prefix's system drive is the machine there.
std::vector<std::string> fixedDrives() {
    std::vector<std::string> drives;
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll && GetProcAddress(ntdll, "wine_get_version")) {
        wchar_t system[MAX_PATH];
        const UINT n = GetSystemWindowsDirectoryW(system, MAX_PATH);
        drives.push_back(n >= 2 && n < MAX_PATH ? qv::toUtf8(std::wstring_view(system, 2)) + "\\" : "C:\\");
        return drives;
    }
    wchar_t letters[128];
    const DWORD n = GetLogicalDriveStringsW(127, letters);
    for (const wchar_t* at = letters; n > 0 && n < 127 && *at; at += wcslen(at) + 1) {
        if (GetDriveTypeW(at) == DRIVE_FIXED) drives.push_back(qv::toUtf8(std::wstring_view(at)));
    }
    return drives;
}

std::string nameFrom(BOOL(WINAPI* call)(LPWSTR, LPDWORD)) {
    wchar_t name[256];
    DWORD size = 256;
    return call(name, &size) ? qv::toUtf8(std::wstring_view(name, wcsnlen(name, 256))) : std::string();
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
    qv::SavingRegistryProviderSource registry;
    qv::Win32DirectorySource files;
    qv::Win32AnsiCodePage codePage;
    qv::cli::JobProcessRunner runner;
    qv::cli::CliServices services{registry, files, codePage, runner, console, qv::exeFolder(), fixedDrives(),
                                  nameFrom(GetComputerNameW), nameFrom(GetUserNameW)};
    return qv::cli::runCommand(parsed.arguments, services);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // For scripts: no system box for a missing disk or a crash either.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetConsoleCtrlHandler(interrupted, TRUE);
    return qv::cli::runGuarded([&] { return run(argc, argv); }, [](std::string_view line) { toStandardError(line); });
}

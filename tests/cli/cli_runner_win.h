#pragma once
// Test help: runs the real quorvel-cli.exe beside the test exe, as a script
// runs it, with standard error captured.
#include <windows.h>

#include <filesystem>
#include <string>

#include "app/exe_folder_win.h"
#include "core/utf.h"
#include "core/whole_file.h"

namespace qv::testing {

struct Handle {
    HANDLE h = nullptr;
    ~Handle() {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

struct CliRun {
    DWORD code = 0xFFFFFFFF;
    std::string errors;  // standard error
};

// Runs quorvel-cli.exe with `arguments`, standard error into a file and
// standard output into `out` (a file of its own when not given).
inline CliRun runCli(const std::wstring& arguments, const std::filesystem::path& scratch, HANDLE out = nullptr) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const std::wstring errPath = (scratch / L"stderr.txt").wstring(), outPath = (scratch / L"stdout.txt").wstring();
    Handle err{CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr)};
    Handle ownOut{out ? nullptr
                      : CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                                    nullptr)};
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out ? out : ownOut.h;
    si.hStdError = err.h;
    std::wstring line = L"\"" + toWide(exeFolder()) + L"\\quorvel-cli.exe\" " + arguments;
    PROCESS_INFORMATION pi{};
    CliRun run;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &si, &pi))
        return run;
    Handle process{pi.hProcess}, thread{pi.hThread};
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &run.code);
    err.~Handle();
    err.h = nullptr;
    run.errors = readWholeFile(toUtf8(errPath)).value_or("");
    return run;
}

}  // namespace qv::testing

#include "cli/process_runner_win.h"

#include <windows.h>

#include "core/failure_win.h"
#include "core/utf.h"
#include "core/win_handles_win.h"

namespace qv::cli {
namespace {

void closeHandle(HANDLE h) {
    CloseHandle(h);
}
using UniqueKernelHandle = UniqueHandle<HANDLE, closeHandle>;

// An inheritable copy of one of our standard handles, for the installer's own;
// nothing when we have none.
UniqueKernelHandle inheritable(DWORD which) {
    const HANDLE h = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (!h || h == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return UniqueKernelHandle();
    return UniqueKernelHandle(copy);
}

}  // namespace

uint32_t JobProcessRunner::run(const std::vector<std::string>& command) {
    UniqueKernelHandle job(checkWin32(CreateJobObjectW(nullptr, nullptr)));
    // The installer writes to our standard error, never into the results on
    // standard output.
    UniqueKernelHandle input = inheritable(STD_INPUT_HANDLE), errors = inheritable(STD_ERROR_HANDLE);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (errors) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = input.get();
        si.hStdOutput = errors.get();
        si.hStdError = errors.get();
    }
    std::wstring line = toWide(commandLine(command));
    PROCESS_INFORMATION pi{};
    // Suspended until it is in the job, so that nothing it starts escapes the wait.
    checkWin32(CreateProcessW(nullptr, line.data(), nullptr, nullptr, errors ? TRUE : FALSE, CREATE_SUSPENDED,
                              nullptr, nullptr, &si, &pi));
    UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        const DWORD error = GetLastError();
        TerminateProcess(process.get(), 1);
        throwWin32(error);
    }
    ResumeThread(thread.get());
    WaitForSingleObject(process.get(), INFINITE);
    for (;;) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
        if (!QueryInformationJobObject(job.get(), JobObjectBasicAccountingInformation, &info, sizeof info,
                                       nullptr) ||
            info.ActiveProcesses == 0)
            break;
        Sleep(50);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

}  // namespace qv::cli

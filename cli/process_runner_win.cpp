#include "cli/process_runner_win.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

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

// The job of the installer that runs now, for the console's control handler.
std::atomic<HANDLE> runningJob{nullptr};
std::atomic<bool> interrupted{false};

void endRunningJob() {
    // Marked before the job ends: the waiting thread wakes as soon as it does
    // and must not report the installer's end, and return 0, before the
    // handler's thread exits with the interrupt's own code.
    interrupted = true;
    if (const HANDLE job = runningJob.exchange(nullptr)) TerminateJobObject(job, 1);
}

uint32_t JobProcessRunner::run(const std::vector<std::string>& command, uint32_t timeoutSeconds) {
    UniqueKernelHandle job(checkWin32(CreateJobObjectW(nullptr, nullptr)));
    // Should quorvel-cli itself end first, however it ends, the installer and
    // all it started end with it: nothing is left running unseen.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
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
    // Suspended until it is in the job, so that nothing it starts escapes the
    // wait. A group of its own keeps Ctrl+C from ending it behind our back: the
    // interrupt is ours to handle, and we end its whole job.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, errors ? TRUE : FALSE,
                        CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &si, &pi)) {
        const DWORD error = GetLastError();
        fail(static_cast<int32_t>(error), "cannot start " + command.front() + ": " + win32ErrorText(error));
    }
    UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        const DWORD error = GetLastError();
        TerminateProcess(process.get(), 1);
        throwWin32(error);
    }
    runningJob = job.get();
    struct Forget {
        ~Forget() { runningJob = nullptr; }
    } forget;
    ResumeThread(thread.get());
    const ULONGLONG deadline = timeoutSeconds ? GetTickCount64() + 1000ull * timeoutSeconds : 0;
    const auto timeLeft = [&]() -> DWORD {
        if (!deadline) return INFINITE;
        const ULONGLONG now = GetTickCount64();
        return now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1));
    };
    const auto timedOut = [&] {
        if (interrupted) Sleep(INFINITE);
        TerminateJobObject(job.get(), 1);
        fail(1460, command.front() + " did not end within " + std::to_string(timeoutSeconds) +
                       " seconds; it and every process it started were ended");
    };
    if (WaitForSingleObject(process.get(), timeLeft()) == WAIT_TIMEOUT) timedOut();
    for (;;) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
        if (!QueryInformationJobObject(job.get(), JobObjectBasicAccountingInformation, &info, sizeof info,
                                       nullptr) ||
            info.ActiveProcesses == 0)
            break;
        if (timeLeft() == 0) timedOut();
        Sleep(50);
    }
    // The control handler ended the job and is about to end the process.
    if (interrupted) Sleep(INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

}  // namespace qv::cli

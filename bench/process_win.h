#pragma once
// A command run as a whole process, from its start to its exit, as a user
// runs it: the benches time the program's start, its settings and its output
// along with its work.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/clock_win.h"

// The seconds the command took; its exit code in `exitCode`, and its peak
// working set in `peakBytes` where the system still tells it after the exit
// (Windows does; Wine may say 0).
inline double runProcess(const std::wstring& commandLine, DWORD& exitCode, size_t* peakBytes = nullptr) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const double start = benchSeconds();
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("cannot start: %ls\n", commandLine.c_str());
        std::exit(2);
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    const double elapsed = benchSeconds() - start;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    if (peakBytes) {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        *peakBytes = GetProcessMemoryInfo(pi.hProcess, &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return elapsed;
}

// The folder of this program, without a final "\".
inline std::wstring programFolder() {
    wchar_t exe[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe, n);
    folder.resize(folder.rfind(L'\\'));
    return folder;
}

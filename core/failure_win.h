#pragma once
// Win32 errors become Failures at the platform boundary, with the system's own
// description of the error.
#include <windows.h>

#include <source_location>
#include <string>

#include "core/failure.h"

namespace qv {

std::string win32ErrorText(DWORD error);

[[noreturn]] inline void throwWin32(DWORD error, std::source_location where = std::source_location::current()) {
    throw Failure(static_cast<int32_t>(error), win32ErrorText(error), where);
}

// Checks a BOOL or handle-style result; on failure throws GetLastError().
template <class T>
T checkWin32(T result, std::source_location where = std::source_location::current()) {
    if (!result) throwWin32(GetLastError(), where);
    return result;
}

inline void checkHr(HRESULT hr, std::source_location where = std::source_location::current()) {
    if (FAILED(hr)) throw Failure(static_cast<int32_t>(hr), win32ErrorText(static_cast<DWORD>(hr)), where);
}

}  // namespace qv

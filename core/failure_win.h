#pragma once
// Win32 errors become Failures at the platform boundary, with the system's own
// description of the error.
#include <windows.h>

#include "core/source_location.h"
#include <string>

#include "core/failure.h"

namespace qv {

std::string win32ErrorText(DWORD error);

[[noreturn]] inline void throwWin32(DWORD error, SourceLocation where = SourceLocation::current()) {
    throw Failure(static_cast<int32_t>(error), win32ErrorText(error), where);
}

// Checks a BOOL or handle-style result; on failure throws GetLastError().
template <class T>
T checkWin32(T result, SourceLocation where = SourceLocation::current()) {
    if (!result) throwWin32(GetLastError(), where);
    return result;
}

inline void checkHr(HRESULT hr, SourceLocation where = SourceLocation::current()) {
    if (FAILED(hr)) throw Failure(static_cast<int32_t>(hr), win32ErrorText(static_cast<DWORD>(hr)), where);
}

}  // namespace qv

#include "capture/directory_source_win.h"

#include <windows.h>

#include <cwchar>

#include "core/failure_win.h"
#include "core/utf.h"

namespace qv {
namespace {

struct FindCloser {
    void operator()(HANDLE h) const {
        if (h && h != INVALID_HANDLE_VALUE) FindClose(h);
    }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Forward slashes and "." or ".." components are resolved only by the
// platform's own path parsing, which the extended form skips.
bool needsParsing(std::wstring_view path) {
    if (path.find(L'/') != std::wstring_view::npos) return true;
    for (size_t at = 0; (at = path.find(L'.', at)) != std::wstring_view::npos; ++at) {
        if (at == 0 || !isSeparator(path[at - 1])) continue;
        size_t end = at + 1;
        if (end < path.size() && path[end] == L'.') ++end;
        if (end == path.size() || isSeparator(path[end])) return true;
    }
    return false;
}

std::wstring fullPathW(const std::wstring& path) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(n);  // n counts the terminating NUL when the buffer is short
    }
}

// The form for calls that take a path: extended when it is too long for the
// platform's 260 characters.
std::wstring callPath(const std::string& path) {
    std::wstring wide = toWide(path);
    if (wide.size() >= MAX_PATH) wide = extendedPath(wide);
    return wide;
}

SYSTEMTIME systemTimeOf(const CivilTime& t) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(t.year);
    st.wMonth = static_cast<WORD>(t.month);
    st.wDayOfWeek = static_cast<WORD>(t.dayOfWeek);
    st.wDay = static_cast<WORD>(t.day);
    st.wHour = static_cast<WORD>(t.hour);
    st.wMinute = static_cast<WORD>(t.minute);
    st.wSecond = static_cast<WORD>(t.second);
    return st;
}

uint64_t ticksOf(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

int64_t toLocalTicks(uint64_t utcTicks) {
    FILETIME utcFile{static_cast<DWORD>(utcTicks), static_cast<DWORD>(utcTicks >> 32)};
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    FILETIME localFile{};
    checkWin32(FileTimeToSystemTime(&utcFile, &utc));
    checkWin32(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    checkWin32(SystemTimeToFileTime(&local, &localFile));
    return static_cast<int64_t>(ticksOf(localFile));
}

// The user's locale, as the platform's default date-to-text conversion uses it.
const wchar_t* const kUserLocale = LOCALE_NAME_USER_DEFAULT;

std::string shortDate(const CivilTime& t) {
    const SYSTEMTIME st = systemTimeOf(t);
    wchar_t text[128];
    const int n = checkWin32(GetDateFormatEx(kUserLocale, DATE_SHORTDATE, &st, nullptr, text, 128, nullptr));
    return toUtf8(std::wstring_view(text, static_cast<size_t>(n - 1)));
}

std::string longTime(const CivilTime& t) {
    const SYSTEMTIME st = systemTimeOf(t);
    wchar_t text[128];
    const int n = checkWin32(GetTimeFormatEx(kUserLocale, 0, &st, nullptr, text, 128));
    return toUtf8(std::wstring_view(text, static_cast<size_t>(n - 1)));
}

class Win32Enumeration : public DirEnumeration {
public:
    // An enumeration that yields nothing when `handle` is empty.
    Win32Enumeration(FindHandle handle, const WIN32_FIND_DATAW& first)
        : handle_(std::move(handle)), data_(first), pending_(handle_ != nullptr) {}

    bool next(DirEntry& entry) override {
        if (!handle_) return false;
        if (!pending_ && !FindNextFileW(handle_.get(), &data_)) {
            handle_.reset();  // any error ends the listing, as "no more files" does
            return false;
        }
        pending_ = false;
        entry.name.clear();
        appendUtf8(entry.name, std::wstring_view(data_.cFileName, wcsnlen(data_.cFileName, MAX_PATH)));
        entry.attributes = data_.dwFileAttributes;
        entry.lastWriteTime = ticksOf(data_.ftLastWriteTime);
        entry.size = (static_cast<uint64_t>(data_.nFileSizeHigh) << 32) | data_.nFileSizeLow;
        // The listing keeps a reparse point's tag where a header would keep
        // a reserved word.
        entry.reparseTag = (data_.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? data_.dwReserved0 : 0;
        return true;
    }

private:
    FindHandle handle_;
    WIN32_FIND_DATAW data_;
    bool pending_;
};

}  // namespace

std::wstring extendedPath(std::wstring_view path) {
    const bool prefixed = path.size() >= 4 && isSeparator(path[0]) && isSeparator(path[1]) &&
                          (path[2] == L'?' || path[2] == L'.') && isSeparator(path[3]);
    if (prefixed) return std::wstring(path);
    const bool drive = path.size() >= 3 && path[1] == L':' && isSeparator(path[2]);
    const bool unc = path.size() >= 3 && isSeparator(path[0]) && isSeparator(path[1]);
    if (!drive && !unc) return std::wstring(path);
    std::wstring full(path);
    if (needsParsing(path)) {
        full = fullPathW(full);
        if (full.empty()) return std::wstring(path);
    }
    if (unc) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

Win32DirectorySource::Win32DirectorySource() : dates_(toLocalTicks, shortDate, longTime) {}

std::string Win32DirectorySource::fullPathName(const std::string& path) {
    if (path.empty()) return {};
    return toUtf8(fullPathW(toWide(path)));
}

std::optional<uint32_t> Win32DirectorySource::attributes(const std::string& path) {
    const DWORD a = GetFileAttributesW(callPath(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return a;
}

std::unique_ptr<DirEnumeration> Win32DirectorySource::list(const std::string& folder) {
    std::wstring pattern = extendedPath(toWide(folder));
    if (!pattern.empty() && !isSeparator(pattern.back())) pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW data{};
    FindHandle handle(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (handle.get() == INVALID_HANDLE_VALUE) {
        handle.release();
        // An empty drive root has no "." to list; it is still a folder.
        if (GetLastError() != ERROR_FILE_NOT_FOUND) return nullptr;
        pattern.pop_back();
        const DWORD a = GetFileAttributesW(pattern.c_str());
        if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) == 0) return nullptr;
        return std::make_unique<Win32Enumeration>(nullptr, data);
    }
    return std::make_unique<Win32Enumeration>(std::move(handle), data);
}

SharedText Win32DirectorySource::modifiedText(uint64_t lastWriteTime) {
    return dates_.text(lastWriteTime);
}

std::string Win32DirectorySource::folderIdentity(const std::string& folder) {
    // Opening the folder follows every link on the way, and the handle then
    // knows the path it ended at.
    HANDLE h = CreateFileW(callPath(folder).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (n >= path.size()) {
        path.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    }
    CloseHandle(h);
    if (n == 0 || n >= path.size()) return {};
    path.resize(n);
    if (path.starts_with(L"\\\\?\\UNC\\")) {
        path = L"\\\\" + path.substr(8);
    } else if (path.starts_with(L"\\\\?\\")) {
        path = path.substr(4);
    }
    if (path.empty() || path.back() != L'\\') path += L'\\';
    // Letter case is no part of a Windows name: two spellings of one folder
    // must give one identity. (Not CharUpperBuffW: user32 would be loaded
    // for it, which under Wine costs a console program 5 MB and its start.)
    std::wstring upper(path.size(), L'\0');
    const int length = static_cast<int>(path.size());
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.data(), length, upper.data(), length, nullptr,
                      nullptr, 0) == length)
        path = std::move(upper);
    return toUtf8(path);
}

std::optional<uint64_t> Win32DirectorySource::fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(callPath(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace qv

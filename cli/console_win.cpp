#include "cli/console_win.h"

#include <algorithm>

#include "core/utf.h"

namespace qv::cli {
namespace {

bool isConsole(HANDLE h) {
    DWORD mode = 0;
    return h && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}

// Writes all of `bytes`, in pieces as a pipe takes them; false when the
// handle refuses any of it.
bool put(HANDLE h, bool console, std::string_view bytes) {
    if (bytes.empty()) return true;
    if (!h || h == INVALID_HANDLE_VALUE) return false;
    if (console) {
        const std::wstring wide = toWide(bytes);
        std::wstring_view rest = wide;
        while (!rest.empty()) {
            DWORD done = 0;
            const DWORD piece = static_cast<DWORD>(std::min<size_t>(rest.size(), 16384));
            if (!WriteConsoleW(h, rest.data(), piece, &done, nullptr) || done == 0) return false;
            rest.remove_prefix(done);
        }
        return true;
    }
    while (!bytes.empty()) {
        DWORD done = 0;
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
        if (!WriteFile(h, bytes.data(), piece, &done, nullptr) || done == 0) return false;
        bytes.remove_prefix(done);
    }
    return true;
}

// The console's width less one, so that the line never wraps.
size_t lineWidth(HANDLE h) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(h, &info)) return 79;
    const int width = info.srWindow.Right - info.srWindow.Left;
    return width > 10 ? static_cast<size_t>(width) : 79;
}

}  // namespace

Win32Console::Win32Console()
    : out_(GetStdHandle(STD_OUTPUT_HANDLE)),
      err_(GetStdHandle(STD_ERROR_HANDLE)),
      outIsConsole_(isConsole(out_)),
      errIsConsole_(isConsole(err_)) {}

Win32Console::~Win32Console() {
    clearProgress();
}

bool Win32Console::write(std::string_view bytes) {
    if (outIsConsole_) clearProgress();
    return put(out_, outIsConsole_, bytes);
}

void Win32Console::line(std::string_view text) {
    clearProgress();
    std::string withEnd(text);
    withEnd += '\n';
    put(err_, errIsConsole_, withEnd);
}

void Win32Console::progress(std::string_view text) {
    if (!errIsConsole_) return;
    if (text.empty()) {
        clearProgress();
        return;
    }
    // The status changes once per entry: a few redraws a second are enough.
    const ULONGLONG now = GetTickCount64();
    if (shown_ != 0 && now - lastProgress_ < 100) return;
    lastProgress_ = now;
    std::wstring wide = toWide(text);
    const size_t width = lineWidth(err_);
    // The count and the time lead the line: a long line loses its end, and
    // never half of a surrogate pair.
    if (wide.size() > width) {
        size_t cut = width;
        if (cut > 0 && wide[cut - 1] >= 0xD800 && wide[cut - 1] <= 0xDBFF) --cut;
        wide.resize(cut);
    }
    std::wstring shown = L"\r" + wide;
    if (wide.size() < shown_) shown.append(shown_ - wide.size(), L' ');
    DWORD done = 0;
    WriteConsoleW(err_, shown.data(), static_cast<DWORD>(shown.size()), &done, nullptr);
    shown_ = wide.size();
}

void Win32Console::clearProgress() {
    if (shown_ == 0) return;
    std::wstring blank = L"\r" + std::wstring(shown_, L' ') + L"\r";
    DWORD done = 0;
    WriteConsoleW(err_, blank.data(), static_cast<DWORD>(blank.size()), &done, nullptr);
    shown_ = 0;
}

}  // namespace qv::cli

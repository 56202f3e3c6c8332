#include "cli/console_posix.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

namespace qv::cli {
namespace {

bool put(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t done = ::write(fd, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(done));
    }
    return true;
}

size_t lineWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col <= 10) return 79;
    return static_cast<size_t>(size.ws_col) - 1;
}

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

PosixConsole::PosixConsole() : errIsTerminal_(isatty(STDERR_FILENO) == 1) {}

PosixConsole::~PosixConsole() {
    clearProgress();
}

bool PosixConsole::write(std::string_view bytes) {
    clearProgress();
    return put(STDOUT_FILENO, bytes);
}

void PosixConsole::line(std::string_view text) {
    clearProgress();
    std::string line(text);
    line += '\n';
    put(STDERR_FILENO, line);
}

void PosixConsole::progress(std::string_view text) {
    if (!errIsTerminal_) return;
    if (text.empty()) {
        clearProgress();
        return;
    }
    // A walk reports every key; the terminal is redrawn ten times a second.
    const int64_t now = nowMs();
    if (shown_ && now - lastProgress_ < 100) return;
    lastProgress_ = now;
    // Cut on a character boundary, so that the line stays UTF-8.
    size_t cut = std::min(text.size(), lineWidth());
    while (cut < text.size() && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    std::string line = "\r";
    line += text.substr(0, cut);
    if (cut < shown_) line.append(shown_ - cut, ' ');
    put(STDERR_FILENO, line);
    shown_ = cut;
}

void PosixConsole::clearProgress() {
    if (!shown_) return;
    std::string blank = "\r";
    blank.append(shown_, ' ');
    blank += '\r';
    put(STDERR_FILENO, blank);
    shown_ = 0;
}

}  // namespace qv::cli

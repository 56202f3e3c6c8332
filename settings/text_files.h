#pragma once
// Whole-file text routines of the four data files. A file is ANSI text, or
// UTF-8 behind a byte order mark when the ANSI code page cannot hold its text,
// so paths in any script survive a save and a load while plain files stay as
// other tools expect them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/error_sink.h"
#include "settings/ansi_code_page.h"

namespace qv {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// A file's bytes as text: NUL bytes read as blanks; UTF-8 after a byte order
// mark, the ANSI code page otherwise.
std::string decodeFileText(std::string bytes, const AnsiCodePage& codePage);
// The bytes SaveData writes for `text`: the text and CR LF, in the ANSI code
// page when it holds every character, else as UTF-8 behind a byte order mark.
std::string encodeFileText(std::string_view text, const AnsiCodePage& codePage);

// The whole text of a file; nothing when it cannot be opened or read, with the
// reason in `error`.
std::optional<std::string> readTextFile(const std::string& Filepath, const AnsiCodePage& codePage,
                                        std::string* error = nullptr, uint64_t limit = UINT64_MAX);

// The whole text of a file, or of its first `limit` bytes. A file that cannot
// be read is reported and gives the empty text.
std::string LoadTextFile(const std::string& Filepath, const AnsiCodePage& codePage, ErrorSink& reporter,
                         uint64_t limit = UINT64_MAX);

// Replaces the file with the text followed by CR LF, atomically: on failure
// the old file is kept whole, the result is false and `error` says why.
bool SaveData(std::string_view text, const std::string& path, const AnsiCodePage& codePage,
              std::string* error = nullptr);

}  // namespace qv

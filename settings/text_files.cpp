#include "settings/text_files.h"

#include <algorithm>

#include "core/failure.h"
#include "core/handler.h"
#include "core/whole_file.h"

namespace qv {

std::string decodeFileText(std::string bytes, const AnsiCodePage& codePage) {
    std::replace(bytes.begin(), bytes.end(), '\0', ' ');
    if (std::string_view(bytes).starts_with(kUtf8Bom)) return bytes.substr(kUtf8Bom.size());
    return codePage.toUtf8(bytes);
}

std::string encodeFileText(std::string_view text, const AnsiCodePage& codePage) {
    std::string content(text);
    content += "\r\n";
    if (std::optional<std::string> ansi = codePage.fromUtf8(content)) {
        // Plain ANSI text that happens to begin like a byte order mark would
        // read back as UTF-8; such a file is written as UTF-8 too.
        if (!ansi->starts_with(kUtf8Bom)) return *ansi;
    }
    return std::string(kUtf8Bom) + content;
}

std::optional<std::string> readTextFile(const std::string& Filepath, const AnsiCodePage& codePage,
                                        std::string* error, uint64_t limit) {
    std::optional<std::string> bytes = readWholeFile(Filepath, error, limit);
    if (!bytes) return std::nullopt;
    return decodeFileText(std::move(*bytes), codePage);
}

std::string LoadTextFile(const std::string& Filepath, const AnsiCodePage& codePage, ErrorSink& reporter,
                         uint64_t limit) {
    std::string text;
    runHandler(reporter, [&] {
        std::string error;
        std::optional<std::string> read = readTextFile(Filepath, codePage, &error, limit);
        if (!read) fail(75, "Path/File access error: " + Filepath + " (" + error + ")");
        text = std::move(*read);
    });
    return text;
}

bool SaveData(std::string_view text, const std::string& path, const AnsiCodePage& codePage, std::string* error) {
    return replaceWholeFile(path, encodeFileText(text, codePage), error);
}

}  // namespace qv

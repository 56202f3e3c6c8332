#include "support/file_picker.h"

#include "core/utf.h"

namespace qv {

SelectedFile parseOpenFileBuffer(std::u16string_view buffer, size_t fileOffset) {
    SelectedFile result;
    if (fileOffset == 0 || fileOffset > buffer.size()) return result;
    result.sFiles.assign(1, std::string());
    if (buffer[fileOffset - 1] != u'\0') {
        result.sLastDirectory = toUtf8(buffer.substr(0, fileOffset));
        const size_t end = buffer.find(u'\0', fileOffset);
        result.sFiles.push_back(toUtf8(buffer.substr(fileOffset, end == std::u16string_view::npos ? end : end - fileOffset)));
    } else {
        result.sLastDirectory = toUtf8(buffer.substr(0, fileOffset - 1));
        for (size_t at = fileOffset; at < buffer.size() && buffer[at] != u'\0';) {
            size_t end = buffer.find(u'\0', at);
            if (end == std::u16string_view::npos) end = buffer.size();
            result.sFiles.push_back(toUtf8(buffer.substr(at, end - at)));
            at = end + 1;
        }
    }
    if (!result.sLastDirectory.empty() && result.sLastDirectory.back() != '\\') result.sLastDirectory += '\\';
    result.nFilesSelected = static_cast<int32_t>(result.sFiles.size() - 1);
    result.bCanceled = false;
    return result;
}

std::u16string_view initialFileName(std::u16string_view previous) {
    return previous.substr(0, previous.find(u'\0'));
}

}  // namespace qv

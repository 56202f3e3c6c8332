// The open-file dialog's buffer with any content and offset: every chosen name
// is a NUL-free piece of the buffer, counted, and the folder ends in a backslash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/file_picker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t offset = data[0] | (static_cast<size_t>(data[1]) << 8);
    std::u16string buffer;
    for (size_t i = 2; i + 1 < size; i += 2) buffer.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    const qv::SelectedFile result = qv::parseOpenFileBuffer(buffer, offset);
    if (result.bCanceled) {
        if (result.nFilesSelected != 0) std::abort();
        return 0;
    }
    if (result.sFiles.size() != static_cast<size_t>(result.nFilesSelected) + 1 || !result.sFiles[0].empty())
        std::abort();
    if (!result.sLastDirectory.empty() && result.sLastDirectory.back() != '\\') std::abort();
    for (const std::string& name : result.sFiles) {
        if (name.find('\0') != std::string::npos) std::abort();
    }
    return 0;
}

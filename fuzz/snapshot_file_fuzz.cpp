// The snapshot reader on any bytes: it refuses or loads without a sanitizer
// report, and what it loads is written and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/snapshot_file.h"

namespace {

// The input with every section's checksum made right, where the headers allow,
// so that most inputs reach the entries' parsing instead of the checksum test.
std::string withChecksumsMended(std::string bytes) {
    size_t at = 12;  // magic and version
    while (at + 20 <= bytes.size()) {
        uint64_t length = 0;
        std::memcpy(&length, bytes.data() + at + 4, 8);
        if (length > bytes.size() - at - 20) break;
        const uint64_t sum = qv::sectionChecksum(std::string_view(bytes).substr(at + 20, length));
        std::memcpy(bytes.data() + at + 12, &sum, 8);
        at += 20 + length;
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string mended = withChecksumsMended(std::string(reinterpret_cast<const char*>(data), size));
    const std::string_view bytes = mended;
    std::string fault;
    const std::optional<qv::Collection> c = qv::collectionFromBytes(bytes, fault);
    if (!c) {
        if (fault.empty()) std::abort();
        return 0;
    }
    std::string again;
    const std::optional<qv::Collection> back = qv::collectionFromBytes(qv::collectionBytes(*c), again);
    if (!back || *back != *c) std::abort();
    return 0;
}

// The registry file parser on any bytes: it either refuses with one line that
// names the file and a line number, or reads a hive whose every value and key
// lies inside what it holds; walking the parsed tree through the provider
// never fails. The same bytes read as a file is read, in small blocks and
// reads of any size, give the very same hive or the very same error.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/value_rendering.h"
#include "capture/wine_registry.h"
#include "capture/wine_registry_provider.h"
#include "core/registry_types.h"

namespace {

bool sameHive(const qv::WineHive& a, const qv::WineHive& b) {
    if (a.keyCount() != b.keyCount() || a.valueCount() != b.valueCount() || a.relativeTo() != b.relativeTo() ||
        a.arch() != b.arch())
        return false;
    for (uint32_t k = 0; k < a.keyCount(); ++k) {
        const qv::WineHive::Key &x = a.key(k), &y = b.key(k);
        if (a.keyName(k) != b.keyName(k) || x.parent != y.parent || x.firstChild != y.firstChild ||
            x.nextSibling != y.nextSibling || x.modified != y.modified || x.link != y.link ||
            x.valueCount != y.valueCount)
            return false;
        for (uint32_t i = 0; i < x.valueCount; ++i) {
            const qv::WineHive::Value &v = a.values(k)[i], &w = b.values(k)[i];
            if (v.type != w.type || a.valueName(v) != b.valueName(w) || a.valueData(v) != b.valueData(w)) return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto hives = std::make_shared<qv::WinePrefixHives>();
    std::string error;
    const bool parsed = hives->machine.parse(text, "system.reg", error);
    // The block and the size of each read, from the input's own last bytes.
    const size_t block = size ? 2 + data[size - 1] % 64 : 2;
    const size_t step = size > 1 ? 1 + data[size - 2] % 17 : 1;
    size_t at = 0;
    const qv::WineHive::ReadBytes read = [&](char* into, size_t room, size_t& got, std::string&) {
        got = std::min({room, step, size - at});
        if (got) std::memcpy(into, data + at, got);
        at += got;
        return true;
    };
    qv::WineHive pieces;
    std::string piecesError;
    if (pieces.parse(read, "system.reg", piecesError, block) != parsed || piecesError != error ||
        !sameHive(pieces, hives->machine))
        std::abort();
    if (!parsed) {
        if (error.rfind("system.reg, line ", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
        if (hives->machine.keyCount() != 1 || hives->machine.valueCount() != 0) std::abort();
        return 0;
    }
    if (!error.empty()) std::abort();
    // A hive never holds more than its text could say.
    if (hives->machine.valueCount() > size || hives->machine.keyCount() > size + 1) std::abort();
    auto provider = qv::makeWineRegistryProvider(hives, {});
    std::vector<std::string> stack{""};
    std::vector<std::string> names, subkeys;
    std::vector<uint32_t> types;
    for (size_t visits = 0; !stack.empty() && visits < 10000; ++visits) {
        const std::string path = stack.back();
        stack.pop_back();
        if (provider->EnumValues(qv::kHiveLocalMachine, path, names, types)) {
            for (size_t i = 0; i < names.size(); ++i) {
                qv::RegEntry entry;
                qv::readValueInto(*provider, qv::kHiveLocalMachine, path + "\\", names[i], types[i], entry);
            }
        }
        if (provider->EnumKey(qv::kHiveLocalMachine, path, subkeys))
            for (const std::string& k : subkeys) stack.push_back(path.empty() ? k : path + "\\" + k);
    }
    return 0;
}

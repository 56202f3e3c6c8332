// The regf reader on any bytes: it either refuses with one line that names
// the file, leaving the hive empty, or reads a hive that holds no more than
// its bytes could say (every cell is used once); walking the parsed tree
// through the provider never fails.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/regf_hive.h"
#include "capture/value_rendering.h"
#include "capture/wine_registry_provider.h"
#include "core/registry_types.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto hives = std::make_shared<qv::WinePrefixHives>();
    std::string error;
    if (!qv::parseRegfHive(bytes, "save.hiv", hives->machine, error)) {
        if (error.rfind("save.hiv: ", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
        if (hives->machine.keyCount() != 1 || hives->machine.valueCount() != 0) std::abort();
        return 0;
    }
    if (!error.empty()) std::abort();
    if (hives->machine.valueCount() > size / 8 || hives->machine.keyCount() > size / 8) std::abort();
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

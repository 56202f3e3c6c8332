#pragma once
// How a registry value's data becomes the text of a snapshot entry. Both
// snapshots go through the same rendering, so a change of data shows as a
// change of text and nothing else does.
#include <cstdint>
#include <string>
#include <vector>

#include "capture/registry_provider.h"

namespace qv {

// Bytes as two upper-case hex digits each, joined by ",": {1, 10, 255} gives "01,0A,FF".
std::string renderBinary(const std::vector<uint8_t>& bytes);

// The strings joined by CR LF and six tabs; no separator before the first or after the last.
std::string renderMultiString(const std::vector<std::string>& strings);

// The number in unsigned decimal, 0 to 4294967295.
std::string renderDword(uint32_t value);

// Reads the value `valueName` of `keyName` by its type code and renders it.
// Types without a rendering are not read and give ""; so does a failed read.
std::string readValueData(RegistryProvider& oreg, int32_t hive, const std::string& keyName,
                          const std::string& valueName, uint32_t type);

}  // namespace qv

#pragma once
// How a registry value's data becomes the text of a snapshot entry. Both
// snapshots go through the same rendering, so a change of data shows as a
// change of text and nothing else does.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/registry_provider.h"
#include "core/snapshot_types.h"

namespace qv {

// Registry data as the registry returns it, UTF-16LE, read back: every unit
// of the bytes (an odd last byte is none); a string's units up to its first
// NUL, or all; and a multi-string's strings up to the first empty one, as
// the providers hand them to the walk.
std::u16string utf16Units(std::string_view bytes);
std::u16string stringDataUnits(std::string_view bytes);
std::vector<std::string> multiStringData(std::string_view bytes);

// Bytes as two upper-case hex digits each, joined by ",": {1, 10, 255} gives "01,0A,FF".
std::string renderBinary(const std::vector<uint8_t>& bytes);
std::string renderBinary(std::string_view bytes);

// The strings joined by CR LF and six tabs; no separator before the first or after the last.
std::string renderMultiString(const std::vector<std::string>& strings);

// The number in unsigned decimal, 0 to 4294967295.
std::string renderDword(uint32_t value);

// A value's text from its type and raw bytes: a string up to its first NUL, a
// DWORD or QWORD in unsigned decimal, a multi-string's every string joined by
// renderMultiString, binary data and every other type as renderBinary does.
// An expandable string is given unexpanded; a DWORD that is not 4 bytes long
// gives "", a QWORD that is not 8 bytes long is rendered as binary.
std::string renderValue(uint32_t type, std::string_view bytes);

// The raw bytes that `text` stands for when a value of `type` rendered to it,
// where they follow from it exactly; nothing where the text cannot tell (an
// expanded string, a number that is not 4 or 8 bytes long).
std::optional<std::string> bytesFromText(uint32_t type, std::string_view text);

// Records `bytes` as the entry's raw data: as RawForm::FromText where they
// follow from its text and type, stored otherwise.
void keepRawBytes(RegEntry& entry, std::string_view bytes);

// The entry's raw bytes; nothing when they were not recorded.
std::optional<std::string> rawValueBytes(const RegEntry& entry);

// Reads the value and renders it into `entry` (ValueData and the raw bytes),
// with the text of an expandable string expanded by the provider. A failed
// read leaves "" and no raw bytes.
void readValueInto(RegistryProvider& oreg, int32_t hive, const std::string& keyName, const std::string& valueName,
                   uint32_t type, RegEntry& entry);

}  // namespace qv

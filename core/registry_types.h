#pragma once
// The registry's predefined keys and value type codes, as every layer names them.
#include <cstdint>

namespace qv {

// The platform's predefined-key values, as the window passes them to the walk.
inline constexpr int32_t kHiveClassesRoot = static_cast<int32_t>(0x80000000u);
inline constexpr int32_t kHiveCurrentUser = static_cast<int32_t>(0x80000001u);
inline constexpr int32_t kHiveLocalMachine = static_cast<int32_t>(0x80000002u);
inline constexpr int32_t kHiveUsers = static_cast<int32_t>(0x80000003u);
inline constexpr int32_t kHiveCurrentConfig = static_cast<int32_t>(0x80000005u);

// Registry value type codes that the walk renders.
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegQword = 11;

}  // namespace qv

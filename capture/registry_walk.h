#pragma once
// The registry snapshot: a depth-first walk of one key of one hive that records
// one entry per value, and one entry for each key without values.
#include <cstdint>
#include <string>
#include <string_view>

#include "capture/registry_provider.h"
#include "core/app_state.h"
#include "core/snapshot_types.h"
#include "core/status_sink.h"
#include "core/yielder.h"

namespace qv {

struct RegistryWalkContext {
    AppState& state;
    RegistryProvider& oreg;
    Yielder& yielder;
    StatusSink& status;
};

// Walks key `sk` below `strPath` (sk is empty for the start key) in hive
// `hKey`, writing entries at ctx.state.j onwards and advancing j. The snapshot
// may end up longer than j; the caller trims it with trimSnapshot. Nothing is
// ever reported: unreadable keys and values give empty data or no subkeys.
void getvalsStart(RegistryWalkContext& ctx, int32_t hKey, const std::string& strPath, const std::string& sk);
void getvalsFinish(RegistryWalkContext& ctx, int32_t hKey, const std::string& strPath, const std::string& sk);

// The caller's trim after a walk: with j > 0 the snapshot keeps exactly its j
// entries; with j == 0 it is left as it is (its single empty element).
void trimSnapshot(RegSnapshot& snapshot, int32_t j);

// The path of a visit: parent + "\" + name when both are non-empty, otherwise
// their plain concatenation.
std::string registryWalkPath(const std::string& strPath, const std::string& sk);

// The keys whose values the system serves from performance data
// (HKEY_LOCAL_MACHINE\...\Microsoft\Windows NT\CurrentVersion\Perflib\<language>):
// reading them gathers performance counters and their texts, which takes
// seconds and under Wine starts a desktop and waits for it. They are no
// installer's data, so the walk records each as a key without values.
bool isPerformanceTextKey(int32_t hive, std::string_view walkPath);

// A registry tree is at most 512 levels deep; a walk goes no deeper below its
// start key, so a cycle of registry links ends there instead of exhausting memory.
inline constexpr size_t kMaxRegistryWalkDepth = 512;

}  // namespace qv

#pragma once
// A registry provider that answers from saved copies of whole subtrees and
// asks the live registry only for what a save leaves out. A walk asks for
// every key and value in turn, and under Wine each ask is a round trip to the
// server; one save of the subtree costs about what a few hundred of them do.
//
// A subtree is saved when the walk first lists the values of a key that no
// saved copy holds (the walk's start key, or each key below a hive's root).
// Read live instead are: the hive roots themselves and HKEY_CLASSES_ROOT and
// HKEY_CURRENT_CONFIG (views merged from other keys, which a save does not
// reproduce), registry links (the live registry follows them), keys the save
// left out (volatile ones), keys the reader may not open, and everything when
// a save fails.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "capture/environment_expansion.h"
#include "capture/registry_provider.h"
#include "capture/wine_registry.h"

namespace qv {

// A subtree as one save wrote it, and where it differs from the live registry.
struct SavedKey {
    std::shared_ptr<const WineHive> tree;  // its root is the saved key
    uint64_t bytes = 0;                    // the size of the save as written
    // Keys whose live subkeys the save did not all hold: their subkeys as the
    // registry lists them. Those missing from the tree are read live.
    std::unordered_map<uint32_t, std::vector<std::string>> liveSubkeys;
    // Keys whose whole subtree is read live.
    std::unordered_set<uint32_t> readLive;
};

class RegistrySaver {
public:
    virtual ~RegistrySaver() = default;
    // The subtree at `path` (not a hive's root) saved now; nothing when it
    // cannot be saved or its save is larger than kMaxSaveBytes, and the walk
    // then reads it live.
    virtual std::optional<SavedKey> save(int32_t hive, const std::string& path) = 0;
};

// The largest save that is read back, and the most that the copies kept at
// once may have taken as files. A copy in memory takes about twice its file,
// for as long as it is kept, beside the snapshot that the walk makes; a
// larger subtree is walked, so that a capture of a large registry costs no
// more memory than a walk of it.
inline constexpr uint64_t kMaxSaveBytes = 4 * 1024 * 1024;
inline constexpr uint64_t kMaxKeptSaveBytes = 8 * 1024 * 1024;

// `environment` expands the %NAME% references of saved REG_EXPAND_SZ data as
// the live provider would; without one, such values are read live.
std::unique_ptr<RegistryProvider> makeSavedKeyProvider(std::unique_ptr<RegistryProvider> live,
                                                       std::unique_ptr<RegistrySaver> saver,
                                                       std::shared_ptr<const EnvironmentExpander> environment = {});

}  // namespace qv

#pragma once
// The registry provider for snapshots on Windows and under Wine: subtrees
// saved whole with RegSaveKeyExW and read back (Wine writes its own text
// format, Windows regf), the rest walked key by key. Saving needs
// SeBackupPrivilege; where the token does not hold it, everything is walked.
#include <cstdint>
#include <memory>

#include "capture/registry_provider.h"

namespace qv {

class SavingRegistryProviderSource : public RegistryProviderSource {
public:
    // Missing: saving goes on as where the token does not hold the privilege.
    enum class Privilege { Enable, Missing };
    explicit SavingRegistryProviderSource(Privilege privilege = Privilege::Enable) : privilege_(privilege) {}
    std::unique_ptr<RegistryProvider> connect() override;

private:
    Privilege privilege_;
};

// How many subtrees the providers of this process have saved and read back,
// and how many saves they found refused for want of the privilege.
uint64_t registrySavesMade();
uint64_t registrySavesRefused();
// How many registry calls their check of saved keys against the live registry
// has made.
uint64_t registryCheckCallsMade();

}  // namespace qv

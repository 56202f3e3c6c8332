#pragma once
// The registry provider over the local registry, read with the wide registry
// functions. It does what the management service's StdRegProv does for the
// walk, at the cost of the bare registry calls: each key is opened once, and
// the values are read with their data in the one enumeration pass.
#include <memory>

#include "capture/environment_expansion.h"
#include "capture/registry_provider.h"

namespace qv {

class Win32RegistryProviderSource : public RegistryProviderSource {
public:
    std::unique_ptr<RegistryProvider> connect() override;
};

// How many registry calls the providers of this process have made: under Wine
// each is a round trip to the server, the cost that the benchmark watches.
uint64_t registryCallsMade();

// The variables of this process's environment, names folded as Windows
// compares them, for expanding REG_EXPAND_SZ data as the registry reads do.
EnvironmentExpander processEnvironment();

}  // namespace qv

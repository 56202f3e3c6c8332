#pragma once
// The reference for change detection: the four passes written as the plain
// nested scans they are defined as, with the same first-match and any-match
// rules, so that the indexed product code can be checked against them. Used
// only by tests and benchmarks.
#include <array>
#include <vector>

#include "app/main_view.h"
#include "capture/directory_source.h"
#include "core/app_state.h"
#include "core/yielder.h"

namespace qv::testing {

// The six result lists, indexed by ListId.
using DetectionRows = std::array<std::vector<ResultRow>, 6>;

// Runs the literal scans over `state`. `registryTicked` stands for the
// "Detect registry changes" box. When `yielder` is given it is called once per
// outer step and once before every inner comparison, as the scans used to.
DetectionRows literalDetection(const AppState& state, bool registryTicked, DirectorySource& files,
                               Yielder* yielder = nullptr);

}  // namespace qv::testing

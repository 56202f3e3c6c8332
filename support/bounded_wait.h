#pragma once
// A blocking call that the platform gives no timeout, run where it cannot hold
// the window: on its own thread, waited for only as long as the caller allows.
#include <chrono>
#include <functional>

#include "core/yielder.h"

namespace qv {

// Runs `work` on a thread of its own and waits at most `budget` for it,
// yielding meanwhile so the window stays answered. True when it finished in
// time. Work that overruns is left to end by itself and its outcome ignored, so
// it must own everything it touches.
bool finishesWithin(std::function<void()> work, std::chrono::milliseconds budget, Yielder& yielder);

}  // namespace qv

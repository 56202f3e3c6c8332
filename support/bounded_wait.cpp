#include "support/bounded_wait.h"

#include <atomic>
#include <memory>
#include <thread>

namespace qv {

bool finishesWithin(std::function<void()> work, std::chrono::milliseconds budget, Yielder& yielder) {
    // Shared with the thread, which may outlive this call.
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([done, work = std::move(work)] {
        work();
        done->store(true);
    }).detach();
    const auto deadline = std::chrono::steady_clock::now() + budget;
    while (!done->load()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        yielder.yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace qv

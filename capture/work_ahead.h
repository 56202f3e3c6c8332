#pragma once
// Work done ahead of the thread that takes in its results. A job is cut into
// chunks that helper threads claim in order; the taker waits for a chunk only
// while a helper is on it, and otherwise claims the next chunks itself, so a
// job ends even when no helper ever comes to it.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qv {

class ChunkedJob {
public:
    ChunkedJob(size_t chunks, std::function<void(size_t chunk)> work);
    // Returns once chunk `c` is done.
    void await(size_t c);
    // Claims and does one chunk; false when none is left to begin.
    bool helpOnce();
    // Begins no further chunk; those under way still end.
    void abandon() { claimed_.store(chunks_, std::memory_order_relaxed); }
    bool exhausted() const { return claimed_.load(std::memory_order_relaxed) >= chunks_; }

private:
    // The next unclaimed chunk, or `chunks_` when none is left.
    size_t claim();
    void run(size_t c);

    size_t chunks_;
    std::function<void(size_t)> work_;
    std::atomic<size_t> claimed_{0};
    std::unique_ptr<std::atomic<uint8_t>[]> done_;
};

// Threads that help with the newest job first: it is the one its taker needs
// now, while an older one waits for a walk to come back to it.
class HelperThreads {
public:
    explicit HelperThreads(size_t count);
    ~HelperThreads();
    HelperThreads(const HelperThreads&) = delete;
    HelperThreads& operator=(const HelperThreads&) = delete;

    // Nothing is posted where no thread could be started: the taker does
    // the whole job.
    void post(std::shared_ptr<ChunkedJob> job);
    size_t count() const { return threads_.size(); }

private:
    void serve();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::shared_ptr<ChunkedJob>> jobs_;
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> threads_;
};

}  // namespace qv

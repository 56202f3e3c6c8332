#include "capture/work_ahead.h"

#include <system_error>

namespace qv {

ChunkedJob::ChunkedJob(size_t chunks, std::function<void(size_t chunk)> work)
    : chunks_(chunks), work_(std::move(work)), done_(std::make_unique<std::atomic<uint8_t>[]>(chunks)) {}

size_t ChunkedJob::claim() {
    size_t c = claimed_.load(std::memory_order_relaxed);
    while (c < chunks_ && !claimed_.compare_exchange_weak(c, c + 1, std::memory_order_relaxed)) {
    }
    return c;
}

void ChunkedJob::run(size_t c) {
    work_(c);
    done_[c].store(1, std::memory_order_release);
    done_[c].notify_all();
}

bool ChunkedJob::helpOnce() {
    const size_t c = claim();
    if (c >= chunks_) return false;
    run(c);
    return true;
}

void ChunkedJob::await(size_t c) {
    // Chunks are claimed in order, so until `c` is done there is either a
    // chunk to do here, which brings `c` closer or takes work off the
    // helpers, or nothing left but to wait for the helper that has it.
    while (done_[c].load(std::memory_order_acquire) == 0) {
        const size_t mine = claim();
        if (mine < chunks_) {
            run(mine);
            continue;
        }
        done_[c].wait(0, std::memory_order_acquire);
    }
}

HelperThreads::HelperThreads(size_t count) {
    for (size_t i = 0; i < count; ++i) {
        try {
            threads_.emplace_back([this] { serve(); });
        } catch (const std::system_error&) {
            break;  // fewer helpers; the takers do the rest
        }
    }
}

HelperThreads::~HelperThreads() {
    {
        std::lock_guard lock(mutex_);
        stopping_.store(true);
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void HelperThreads::post(std::shared_ptr<ChunkedJob> job) {
    if (threads_.empty()) return;
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
}

void HelperThreads::serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_.load() || !jobs_.empty(); });
        if (stopping_) return;
        std::shared_ptr<ChunkedJob> job = jobs_.back();
        if (job->exhausted()) {
            std::erase(jobs_, job);
            // The last hold on a finished folder may be this one: it is let
            // go without the lock, which a walker waits for to post.
            lock.unlock();
            job.reset();
            lock.lock();
            continue;
        }
        lock.unlock();
        // A chunk at a time, so that an ending pool does not finish a folder
        // that nobody will read.
        while (!stopping_.load(std::memory_order_relaxed) && job->helpOnce()) {
        }
        job.reset();
        lock.lock();
    }
}

}  // namespace qv

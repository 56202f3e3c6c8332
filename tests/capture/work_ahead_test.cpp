#include "capture/work_ahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace qv {
namespace {

// Every chunk is done once, whoever does it, and a chunk that the taker
// awaits is done before the wait ends: with no helper thread, one, or
// several, and with a job abandoned halfway while helpers are on it.
TEST(WorkAhead, EveryChunkIsDoneOnceAndBeforeItsTakerGoesOn) {
    for (size_t helpers : {0, 1, 3}) {
        auto pool = std::make_unique<HelperThreads>(helpers);
        for (int round = 0; round < 20; ++round) {
            const size_t chunks = 1 + static_cast<size_t>(round) * 7;
            auto counts = std::make_shared<std::vector<std::atomic<int>>>(chunks);
            auto job = std::make_shared<ChunkedJob>(chunks, [counts](size_t c) { ++(*counts)[c]; });
            pool->post(job);
            const bool abandon = round % 4 == 3;
            for (size_t c = 0; c < chunks; ++c) {
                if (abandon && c == chunks / 2) {
                    job->abandon();
                    break;
                }
                job->await(c);
                ASSERT_EQ((*counts)[c].load(), 1) << "chunk " << c << " of " << chunks << ", " << helpers << " helpers";
            }
            if (helpers == 0) {
                // A pool without threads keeps nothing: the folder behind a
                // job is let go as soon as its taker is done with it.
                EXPECT_EQ(job.use_count(), 1);
            }
            if (abandon) {
                EXPECT_TRUE(job->exhausted());
                pool.reset();  // the helpers have ended: no chunk is under way
                pool = std::make_unique<HelperThreads>(helpers);
                for (size_t c = 0; c < chunks; ++c) EXPECT_LE((*counts)[c].load(), 1) << c;
            }
        }
    }
}

}  // namespace
}  // namespace qv

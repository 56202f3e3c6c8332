#include "support/bounded_wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

TEST(FinishesWithin, QuickWorkCountsAndAHangingOneIsGivenUpAtTheBudgetWhileTheWindowRuns) {
    testing::ScriptedYielder yielder;
    auto ran = std::make_shared<std::atomic<bool>>(false);
    EXPECT_TRUE(finishesWithin([ran] { ran->store(true); }, 5s, yielder));
    EXPECT_TRUE(ran->load());

    auto release = std::make_shared<std::atomic<bool>>(false);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(finishesWithin(
        [release] {
            while (!release->load()) std::this_thread::sleep_for(1ms);
        },
        100ms, yielder));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 100ms);
    EXPECT_LT(waited, 5s);  // given up, not waited out
    EXPECT_GT(yielder.count, 1);
    release->store(true);  // the abandoned thread ends on its own
}

}  // namespace
}  // namespace qv

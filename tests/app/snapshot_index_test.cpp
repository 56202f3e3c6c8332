#include "app/snapshot_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

// Every key under one hash: the table must fall back on the key comparison
// and walk the probe run, wrapping past the end of its slot array.
TEST(FirstIndexTable, KeepsTheFirstIndexOfEachKeyWhenAllHashesCollide) {
    const std::vector<std::string> keys = {"a", "b", "a", "c", "b", "d"};
    FirstIndexTable table(keys.size());
    const uint64_t sameHash = 15;  // the last slot of the smallest table
    for (size_t k = 0; k < keys.size(); ++k) {
        table.insertFirst(sameHash, k, [&](size_t s) { return keys[s] == keys[k]; });
    }
    auto lookup = [&](const std::string& key) {
        return table.find(sameHash, [&](size_t s) { return keys[s] == key; });
    };
    EXPECT_EQ(lookup("a"), 0u);
    EXPECT_EQ(lookup("b"), 1u);
    EXPECT_EQ(lookup("c"), 3u);
    EXPECT_EQ(lookup("d"), 5u);
    EXPECT_FALSE(lookup("e").has_value());
}

TEST(FirstIndexTable, FindsEveryKeyOfALargeSnapshot) {
    std::vector<std::string> keys;
    for (int k = 0; k < 5000; ++k) keys.push_back("HKLM\\Key" + std::to_string(k % 3000) + "\\");
    FirstIndexTable table(keys.size());
    for (size_t k = 0; k < keys.size(); ++k) {
        table.insertFirst(hashText(keys[k]), k, [&](size_t s) { return keys[s] == keys[k]; });
    }
    for (size_t k = 0; k < keys.size(); ++k) {
        auto found = table.find(hashText(keys[k]), [&](size_t s) { return keys[s] == keys[k]; });
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(*found, k % 3000);
    }
    EXPECT_FALSE(
        table.find(hashText("HKLM\\Key3000\\"), [&](size_t s) { return keys[s] == "HKLM\\Key3000\\"; }));
}

TEST(FirstIndexTable, ResetForgetsEveryKeyAndKeepsWorkingAtAnotherSize) {
    const std::vector<std::string> big = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
    FirstIndexTable table(big.size());
    for (size_t k = 0; k < big.size(); ++k) {
        table.insertFirst(hashText(big[k]), k, [&](size_t s) { return big[s] == big[k]; });
    }
    const std::vector<std::string> small = {"j", "a"};
    table.reset(small.size());
    EXPECT_FALSE(table.find(hashText("b"), [&](size_t s) { return s < small.size() && small[s] == "b"; }));
    for (size_t k = 0; k < small.size(); ++k) {
        table.insertFirst(hashText(small[k]), k, [&](size_t s) { return small[s] == small[k]; });
    }
    EXPECT_EQ(table.find(hashText("a"), [&](size_t s) { return small[s] == "a"; }), 1u);
    EXPECT_EQ(table.find(hashText("j"), [&](size_t s) { return small[s] == "j"; }), 0u);
}

}  // namespace
}  // namespace qv

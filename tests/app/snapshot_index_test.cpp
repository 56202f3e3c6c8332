#include "app/snapshot_index.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qv {
namespace {

using HashOf = std::function<uint64_t(const std::string&)>;

void insertAll(FirstIndexTable& table, const std::vector<std::string>& keys, const HashOf& hash) {
    for (size_t k = 0; k < keys.size(); ++k)
        table.insertFirst(hash(keys[k]), k, [&](size_t s) { return keys[s] == keys[k]; });
}

std::optional<size_t> lookup(FirstIndexTable& table, const std::vector<std::string>& keys, const HashOf& hash,
                             const std::string& key) {
    return table.find(hash(key), [&](size_t s) { return s < keys.size() && keys[s] == key; });
}

// Every key under one hash: the table must fall back on the key comparison
// and walk the probe run, wrapping past the end of its slot array.
TEST(FirstIndexTable, KeepsTheFirstIndexOfEachKeyWhenAllHashesCollide) {
    const std::vector<std::string> keys = {"a", "b", "a", "c", "b", "d"};
    const HashOf sameHash = [](const std::string&) {
        return uint64_t{15};
    };  // the last slot of the smallest table
    FirstIndexTable table(keys.size());
    insertAll(table, keys, sameHash);
    EXPECT_EQ(lookup(table, keys, sameHash, "a"), 0u);
    EXPECT_EQ(lookup(table, keys, sameHash, "b"), 1u);
    EXPECT_EQ(lookup(table, keys, sameHash, "c"), 3u);
    EXPECT_EQ(lookup(table, keys, sameHash, "d"), 5u);
    EXPECT_FALSE(lookup(table, keys, sameHash, "e").has_value());
}

TEST(FirstIndexTable, FindsEveryKeyOfALargeSnapshot) {
    std::vector<std::string> keys;
    for (int k = 0; k < 5000; ++k) keys.push_back("HKLM\\Key" + std::to_string(k % 3000) + "\\");
    FirstIndexTable table(keys.size());
    insertAll(table, keys, hashText);
    for (size_t k = 0; k < keys.size(); ++k) ASSERT_EQ(lookup(table, keys, hashText, keys[k]), k % 3000);
    EXPECT_FALSE(lookup(table, keys, hashText, "HKLM\\Key3000\\"));
}

TEST(FirstIndexTable, ResetForgetsEveryKeyAndKeepsWorkingAtAnotherSize) {
    const std::vector<std::string> big = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"},
                                   small = {"j", "a"};
    FirstIndexTable table(big.size());
    insertAll(table, big, hashText);
    table.reset(small.size());
    EXPECT_FALSE(lookup(table, small, hashText, "b"));
    insertAll(table, small, hashText);
    EXPECT_EQ(lookup(table, small, hashText, "a"), 1u);
    EXPECT_EQ(lookup(table, small, hashText, "j"), 0u);
}

}  // namespace
}  // namespace qv

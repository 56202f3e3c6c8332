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
    const HashOf lastSlot = [](const std::string&) { return uint64_t{15}; };  // of the smallest table
    FirstIndexTable table(keys.size());
    insertAll(table, keys, lastSlot);
    for (auto [key, first] : {std::pair{"a", 0u}, {"b", 1u}, {"c", 3u}, {"d", 5u}})
        EXPECT_EQ(lookup(table, keys, lastSlot, key), first) << key;
    EXPECT_FALSE(lookup(table, keys, lastSlot, "e"));
}

TEST(FirstIndexTable, FindsEveryKeyOfALargeSnapshotAndForgetsThemAtAReset) {
    std::vector<std::string> keys;
    for (int k = 0; k < 5000; ++k) keys.push_back("HKLM\\Key" + std::to_string(k % 3000) + "\\");
    FirstIndexTable table(keys.size());
    insertAll(table, keys, hashText);
    for (size_t k = 0; k < keys.size(); ++k) ASSERT_EQ(lookup(table, keys, hashText, keys[k]), k % 3000);
    EXPECT_FALSE(lookup(table, keys, hashText, "HKLM\\Key3000\\"));

    // Smaller again: nothing of the large snapshot is found, the new keys are.
    const std::vector<std::string> small = {keys[2999], keys[0]};
    table.reset(small.size());
    for (size_t k = 0; k < 3000; ++k) ASSERT_FALSE(lookup(table, keys, hashText, keys[k])) << k;
    insertAll(table, small, hashText);
    EXPECT_EQ(lookup(table, small, hashText, keys[0]), 1u);
    EXPECT_EQ(lookup(table, small, hashText, keys[2999]), 0u);
}

}  // namespace
}  // namespace qv

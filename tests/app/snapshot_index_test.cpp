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
    const uint64_t lastSlot = 15;  // of the smallest table
    FirstIndexTable table(keys.size());
    for (size_t k = 0; k < keys.size(); ++k)
        table.insertFirst(lastSlot, k, [&](size_t s) { return keys[s] == keys[k]; });
    auto lookup = [&](const std::string& key) {
        return table.find(lastSlot, [&](size_t s) { return keys[s] == key; });
    };
    for (auto [key, first] : {std::pair{"a", 0u}, {"b", 1u}, {"c", 3u}, {"d", 5u}})
        EXPECT_EQ(lookup(key), first) << key;
    EXPECT_FALSE(lookup("e"));
}

}  // namespace
}  // namespace qv

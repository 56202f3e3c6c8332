#include "core/shared_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace qv {
namespace {

TEST(SharedText, CopiesShareOneBlockThatLivesAsLongAsItsLastHolder) {
    std::vector<SharedText> holders;
    {
        SharedText first(std::string("HKEY_LOCAL_MACHINE\\Software\\Acme\\"));
        for (int i = 0; i < 1000; ++i) holders.push_back(first);
        EXPECT_TRUE(holders.back().sameBlock(first));
    }
    // The first holder is gone; the copies still read the text (ASan would
    // see a block freed too early or never).
    holders.erase(holders.begin(), holders.begin() + 999);
    EXPECT_EQ(holders.front(), "HKEY_LOCAL_MACHINE\\Software\\Acme\\");
    SharedText moved = std::move(holders.front());
    EXPECT_TRUE(holders.front().empty());
    EXPECT_EQ(moved.size(), 33u);
    moved = moved;  // NOLINT: assigning a holder to itself must keep the text
    EXPECT_EQ(moved.view(), "HKEY_LOCAL_MACHINE\\Software\\Acme\\");
    moved = "other";
    EXPECT_EQ(moved, std::string("other"));
}

TEST(SharedText, ComparesByTextWhateverTheBlockAndKeepsEmbeddedNuls) {
    const SharedText a("same\\"), b(std::string("same\\"));
    EXPECT_FALSE(a.sameBlock(b));
    EXPECT_EQ(a, b);
    EXPECT_LT(SharedText("A\\"), SharedText("B\\"));
    EXPECT_LT(SharedText("A\\"), std::string("A\\B"));
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(SharedText(withNul).size(), 3u);
    EXPECT_NE(SharedText(withNul), SharedText("a"));
    // The empty text holds no block and reads as "" with a terminator.
    const SharedText empty, fromEmpty("");
    EXPECT_TRUE(empty.sameBlock(fromEmpty));
    EXPECT_EQ(empty.heapBytes(), 0u);
    EXPECT_STREQ(empty.data(), "");
    EXPECT_STREQ(SharedText("x").data(), "x");
    EXPECT_EQ("Key: " + SharedText("K\\") + "!", "Key: K\\!");
}

}  // namespace
}  // namespace qv

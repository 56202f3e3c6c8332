#include "capture/value_rendering.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/fakes/fake_registry.h"

namespace qv {
namespace {

using testing::FakeRegistry;

constexpr const char* kSep = "\r\n\t\t\t\t\t\t";

TEST(ValueRendering, BinaryIsUpperCaseHexPairsJoinedByCommas) {
    EXPECT_EQ(renderBinary({1, 10, 255}), "01,0A,FF");
    EXPECT_EQ(renderBinary({0xAB}), "AB");
    EXPECT_EQ(renderBinary({}), "");
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    const std::string text = renderBinary(all);
    ASSERT_EQ(text.size(), 256u * 3 - 1);
    for (int i = 0; i < 256; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", i);
        EXPECT_EQ(text.substr(static_cast<size_t>(i) * 3, 2), pair);
    }
}

TEST(ValueRendering, MultiStringsAreJoinedByCrLfAndSixTabsAndDwordsAreUnsigned) {
    EXPECT_EQ(renderMultiString({"one", "two", "three"}), std::string("one") + kSep + "two" + kSep + "three");
    EXPECT_EQ(renderMultiString({"only"}), "only");
    EXPECT_EQ(renderMultiString({}), "");
    EXPECT_EQ(renderMultiString({"a", "", "b"}), std::string("a") + kSep + kSep + "b");
    EXPECT_EQ(renderDword(0), "0");
    EXPECT_EQ(renderDword(2147483647u), "2147483647");
    EXPECT_EQ(renderDword(2147483648u), "2147483648");
    EXPECT_EQ(renderDword(4294967295u), "4294967295");
}

// What each rendered type reads is held by the walk's rendering test; here the
// types that are not rendered, and providers that fail.
class ReadValueDataTest : public ::testing::Test {
protected:
    static constexpr int32_t kHive = kHiveLocalMachine;
    FakeRegistry reg;
    std::string read(const std::string& name, uint32_t type) {
        return readValueData(reg, kHive, "K\\", name, type);
    }
};

TEST_F(ReadValueDataTest, TypesThatAreNotRenderedAreNotRead) {
    for (uint32_t type : {11u, 0u, 5u}) {
        reg.addValue(kHive, "K", std::string("t").append(std::to_string(type)), type, "not rendered");
        EXPECT_EQ(read(std::string("t").append(std::to_string(type)), type), "") << type;
    }
    EXPECT_EQ(reg.readCalls, 0);
}

// A provider that leaves stale output behind when it fails.
class StaleOutputProvider : public FakeRegistry {
public:
    bool GetStringValue(int32_t, const std::string&, const std::string&, std::string& out) override {
        out = "stale";
        return false;
    }
    bool GetDWORDValue(int32_t, const std::string&, const std::string&, uint32_t& out) override {
        out = 42;
        return false;
    }
    bool GetMultiStringValue(int32_t, const std::string&, const std::string&,
                             std::vector<std::string>& out) override {
        out = {"stale"};
        return false;
    }
};

TEST_F(ReadValueDataTest, FailedReadGivesEmptyDataWhateverTheProviderLeftBehind) {
    EXPECT_EQ(read("missing", kRegBinary), "");
    StaleOutputProvider stale;
    for (uint32_t type : {kRegSz, kRegDword, kRegMultiSz})
        EXPECT_EQ(readValueData(stale, kHiveUsers, "K\\", "v", type), "") << type;
}

}  // namespace
}  // namespace qv

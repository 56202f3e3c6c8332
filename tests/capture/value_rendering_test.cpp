#include "capture/value_rendering.h"

#include <gtest/gtest.h>

#include "tests/support/fakes/fake_registry.h"

namespace qv {
namespace {

using testing::FakeRegistry;

TEST(ValueRendering, BinaryIsUpperCaseHexPairsMultiStringsJoinByCrLfAndSixTabsAndDwordsAreUnsigned) {
    const std::string sep = "\r\n\t\t\t\t\t\t";
    const std::pair<std::string, std::string> cases[] = {
        {renderBinary({1, 10, 255, 0xAB, 0x80}), "01,0A,FF,AB,80"},
        {renderBinary({}), ""},
        {renderMultiString({"one", "two", "three"}), "one" + sep + "two" + sep + "three"},
        {renderMultiString({}), ""},
        {renderMultiString({"a", "", "b"}), "a" + sep + sep + "b"},
        {renderDword(0), "0"},
        {renderDword(2147483648u), "2147483648"},
    };
    for (const auto& [rendered, expected] : cases) EXPECT_EQ(rendered, expected);
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

// What each rendered type reads is held by the walk's rendering test; here the types that are not
// rendered, which are not even read, and failed reads.
TEST(ReadValueData, FailedReadsAndTypesThatAreNotRenderedGiveEmptyData) {
    StaleOutputProvider reg;
    for (uint32_t type : {11u, 0u, 5u}) {
        std::string name = "t";
        name += std::to_string(type);
        reg.addValue(kHiveUsers, "K", name, type, "not rendered");
        EXPECT_EQ(readValueData(reg, kHiveUsers, "K\\", name, type), "") << type;
    }
    EXPECT_EQ(reg.readCalls, 0);
    EXPECT_EQ(readValueData(reg, kHiveUsers, "K\\", "missing", kRegBinary), "");
    for (uint32_t type : {kRegSz, kRegDword, kRegMultiSz})
        EXPECT_EQ(readValueData(reg, kHiveUsers, "K\\", "v", type), "") << type;
}

}  // namespace
}  // namespace qv

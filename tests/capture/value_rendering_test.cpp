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

// What each rendered type reads is held by the walk's rendering test; here failed reads, which leave
// the value's data in the output, and the types that are not rendered, which are not even read.
TEST(ReadValueData, FailedReadsAndTypesThatAreNotRenderedGiveEmptyData) {
    FakeRegistry reg;
    for (uint32_t type : {kRegSz, kRegExpandSz, kRegBinary, kRegDword, kRegMultiSz, 11u, 0u, 5u}) {
        std::string name = "v";
        name += std::to_string(type);
        reg.addValue(kHiveUsers, "K", name, type, "7");
        reg.failRead(kHiveUsers, "K", name);
        EXPECT_EQ(readValueData(reg, kHiveUsers, "K\\", name, type), "") << type;
    }
    EXPECT_EQ(reg.readCalls, 5);
}

}  // namespace
}  // namespace qv

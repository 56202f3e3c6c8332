#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/split_string.h"
#include "core/whole_file.h"

namespace qv {
namespace {

TEST(SplitString, GivesOnePieceMoreThanSeparatorsUntrimmed) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        // clang-format off
        {"a,b,", {"a", "b", ""}}, {"", {""}}, {",", {"", ""}}, {" a , b", {" a ", " b"}},
        {"1,0,1,1,0,1\r\n", {"1", "0", "1", "1", "0", "1\r\n"}},
        // clang-format on
    };
    std::vector<std::string> out{"left", "over"};
    for (const auto& [text, pieces] : cases) {
        SplitString(text, ',', out);
        EXPECT_EQ(out, pieces) << text;
    }
}

TEST(WholeFile, ReplacementKeepsNoTemporaryAndFailureKeepsTheOldFile) {
    const auto dir = std::filesystem::temp_directory_path() / "quorvel-whole-file-test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "data.dat").string();

    ASSERT_TRUE(replaceWholeFile(path, "a much longer old content"));
    ASSERT_TRUE(replaceWholeFile(path, "x\r\n"));
    EXPECT_EQ(readWholeFile(path), "x\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

    EXPECT_TRUE(regularFileExists(path));
    EXPECT_FALSE(regularFileExists(dir.string()));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace qv

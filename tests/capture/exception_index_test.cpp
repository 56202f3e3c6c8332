#include "capture/exception_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "capture/registry_provider.h"

namespace qv {
namespace {

constexpr unsigned long long kUnknown = Yielder::kTurnsUnknown;

// Short texts over a tiny alphabet, so that equal texts, prefixes and
// near-misses in case all turn up often.
std::string randomText(std::mt19937& rng) {
    static const char* const kPieces[] = {"a", "A", "b", "\\", "C:\\", "T"};
    std::string text;
    const int pieces = static_cast<int>(rng() % 5);
    for (int i = 0; i < pieces; ++i) text += kPieces[rng() % std::size(kPieces)];
    return text;
}

std::string pick(std::mt19937& rng, const std::vector<std::string>& choices) {
    return choices[rng() % choices.size()];
}

// The lookups against the plain rule that compares every entry with every
// exception, on random lists and random paths.
TEST(ExceptionIndex, AgreesWithTheLinearRuleOnRandomLists) {
    std::mt19937 rng(20261207);
    const std::vector<std::string> hives = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_USERS",
                                            "hkey_local_machine", ""};
    const std::vector<std::string> kinds = {"File", "Folder", "folder", "", "FILE"};
    for (int round = 0; round < 300; ++round) {
        std::vector<RegException> reg(1);
        std::vector<FileException> files(1);
        const int count = static_cast<int>(rng() % 12);
        for (int i = 0; i < count; ++i) {
            reg.push_back({pick(rng, hives), randomText(rng)});
            files.push_back({randomText(rng), pick(rng, kinds)});
        }
        // Element 0 is never an exception, whatever it holds.
        reg[0] = {"HKEY_LOCAL_MACHINE", randomText(rng)};
        files[0] = {randomText(rng), "Folder"};
        const int32_t hive = *hiveNumber(pick(rng, {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"}));
        RegistryExceptionIndex regIndex(hive);
        FileExceptionIndex fileIndex;
        for (int probe = 0; probe < 40; ++probe) {
            const std::string path = randomText(rng);
            bool regLinear = false, fileLinear = false, folderLinear = false;
            for (size_t x = 1; x < reg.size(); ++x) {
                const auto h = hiveNumber(reg[x].hKey);
                regLinear |= reg[x].KeyPath == path && h && *h == hive;
            }
            for (size_t x = 1; x < files.size(); ++x) {
                fileLinear |= files[x].FileorFolder == "File" && files[x].Path == path;
                folderLinear |= files[x].FileorFolder == "Folder" && !files[x].Path.empty() &&
                                path.starts_with(files[x].Path);
            }
            SCOPED_TRACE(path);
            EXPECT_EQ(regIndex.covers(reg, path, kUnknown), regLinear);
            EXPECT_EQ(fileIndex.coversFile(files, path, kUnknown), fileLinear);
            EXPECT_EQ(fileIndex.coversFolder(files, path, kUnknown), folderLinear);
        }
    }
}

// A list edited in place is noticed once handlers have had a turn, and only then.
TEST(ExceptionIndex, FollowsAListChangedInPlaceAfterTheNextTurn) {
    FileExceptionIndex index;
    std::vector<FileException> list = {{}, {"C:\\Temp", "Folder"}};
    EXPECT_TRUE(index.coversFolder(list, "C:\\Temp2\\", 1));
    list[1].Path = "C:\\Other";
    EXPECT_TRUE(index.coversFolder(list, "C:\\Temp2\\", 1));
    EXPECT_FALSE(index.coversFolder(list, "C:\\Temp2\\", 2));
    EXPECT_TRUE(index.coversFolder(list, "C:\\Other\\x\\", 2));
}

}  // namespace
}  // namespace qv

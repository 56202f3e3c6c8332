#include "core/snapshot_file.h"

#include <gtest/gtest.h>

#include <string>

#include "core/registry_types.h"

namespace qv {
namespace {

Collection sample() {
    Collection c;
    c.registryWalked = true;
    c.hive = kHiveLocalMachine;
    c.startKey = "SOFTWARE\\Пример";
    c.registry = {{"SOFTWARE\\Пример\\", "", "", kKeyEntryType},
                  {"SOFTWARE\\Пример\\Sub\\", "sz", "text\r\n\t\ttabs", kRegSz},
                  {"SOFTWARE\\Пример\\Sub\\", "", "default", kRegSz},
                  {"SOFTWARE\\Пример\\Sub\\Deeper\\", "bin", "00,0F", kRegBinary},
                  {"SOFTWARE\\Other\\", "dword", "4294967295", kRegDword},
                  {"SOFTWARE\\Other\\", "expand", "%SystemRoot%\\x", kRegExpandSz},
                  {"SOFTWARE\\Other\\", "multi", "a b", kRegMultiSz},
                  {"S\\", std::string("nul\0inside", 10), "\xED\xA0\x80 lone surrogate", 11}};
    c.filesScanned = true;
    c.startFolder = "C:\\Program Files\\";
    c.files = {{},
               {"C:\\Program Files\\a.txt", "07/12/2026 12:00:00"},
               {"C:\\Program Files\\b\\c.txt", ""},
               {"C:\\x", "01/01/1990 00:00:01"}};
    c.seconds = 1.25;
    return c;
}

TEST(SnapshotFile, RoundTripsEveryFieldAndEmptyCollections) {
    for (const Collection& c : {sample(), Collection{}}) {
        std::string fault;
        const std::optional<Collection> back = collectionFromBytes(collectionBytes(c), fault);
        ASSERT_TRUE(back) << fault;
        EXPECT_EQ(*back, c);
    }
}

TEST(SnapshotFile, RefusesEveryFlippedByteAndEveryTruncation) {
    const std::string good = collectionBytes(sample());
    std::string fault;
    for (size_t i = 0; i < good.size(); ++i) {
        for (int flip : {0x01, 0x80}) {
            std::string bad = good;
            bad[i] = static_cast<char>(bad[i] ^ flip);
            EXPECT_FALSE(collectionFromBytes(bad, fault)) << "byte " << i;
        }
    }
    for (size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(collectionFromBytes(good.substr(0, n), fault)) << n;
    EXPECT_FALSE(collectionFromBytes(good + '\0', fault));
    EXPECT_EQ(fault, "is damaged: it goes on after its last section");
}

TEST(SnapshotFile, SaysWhatIsWrong) {
    const std::string good = collectionBytes(Collection{});
    std::string newer = good, older = good, damaged = good;
    newer[8] = 2;
    older[8] = 0;
    Collection badHive, badTime;
    badHive.registryWalked = true;
    badHive.hive = 7;
    badTime.seconds = -1;
    damaged[damaged.size() - 1] ^= 1;
    const std::pair<std::string, std::string> cases[] = {
        {newer, "was written by a newer version of Quorvel (format 2; this version reads format 1)"},
        {older, "has an unknown format number (0)"},
        {collectionBytes(badHive),
         "is damaged: in the places section, the registry root is none of the five"},
        {collectionBytes(badTime), "is damaged: in the places section, the time taken is not a time"},
        {damaged, "is damaged: the files section's checksum does not match"},
        {good.substr(0, 12), "is truncated: the places section is missing"},
    };
    for (const auto& [bytes, expected] : cases) {
        std::string fault;
        EXPECT_FALSE(collectionFromBytes(bytes, fault));
        EXPECT_EQ(fault, expected);
    }
}

}  // namespace
}  // namespace qv

#include "core/snapshot_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "core/registry_types.h"

#ifdef __linux__
#include <sys/resource.h>
#endif

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
                  {"S\\", std::string("nul\0inside", 10), "\xED\xA0\x80 lone surrogate", 11},
                  {"S\\", "raw", "%TEMP%", kRegExpandSz, RawForm::Stored, std::string("%\0T\0\0\0", 6)},
                  {"S\\", "derived", "7", kRegDword, RawForm::FromText}};
    c.filesScanned = true;
    c.startFolder = "C:\\Program Files\\";
    c.files = {{},
               {"C:\\Program Files\\a.txt", "07/12/2026 12:00:00", 12, 0x20, 3600},
               {"C:\\Program Files\\b\\c.txt", "", 0, 0x1},
               {"C:\\x", "01/01/1990 00:00:01"}};
    c.seconds = 1.25;
    c.registryPlaces = {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Пример", "HKEY_USERS"};
    c.folderPlaces = {"C:\\Program Files\\", "D:\\"};
    c.unread = {"key HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked", "folder C:\\System Volume Information\\"};
    c.takenAt = 1796688000;
    c.machine = "BUILDBOX";
    c.user = "Jürgen";
    return c;
}

TEST(SnapshotFile, RoundTripsEveryFieldAndEmptyCollections) {
    for (const Collection& c : {sample(), Collection{}}) {
        std::string fault;
        const std::optional<Collection> back = collectionFromBytes(collectionBytes(c), fault);
        ASSERT_TRUE(back) << fault;
        EXPECT_EQ(*back, c);
    }
    // A loaded snapshot shares each key's name among its entries, as a
    // collected one does, and keeps apart what only begins alike.
    std::string fault;
    const Collection back = *collectionFromBytes(collectionBytes(sample()), fault);
    EXPECT_TRUE(back.registry[1].KeyName.sameBlock(back.registry[2].KeyName));
    EXPECT_TRUE(back.registry[4].KeyName.sameBlock(back.registry[6].KeyName));
    EXPECT_FALSE(back.registry[2].KeyName.sameBlock(back.registry[3].KeyName));
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
    newer[8] = 4;
    older[8] = 0;
    Collection badHive, badTime;
    badHive.registryWalked = true;
    badHive.hive = 7;
    badTime.seconds = -1;
    damaged[damaged.size() - 1] ^= 1;
    const std::pair<std::string, std::string> cases[] = {
        {newer, "was written by a newer version of Quorvel (format 4; this version reads format 3)"},
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

// Little-endian fields and sections as the writer lays them out, so that a
// test can state lengths and counts that no writer would.
struct Crafted {
    std::string bytes;
    Crafted& u32(uint32_t v) { return raw(&v, 4); }
    Crafted& u64(uint64_t v) { return raw(&v, 8); }
    Crafted& text(const std::string& s) {
        u32(static_cast<uint32_t>(s.size()));
        bytes += s;
        return *this;
    }
    Crafted& raw(const void* p, size_t n) {
        bytes.append(static_cast<const char*>(p), n);
        return *this;
    }
};

std::string section(uint32_t tag, const std::string& body) {
    Crafted c;
    c.u32(tag).u64(body.size()).u64(sectionChecksum(body)).bytes += body;
    return c.bytes;
}

std::string fileWith(const std::string& registryBody, const std::string& filesBody = std::string(8, '\0')) {
    const std::string good = collectionBytes(Collection{});
    // Magic, version and the empty collection's places section stay as written.
    uint64_t placesLength = 0;
    std::memcpy(&placesLength, good.data() + 12 + 4, 8);
    return good.substr(0, 12 + 20 + placesLength) + section(2, registryBody) + section(3, filesBody);
}

// A file of the first format, as that version wrote it: no raw bytes, no
// sizes. It loads, with both marked as not recorded.
TEST(SnapshotFile, FilesOfTheFirstFormatStillLoad) {
    Crafted places, registry, files;
    places.raw("\x01", 1).u32(static_cast<uint32_t>(kHiveCurrentUser)).text("Software").raw("\x01", 1).text("C:\\");
    places.u64(0);
    registry.u64(2).u32(0).text("Software\\").text("v").text("1").u32(kRegSz);
    registry.u32(9).text("Sub\\").text("").text("").u32(kKeyEntryType);
    files.u64(1).u32(0).text("C:\\a.txt").text("01/02/2020 10:00:00");
    const std::string bytes = std::string("QVSNAP\r\n", 8) + Crafted{}.u32(1).bytes + section(1, places.bytes) +
                              section(2, registry.bytes) + section(3, files.bytes);
    std::string fault;
    const std::optional<Collection> c = collectionFromBytes(bytes, fault);
    ASSERT_TRUE(c) << fault;
    EXPECT_EQ(c->registry, (RegSnapshot{{"Software\\", "v", "1", kRegSz}, {"Software\\Sub\\", "", ""}}));
    EXPECT_EQ(c->registry[0].Raw, RawForm::NotRecorded);
    ASSERT_EQ(c->files.size(), 2u);
    EXPECT_EQ(c->files[1], (FileSnapshotEntry{"C:\\a.txt", "01/02/2020 10:00:00"}));
    EXPECT_EQ(c->files[1].Size, kUnknownFileSize);
    // Nor did it record folders: they are compared only where both sides did.
    EXPECT_FALSE(c->foldersRecorded);
    EXPECT_TRUE(c->unread.empty());
}

#ifdef __linux__
long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
#endif

// Every count and length is weighed against the bytes that remain before
// anything is allocated, and a path that unfolds from a few bytes into
// megabytes is bounded, so a small crafted file cannot take gigabytes.
TEST(SnapshotFile, CraftedCountsAndLengthsAreRefusedWithinBoundedMemory) {
    const std::string longKey(200000, 'k');
    Crafted unfolding;
    const uint64_t repeats = 40000;  // 40,000 x 200 KB of key names from 800 KB
    unfolding.u64(repeats + 1).u32(0).text(longKey).text("").text("").u32(kRegSz).raw("\0", 1);
    for (uint64_t i = 0; i < repeats; ++i) unfolding.u32(static_cast<uint32_t>(longKey.size())).text("").text("").text("").u32(kRegSz).raw("\0", 1);
    const std::pair<std::string, std::string> cases[] = {
        {fileWith(Crafted{}.u64(uint64_t{1} << 40).bytes), "an entry count is larger than the section"},
        {fileWith(Crafted{}.u64(1).u32(0).u32(0xFFFFFFF0u).u64(0).u64(0).bytes), "an entry runs past the end of its section"},
        {fileWith(Crafted{}.u64(2).u32(0).text("K\\").text("").text("").u32(1).raw("\0", 1).u32(9).text("").text("").text("").u32(1).bytes),
         "a path refers to more of the path before it than there is"},
        {fileWith(unfolding.bytes), "its paths add up to more than a section of its size can hold"},
    };
#ifdef __linux__
    const long before = peakKilobytes();
#endif
    for (const auto& [bytes, expected] : cases) {
        std::string fault;
        EXPECT_FALSE(collectionFromBytes(bytes, fault));
        EXPECT_NE(fault.find(expected), std::string::npos) << fault;
    }
#ifdef __linux__
    EXPECT_LT(peakKilobytes() - before, 256 * 1024);
#endif
}

// A file is judged by its header before the rest is read: a huge file that is
// no snapshot costs a few bytes, and a section that claims more than the file
// holds is refused without reading it.
TEST(SnapshotFile, HugeFilesAreJudgedBeforeTheyAreRead) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "quorvel-sparse-snapshot.qvs";
    const std::string good = collectionBytes(Collection{});
    // The lying section is read through (its checksum is weighed in a small
    // window) but never held: a smaller file keeps the test quick.
    const uint64_t claimed = uint64_t{256} << 20;
    Crafted claim;
    claim.u32(1).u64(claimed).u64(0);
    const std::tuple<std::string, uint64_t, std::string> heads[] = {
        {std::string(12, '\0'), uint64_t{3} << 30, "is not a Quorvel snapshot file"},
        {good.substr(0, 12) + claim.bytes, claimed, "is damaged: the places section's checksum does not match"},
    };
    for (const auto& [head, size, expected] : heads) {
        {
            std::FILE* f = std::fopen(path.string().c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fwrite(head.data(), 1, head.size(), f);
            std::fclose(f);
            std::filesystem::resize_file(path, size + head.size());
        }
        std::string error;
#ifdef __linux__
        const long before = peakKilobytes();
#endif
        EXPECT_FALSE(loadCollection(path.string(), error));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        EXPECT_NE(error.find(path.string()), std::string::npos) << error;
#ifdef __linux__
        EXPECT_LT(peakKilobytes() - before, 64 * 1024);
#endif
    }
    std::filesystem::remove(path);
}

// Saving streams a snapshot in pieces of about a megabyte: a registry too
// large to be held while it is summed and a file list of several pieces both
// come back whole, and the file holds the very bytes of the snapshot in one
// piece.
TEST(SnapshotFile, SavesInPiecesWhatItWouldWriteWhole) {
    Collection c = sample();
    for (int big = 0; big < 6; ++big)
        c.registry.push_back({SharedText("SOFTWARE\\Large\\"), "Blob " + std::to_string(big),
                              std::string((size_t{1} << 20) + static_cast<size_t>(big), static_cast<char>('a' + big)),
                              kRegSz});
    for (int k = 0; k < 8000; ++k) {
        const SharedText key("SOFTWARE\\Vendor\\Product " + std::to_string(k) + "\\Settings\\");
        for (int v = 0; v < 5; ++v)
            c.registry.push_back({key, "Value " + std::to_string(v), std::string(17 + (k + v) % 23, 'x'), kRegSz});
        c.files.push_back({"C:\\Program Files\\Vendor\\" + std::to_string(k) + ".dll", "12/08/2026 11:00:0" +
                           std::to_string(k % 10), static_cast<uint64_t>(k), 0x20, k});
    }
    const std::string whole = collectionBytes(c);
    ASSERT_GT(whole.size(), size_t{6} << 20);
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "quorvel-pieces.qvs";
    std::string error;
    ASSERT_TRUE(saveCollection(path.string(), c, error)) << error;
    EXPECT_EQ(std::filesystem::file_size(path), whole.size());
    const std::optional<Collection> back = loadCollection(path.string(), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, c);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace qv

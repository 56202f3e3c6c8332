#include "capture/regf_hive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/registry_types.h"
#include "core/whole_file.h"

namespace qv {
namespace {

using namespace std::literals;

std::vector<uint32_t> childrenOf(const WineHive& hive, uint32_t k) {
    const WineHive::Children children = hive.children(k);
    return {children.begin(), children.end()};
}

std::string utf16z(std::u16string_view text) {
    std::string bytes;
    for (char16_t u : text) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    return bytes + "\0\0"s;
}

std::string le32(uint32_t v) {
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i) b[static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
    return b;
}
std::string le16(uint16_t v) {
    return le32(v).substr(0, 2);
}

// Lays out a hive cell by cell, for shapes and damage that no writer makes.
class HiveBuilder {
public:
    HiveBuilder() : bins_(32, '\0') {}

    uint32_t add(const std::string& data) {
        const auto at = static_cast<uint32_t>(bins_.size());
        const size_t size = (4 + data.size() + 7) & ~size_t{7};
        bins_ += le32(static_cast<uint32_t>(-static_cast<int32_t>(size)));
        bins_ += data;
        bins_.resize(at + size, '\0');
        return at;
    }
    void poke32(uint32_t at, uint32_t v) { bins_.replace(at, 4, le32(v)); }

    static std::string key(std::string_view name, uint32_t subkeys = 0, uint32_t subkeyList = 0xFFFFFFFF,
                           uint32_t values = 0, uint32_t valueList = 0xFFFFFFFF, uint16_t flags = 0x20) {
        std::string nk = "nk" + le16(flags) + std::string(8, '\0') + le32(0) + le32(0xFFFFFFFF);
        nk += le32(subkeys) + le32(0) + le32(subkeyList) + le32(0xFFFFFFFF);
        nk += le32(values) + le32(valueList) + le32(0xFFFFFFFF) + le32(0xFFFFFFFF);
        nk += std::string(20, '\0') + le16(static_cast<uint16_t>(name.size())) + le16(0);
        return nk + std::string(name);
    }
    static std::string value(std::string_view name, uint32_t type, uint32_t size, uint32_t data) {
        return "vk" + le16(static_cast<uint16_t>(name.size())) + le32(size) + le32(data) + le32(type) +
               le16(1) + le16(0) + std::string(name);
    }
    static std::string list(std::string_view kind, const std::vector<uint32_t>& cells) {
        std::string l = std::string(kind) + le16(static_cast<uint16_t>(cells.size()));
        for (uint32_t c : cells) l += le32(c) + (kind == "lf" || kind == "lh" ? "hash"s : ""s);
        return l;
    }

    std::string file(uint32_t root) const {
        std::string bins = bins_;
        bins.resize((bins.size() + 4095) & ~size_t{4095}, '\0');
        bins.replace(0, 12, "hbin" + le32(0) + le32(static_cast<uint32_t>(bins.size())));
        std::string base(4096, '\0');
        base.replace(0, 4, "regf");
        base.replace(20, 8, le32(1) + le32(5));
        base.replace(32, 12, le32(1) + le32(root) + le32(static_cast<uint32_t>(bins.size())));
        uint32_t sum = 0;
        for (size_t i = 0; i < 508; i += 4) {
            uint32_t d;
            std::memcpy(&d, base.data() + i, 4);
            sum ^= d;
        }
        base.replace(508, 4, le32(sum));
        return base + bins;
    }

private:
    std::string bins_;
};

std::string dataFile(const char* name) {
    const std::string path = std::string(QUORVEL_TEST_DATA_DIR) + "/regf/" + name;
    std::string why;
    const std::optional<std::string> bytes = readWholeFile(path, &why);
    EXPECT_TRUE(bytes) << path << ": " << why;
    return bytes.value_or("");
}

std::string valueBytes(const WineHive& hive, uint32_t key, std::string_view name, uint32_t& type) {
    const WineHive::Value* v = hive.findValue(key, name);
    if (!v) return "<missing>";
    type = v->type;
    return std::string(hive.valueData(*v));
}

std::string pattern(size_t n, int modulus) {
    std::string b(n, '\0');
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<char>(i % static_cast<size_t>(modulus));
    return b;
}

TEST(RegfHiveTest, EveryValueTypeOfAHivexHiveReadsWithItsTypeAndBytes) {
    WineHive hive;
    std::string error;
    ASSERT_TRUE(parseRegfHive(dataFile("values.hiv"), "values.hiv", hive, error)) << error;
    const uint32_t k = hive.child(WineHive::kRoot, "Values");
    ASSERT_NE(k, WineHive::kNoKey);
    struct Expected {
        std::string_view name;
        uint32_t type;
        std::string bytes;
    };
    const Expected expected[] = {
        {"", kRegSz, utf16z(u"default")},
        {"sz", kRegSz, utf16z(u"plain \u00e9\u20ac")},
        {"expand", kRegExpandSz, utf16z(u"%PATH%\\x")},
        {"binary", kRegBinary, "\x00\xff\x10"s},
        {"empty", kRegBinary, ""},
        {"four", kRegBinary, "\1\2\3\4"},
        {"five", kRegBinary, "\1\2\3\4\5"},
        {"dword", kRegDword, "\xef\xbe\xad\xde"},
        {"bigendian", 5, "\0\0\0\7"s},
        {"link", kRegLink, utf16z(u"\\Registry\\Machine\\Software").substr(0, 52)},
        {"multi", kRegMultiSz, utf16z(u"a") + utf16z(u"b") + utf16z(u"")},
        {"qword", kRegQword, "\xef\xcd\xab\x89\x67\x45\x23\x01"},
        {"none", 0, "\x09\x08\x07"},
        {"odd", 0x1234, "odd!!"},
        {"n\xc3\xa4me \xd0\x96", kRegSz, utf16z(u"named")},
        {"exact", kRegBinary, pattern(16344, 251)},
        {"over", kRegBinary, pattern(16345, 253)},
        {"big", kRegBinary, pattern(100000, 241)},
        {"bigsz", kRegSz, utf16z(std::u16string(20000, u'x'))},
    };
    EXPECT_EQ(hive.key(k).valueCount, std::size(expected));
    for (const Expected& e : expected) {
        uint32_t type = 0xDEAD;
        const std::string bytes = valueBytes(hive, k, e.name, type);
        EXPECT_EQ(type, e.type) << e.name;
        EXPECT_TRUE(bytes == e.bytes)
            << e.name << ": " << bytes.size() << " bytes, expected " << e.bytes.size();
    }
    EXPECT_NE(hive.child(WineHive::kRoot, "caf\xc3\xa9"), WineHive::kNoKey);
    EXPECT_NE(hive.child(WineHive::kRoot, "\xd0\x9a\xd0\xbb\xd1\x8e\xd1\x87"), WineHive::kNoKey);
}

TEST(RegfHiveTest, DeepAndWideHivexHivesReadWhole) {
    WineHive deep;
    std::string error;
    ASSERT_TRUE(parseRegfHive(dataFile("deep.hiv"), "deep.hiv", deep, error)) << error;
    uint32_t k = WineHive::kRoot;
    for (int i = 0; i < 200 && k != WineHive::kNoKey; ++i) k = deep.child(k, "level" + std::to_string(i));
    ASSERT_NE(k, WineHive::kNoKey);
    uint32_t type = 0;
    EXPECT_EQ(valueBytes(deep, k, "bottom", type), "\xc8\0\0\0"s);

    WineHive wide;
    ASSERT_TRUE(parseRegfHive(dataFile("many.hiv"), "many.hiv", wide, error)) << error;
    const uint32_t many = wide.child(WineHive::kRoot, "Many");
    ASSERT_NE(many, WineHive::kNoKey);
    const std::vector<uint32_t> children = childrenOf(wide, many);
    ASSERT_EQ(children.size(), 300u);
    for (size_t i = 0; i < children.size(); i += 100) {
        char name[24];
        std::snprintf(name, sizeof name, "sub%04zu", i);
        EXPECT_EQ(wide.keyName(children[i]), name);
        EXPECT_EQ(valueBytes(wide, children[i], "i", type), le32(static_cast<uint32_t>(i)));
    }
    const uint32_t few = wide.child(WineHive::kRoot, "Few");
    const std::vector<uint32_t> three = childrenOf(wide, few);
    ASSERT_EQ(three.size(), 3u);
    // The list's order, which is the registry's enumeration order.
    EXPECT_EQ(wide.keyName(three[0]), "A");
    EXPECT_EQ(wide.keyName(three[1]), "b");
}

TEST(RegfHiveTest, IndexRootOverLeafListsAndInlineDataRead) {
    HiveBuilder b;
    const uint32_t a = b.add(HiveBuilder::key("a"));
    const uint32_t bk = b.add(HiveBuilder::key("b"));
    const uint32_t c = b.add(HiveBuilder::key("c"));
    const uint32_t li = b.add(HiveBuilder::list("li", {a, bk}));
    const uint32_t lf = b.add(HiveBuilder::list("lf", {c}));
    const uint32_t ri = b.add(HiveBuilder::list("ri", {li, lf}));
    // A 2-byte binary value held in the offset field itself.
    const uint32_t v = b.add(HiveBuilder::value("x", kRegBinary, 0x80000002u, 0x00004241));
    // 20,000 bytes in two segments behind a "db" cell, as Windows keeps them.
    const std::string big = pattern(20000, 239);
    const uint32_t first = b.add(big.substr(0, 16344));
    const uint32_t second = b.add(big.substr(16344) + "padding");
    const uint32_t segments = b.add(le32(first) + le32(second));
    const uint32_t db = b.add("db" + le16(2) + le32(segments));
    const uint32_t bigValue = b.add(HiveBuilder::value("big", kRegBinary, 20000, db));
    const uint32_t values = b.add(le32(v) + le32(bigValue));
    const uint32_t root = b.add(HiveBuilder::key("ROOT", 3, ri, 2, values));
    WineHive hive;
    std::string error;
    ASSERT_TRUE(parseRegfHive(b.file(root), "t", hive, error)) << error;
    const std::vector<uint32_t> top = childrenOf(hive, WineHive::kRoot);
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(hive.keyName(top[2]), "c");
    uint32_t type = 0;
    EXPECT_EQ(valueBytes(hive, WineHive::kRoot, "x", type), "AB");
    EXPECT_TRUE(valueBytes(hive, WineHive::kRoot, "big", type) == big);
}

struct DamageCase {
    const char* what;
    const char* message;  // a part of the error line
};

class RegfHiveDamageTest : public ::testing::TestWithParam<DamageCase> {};

// Each case damages one cell of an otherwise readable hive.
std::string damaged(std::string_view what) {
    HiveBuilder b;
    const uint32_t data = b.add("0123456789");
    const uint32_t v = b.add(HiveBuilder::value("v", kRegBinary, what == "short data" ? 64 : 10, data));
    const uint32_t values = b.add(le32(what == "value outside" ? 0x7FFFFFF8 : v));
    const uint32_t child = b.add(HiveBuilder::key("child", 0, 0xFFFFFFFF, 1, values));
    const uint32_t rootAt = 32 + 16 + 32 + 8 + 88 + 16;  // the cells above, in order
    const uint32_t list =
        b.add(HiveBuilder::list(what == "unknown list" ? "zz" : "lh", {what == "loop" ? rootAt : child}));
    const uint32_t root = b.add(HiveBuilder::key("ROOT", what == "count" ? 2 : 1, list));
    if (root != rootAt) return "builder out of step";
    if (what == "free cell") b.poke32(child, 88);
    if (what == "huge cell") b.poke32(child, 0x80000008);
    std::string file = b.file(root);
    if (what == "checksum") file[100] = 'x';
    if (what == "truncated") file.resize(file.size() - 100);
    if (what == "signature") file.replace(0, 4, "regx");
    if (what == "bin") file.replace(4096, 4, "hbix");
    return file;
}

TEST_P(RegfHiveDamageTest, RefusedWithOneLineNamingTheFault) {
    WineHive hive;
    std::string error;
    EXPECT_FALSE(parseRegfHive(damaged(GetParam().what), "save.hiv", hive, error));
    EXPECT_EQ(error.rfind("save.hiv: ", 0), 0u) << error;
    EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(hive.keyCount(), 1u);
    EXPECT_EQ(hive.valueCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(EachCell, RegfHiveDamageTest,
                         ::testing::Values(DamageCase{"short data", "data shorter than its value says"},
                                           DamageCase{"value outside", "a value outside the hive"},
                                           DamageCase{"loop", "already used"},
                                           DamageCase{"unknown list", "subkey list of an unknown kind"},
                                           DamageCase{"count", "subkey list holds another count"},
                                           DamageCase{"free cell", "a key in a free cell"},
                                           DamageCase{"huge cell", "a damaged size"},
                                           DamageCase{"checksum", "checksum"},
                                           DamageCase{"truncated", "shorter than its base block says"},
                                           DamageCase{"signature", "not a regf hive"},
                                           DamageCase{"bin", "no hive bin"}));

TEST(RegfHiveTest, BuilderMakesTheUndamagedHive) {
    WineHive hive;
    std::string error;
    EXPECT_TRUE(parseRegfHive(damaged("none"), "t", hive, error)) << error;
    EXPECT_EQ(hive.valueCount(), 1u);
}

TEST(RegfHiveTest, KeysDeeperThanTheRegistryAllowsAreRefused) {
    HiveBuilder b;
    uint32_t below = b.add(HiveBuilder::key("k"));
    for (int i = 0; i < 520; ++i)
        below = b.add(HiveBuilder::key("k", 1, b.add(HiveBuilder::list("li", {below}))));
    WineHive hive;
    std::string error;
    EXPECT_FALSE(parseRegfHive(b.file(below), "t", hive, error));
    EXPECT_NE(error.find("deeper than 512 levels"), std::string::npos) << error;
}

TEST(RegfHiveTest, AnyDamageToARealHiveIsReadOrRefusedNeverOverrun) {
    const std::string good = dataFile("values.hiv");
    ASSERT_GT(good.size(), 8192u);
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 600; ++round) {
        std::string bad = good;
        // Damage falls where the keys, lists and values are: the first bin.
        for (int flips = 0; flips < 4; ++flips) bad[4096 + next() % 4096] = static_cast<char>(next() >> 16);
        if (round % 3 == 0) bad.resize(4096 + next() % (good.size() - 4096));
        WineHive hive;
        std::string error;
        if (!parseRegfHive(bad, "f", hive, error)) {
            EXPECT_EQ(error.rfind("f: ", 0), 0u);
            EXPECT_EQ(hive.keyCount(), 1u);
        } else {
            EXPECT_LE(hive.valueCount(), bad.size() / 8);
        }
    }
}

}  // namespace
}  // namespace qv

#include "capture/regf_hive.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/utf.h"

namespace qv {

namespace {

// The base block; cell offsets count from its end, where the first bin starts.
constexpr size_t kBaseBlockSize = 4096;
constexpr size_t kBinHeaderSize = 32;
constexpr uint32_t kNoCell = 0xFFFFFFFFu;
// Data longer than this is kept in segments behind a "db" cell (hives of
// version 1.4 and later).
constexpr uint32_t kSegmentBytes = 16344;
// Data this short lives in the value cell's own offset field.
constexpr uint32_t kDataInline = 0x80000000u;
constexpr uint16_t kKeyNameCompressed = 0x0020;
constexpr uint16_t kKeySymbolicLink = 0x0010;
constexpr uint16_t kValueNameCompressed = 0x0001;
// Windows keeps keys within 512 levels; a hive that goes deeper is damaged.
constexpr size_t kMaxKeyDepth = 512;

uint16_t le16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}
uint32_t le32(std::string_view b, size_t at) {
    return static_cast<uint32_t>(le16(b, at)) | static_cast<uint32_t>(le16(b, at + 2)) << 16;
}
uint64_t le64(std::string_view b, size_t at) {
    return static_cast<uint64_t>(le32(b, at)) | static_cast<uint64_t>(le32(b, at + 4)) << 32;
}

std::string hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

}  // namespace

class RegfReader {
public:
    RegfReader(WineHive& hive, std::string_view file) : hive_(hive), file_(file) {}

    bool run() {
        if (!baseBlock() || !bins()) return false;
        used_.assign(bins_.size() / 8 + 1, false);
        struct Pending {
            uint32_t cell;
            uint32_t parent;  // WineHive::kNoKey for the root
            size_t depth;
        };
        std::vector<Pending> stack{{rootCell_, WineHive::kNoKey, 0}};
        std::vector<uint32_t> subkeys;
        while (!stack.empty()) {
            const Pending p = stack.back();
            stack.pop_back();
            if (p.depth > kMaxKeyDepth)
                return fault("keys deeper than " + std::to_string(kMaxKeyDepth) + " levels", p.cell);
            subkeys.clear();
            if (!key(p.cell, p.parent, subkeys)) return false;
            const uint32_t k = p.parent == WineHive::kNoKey ? WineHive::kRoot
                                                            : static_cast<uint32_t>(hive_.keys_.size() - 1);
            // Pushed last to first, so that the subkeys are added in the list's (name) order.
            for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it)
                stack.push_back({*it, k, p.depth + 1});
        }
        return true;
    }

    const std::string& problem() const { return problem_; }

private:
    bool fault(std::string what, uint32_t cell = kNoCell) {
        problem_ = std::move(what);
        if (cell != kNoCell) problem_ += " (cell at offset " + hex(cell) + ")";
        return false;
    }

    bool baseBlock() {
        if (!looksLikeRegfHive(file_) || file_.size() < kBaseBlockSize)
            return fault("not a regf hive (no \"regf\" base block)");
        uint32_t sum = 0;
        for (size_t i = 0; i < 508; i += 4) sum ^= le32(file_, i);
        if (sum != le32(file_, 508)) return fault("the base block's checksum does not match");
        if (le32(file_, 20) != 1) return fault("a hive of major version " + std::to_string(le32(file_, 20)));
        minorVersion_ = le32(file_, 24);
        rootCell_ = le32(file_, 36);
        const uint32_t binsSize = le32(file_, 40);
        if (binsSize > file_.size() - kBaseBlockSize) return fault("a hive shorter than its base block says");
        bins_ = file_.substr(kBaseBlockSize, binsSize);
        return true;
    }

    // The bins follow one another, each a whole number of 4 KB pages.
    bool bins() {
        for (size_t at = 0; at < bins_.size();) {
            const auto offset = static_cast<uint32_t>(at);
            if (bins_.size() - at < kBinHeaderSize || bins_.substr(at, 4) != "hbin")
                return fault("no hive bin at offset " + hex(offset));
            const uint32_t size = le32(bins_, at + 8);
            if (le32(bins_, at + 4) != offset || size < 4096 || size % 4096 != 0 || size > bins_.size() - at)
                return fault("a damaged hive bin header at offset " + hex(offset));
            at += size;
        }
        if (bins_.empty()) return fault("a hive without bins");
        return true;
    }

    // The data of the allocated cell at `offset`, which nothing read before.
    bool cell(uint32_t offset, const char* what, std::string_view& data) {
        if (offset % 8 != 0 || offset < kBinHeaderSize || offset > bins_.size() - 8)
            return fault(std::string(what) + " outside the hive", offset);
        const auto size = static_cast<int32_t>(le32(bins_, offset));
        if (size >= 0) return fault(std::string(what) + " in a free cell", offset);
        const int64_t length = -static_cast<int64_t>(size);
        if (length < 8 || length > static_cast<int64_t>(bins_.size() - offset))
            return fault(std::string(what) + " in a cell of a damaged size", offset);
        if (used_[offset / 8]) return fault(std::string(what) + " in a cell already used", offset);
        used_[offset / 8] = true;
        data = bins_.substr(offset + 4, static_cast<size_t>(length) - 4);
        return true;
    }

    bool name(std::string_view data, size_t at, size_t size, bool compressed, uint32_t offset,
              std::string& out) {
        if (size > data.size() - at) return fault("a name longer than its cell", offset);
        units_.clear();
        if (compressed) {
            for (size_t i = 0; i < size; ++i) units_.push_back(static_cast<uint8_t>(data[at + i]));
        } else {
            if (size % 2 != 0) return fault("a UTF-16 name of an odd length", offset);
            for (size_t i = 0; i < size; i += 2) units_.push_back(static_cast<char16_t>(le16(data, at + i)));
        }
        out.clear();
        appendUtf8(out, units_);
        return true;
    }

    // Adds the key (below `parent`, or as the root) with its values, and
    // gives its subkeys' cells.
    bool key(uint32_t offset, uint32_t parent, std::vector<uint32_t>& subkeys) {
        std::string_view nk;
        if (!cell(offset, "a key", nk)) return false;
        if (nk.size() < 76 || nk.substr(0, 2) != "nk")
            return fault("a key cell without its \"nk\" header", offset);
        const uint16_t flags = le16(nk, 2);
        std::string keyName;
        if (!name(nk, 76, le16(nk, 72), (flags & kKeyNameCompressed) != 0, offset, keyName)) return false;
        uint32_t k = WineHive::kRoot;
        if (parent != WineHive::kNoKey) {
            if (keyName.empty() || keyName.find('\\') != std::string::npos)
                return fault("a key name that is empty or holds \"\\\"", offset);
            if (hive_.child(parent, keyName) != WineHive::kNoKey)
                return fault("two subkeys named \"" + keyName + "\"", offset);
            k = hive_.addChild(parent, keyName);
            if (k == WineHive::kNoKey) return fault("key names that add up to more than 4 GB", offset);
        }
        hive_.keys_[k].modified = le64(nk, 4);
        hive_.keys_[k].link = (flags & kKeySymbolicLink) != 0;

        const uint32_t subkeyCount = le32(nk, 20);
        if (subkeyCount > 0) {
            if (!subkeyList(le32(nk, 28), subkeys, true)) return false;
            if (subkeys.size() != subkeyCount)
                return fault("a key whose subkey list holds another count", offset);
        }
        const uint32_t valueCount = le32(nk, 36);
        hive_.keys_[k].firstValue = static_cast<uint32_t>(hive_.values_.size());
        if (valueCount > 0) {
            std::string_view list;
            if (!cell(le32(nk, 40), "a value list", list)) return false;
            if (valueCount > list.size() / 4)
                return fault("a value list shorter than its key's count", le32(nk, 40));
            for (uint32_t i = 0; i < valueCount; ++i)
                if (!value(le32(list, 4 * i), k)) return false;
        }
        hive_.keys_[k].valueCount = valueCount;
        return true;
    }

    // lf and lh lists hold an offset and a hash a subkey, li lists the offset
    // alone, ri lists the offsets of lists of those three kinds.
    bool subkeyList(uint32_t offset, std::vector<uint32_t>& subkeys, bool indexAllowed) {
        std::string_view list;
        if (!cell(offset, "a subkey list", list)) return false;
        if (list.size() < 4) return fault("a subkey list too short for its header", offset);
        const std::string_view kind = list.substr(0, 2);
        const uint16_t count = le16(list, 2);
        size_t step = 0;
        if (kind == "lf" || kind == "lh")
            step = 8;
        else if (kind == "li" || (kind == "ri" && indexAllowed))
            step = 4;
        else
            return fault("a subkey list of an unknown kind", offset);
        if (count > (list.size() - 4) / step) return fault("a subkey list longer than its cell", offset);
        for (size_t i = 0; i < count; ++i) {
            const uint32_t entry = le32(list, 4 + i * step);
            if (kind != "ri")
                subkeys.push_back(entry);
            else if (!subkeyList(entry, subkeys, false))
                return false;
        }
        return true;
    }

    bool value(uint32_t offset, uint32_t k) {
        std::string_view vk;
        if (!cell(offset, "a value", vk)) return false;
        if (vk.size() < 20 || vk.substr(0, 2) != "vk")
            return fault("a value cell without its \"vk\" header", offset);
        WineHive::Value v;
        v.key = k;
        v.type = le32(vk, 12);
        std::string valueName;
        if (!name(vk, 20, le16(vk, 2), (le16(vk, 16) & kValueNameCompressed) != 0, offset, valueName))
            return false;
        v.nameOffset = hive_.names_.size();
        v.nameSize = static_cast<uint32_t>(valueName.size());
        hive_.names_ += valueName;
        v.dataOffset = hive_.data_.size();
        const uint32_t size = le32(vk, 4);
        const uint32_t where = le32(vk, 8);
        if (size & kDataInline) {
            const uint32_t n = size & ~kDataInline;
            if (n > 4) return fault("a value with more than 4 bytes in its offset field", offset);
            hive_.data_.append(vk.substr(8, n));
        } else if (size > kSegmentBytes && minorVersion_ >= 4 && isBigDataCell(where, size)) {
            if (!bigData(where, size)) return false;
        } else if (size > 0) {
            std::string_view data;
            if (!cell(where, "a value's data", data)) return false;
            if (size > data.size()) return fault("a value's data shorter than its value says", where);
            hive_.data_.append(data.substr(0, size));
        }
        v.dataSize = static_cast<uint32_t>(hive_.data_.size() - v.dataOffset);
        hive_.values_.push_back(v);
        return true;
    }

    // Windows keeps data over 16344 bytes in segments behind a "db" cell;
    // other writers (hivex) keep it in one cell, which is then too large to
    // be a "db" cell.
    bool isBigDataCell(uint32_t offset, uint32_t size) const {
        if (offset % 8 != 0 || offset < kBinHeaderSize || offset > bins_.size() - 8) return true;
        const int64_t length = -static_cast<int64_t>(static_cast<int32_t>(le32(bins_, offset)));
        return bins_.substr(offset + 4, 2) == "db" && length - 4 < static_cast<int64_t>(size);
    }

    bool bigData(uint32_t offset, uint32_t size) {
        std::string_view db;
        if (!cell(offset, "a big value", db)) return false;
        if (db.size() < 8 || db.substr(0, 2) != "db")
            return fault("a big value's cell without its \"db\" header", offset);
        const uint16_t count = le16(db, 2);
        std::string_view list;
        if (!cell(le32(db, 4), "a big value's segment list", list)) return false;
        if (count > list.size() / 4) return fault("a segment list shorter than its count", le32(db, 4));
        uint32_t left = size;
        for (size_t i = 0; i < count && left > 0; ++i) {
            std::string_view segment;
            const uint32_t at = le32(list, 4 * i);
            if (!cell(at, "a big value's segment", segment)) return false;
            const uint32_t take = left < kSegmentBytes ? left : kSegmentBytes;
            if (take > segment.size()) return fault("a big value's segment shorter than its share", at);
            hive_.data_.append(segment.substr(0, take));
            left -= take;
        }
        if (left > 0) return fault("a big value with fewer segments than its size needs", offset);
        return true;
    }

    WineHive& hive_;
    std::string_view file_;
    std::string_view bins_;
    uint32_t minorVersion_ = 0;
    uint32_t rootCell_ = 0;
    std::vector<bool> used_;  // by cell offset / 8
    std::u16string units_;
    std::string problem_;
};

bool looksLikeRegfHive(std::string_view bytes) {
    return bytes.substr(0, 4) == "regf";
}

bool parseRegfHive(std::string_view bytes, const std::string& fileName, WineHive& hive, std::string& error) {
    std::string none;
    hive.parse("WINE REGISTRY Version 2\n", fileName, none);  // empty but for its root
    RegfReader reader(hive, bytes);
    if (reader.run()) return true;
    error = fileName + ": " + reader.problem();
    hive.parse("WINE REGISTRY Version 2\n", fileName, none);
    return false;
}

}  // namespace qv

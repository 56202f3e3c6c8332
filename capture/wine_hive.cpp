#include "capture/wine_registry.h"

#include <algorithm>
#include <vector>

#include "core/utf.h"

// The hive's own keeping: its keys and their index by name, and the way the
// registry compares names. The reading of Wine's text is in wine_registry.cpp.

namespace qv {

namespace {

char32_t foldCodePoint(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 0x20;
    if (c < 0x80) return c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

}  // namespace

std::string foldRegistryName(std::string_view name) {
    std::string folded(name);
    bool ascii = true;
    for (char& c : folded) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
    }
    if (ascii) return folded;
    std::u16string units = toUtf16(name);
    for (char16_t& u : units) u = static_cast<char16_t>(foldCodePoint(u));
    return toUtf8(units);
}

bool registryNamesEqual(std::string_view a, std::string_view b) {
    if (a.size() == b.size()) {
        bool same = true;
        for (size_t i = 0; i < a.size() && same; ++i) {
            const char x = a[i], y = b[i];
            if (x == y) continue;
            if (static_cast<unsigned char>(x | y) >= 0x80) return foldRegistryName(a) == foldRegistryName(b);
            same = foldCodePoint(static_cast<unsigned char>(x)) == foldCodePoint(static_cast<unsigned char>(y));
        }
        return same;
    }
    // Different lengths can still fold alike only where non-ASCII text is in.
    const auto wide = [](std::string_view s) {
        return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    };
    return wide(a) && wide(b) && foldRegistryName(a) == foldRegistryName(b);
}

namespace {

uint32_t mixHash(uint32_t h) {
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    return h ^ (h >> 16);
}

// The index's hash of a subkey: its parent and its folded name, so that
// names that compare equal hash alike.
uint32_t subkeyHash(uint32_t parent, std::string_view name) {
    uint32_t h = 2166136261u ^ parent;
    const auto add = [&h](unsigned char c) {
        h ^= c;
        h *= 16777619u;
    };
    const bool ascii = std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (ascii) {
        for (char c : name) add(static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 0x20 : c));
    } else {
        for (char c : foldRegistryName(name)) add(static_cast<unsigned char>(c));
    }
    return mixHash(h);
}

}  // namespace

void WineHive::clear() {
    // Swapped out rather than emptied: a failed or repeated read gives its
    // memory back.
    keys_.clear();
    keys_.add();  // the root
    std::vector<Value>().swap(values_);
    std::string().swap(keyNames_);
    std::string().swap(names_);
    std::string().swap(data_);
    std::vector<uint32_t>().swap(index_);
    relativeTo_.clear();
    arch_.clear();
}

uint32_t WineHive::addChild(uint32_t parent, std::string_view name) {
    if (keyNames_.size() + name.size() > UINT32_MAX || name.size() > INT32_MAX || keys_.size() >= kNoKey - 1)
        return kNoKey;
    if ((keys_.size() + 1) * 2 > index_.size()) growIndex();
    const auto k = static_cast<uint32_t>(keys_.size());
    Key& added = keys_.add();
    added.nameOffset = static_cast<uint32_t>(keyNames_.size());
    added.nameSize = static_cast<uint32_t>(name.size()) & INT32_MAX;
    added.parent = parent;
    keyNames_ += name;
    Key& p = keys_[parent];
    if (p.lastChild == kNoKey)
        p.firstChild = k;
    else
        keys_[p.lastChild].nextSibling = k;
    p.lastChild = k;
    const size_t mask = index_.size() - 1;
    size_t slot = subkeyHash(parent, name) & mask;
    while (index_[slot] != kNoKey) slot = (slot + 1) & mask;
    index_[slot] = k;
    return k;
}

// The hashes are made again from the names rather than kept in every key:
// the index grows a few dozen times in a hive's life, and is asked of every
// key many times over. The keys are taken in their own order, which reads
// the keys and their names from start to end rather than at random.
void WineHive::growIndex() {
    std::vector<uint32_t> grown(std::max<size_t>(index_.size() * 2, 64), kNoKey);
    const size_t mask = grown.size() - 1;
    for (uint32_t k = 1; k < keys_.size(); ++k) {
        size_t slot = subkeyHash(keys_[k].parent, keyName(k)) & mask;
        while (grown[slot] != kNoKey) slot = (slot + 1) & mask;
        grown[slot] = k;
    }
    index_.swap(grown);
}

uint32_t WineHive::child(uint32_t parent, std::string_view name) const {
    if (index_.empty()) return kNoKey;
    const size_t mask = index_.size() - 1;
    for (size_t slot = subkeyHash(parent, name) & mask;; slot = (slot + 1) & mask) {
        const uint32_t k = index_[slot];
        if (k == kNoKey) return kNoKey;
        if (keys_[k].parent == parent && registryNamesEqual(keyName(k), name)) return k;
    }
}

size_t WineHive::entriesBelow(uint32_t k) const {
    size_t entries = 0;
    std::vector<uint32_t> stack{k};
    while (!stack.empty()) {
        const uint32_t at = stack.back();
        stack.pop_back();
        entries += std::max<uint32_t>(keys_[at].valueCount, 1);
        for (uint32_t c : children(at)) stack.push_back(c);
    }
    return entries;
}

const WineHive::Value* WineHive::findValue(uint32_t k, std::string_view name) const {
    const Value* v = values(k);
    for (uint32_t i = 0; i < keys_[k].valueCount; ++i)
        if (registryNamesEqual(valueName(v[i]), name)) return v + i;
    return nullptr;
}

}  // namespace qv

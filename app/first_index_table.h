#pragma once
// An index over one snapshot: from a key of its elements (a path, a key and
// value name, ...) to the first element that holds that key. Detection looks
// up every element of one snapshot in the other, so this replaces a scan of
// the other snapshot per element by one probe.
//
// The table stores only element indices and a part of each key's hash; the
// keys themselves stay in the snapshot and are compared through the callables
// the caller passes. Open addressing with linear probing in one flat array
// keeps a million-entry index to one allocation and mostly one cache miss per
// probe.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace qv {

// Hashes of the texts that make up a key. Each field is hashed on its own and
// then mixed, so ("ab", "c") and ("a", "bc") land apart.
inline uint64_t hashText(std::string_view text) {
    return std::hash<std::string_view>{}(text);
}

inline uint64_t mixHash(uint64_t seed, uint64_t next) {
    seed ^= next + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    return seed;
}

class FirstIndexTable {
public:
    // Sized for `expected` keys at a load of at most one half, so probe runs stay short.
    explicit FirstIndexTable(size_t expected) {
        size_t capacity = 16;
        while (capacity < expected * 2) capacity *= 2;
        slots_.resize(capacity);
        mask_ = capacity - 1;
    }

    // Records `index` under its key unless an earlier index with an equal key
    // is already there: inserting in snapshot order keeps the first match.
    // `sameKey(stored)` tells whether the element at `stored` has the key of
    // the element at `index`. Indices fit 32 bits: a snapshot of four billion
    // entries would not fit in memory in the first place.
    template <class SameKey>
    void insertFirst(uint64_t hash, size_t index, SameKey&& sameKey) {
        const uint32_t tag = tagOf(hash);
        for (size_t at = hash & mask_;; at = (at + 1) & mask_) {
            Slot& slot = slots_[at];
            if (slot.indexPlusOne == 0) {
                slot.tag = tag;
                slot.indexPlusOne = static_cast<uint32_t>(index + 1);
                return;
            }
            if (slot.tag == tag && sameKey(static_cast<size_t>(slot.indexPlusOne - 1))) return;
        }
    }

    // The first index whose element satisfies `matches(stored)`, among those
    // recorded under `hash`.
    template <class Matches>
    std::optional<size_t> find(uint64_t hash, Matches&& matches) const {
        const uint32_t tag = tagOf(hash);
        for (size_t at = hash & mask_;; at = (at + 1) & mask_) {
            const Slot& slot = slots_[at];
            if (slot.indexPlusOne == 0) return std::nullopt;
            const size_t stored = slot.indexPlusOne - 1;
            if (slot.tag == tag && matches(stored)) return stored;
        }
    }

private:
    struct Slot {
        uint32_t tag = 0;
        uint32_t indexPlusOne = 0;  // 0 marks a free slot
    };

    // The slot position uses the low bits of the hash, the tag the high ones,
    // so a tag mismatch rules out most colliding keys without a text compare.
    static uint32_t tagOf(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }

    std::vector<Slot> slots_;
    size_t mask_ = 0;
};

}  // namespace qv

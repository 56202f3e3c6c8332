#pragma once
// An index over one snapshot: from a key of its elements (a path, a key and
// value name, ...) to the first element that holds that key. Detection looks
// up every element of one snapshot in the other, so this replaces a scan of
// the other snapshot per element by one probe.
//
// The table stores only element indices and a part of each key's hash; the
// keys themselves stay in the snapshot and are compared through the callables
// the caller passes. Open addressing with linear probing in one flat array
// keeps a million-entry index to one allocation and a probe to mostly one slot
// load, which callers fetch ahead of use.
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
    FirstIndexTable() { reset(0); }
    explicit FirstIndexTable(size_t expected) { reset(expected); }

    // Empties the table and sizes it for `expected` keys at a load of at most
    // one half, so probe runs stay short. The slot memory is kept when large
    // enough: detection's passes reuse one table rather than paying for fresh
    // pages each time.
    void reset(size_t expected) {
        size_t capacity = 16;
        while (capacity < expected * 2) capacity *= 2;
        slots_.assign(capacity, Slot{});
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

    // Records the indices 0 to hashes.size() - 1 in order, the hash of index k
    // being hashes[k]; `sameKey(stored, k)` compares the keys of two indices.
    // Slots are fetched ahead of use, so the cache misses of a large table
    // overlap instead of being paid one after another.
    template <class SameKey>
    void insertAllFirst(const std::vector<uint64_t>& hashes, SameKey&& sameKey) {
        const size_t count = hashes.size();
        for (size_t k = 0; k < count; ++k) {
            if (k + kPrefetchDistance < count) prefetch(hashes[k + kPrefetchDistance]);
            insertFirst(hashes[k], k, [&](size_t stored) { return sameKey(stored, k); });
        }
    }

    // Brings the slot of `hash` towards the cache for a later find().
    void prefetch(uint64_t hash) const {
#if defined(__GNUC__) || defined(__clang__)
        __builtin_prefetch(&slots_[hash & mask_]);
#else
        static_cast<void>(hash);
#endif
    }

    // How many elements ahead callers prefetch: enough misses in flight to
    // cover memory latency, few enough that the lines are still cached on use.
    static constexpr size_t kPrefetchDistance = 16;

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
    static uint32_t tagOf(uint64_t hash) {
        return static_cast<uint32_t>(hash >> 32);
    }

    std::vector<Slot> slots_;
    size_t mask_ = 0;
};

// The key hash of every element of a snapshot. Two passes compare the same
// pair of snapshots, so the hashes are computed once and serve both.
template <class Entry, class HashOf>
std::vector<uint64_t> keyHashes(const std::vector<Entry>& snapshot, HashOf&& hashOf) {
    std::vector<uint64_t> hashes;
    hashes.reserve(snapshot.size());
    for (const Entry& e : snapshot) hashes.push_back(hashOf(e));
    return hashes;
}

// An index over one snapshot (`indexed`) by a key, looked up by the elements
// of another snapshot (`probed`) in ascending order. With the hashes of all
// probed elements at hand, each lookup fetches the slot of a later one ahead.
template <class Entry, class SameKey>
class SnapshotIndex {
public:
    // indexedHashes[k] and probedHashes[i] are the key hashes of indexed[k]
    // and probed[i]; sameKey compares the keys of two elements.
    // `table` is emptied and filled for this index; it only lends its memory.
    SnapshotIndex(FirstIndexTable& table, const std::vector<Entry>& indexed,
                  const std::vector<uint64_t>& indexedHashes, const std::vector<Entry>& probed,
                  const std::vector<uint64_t>& probedHashes, SameKey sameKey)
        : indexed_(indexed), probed_(probed), probedHashes_(probedHashes), sameKey_(sameKey), table_(table) {
        table_.reset(indexed.size());
        table_.insertAllFirst(
            indexedHashes, [&](size_t stored, size_t k) { return sameKey_(indexed_[stored], indexed_[k]); });
    }

    // The first indexed element whose key equals that of probed[i].
    std::optional<size_t> firstMatch(size_t i) {
        const size_t ahead = i + FirstIndexTable::kPrefetchDistance;
        if (ahead < probedHashes_.size()) table_.prefetch(probedHashes_[ahead]);
        return table_.find(probedHashes_[i],
                           [&](size_t stored) { return sameKey_(indexed_[stored], probed_[i]); });
    }

private:
    const std::vector<Entry>& indexed_;
    const std::vector<Entry>& probed_;
    const std::vector<uint64_t>& probedHashes_;
    SameKey sameKey_;
    FirstIndexTable& table_;
};

}  // namespace qv

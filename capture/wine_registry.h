#pragma once
// Wine's registry save files (system.reg, user.reg, userdef.reg) read into a
// tree of keys and values (capture/regf_hive.h reads Windows' binary hives
// into the same tree). wineserver writes them from its memory when it
// ends, and renames them into place, so a file read whole is never half
// written. Values keep their type and their bytes as Windows returns them:
// strings as UTF-16LE with their terminating NUL.
//
// A hive of a million keys is held in little more than the file's own size:
// key and value names and value data sit in arenas, a key is a fixed record
// that links to its first subkey and next sibling, and the index by name is
// one table of key numbers.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace qv {

class WineHive {
public:
    static constexpr uint32_t kNoKey = UINT32_MAX;
    static constexpr uint32_t kRoot = 0;

    // 40 bytes: a million keys take 40 MB.
    struct Key {
        uint64_t modified = 0;  // FILETIME ticks; 0 where the file gave none
        uint32_t nameOffset = 0;
        uint32_t nameSize : 31 = 0;
        uint32_t link : 1 = 0;  // a registry symbolic link (#link)
        uint32_t parent = kNoKey;
        uint32_t firstChild = kNoKey;
        uint32_t lastChild = kNoKey;
        uint32_t nextSibling = kNoKey;
        uint32_t firstValue = 0;
        uint32_t valueCount = 0;
    };
    struct Value {
        uint32_t key = 0;
        uint32_t type = 0;
        uint32_t nameSize = 0;
        uint32_t dataSize = 0;
        uint64_t nameOffset = 0;
        uint64_t dataOffset = 0;
    };

    // A key's subkeys in the order the file lists them.
    class Children {
    public:
        class iterator {
        public:
            using iterator_category = std::forward_iterator_tag;
            using value_type = uint32_t;
            using difference_type = std::ptrdiff_t;
            using pointer = const uint32_t*;
            using reference = uint32_t;
            iterator() = default;
            iterator(const WineHive* hive, uint32_t k) : hive_(hive), k_(k) {}
            uint32_t operator*() const { return k_; }
            iterator& operator++() {
                k_ = hive_->keys_[k_].nextSibling;
                return *this;
            }
            iterator operator++(int) {
                iterator was = *this;
                ++*this;
                return was;
            }
            bool operator==(const iterator& other) const { return k_ == other.k_; }

        private:
            const WineHive* hive_ = nullptr;
            uint32_t k_ = kNoKey;
        };
        Children(const WineHive* hive, uint32_t first) : hive_(hive), first_(first) {}
        iterator begin() const { return {hive_, first_}; }
        iterator end() const { return {hive_, kNoKey}; }
        bool empty() const { return first_ == kNoKey; }
        size_t size() const { return static_cast<size_t>(std::distance(begin(), end())); }

    private:
        const WineHive* hive_;
        uint32_t first_;
    };

    // Hands the file's next bytes into `into` (at most `room`), with their
    // count in `got`, 0 at the end; false with the reason in `why` when the
    // file cannot be read on.
    using ReadBytes = std::function<bool(char* into, size_t room, size_t& got, std::string& why)>;
    static constexpr size_t kReadBlock = size_t{1} << 20;

    // Reads the text of a save file. `fileName` only names it in an error,
    // which is one line: "<file>, line <n>: <what is wrong>". On an error the
    // hive is empty but for its root.
    bool parse(std::string_view text, const std::string& fileName, std::string& error);
    // The same, from a file read `block` bytes at a time: only a line is held
    // at once (a line of hex data, which may run to hundreds of megabytes,
    // not even that), so the text is never in memory whole. A read failure is
    // "cannot read <file>: <why>".
    bool parse(const ReadBytes& read, const std::string& fileName, std::string& error, size_t block = kReadBlock);

    // The path the file says its keys are relative to ("\User\S-1-5-21-...").
    const std::string& relativeTo() const { return relativeTo_; }
    // The "#arch=" of the file ("win64", "win32"); "" where it gave none.
    const std::string& arch() const { return arch_; }

    const Key& key(uint32_t k) const { return keys_[k]; }
    size_t keyCount() const { return keys_.size(); }
    size_t valueCount() const { return values_.size(); }
    // UTF-8 (WTF-8 for lone surrogates), as saved; "" for the root.
    std::string_view keyName(uint32_t k) const {
        return std::string_view(keyNames_).substr(keys_[k].nameOffset, keys_[k].nameSize);
    }
    Children children(uint32_t k) const { return {this, keys_[k].firstChild}; }
    // How many keys and values lie at and below `k`, links not followed.
    size_t entriesBelow(uint32_t k) const;

    // The subkey called `name`, compared as the registry compares names
    // (without regard to case); kNoKey when there is none.
    uint32_t child(uint32_t parent, std::string_view name) const;

    std::string_view valueName(const Value& v) const { return std::string_view(names_).substr(v.nameOffset, v.nameSize); }
    std::string_view valueData(const Value& v) const { return std::string_view(data_).substr(v.dataOffset, v.dataSize); }
    // The key's values in the file's order (which is Wine's own order).
    const Value* values(uint32_t k) const { return values_.data() + keys_[k].firstValue; }
    // The value called `name` (any case), or nullptr.
    const Value* findValue(uint32_t k, std::string_view name) const;

private:
    // The keys in blocks that never move, each twice the one before: a hive
    // of a million keys grows without being copied and leaves no freed
    // blocks behind, and one of a few keys takes a few kilobytes. A block's
    // room is made a key at a time, so what a hive never reaches is never
    // made resident.
    class KeyStore {
    public:
        Key& operator[](size_t k) { return blocks_[block(k)].get()[k + kFirst - (kFirst << block(k))]; }
        const Key& operator[](size_t k) const { return blocks_[block(k)].get()[k + kFirst - (kFirst << block(k))]; }
        size_t size() const { return size_; }
        Key& add() {
            const size_t b = block(size_);
            if (b == blocks_.size())
                blocks_.emplace_back(static_cast<Key*>(::operator new((kFirst << b) * sizeof(Key))));
            Key* added = new (&blocks_[b].get()[size_ + kFirst - (kFirst << b)]) Key();
            ++size_;
            return *added;
        }
        void clear() {
            std::vector<std::unique_ptr<Key, Release>>().swap(blocks_);
            size_ = 0;
        }

    private:
        static_assert(std::is_trivially_destructible_v<Key>);
        struct Release {
            void operator()(Key* keys) const { ::operator delete(keys); }
        };
        static constexpr size_t kFirst = 64;  // keys in the first block
        // Block b holds keys [kFirst * (2^b - 1), kFirst * (2^(b+1) - 1)).
        static size_t block(size_t k) { return static_cast<size_t>(std::bit_width((k + kFirst) / kFirst)) - 1; }
        std::vector<std::unique_ptr<Key, Release>> blocks_;
        size_t size_ = 0;
    };

    friend class WineRegParser;
    friend class RegfReader;
    // Empty but for the root.
    void clear();
    // Adds the subkey after its siblings; kNoKey when the key names would
    // pass 4 GB (or one name 2 GB), which no registry comes near.
    uint32_t addChild(uint32_t parent, std::string_view name);
    void growIndex();

    KeyStore keys_;
    std::vector<Value> values_;
    std::string keyNames_;
    std::string names_;
    std::string data_;
    std::string relativeTo_;
    std::string arch_;
    // Open addressing over the keys but the root: a key's number, or kNoKey
    // for a free slot. Its size is a power of two, never more than half used,
    // so that a name that is not there is found missing in a probe or two.
    std::vector<uint32_t> index_;
};

// The form in which two registry names compare equal: upper case for ASCII,
// Latin-1, Greek and Cyrillic letters, as the registry folds them.
std::string foldRegistryName(std::string_view name);
bool registryNamesEqual(std::string_view a, std::string_view b);

}  // namespace qv

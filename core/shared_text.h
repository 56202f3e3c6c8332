#pragma once
// An immutable text that copies share: one pointer in the record, one block
// on the heap with a count of its holders. A snapshot repeats its key names
// once per value and its date texts once per file; sharing them instead of
// copying keeps a million-entry snapshot within the memory of its peers.
#include <atomic>
#include <compare>
#include <cstdint>
#include <new>
#include <ostream>
#include <string>
#include <string_view>

namespace qv {

class SharedText {
public:
    SharedText() = default;
    SharedText(std::string_view text) : block_(make(text)) {}                  // NOLINT: stands for its text
    SharedText(const std::string& text) : SharedText(std::string_view(text)) {}  // NOLINT
    SharedText(const char* text) : SharedText(std::string_view(text)) {}        // NOLINT
    SharedText(const SharedText& other) noexcept : block_(other.block_) { hold(); }
    SharedText(SharedText&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    SharedText& operator=(const SharedText& other) noexcept {
        if (block_ != other.block_) {
            release();
            block_ = other.block_;
            hold();
        }
        return *this;
    }
    SharedText& operator=(SharedText&& other) noexcept {
        if (this != &other) {
            release();
            block_ = other.block_;
            other.block_ = nullptr;
        }
        return *this;
    }
    SharedText& operator=(std::string_view text) { return *this = SharedText(text); }
    SharedText& operator=(const std::string& text) { return *this = SharedText(std::string_view(text)); }
    SharedText& operator=(const char* text) { return *this = SharedText(std::string_view(text)); }
    ~SharedText() { release(); }

    std::string_view view() const { return block_ ? std::string_view(block_->text, block_->size) : std::string_view(); }
    operator std::string_view() const { return view(); }  // NOLINT: read as text everywhere
    std::string str() const { return std::string(view()); }
    const char* data() const { return block_ ? block_->text : ""; }
    size_t size() const { return block_ ? block_->size : 0; }
    bool empty() const { return size() == 0; }
    void clear() { *this = SharedText(); }
    // Whether both hold the very same block: equal without reading the text.
    bool sameBlock(const SharedText& other) const { return block_ == other.block_; }
    // Bytes on the heap for this text when it is the only holder.
    size_t heapBytes() const { return block_ ? sizeof(Block) + block_->size : 0; }

    friend bool operator==(const SharedText& a, const SharedText& b) {
        return a.block_ == b.block_ || a.view() == b.view();
    }
    // One overload for each kind of text, since each also converts to SharedText.
    friend bool operator==(const SharedText& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const SharedText& a, const std::string& b) { return a.view() == b; }
    friend bool operator==(const SharedText& a, const char* b) { return a.view() == b; }
    friend std::strong_ordering operator<=>(const SharedText& a, const SharedText& b) {
        return a.view() <=> b.view();
    }
    friend std::strong_ordering operator<=>(const SharedText& a, std::string_view b) { return a.view() <=> b; }
    friend std::strong_ordering operator<=>(const SharedText& a, const std::string& b) {
        return a.view() <=> std::string_view(b);
    }

private:
    struct Block {
        std::atomic<uint32_t> holders;
        uint32_t size;
        char text[1];  // size bytes and a NUL
    };

    static Block* make(std::string_view text) {
        if (text.empty()) return nullptr;
        if (text.size() > UINT32_MAX - sizeof(Block)) throw std::bad_alloc();
        void* memory = ::operator new(sizeof(Block) + text.size());
        Block* block = new (memory) Block{{1}, static_cast<uint32_t>(text.size()), {}};
        text.copy(block->text, text.size());
        block->text[text.size()] = '\0';
        return block;
    }
    void hold() const noexcept {
        if (block_) block_->holders.fetch_add(1, std::memory_order_relaxed);
    }
    void release() noexcept {
        if (block_ && block_->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            block_->~Block();
            ::operator delete(block_);
        }
        block_ = nullptr;
    }

    Block* block_ = nullptr;
};

inline std::ostream& operator<<(std::ostream& out, const SharedText& text) {
    return out << text.view();
}

inline std::string operator+(const SharedText& a, std::string_view b) {
    std::string out(a.view());
    out += b;
    return out;
}
inline std::string operator+(std::string_view a, const SharedText& b) {
    std::string out(a);
    out += b.view();
    return out;
}

}  // namespace qv

#pragma once
// The lines of a Wine registry file for its reader, from text in memory or
// from a file read a block at a time, so that a hive of any size is read
// without holding its text.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "capture/wine_registry.h"

namespace qv::regtext {

// The text's lines, from memory or from a file read a block at a time. A line
// that outgrows the block is handed out in pieces where the reader can take
// it so (hex data), or made whole by growing the buffer; once a long line is
// done, the buffer shrinks back to its block.
class LineReader {
public:
    explicit LineReader(std::string_view text) : data_(text.data()), end_(text.size()), eof_(true) {}
    LineReader(const WineHive::ReadBytes& read, size_t block)
        : read_(&read), block_(std::max<size_t>(block, 2)) {
        allocate(block_);
    }

    // The next line without its '\n', or, where it fills the buffer, its
    // first piece with `whole` false; the caller then takes the rest of it
    // with rest() or wholeLine(). False at the end, or when the file cannot
    // be read (failed()).
    bool next(std::string_view& line, bool& whole) {
        if (read_ && capacity_ > block_ && end_ - pos_ <= block_) allocate(block_);
        for (;;) {
            if (const size_t at = newline(); at != kNone) {
                line = std::string_view(data_ + pos_, at - pos_);
                pos_ = scan_ = at + 1;
                whole = true;
                return true;
            }
            scan_ = end_;
            if (eof_) {
                if (pos_ == end_) return false;
                line = std::string_view(data_ + pos_, end_ - pos_);
                pos_ = end_;
                whole = true;
                return true;
            }
            compact();
            if (end_ == capacity_) {
                line = std::string_view(data_ + pos_, end_ - pos_);
                whole = false;
                return true;
            }
            if (!fill()) return false;
        }
    }

    // The next piece of a line handed out in part; `whole` when it ends the
    // line. False when the file cannot be read.
    bool rest(std::string_view& piece, bool& whole) {
        pos_ = scan_ = end_ = 0;
        while (end_ == 0 && !eof_)
            if (!fill()) return false;
        const size_t at = newline();
        piece = std::string_view(data_, at == kNone ? end_ : at);
        whole = at != kNone || eof_;
        pos_ = scan_ = at == kNone ? end_ : at + 1;
        return true;
    }

    // The whole of a line handed out in part, held in a buffer grown for it.
    bool wholeLine(std::string_view& line) {
        for (;;) {
            if (const size_t at = newline(); at != kNone) {
                line = std::string_view(data_ + pos_, at - pos_);
                pos_ = scan_ = at + 1;
                return true;
            }
            scan_ = end_;
            if (eof_) {
                line = std::string_view(data_ + pos_, end_ - pos_);
                pos_ = end_;
                return true;
            }
            compact();
            if (end_ == capacity_) allocate(capacity_ * 2);
            if (!fill()) return false;
        }
    }

    bool failed() const { return !why_.empty(); }
    const std::string& why() const { return why_; }

private:
    static constexpr size_t kNone = SIZE_MAX;

    // Where the next '\n' at or after scan_ stands, or kNone.
    size_t newline() const {
        if (scan_ >= end_) return kNone;
        const void* nl = std::memchr(data_ + scan_, '\n', end_ - scan_);
        return nl ? static_cast<size_t>(static_cast<const char*>(nl) - data_) : kNone;
    }

    // The unread bytes moved to the buffer's start.
    void compact() {
        if (pos_ == 0) return;
        std::memmove(buffer_.get(), data_ + pos_, end_ - pos_);
        end_ -= pos_;
        scan_ -= pos_;
        pos_ = 0;
    }

    // A buffer of `size` bytes, holding the unread ones; new memory is not
    // cleared, so what a long line never reaches is never made resident.
    void allocate(size_t size) {
        std::unique_ptr<char[]> grown(new char[size]);
        if (buffer_) std::memcpy(grown.get(), data_ + pos_, end_ - pos_);
        end_ -= pos_;
        scan_ -= pos_;
        pos_ = 0;
        buffer_ = std::move(grown);
        data_ = buffer_.get();
        capacity_ = size;
    }

    bool fill() {
        size_t got = 0;
        std::string why;
        if (!(*read_)(buffer_.get() + end_, capacity_ - end_, got, why)) {
            why_ = why.empty() ? "a read failed" : why;
            return false;
        }
        if (got == 0) eof_ = true;
        end_ += got;
        return true;
    }

    const WineHive::ReadBytes* read_ = nullptr;
    size_t block_ = 0;
    std::unique_ptr<char[]> buffer_;
    size_t capacity_ = 0;
    const char* data_ = nullptr;
    size_t pos_ = 0;   // where the next line (or the line in part) begins
    size_t scan_ = 0;  // how far a '\n' was looked for
    size_t end_ = 0;
    bool eof_ = false;
    std::string why_;
};

}  // namespace qv::regtext

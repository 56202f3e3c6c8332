#pragma once
// RAII owners for the handles the program opens.
#include <windows.h>

#include <memory>
#include <type_traits>

namespace qv {

template <class Handle, auto Closer, Handle Invalid = Handle{}>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : h_(h) {}
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const { return h_; }
    explicit operator bool() const { return h_ != Invalid; }
    Handle release() {
        Handle h = h_;
        h_ = Invalid;
        return h;
    }
    void reset(Handle h = Invalid) {
        if (h_ != Invalid) Closer(h_);
        h_ = h;
    }

private:
    Handle h_ = Invalid;
};

inline void closeGdiObject(HGDIOBJ h) { DeleteObject(h); }
using UniqueFont = UniqueHandle<HFONT, closeGdiObject>;

}  // namespace qv

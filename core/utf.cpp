#include "core/utf.h"

namespace qv {

void appendUtf8(std::string& out, std::u16string_view wide) {
    const size_t n = wide.size();
    for (size_t i = 0; i < n; ++i) {
        // Names, paths and data are mostly ASCII: each run of it is written in
        // one step instead of a character at a time.
        size_t run = i;
        while (run < n && wide[run] < 0x80) ++run;
        if (run > i) {
            const size_t at = out.size();
            out.resize(at + (run - i));
            char* dst = out.data() + at;
            for (; i < run; ++i) *dst++ = static_cast<char>(wide[i]);
            if (i == n) break;
        }
        uint32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(wide[i + 1]) - 0xDC00);
            ++i;
        }
        if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

std::string toUtf8(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    appendUtf8(out, wide);
    return out;
}

namespace {

// The UTF-16 form of `text` into `out`, whose units are 16 bits wide.
template <class Wide>
Wide utf16Of(std::string_view text) {
    using Unit = typename Wide::value_type;
    static_assert(sizeof(Unit) == sizeof(char16_t));
    Wide out;
    out.reserve(text.size());
    const size_t n = text.size();
    size_t i = 0;
    auto cont = [&](size_t k) { return k < n && (static_cast<unsigned char>(text[k]) & 0xC0) == 0x80; };
    while (i < n) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        uint32_t c;
        if (b < 0x80) {
            c = b;
            i += 1;
        } else if ((b & 0xE0) == 0xC0 && cont(i + 1)) {
            c = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            i += 2;
        } else if ((b & 0xF0) == 0xE0 && cont(i + 1) && cont(i + 2)) {
            c = ((b & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            i += 3;
        } else if ((b & 0xF8) == 0xF0 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            c = ((b & 0x07u) << 18) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 12) |
                ((static_cast<unsigned char>(text[i + 2]) & 0x3Fu) << 6) |
                (static_cast<unsigned char>(text[i + 3]) & 0x3Fu);
            i += 4;
        } else {
            // Not UTF-8 at all: keep the byte visible rather than drop it.
            c = 0xFFFD;
            i += 1;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<Unit>(0xD800 + (c >> 10)));
            out.push_back(static_cast<Unit>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<Unit>(c));
        }
    }
    return out;
}

}  // namespace

std::u16string toUtf16(std::string_view text) {
    return utf16Of<std::u16string>(text);
}

#ifdef _WIN32
// Straight into the platform's string: no UTF-16 copy in between.
std::wstring toWide(std::string_view text) {
    return utf16Of<std::wstring>(text);
}
#endif

}  // namespace qv

#pragma once
// UTF-8 inside, UTF-16 at the platform boundary. Windows names are sequences of
// 16-bit units that need not be valid UTF-16; a lone surrogate is carried in the
// UTF-8 text as its 3-byte form (WTF-8), so every name converts back to itself.
#include <string>
#include <string_view>

namespace qv {

std::string toUtf8(std::u16string_view wide);
std::u16string toUtf16(std::string_view text);

#ifdef _WIN32
// wchar_t is 16 bits on Windows: the W functions take these directly.
inline std::string toUtf8(std::wstring_view wide) {
    return toUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}
std::wstring toWide(std::string_view text);
#endif

// Appends the UTF-8 form of `wide` to `out` without a temporary.
void appendUtf8(std::string& out, std::u16string_view wide);

#ifdef _WIN32
inline void appendUtf8(std::string& out, std::wstring_view wide) {
    appendUtf8(out, std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}
#endif

}  // namespace qv

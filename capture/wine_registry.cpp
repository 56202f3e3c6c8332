#include "capture/wine_registry.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <type_traits>
#include <unordered_map>

#include "capture/wine_reg_lines.h"
#include "core/registry_types.h"
#include "core/utf.h"

namespace qv {

using regtext::LineReader;

namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
// Seconds from 1601-01-01 to 1970-01-01, for the key lines' Unix times.
constexpr uint64_t kEpochSeconds = 11644473600ull;
constexpr uint64_t kTicksPerSecond = 10'000'000ull;

constexpr auto kHexDigitValues = [] {
    std::array<int8_t, 256> values{};
    for (int c = 0; c < 256; ++c)
        values[static_cast<size_t>(c)] = static_cast<int8_t>(c >= '0' && c <= '9'   ? c - '0'
                                                             : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                             : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                                    : -1);
    return values;
}();

int hexDigit(char c) {
    return kHexDigitValues[static_cast<unsigned char>(c)];
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

}  // namespace

namespace {


// Where unescaped text goes: UTF-16 units for names, or straight into the
// data arena as UTF-16LE bytes, so a long string is never held twice.
// A run of plain ASCII, which is most of any name or string, goes in one step.
struct UnitsOut {
    std::u16string& units;
    void push(char16_t u) { units.push_back(u); }
    void ascii(std::string_view run) { units.append(run.begin(), run.end()); }
};
struct BytesOut {
    std::string& bytes;
    void push(char16_t u) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    void ascii(std::string_view run) {
        const size_t at = bytes.size();
        bytes.resize(at + 2 * run.size());
        char* p = bytes.data() + at;
        for (char c : run) {
            *p++ = c;
            *p++ = '\0';
        }
    }
};

}  // namespace

// One pass over the text, line by line; the only growing buffers are the
// hive's own arenas, one scratch string reused per line, and the line reader.
class WineRegParser {
public:
    WineRegParser(WineHive& hive, LineReader& lines, const std::string& fileName)
        : hive_(hive), lines_(lines), fileName_(fileName) {}

    bool run(std::string& error) {
        std::string_view first;
        bool read = nextLine(first);
        if (read && !whole_) {
            read = lines_.wholeLine(first) && clean(first);
            whole_ = true;
        }
        if (!read || trimEnd(first) != kHeader) {
            if (lines_.failed()) return readFault(error);
            if (!problem_.empty()) return fault(error, problem_);
            line_ = 1;  // an empty file has no line to count, yet its first is what is missing
            return fault(error, "not a Wine registry file (the first line is not \"" + std::string(kHeader) + "\")");
        }
        std::string_view line;
        while (nextLine(line)) {
            size_t i = 0;
            while (i < line.size() && isBlank(line[i])) ++i;
            // Only hex data is read in pieces; any other line is held whole.
            if (!whole_ && !hexValueStart(line.substr(i))) {
                if (!lines_.wholeLine(line)) return readFault(error);
                whole_ = true;
                if (!clean(line)) return fault(error, problem_);
                i = 0;
                while (i < line.size() && isBlank(line[i])) ++i;
            }
            line.remove_prefix(i);
            if (line.empty() || line[0] == ';') {
                if (line.starts_with(";; All keys relative to ") && hive_.keys_.size() == 1) {
                    std::string_view rest = trimEnd(line.substr(24));
                    if (!unescape(rest, '\0', UnitsOut{units_})) return fault(error, problem_);
                    hive_.relativeTo_ = toUtf8(units_);
                }
                continue;
            }
            bool ok = true;
            switch (line[0]) {
                case '[':
                    ok = keyLine(line.substr(1));
                    break;
                case '@':
                case '"':
                    ok = valueLine(line);
                    break;
                case '#':
                    ok = optionLine(line);
                    break;
                default:
                    problem_ = "a line that is neither a key, a value, an option nor a comment";
                    ok = false;
            }
            if (!ok) {
                restOfLine();
                return lines_.failed() ? readFault(error) : fault(error, problem_);
            }
        }
        if (lines_.failed()) return readFault(error);
        if (!problem_.empty()) return fault(error, problem_);
        finishValues();
        return true;
    }

private:
    bool fault(std::string& error, const std::string& what) {
        error = fileName_ + ", line " + std::to_string(line_) + ": " + what;
        return false;
    }
    bool readFault(std::string& error) {
        error = "cannot read " + fileName_ + ": " + lines_.why();
        return false;
    }

    static std::string_view trimEnd(std::string_view s) {
        while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
        return s;
    }

    // No registry file holds a NUL byte: a file that does is no text.
    bool clean(std::string_view text) {
        if (text.empty() || !std::memchr(text.data(), 0, text.size())) return true;
        problem_ = "a NUL byte, which no registry file holds";
        return false;
    }

    // The next line (or its first piece: whole_ tells), counted; false at
    // the end, on a read failure, or on a NUL byte (with problem_ set).
    bool nextLine(std::string_view& line) {
        if (!lines_.next(line, whole_)) return false;
        ++line_;
        return clean(line);
    }

    // A line read in part that was found at fault is read on to its end: a
    // NUL byte anywhere in it is then what is told, as when it is read whole.
    void restOfLine() {
        std::string_view piece;
        while (!whole_ && lines_.rest(piece, whole_) && clean(piece)) {
        }
    }

    // Whether a value line's first piece holds its name, its "=" and the
    // start of hex data, which can then be read in pieces.
    static bool hexValueStart(std::string_view line) {
        if (line.empty() || (line[0] != '"' && line[0] != '@')) return false;
        size_t i = 1;
        if (line[0] == '"') {
            while (i < line.size() && line[i] != '"') i += line[i] == '\\' ? 2 : 1;
            if (i >= line.size()) return false;
            ++i;
        }
        while (i < line.size() && isBlank(line[i])) ++i;
        if (i >= line.size() || line[i] != '=') return false;
        ++i;
        while (i < line.size() && isBlank(line[i])) ++i;
        const std::string_view data = line.substr(i);
        if (data.starts_with("hex:")) return true;
        const size_t close = data.find("):");
        return data.starts_with("hex(") && close != std::string_view::npos && close <= 4 + 9;
    }

    // Decodes escaped text up to `endChar` (or the whole of `s` when it is
    // '\0') into `out`; `s` is advanced past the closing character. The
    // escapes are those Wine writes: \\ \" \[ \], the C letters, octal and
    // \x with up to four hex digits.
    template <class Out>
    bool unescape(std::string_view& s, char endChar, Out out) {
        if constexpr (std::is_same_v<Out, UnitsOut>) out.units.clear();
        size_t i = 0;
        const size_t n = s.size();
        while (i < n) {
            const char c = s[i];
            if (c == endChar && endChar != '\0') {
                s.remove_prefix(i + 1);
                return true;
            }
            const auto b = static_cast<unsigned char>(c);
            if (c != '\\' && b < 0x80) {
                size_t j = i + 1;
                while (j < n && s[j] != '\\' && static_cast<unsigned char>(s[j]) < 0x80 &&
                       (s[j] != endChar || endChar == '\0'))
                    ++j;
                out.ascii(s.substr(i, j - i));
                i = j;
                continue;
            }
            if (b >= 0x80) {
                if (!utf8Char(s, i, out)) return false;
                continue;
            }
            if (++i >= n) break;
            const char e = s[i++];
            switch (e) {
                case 'a': out.push(u'\a'); break;
                case 'b': out.push(u'\b'); break;
                case 'e': out.push(u'\x1b'); break;
                case 'f': out.push(u'\f'); break;
                case 'n': out.push(u'\n'); break;
                case 'r': out.push(u'\r'); break;
                case 't': out.push(u'\t'); break;
                case 'v': out.push(u'\v'); break;
                case '\\':
                case '"':
                case '[':
                case ']':
                    out.push(static_cast<char16_t>(e));
                    break;
                case 'x': {
                    unsigned v = 0;
                    int digits = 0;
                    while (digits < 4 && i < n && hexDigit(s[i]) >= 0) {
                        v = v * 16 + static_cast<unsigned>(hexDigit(s[i++]));
                        ++digits;
                    }
                    if (digits == 0) {
                        problem_ = "a \\x escape without hex digits";
                        return false;
                    }
                    out.push(static_cast<char16_t>(v));
                    break;
                }
                default:
                    if (e >= '0' && e <= '7') {
                        unsigned v = static_cast<unsigned>(e - '0');
                        for (int more = 0; more < 2 && i < n && s[i] >= '0' && s[i] <= '7'; ++more)
                            v = v * 8 + static_cast<unsigned>(s[i++] - '0');
                        out.push(static_cast<char16_t>(v));
                        break;
                    }
                    problem_ = std::string("an unknown escape \\") + (static_cast<unsigned char>(e) < 0x20 ? '?' : e);
                    return false;
            }
        }
        if (endChar == '\0') {
            s.remove_prefix(n);
            return true;
        }
        problem_ = endChar == ']' ? "a key name without its closing ]" : "a string without its closing quote";
        return false;
    }

    // One UTF-8 sequence at s[i] as UTF-16 units; Wine itself writes only
    // ASCII, but a hand-edited file may hold the characters themselves.
    template <class Out>
    bool utf8Char(std::string_view s, size_t& i, Out& out) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int length = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
        if (length == 0 || i + static_cast<size_t>(length) > s.size()) {
            problem_ = "text that is not UTF-8";
            return false;
        }
        char32_t c = b & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto t = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((t & 0xC0) != 0x80) {
                problem_ = "text that is not UTF-8";
                return false;
            }
            c = (c << 6) | (t & 0x3F);
        }
        i += static_cast<size_t>(length);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push(static_cast<char16_t>(c));
        }
        return true;
    }

    // "[Software\\Wine] 1690000000": the path below the file's root and the
    // time of its last change in Unix seconds.
    bool keyLine(std::string_view rest) {
        if (!unescape(rest, ']', UnitsOut{units_})) return false;
        uint64_t seconds = 0;
        bool hasTime = false;
        rest = trimEnd(rest);
        size_t i = 0;
        while (i < rest.size() && isBlank(rest[i])) ++i;
        for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i) {
            if (seconds > UINT64_MAX / 1000) {
                problem_ = "a key time that is out of range";
                return false;
            }
            seconds = seconds * 10 + static_cast<uint64_t>(rest[i] - '0');
            hasTime = true;
        }
        if (i != rest.size()) {
            problem_ = "text after the key's name that is not its time";
            return false;
        }
        // The components, with each one found or added below the one before;
        // a save lists related keys one after the other, so the start of the
        // previous path is reused.
        uint32_t key = WineHive::kRoot;
        size_t depth = 0;
        const std::u16string_view path(units_);
        for (size_t start = 0; start <= path.size();) {
            size_t end = path.find(u'\\', start);
            if (end == std::u16string_view::npos) end = path.size();
            const std::u16string_view unit = path.substr(start, end - start);
            if (unit.empty()) {
                if (!(path.empty() && start == 0)) {
                    problem_ = "a key path with an empty name in it";
                    return false;
                }
                break;
            }
            // The same components up to here end where the previous path's do.
            if (depth < lastKeys_.size() && lastKeys_[depth].first == end &&
                std::u16string_view(lastPath_).substr(start, end - start) == unit) {
                key = lastKeys_[depth].second;
            } else {
                lastKeys_.resize(depth);
                name_.clear();
                appendUtf8(name_, unit);
                const uint32_t found = hive_.child(key, name_);
                key = found != WineHive::kNoKey ? found : hive_.addChild(key, name_);
                if (key == WineHive::kNoKey) {
                    problem_ = "key names that add up to more than 4 GB";
                    return false;
                }
                lastKeys_.emplace_back(end, key);
            }
            ++depth;
            start = end + 1;
        }
        lastKeys_.resize(depth);
        lastPath_ = units_;
        current_ = key;
        if (hasTime) hive_.keys_[key].modified = (seconds + kEpochSeconds) * kTicksPerSecond;
        return true;
    }

    bool optionLine(std::string_view line) {
        line = trimEnd(line);
        if (line.starts_with("#arch=")) {
            hive_.arch_ = std::string(line.substr(6));
            return true;
        }
        if (current_ == WineHive::kNoKey) return true;  // options of the file, not of a key
        if (line == "#link") {
            hive_.keys_[current_].link = true;
        } else if (line.starts_with("#time=")) {
            uint64_t ticks = 0;
            const std::string_view digits = line.substr(6);
            if (digits.empty() || digits.size() > 16) {
                problem_ = "a #time= that is not a hex number";
                return false;
            }
            for (char c : digits) {
                const int d = hexDigit(c);
                if (d < 0) {
                    problem_ = "a #time= that is not a hex number";
                    return false;
                }
                ticks = ticks << 4 | static_cast<uint64_t>(d);
            }
            hive_.keys_[current_].modified = ticks;
        }
        // Other options (#class=) say nothing a snapshot shows.
        return true;
    }

    // Unless whole_, the line is the first piece of a line of hex data
    // (hexValueStart), whose rest the reader hands on.
    bool valueLine(std::string_view line) {
        if (current_ == WineHive::kNoKey) {
            problem_ = "a value before the first key";
            return false;
        }
        WineHive::Value value;
        value.key = current_;
        value.nameOffset = hive_.names_.size();
        if (line[0] == '@') {
            line.remove_prefix(1);
        } else {
            line.remove_prefix(1);
            if (!unescape(line, '"', UnitsOut{units_})) return false;
            appendUtf8(hive_.names_, units_);
        }
        const uint64_t nameSize = hive_.names_.size() - value.nameOffset;
        if (nameSize > UINT32_MAX) {
            problem_ = "a value name larger than 4 GB";
            return false;
        }
        value.nameSize = static_cast<uint32_t>(nameSize);
        size_t i = 0;
        while (i < line.size() && isBlank(line[i])) ++i;
        if (i >= line.size() || line[i] != '=') {
            problem_ = "a value without \"=\" after its name";
            return false;
        }
        ++i;
        while (i < line.size() && isBlank(line[i])) ++i;
        line.remove_prefix(i);
        value.dataOffset = hive_.data_.size();
        bool ok;
        if (line.starts_with('"')) {
            value.type = kRegSz;
            ok = stringData(line.substr(1));
        } else if (line.starts_with("str:\"")) {
            value.type = kRegSz;
            ok = stringData(line.substr(5));
        } else if (line.starts_with("str(2):\"")) {
            value.type = kRegExpandSz;
            ok = stringData(line.substr(8));
        } else if (line.starts_with("str(7):\"")) {
            value.type = kRegMultiSz;
            ok = stringData(line.substr(8));
        } else if (line.starts_with("dword:")) {
            value.type = kRegDword;
            ok = dwordData(line.substr(6));
        } else if (line.starts_with("hex:")) {
            value.type = kRegBinary;
            ok = hexData(line.substr(4));
        } else if (line.starts_with("hex(")) {
            ok = hexType(line, value.type) && hexData(line);
        } else {
            problem_ = "a value of an unknown form";
            ok = false;
        }
        if (!ok) return false;
        const uint64_t size = hive_.data_.size() - value.dataOffset;
        if (size > UINT32_MAX) {
            problem_ = "a value larger than 4 GB";
            return false;
        }
        value.dataSize = static_cast<uint32_t>(size);
        hive_.values_.push_back(value);
        return true;
    }

    // A quoted string's units and its terminating NUL, as Windows stores it.
    bool stringData(std::string_view rest) {
        BytesOut out{hive_.data_};
        if (!unescape(rest, '"', out)) return false;
        if (!trimEnd(rest).empty()) {
            problem_ = "text after the closing quote";
            return false;
        }
        out.push(u'\0');
        return true;
    }

    bool dwordData(std::string_view rest) {
        rest = trimEnd(rest);
        if (rest.empty() || rest.size() > 8) {
            problem_ = "a dword: that is not 1 to 8 hex digits";
            return false;
        }
        uint32_t v = 0;
        for (char c : rest) {
            const int d = hexDigit(c);
            if (d < 0) {
                problem_ = "a dword: that is not 1 to 8 hex digits";
                return false;
            }
            v = v << 4 | static_cast<uint32_t>(d);
        }
        for (int b = 0; b < 4; ++b) hive_.data_ += static_cast<char>((v >> (8 * b)) & 0xFF);
        return true;
    }

    // "hex(7fffffff):": any type code of 32 bits, as the registry takes any.
    bool hexType(std::string_view& line, uint32_t& type) {
        size_t i = 4;
        uint64_t v = 0;
        while (i < line.size() && hexDigit(line[i]) >= 0 && i < 4 + 9) v = v << 4 | static_cast<uint64_t>(hexDigit(line[i++]));
        if (i == 4 || v > UINT32_MAX || line.substr(i, 2) != "):") {
            problem_ = "a hex( type that is not a hex number of at most 8 digits";
            return false;
        }
        type = static_cast<uint32_t>(v);
        line.remove_prefix(i + 2);
        return true;
    }

    // Comma-separated byte pairs; a line ending in "\" goes on on the next.
    // Decoded straight into the data arena as the pieces come, so a value of
    // any size is held once, as its bytes; a pair may be split between two
    // pieces of a line.
    bool hexData(std::string_view piece) {
        std::string& out = hive_.data_;
        int high = -1;           // a pair's first digit, its second yet to come
        bool pairEnded = false;  // a pair just ended: a separator must follow
        bool continued = false;  // a "\" was read: only blanks may follow on the line
        // Bytes gather here and go to the arena a few thousand at a time.
        char decoded[4096];
        size_t held = 0;
        const auto flush = [&] {
            out.append(decoded, held);
            held = 0;
        };
        const auto bad = [&](const char* what) {
            problem_ = what;
            return false;
        };
        const auto notPairs = [&] { return bad("hex data that is not pairs of hex digits"); };
        for (;;) {
            const size_t n = piece.size();
            for (size_t i = 0; i < n;) {
                // The form Wine writes, "xx," over and over, in a tight loop.
                if (high < 0 && !pairEnded && !continued) {
                    while (i + 3 <= n && piece[i + 2] == ',') {
                        const int h = hexDigit(piece[i]), l = hexDigit(piece[i + 1]);
                        if ((h | l) < 0) break;
                        if (held == sizeof decoded) flush();
                        decoded[held++] = static_cast<char>(h << 4 | l);
                        i += 3;
                    }
                    if (i >= n) break;
                }
                const char c = piece[i++];
                if (continued) {
                    if (!isBlank(c)) return bad("a \"\\\" inside hex data");
                    continue;
                }
                if (high >= 0) {
                    const int low = hexDigit(c);
                    if (low < 0) return notPairs();
                    if (held == sizeof decoded) flush();
                    decoded[held++] = static_cast<char>(high << 4 | low);
                    high = -1;
                    pairEnded = true;
                    continue;
                }
                if (c == ',' || isBlank(c)) {
                    pairEnded = false;
                    continue;
                }
                if (c == '\\') {
                    continued = true;
                    continue;
                }
                high = pairEnded ? -1 : hexDigit(c);
                if (high < 0) return notPairs();
            }
            flush();
            if (!whole_) {
                if (!lines_.rest(piece, whole_)) return false;
                if (!clean(piece)) return false;
                continue;
            }
            if (high >= 0) return notPairs();
            if (!continued) return true;
            if (!nextLine(piece)) {
                if (lines_.failed() || !problem_.empty()) return false;
                problem_ = "hex data continued past the end of the file";
                return false;
            }
            continued = pairEnded = false;
        }
    }

    // Each key's values side by side, in the order the file gave them. A key
    // listed twice (which Wine never writes) is one key with the values of
    // both; a value named twice in it is one value, as wineserver loads it:
    // the first spelling of its name with the data and type of the last. It
    // stays where the file first named it.
    void finishValues() {
        std::vector<WineHive::Value>& values = hive_.values_;
        bool grouped = true;
        uint32_t last = WineHive::kNoKey;
        for (const WineHive::Value& v : values) {
            if (v.key != last && hive_.keys_[v.key].valueCount) grouped = false;
            ++hive_.keys_[v.key].valueCount;
            last = v.key;
        }
        if (!grouped)
            std::stable_sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
        size_t kept = 0;
        for (size_t begin = 0; begin < values.size();) {
            const uint32_t key = values[begin].key;
            const size_t end = begin + hive_.keys_[key].valueCount;
            hive_.keys_[key].firstValue = static_cast<uint32_t>(kept);
            const size_t first = kept;
            if (namesAscend(begin, end)) {
                std::move(values.begin() + static_cast<ptrdiff_t>(begin), values.begin() + static_cast<ptrdiff_t>(end),
                          values.begin() + static_cast<ptrdiff_t>(kept));
                kept += end - begin;
            } else {
                std::unordered_map<std::string, size_t> at;
                for (size_t i = begin; i < end; ++i) {
                    const WineHive::Value v = values[i];
                    const auto [place, added] = at.emplace(foldRegistryName(hive_.valueName(v)), kept);
                    if (added) {
                        values[kept++] = v;
                        continue;
                    }
                    WineHive::Value& earlier = values[place->second];
                    earlier.type = v.type;
                    earlier.dataOffset = v.dataOffset;
                    earlier.dataSize = v.dataSize;
                }
            }
            hive_.keys_[key].valueCount = static_cast<uint32_t>(kept - first);
            begin = end;
        }
        values.resize(kept);
    }

    // Whether the names of values[begin, end) rise strictly in the registry's
    // order of names, as every file that Wine writes has them: then no name
    // is there twice, and no name needs folding into a set to tell.
    bool namesAscend(size_t begin, size_t end) const {
        for (size_t i = begin + 1; i < end; ++i)
            if (compareFolded(hive_.valueName(hive_.values_[i - 1]), hive_.valueName(hive_.values_[i])) >= 0)
                return false;
        return true;
    }

    // Names compared as their folded forms compare, folding ASCII in place.
    static int compareFolded(std::string_view a, std::string_view b) {
        const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; };
        const size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            if ((static_cast<unsigned char>(a[i]) | static_cast<unsigned char>(b[i])) >= 0x80)
                return foldRegistryName(a).compare(foldRegistryName(b));
            const auto x = static_cast<unsigned char>(upper(a[i])), y = static_cast<unsigned char>(upper(b[i]));
            if (x != y) return x < y ? -1 : 1;
        }
        // One is a prefix of the other; its rest may still fold to nothing shorter.
        const std::string_view longer = a.size() > b.size() ? a : b;
        for (size_t i = n; i < longer.size(); ++i)
            if (static_cast<unsigned char>(longer[i]) >= 0x80) return foldRegistryName(a).compare(foldRegistryName(b));
        return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
    }

    WineHive& hive_;
    LineReader& lines_;
    const std::string& fileName_;
    size_t line_ = 0;
    bool whole_ = true;  // the line being read has been read to its end
    uint32_t current_ = WineHive::kNoKey;
    std::u16string units_;
    std::string name_;
    // The previous key line's path, and where each of its names ends with
    // the key it names.
    std::u16string lastPath_;
    std::vector<std::pair<size_t, uint32_t>> lastKeys_;
    std::string problem_;
};

bool WineHive::parse(std::string_view text, const std::string& fileName, std::string& error) {
    clear();
    LineReader lines(text);
    WineRegParser parser(*this, lines, fileName);
    if (parser.run(error)) return true;
    clear();
    return false;
}

bool WineHive::parse(const ReadBytes& read, const std::string& fileName, std::string& error, size_t block) {
    clear();
    LineReader lines(read, block);
    WineRegParser parser(*this, lines, fileName);
    if (parser.run(error)) return true;
    clear();
    return false;
}

}  // namespace qv

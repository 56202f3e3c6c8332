#include "capture/wine_registry.h"

#include <algorithm>
#include <cstring>

#include "core/registry_types.h"
#include "core/utf.h"

namespace qv {

namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
// Seconds from 1601-01-01 to 1970-01-01, for the key lines' Unix times.
constexpr uint64_t kEpochSeconds = 11644473600ull;
constexpr uint64_t kTicksPerSecond = 10'000'000ull;

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

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

void appendLittleEndian(std::string& out, std::u16string_view units) {
    const size_t at = out.size();
    out.resize(at + units.size() * 2);
    char* p = out.data() + at;
    for (char16_t u : units) {
        *p++ = static_cast<char>(u & 0xFF);
        *p++ = static_cast<char>(u >> 8);
    }
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

// One pass over the text, line by line, from one buffer; the only growing
// buffers are the hive's own arenas and one scratch string reused per line.
class WineRegParser {
public:
    WineRegParser(WineHive& hive, std::string_view text, const std::string& fileName)
        : hive_(hive), text_(text), fileName_(fileName) {}

    bool run(std::string& error) {
        if (const void* nul = std::memchr(text_.data(), 0, text_.size())) {
            const size_t at = static_cast<const char*>(nul) - text_.data();
            line_ = 1 + static_cast<size_t>(std::count(text_.begin(), text_.begin() + static_cast<ptrdiff_t>(at), '\n'));
            return fault(error, "a NUL byte, which no registry file holds");
        }
        std::string_view first;
        if (!nextLine(first) || trimEnd(first) != kHeader) {
            line_ = 1;  // an empty file has no line to count, yet its first is what is missing
            return fault(error, "not a Wine registry file (the first line is not \"" + std::string(kHeader) + "\")");
        }
        std::string_view line;
        while (nextLine(line)) {
            size_t i = 0;
            while (i < line.size() && isBlank(line[i])) ++i;
            line.remove_prefix(i);
            if (line.empty() || line[0] == ';') {
                if (line.starts_with(";; All keys relative to ") && hive_.keys_.size() == 1) {
                    std::string_view rest = trimEnd(line.substr(24));
                    if (!unescape(rest, '\0', units_)) return fault(error, problem_);
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
            if (!ok) return fault(error, problem_);
        }
        finishValues();
        return true;
    }

private:
    bool fault(std::string& error, const std::string& what) {
        error = fileName_ + ", line " + std::to_string(line_) + ": " + what;
        return false;
    }

    static std::string_view trimEnd(std::string_view s) {
        while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
        return s;
    }

    bool nextLine(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        const char* start = text_.data() + pos_;
        const void* nl = std::memchr(start, '\n', text_.size() - pos_);
        const size_t length = nl ? static_cast<size_t>(static_cast<const char*>(nl) - start) : text_.size() - pos_;
        line = std::string_view(start, length);
        pos_ += length + (nl ? 1 : 0);
        ++line_;
        return true;
    }

    // Decodes escaped text up to `endChar` (or the whole of `s` when it is
    // '\0') into units_; `s` is advanced past the closing character. The
    // escapes are those Wine writes: \\ \" \[ \], the C letters, octal and
    // \x with up to four hex digits.
    bool unescape(std::string_view& s, char endChar, std::u16string& out) {
        out.clear();
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
                out.push_back(static_cast<char16_t>(b));
                ++i;
                continue;
            }
            if (b >= 0x80) {
                if (!utf8Char(s, i, out)) return false;
                continue;
            }
            if (++i >= n) break;
            const char e = s[i++];
            switch (e) {
                case 'a': out.push_back(u'\a'); break;
                case 'b': out.push_back(u'\b'); break;
                case 'e': out.push_back(u'\x1b'); break;
                case 'f': out.push_back(u'\f'); break;
                case 'n': out.push_back(u'\n'); break;
                case 'r': out.push_back(u'\r'); break;
                case 't': out.push_back(u'\t'); break;
                case 'v': out.push_back(u'\v'); break;
                case '\\':
                case '"':
                case '[':
                case ']':
                    out.push_back(static_cast<char16_t>(e));
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
                    out.push_back(static_cast<char16_t>(v));
                    break;
                }
                default:
                    if (e >= '0' && e <= '7') {
                        unsigned v = static_cast<unsigned>(e - '0');
                        for (int more = 0; more < 2 && i < n && s[i] >= '0' && s[i] <= '7'; ++more)
                            v = v * 8 + static_cast<unsigned>(s[i++] - '0');
                        out.push_back(static_cast<char16_t>(v));
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
    bool utf8Char(std::string_view s, size_t& i, std::u16string& out) {
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
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        return true;
    }

    // "[Software\\Wine] 1690000000": the path below the file's root and the
    // time of its last change in Unix seconds.
    bool keyLine(std::string_view rest) {
        if (!unescape(rest, ']', units_)) return false;
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
            if (depth < lastPath_.size() && lastPath_[depth].first == unit) {
                key = lastPath_[depth].second;
            } else {
                lastPath_.resize(depth);
                std::string name = toUtf8(unit);
                const uint32_t found = hive_.child(key, name);
                key = found != WineHive::kNoKey ? found : hive_.addChild(key, std::move(name));
                lastPath_.emplace_back(std::u16string(unit), key);
            }
            ++depth;
            start = end + 1;
        }
        lastPath_.resize(depth);
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
            if (!unescape(line, '"', units_)) return false;
            appendUtf8(hive_.names_, units_);
        }
        value.nameSize = static_cast<uint32_t>(hive_.names_.size() - value.nameOffset);
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
        if (!unescape(rest, '"', units_)) return false;
        if (!trimEnd(rest).empty()) {
            problem_ = "text after the closing quote";
            return false;
        }
        units_.push_back(u'\0');
        appendLittleEndian(hive_.data_, units_);
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
    bool hexData(std::string_view rest) {
        std::string& out = hive_.data_;
        for (;;) {
            size_t i = 0;
            const size_t n = rest.size();
            while (i < n) {
                const char c = rest[i];
                if (c == ',' || isBlank(c)) {
                    ++i;
                    continue;
                }
                if (c == '\\') {
                    if (!trimEnd(rest.substr(i + 1)).empty()) {
                        problem_ = "a \"\\\" inside hex data";
                        return false;
                    }
                    break;
                }
                const int high = hexDigit(c);
                const int low = i + 1 < n ? hexDigit(rest[i + 1]) : -1;
                if (high < 0 || low < 0) {
                    problem_ = "hex data that is not pairs of hex digits";
                    return false;
                }
                out += static_cast<char>(high << 4 | low);
                i += 2;
                if (i < n && rest[i] != ',' && !isBlank(rest[i]) && rest[i] != '\\') {
                    problem_ = "hex data that is not pairs of hex digits";
                    return false;
                }
            }
            if (i >= n) return true;
            if (!nextLine(rest)) {
                problem_ = "hex data continued past the end of the file";
                return false;
            }
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
    std::string_view text_;
    const std::string& fileName_;
    size_t pos_ = 0;
    size_t line_ = 0;
    uint32_t current_ = WineHive::kNoKey;
    std::u16string units_;
    std::vector<std::pair<std::u16string, uint32_t>> lastPath_;
    std::string problem_;
};

uint32_t WineHive::addChild(uint32_t parent, std::string name) {
    const auto k = static_cast<uint32_t>(keys_.size());
    std::string indexKey(4, '\0');
    std::memcpy(indexKey.data(), &parent, 4);
    indexKey += foldRegistryName(name);
    index_.emplace(std::move(indexKey), k);
    keys_.emplace_back();
    keys_.back().name = std::move(name);
    keys_.back().parent = parent;
    keys_[parent].children.push_back(k);
    return k;
}

uint32_t WineHive::child(uint32_t parent, std::string_view name) const {
    // Folded in place: a walk asks for every key by name once.
    thread_local std::string indexKey;
    indexKey.resize(4 + name.size());
    std::memcpy(indexKey.data(), &parent, 4);
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            indexKey.resize(4);
            indexKey += foldRegistryName(name);
            break;
        }
        indexKey[4 + i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c;
    }
    const auto it = index_.find(indexKey);
    return it == index_.end() ? kNoKey : it->second;
}

const WineHive::Value* WineHive::findValue(uint32_t k, std::string_view name) const {
    const Value* v = values(k);
    for (uint32_t i = 0; i < keys_[k].valueCount; ++i)
        if (registryNamesEqual(valueName(v[i]), name)) return v + i;
    return nullptr;
}

bool WineHive::parse(std::string_view text, const std::string& fileName, std::string& error) {
    keys_.assign(1, Key{});
    values_.clear();
    names_.clear();
    data_.clear();
    index_.clear();
    relativeTo_.clear();
    arch_.clear();
    WineRegParser parser(*this, text, fileName);
    if (parser.run(error)) return true;
    keys_.assign(1, Key{});
    values_.clear();
    names_.clear();
    data_.clear();
    index_.clear();
    return false;
}

}  // namespace qv

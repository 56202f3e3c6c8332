// The .reg file that undoes what the registry lists show: new keys and values
// are removed, deleted and edited values are written back with the data and
// type that the first snapshot holds.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/exports.h"
#include "core/registry_types.h"
#include "capture/value_rendering.h"
#include "core/utf.h"

namespace qv {
namespace {

// The snapshot's key names end with "\" and, below an empty start path, begin
// with one.
std::string fullKey(const ResultContext& context, std::string_view keyName) {
    if (!keyName.empty() && keyName.back() == '\\') keyName.remove_suffix(1);
    if (!keyName.empty() && keyName.front() == '\\') keyName.remove_prefix(1);
    // A collection of several keys names the root in each key name.
    std::string key = context.hiveName;
    if (!keyName.empty()) {
        if (!key.empty()) key += '\\';
        key.append(keyName);
    }
    return key;
}

// A quoted name or string: a backslash and a quote escaped, and a line break
// as \r or \n, which regedit reads back inside quotes.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\r') {
            out += "\\r";
            continue;
        }
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

// A key line has no escapes: a key name with a line break, or one that ends
// with "]", cannot be written so that regedit reads it back.
bool keyLineCanCarry(std::string_view key) {
    return key.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos && !key.ends_with(']');
}

std::string valueName(const std::string& name) { return name.empty() ? "@" : quoted(name); }

void hexBytes(std::string& out, std::string_view bytes) {
    char pair[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(pair, sizeof pair, i ? ",%02x" : "%02x", static_cast<unsigned char>(bytes[i]));
        out += pair;
    }
}

// Strings as the registry stores them: UTF-16LE, each ended by a NUL.
std::string utf16Bytes(const std::vector<std::string>& strings, bool listEnd) {
    std::string bytes;
    for (const std::string& s : strings) {
        for (char16_t c : toUtf16(s)) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        bytes.append(2, '\0');
    }
    if (listEnd) bytes.append(2, '\0');
    return bytes;
}

bool allHexPairs(const std::string& text) {
    if (text.empty()) return true;
    if (text.size() % 3 != 2) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i % 3 == 2 ? c != ',' : !std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

// The line that writes `e` back from the bytes the first snapshot kept, as
// they were, whatever the type.
std::string rawRestoreLine(const RegEntry& e, std::string_view bytes) {
    std::string line = valueName(e.ValueName) + "=";
    switch (e.ValueType) {
        case kRegSz:
            // Written as text only where the text gives back exactly these bytes.
            if (e.ValueData.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos &&
                utf16Bytes({e.ValueData}, false) == bytes)
                return line + quoted(e.ValueData);
            break;
        case kRegDword:
            if (bytes.size() == 4) {
                char dword[16];
                uint32_t n = 0;
                for (size_t i = 0; i < 4; ++i) n |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
                std::snprintf(dword, sizeof dword, "dword:%08x", n);
                return line + dword;
            }
            break;
        case kRegBinary:
            line += "hex:";
            hexBytes(line, bytes);
            return line;
        default:
            break;
    }
    char type[24];
    std::snprintf(type, sizeof type, "hex(%x):", e.ValueType);
    line += type;
    hexBytes(line, bytes);
    return line;
}

// The line that writes `e` back, or nothing when its text cannot give the
// value back as it was; `why` then says so for the comment.
std::optional<std::string> restoreLine(const RegEntry& e, std::string& why) {
    if (const std::optional<std::string> bytes = rawValueBytes(e)) return rawRestoreLine(e, *bytes);
    std::string line = valueName(e.ValueName) + "=";
    switch (e.ValueType) {
        case kRegSz:
            if (e.ValueData.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos)
                return line + quoted(e.ValueData);
            line += "hex(1):";
            hexBytes(line, utf16Bytes({e.ValueData}, false));
            return line;
        case kRegExpandSz:
            // The snapshot holds the text with its variables expanded, which
            // is what the value gives any reader.
            line += "hex(2):";
            hexBytes(line, utf16Bytes({e.ValueData}, false));
            return line;
        case kRegMultiSz: {
            std::vector<std::string> strings;
            if (!e.ValueData.empty()) {
                // The rendering joins the strings with CR LF and six tabs.
                std::string_view rest = e.ValueData;
                static constexpr std::string_view kJoin = "\r\n\t\t\t\t\t\t";
                for (size_t at; (at = rest.find(kJoin)) != std::string_view::npos; rest.remove_prefix(at + kJoin.size()))
                    strings.emplace_back(rest.substr(0, at));
                strings.emplace_back(rest);
            }
            line += "hex(7):";
            hexBytes(line, utf16Bytes(strings, true));
            return line;
        }
        case kRegDword: {
            char* end = nullptr;
            const unsigned long long n = std::strtoull(e.ValueData.c_str(), &end, 10);
            if (e.ValueData.empty() || *end != '\0' || n > 0xFFFFFFFFull) break;
            char dword[16];
            std::snprintf(dword, sizeof dword, "dword:%08llx", n);
            return line + dword;
        }
        case kRegBinary: {
            if (!allHexPairs(e.ValueData)) break;
            line += "hex:";
            for (char c : e.ValueData) line += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return line;
        }
        default:
            why = "its data of type " + std::to_string(e.ValueType) + " was not recorded";
            return std::nullopt;
    }
    why = "its recorded data \"" + e.ValueData + "\" is not of its type";
    return std::nullopt;
}

struct KeyBlock {
    std::vector<std::string> lines;
};

// A comment is one line, whatever the texts in it hold.
std::string comment(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return "; " + text;
}

}  // namespace

std::string exportRegUndo(const ResultLists& lists, const ResultContext& context, const RegSnapshot& first) {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    size_t background = 0;
    if (!context.hiveName.empty() || context.rootsInKeys()) {
        std::unordered_map<std::string, std::unordered_map<std::string, const RegEntry*>> before;
        for (const RegEntry& e : first) before[e.KeyName.str()][e.ValueName] = &e;

        // Keys that the first snapshot does not know are removed whole, and
        // only the topmost of them: removing a key removes what is below it.
        std::set<std::string> newKeys;
        // Changes that the system makes on its own are not the installer's,
        // and an undo would only fight the system over them.
        for (ListId list : {ListId::NewEntries, ListId::DeletedEntries, ListId::EditedRegistry})
            for (const ResultRow& row : lists[list]) background += row.background && !row.oldData;
        for (const ResultRow& row : lists[ListId::NewEntries])
            if (!row.background && !before.contains(row.text)) newKeys.insert(row.text);
        // Everything that begins with a key sorts right after it.
        const std::string* removed = nullptr;
        for (const std::string& key : newKeys) {
            if (removed && key.starts_with(*removed)) continue;
            removed = &key;
            if (keyLineCanCarry(fullKey(context, key)))
                text += "[-" + fullKey(context, key) + "]\r\n\r\n";
            else
                text += comment("A key could not be removed: a .reg file cannot name " + fullKey(context, key)) +
                        "\r\n\r\n";
        }

        // Values grouped by key, in the order the lists show them.
        std::vector<std::string> order;
        std::unordered_map<std::string, KeyBlock> blocks;
        const auto block = [&](const std::string& key) -> KeyBlock& {
            auto [it, added] = blocks.try_emplace(key);
            if (added) order.push_back(key);
            return it->second;
        };
        for (const ResultRow& row : lists[ListId::NewEntries]) {
            if (row.background || newKeys.contains(row.text)) continue;
            block(row.text).lines.push_back(valueName(row.sub1) + "=-");
        }
        std::set<std::pair<std::string, std::string>> restored;
        bool rawMissing = false;
        for (ListId list : {ListId::DeletedEntries, ListId::EditedRegistry}) {
            for (const ResultRow& row : lists[list]) {
                if (row.background || !restored.emplace(row.text, row.sub1).second) continue;
                const auto key = before.find(row.text);
                const RegEntry* e = nullptr;
                if (key != before.end()) {
                    const auto value = key->second.find(row.sub1);
                    if (value != key->second.end()) e = value->second;
                }
                KeyBlock& b = block(row.text);
                if (!e) {
                    b.lines.push_back(comment(valueName(row.sub1) + " is not in the first snapshot and was left alone"));
                } else if (e->ValueType == kKeyEntryType) {
                    // The key had no values at all: the default value it has
                    // now is new, and goes.
                    if (list == ListId::EditedRegistry && row.sub1.empty()) b.lines.push_back("@=-");
                } else {
                    if (e->Raw == RawForm::NotRecorded) rawMissing = true;
                    std::string why;
                    if (std::optional<std::string> line = restoreLine(*e, why))
                        b.lines.push_back(*line);
                    else
                        b.lines.push_back(comment(valueName(e->ValueName) + " could not be restored: " + why));
                }
            }
        }
        // Said first, where a reader of the file looks before applying it.
        if (background > 0)
            text.insert(std::string_view("Windows Registry Editor Version 5.00\r\n\r\n").size(),
                        comment("Left alone: " + std::to_string(background) +
                                (background == 1 ? " change" : " changes") +
                                " in places that change on their own (Background.dat).") +
                            "\r\n\r\n");
        if (rawMissing)
            text.insert(std::string_view("Windows Registry Editor Version 5.00\r\n\r\n").size(),
                        comment("The first snapshot did not record the values' raw data (a snapshot file of an older "
                                "version): values are restored from their text, and expandable strings come back "
                                "expanded.") +
                            "\r\n\r\n");
        for (const std::string& key : order) {
            if (!keyLineCanCarry(fullKey(context, key))) {
                text += comment("The values of a key could not be restored: a .reg file cannot name " +
                                fullKey(context, key)) +
                        "\r\n\r\n";
                continue;
            }
            text.append("[").append(fullKey(context, key)).append("]\r\n");
            for (const std::string& line : blocks[key].lines) text += line + "\r\n";
            text += "\r\n";
        }
    }
    // As regedit writes its files: UTF-16LE behind a byte order mark.
    const std::u16string wide = toUtf16(text);
    std::string bytes = "\xFF\xFE";
    for (char16_t c : wide) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

}  // namespace qv

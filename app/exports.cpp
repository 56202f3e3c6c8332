#include "app/exports.h"

#include <algorithm>

#include <cstdio>
#include <functional>
#include <map>
#include <string_view>
#include <utility>

#include "capture/date_text.h"
#include "core/registry_types.h"
#include "core/utf.h"

namespace qv {
namespace {

// ---- CSV ----

void csvField(std::string& out, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// ---- JSON ----

// Texts are UTF-8 in the form that also carries unpaired surrogates from
// Windows names; those, and every control character, are written as \u
// escapes so that the output is always valid JSON.
void jsonString(std::string& out, std::string_view text) {
    out += '"';
    const std::u16string wide = toUtf16(text);
    std::string plain;
    for (size_t i = 0; i < wide.size(); ++i) {
        const char16_t c = wide[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        const bool paired = high && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || (high && !paired) || low) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            const size_t n = paired ? 2 : 1;
            appendUtf8(out, std::u16string_view(wide).substr(i, n));
            i += n - 1;
        }
    }
    out += '"';
}

const char* jsonKey(ListId list) {
    switch (list) {
        case ListId::NewEntries: return "newRegistryEntries";
        case ListId::DeletedEntries: return "deletedRegistryEntries";
        case ListId::EditedRegistry: return "editedRegistryEntries";
        case ListId::NewFiles: return "newFiles";
        case ListId::DeletedFiles: return "deletedFiles";
        case ListId::ModifiedFiles: return "modifiedFiles";
    }
    return "";
}

const char* jsonField(ListId list, int column) {
    static const char* const registry[] = {"key", "name", "data"};
    static const char* const files[] = {"path", "size", "date"};
    const bool isFile = list == ListId::NewFiles || list == ListId::DeletedFiles || list == ListId::ModifiedFiles;
    return (isFile ? files : registry)[column];
}

bool hasType(uint32_t type) { return type != UINT32_MAX && type != kKeyEntryType; }

// What a row is beyond its cells, in words.
std::string rowNote(const ResultRow& row) {
    std::string note;
    if (row.background) note = "background";
    if (row.oldData) note += note.empty() ? "old data of an edited value" : "; old data of an edited value";
    return note;
}

// A local time as ISO 8601, as scripts parse it.
std::string isoLocal(int64_t localSeconds) {
    const CivilTime t = civilTime(localSeconds);
    char iso[32];
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return iso;
}

// An ISO 8601 date with its offset from UTC, as scripts that compare times
// across zones want it.
std::string isoWithOffset(int64_t localSeconds, int32_t offset) {
    const int32_t minutes = (offset < 0 ? -offset : offset) / 60;
    char zone[8];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return isoLocal(localSeconds) + zone;
}

// A value's data as its type says: numbers as numbers, a multi-string as an
// array of its strings, strings as strings, and every other type as its
// bytes in hex, from the text the list shows.
void jsonTypedValue(std::string& out, uint32_t type, std::string_view text) {
    const bool digits = !text.empty() && text.size() <= 20 && text.find_first_not_of("0123456789") == std::string_view::npos;
    switch (type) {
        case kRegDword:
        case 5:
        case kRegQword:
            if (digits) {
                out += text;
                return;
            }
            break;
        case kRegMultiSz: {
            constexpr std::string_view kSeparator = "\r\n\t\t\t\t\t\t";
            out += '[';
            if (!text.empty()) {
                for (size_t at = 0;;) {
                    const size_t end = text.find(kSeparator, at);
                    if (at) out += ',';
                    jsonString(out, text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
                    if (end == std::string_view::npos) break;
                    at = end + kSeparator.size();
                    if (at == text.size()) {
                        out += ",\"\"";
                        break;
                    }
                }
            }
            out += ']';
            return;
        }
        case kRegSz:
        case kRegExpandSz:
        case 6:
            break;
        default: {
            // "00,0F" as the list shows bytes.
            std::string hex;
            for (char c : text) {
                if (c == ',') continue;
                hex += static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
            }
            jsonString(out, hex);
            return;
        }
    }
    jsonString(out, text);
}

void jsonStrings(std::string& out, const std::vector<std::string>& texts) {
    out += '[';
    for (size_t i = 0; i < texts.size(); ++i) {
        if (i) out += ',';
        jsonString(out, texts[i]);
    }
    out += ']';
}

}  // namespace

OldEntries::OldEntries(const ResultLists& lists, const RegSnapshot& first) {
    if (lists[ListId::EditedRegistry].empty()) return;
    for (const RegEntry& e : first) byName_.emplace(std::pair{std::string_view(e.KeyName), std::string_view(e.ValueName)}, &e);
}

const RegEntry* OldEntries::find(ListId list, const ResultRow& row) const {
    if (list != ListId::EditedRegistry) return nullptr;
    const auto it = byName_.find({row.text, row.sub1});
    return it == byName_.end() ? nullptr : it->second;
}

std::string exportCsv(const ResultLists& lists, const RegSnapshot& first, bool byteOrderMark) {
    const OldEntries old(lists, first);
    std::string out = byteOrderMark ? "\xEF\xBB\xBF" : "";
    out += "List,Name,Detail,Data,Type,Old data,Old type,Old size,Old date,Note\r\n";
    for (ListId list : kAllLists) {
        const int columns = resultListColumns(list).count;
        const bool registry = isRegistryList(list);
        for (const ResultRow& row : lists[list]) {
            csvField(out, resultListTitle(list));
            for (int c = 0; c < 3; ++c) {
                out += ',';
                if (c < columns) csvField(out, resultCell(row, c));
            }
            out += ',';
            if (registry && hasType(row.type)) out += registryTypeName(row.type);
            if (!registry) out += isFolderPath(row.text) ? "Folder" : "File";
            out += ',';
            const RegEntry* was = old.find(list, row);
            if (was) csvField(out, was->ValueData);
            out += ',';
            if (was && hasType(was->ValueType)) out += registryTypeName(was->ValueType);
            out += ',';
            if (row.firstSize != kUnknownFileSize) out += std::to_string(row.firstSize);
            out += ',';
            csvField(out, row.firstDate);
            out += ',';
            csvField(out, rowNote(row));
            out += "\r\n";
        }
    }
    return out;
}

std::string registryTypeName(uint32_t type) {
    switch (type) {
        case kRegNone: return "REG_NONE";
        case kRegSz: return "REG_SZ";
        case kRegExpandSz: return "REG_EXPAND_SZ";
        case kRegBinary: return "REG_BINARY";
        case kRegDword: return "REG_DWORD";
        case 5: return "REG_DWORD_BIG_ENDIAN";
        case 6: return "REG_LINK";
        case kRegMultiSz: return "REG_MULTI_SZ";
        case 8: return "REG_RESOURCE_LIST";
        case 9: return "REG_FULL_RESOURCE_DESCRIPTOR";
        case 10: return "REG_RESOURCE_REQUIREMENTS_LIST";
        case kRegQword: return "REG_QWORD";
        default: break;
    }
    char code[16];
    std::snprintf(code, sizeof code, "0x%x", type);
    return code;
}

std::string exportJson(const ResultLists& lists, const ResultContext& context, const RegSnapshot& first) {
    const OldEntries old(lists, first);
    // The schema's number grows with each field added; none is ever changed.
    std::string out = "{\"schema\":2,\"registry\":";
    if (context.hiveName.empty()) {
        out += "null";
    } else {
        out += "{\"root\":";
        jsonString(out, context.hiveName);
        out += ",\"key\":";
        jsonString(out, context.startKey);
        out += '}';
    }
    out += ",\"folder\":";
    if (context.startFolder.empty())
        out += "null";
    else
        jsonString(out, context.startFolder);
    if (context.registryPlaces.size() > 1 || context.folderPlaces.size() > 1) {
        out += ",\n\"places\":{\"registry\":";
        jsonStrings(out, context.registryPlaces);
        out += ",\"folders\":";
        jsonStrings(out, context.folderPlaces);
        out += '}';
    }
    if (!context.unread.empty()) {
        out += ",\n\"unread\":";
        jsonStrings(out, context.unread);
    }
    // Each list's number of rows, the old data of edits apart from the
    // deletions, and whether it was looked for at all.
    out += ",\n\"counts\":{";
    size_t background = 0;
    for (ListId list : kAllLists) {
        if (list != ListId::NewEntries) out += ',';
        out += '"';
        out += jsonKey(list);
        out += "\":" + std::to_string(trueRowCount(lists, list));
        for (const ResultRow& row : lists[list]) background += row.background && !row.oldData;
    }
    out += ",\"background\":" + std::to_string(background) + "},\n\"checked\":{";
    for (ListId list : kAllLists) {
        if (list != ListId::NewEntries) out += ',';
        out += '"';
        out += jsonKey(list);
        out += context.isChecked(list) ? "\":true" : "\":false";
    }
    out += '}';
    for (ListId list : kAllLists) {
        out += ",\n\"";
        out += jsonKey(list);
        out += "\":[";
        const int columns = resultListColumns(list).count;
        const bool isFile = list == ListId::NewFiles || list == ListId::DeletedFiles || list == ListId::ModifiedFiles;
        bool firstRow = true;
        for (const ResultRow& row : lists[list]) {
            out += firstRow ? "\n{" : ",\n{";
            firstRow = false;
            for (int c = 0; c < columns; ++c) {
                if (c) out += ',';
                out += '"';
                out += jsonField(list, c);
                out += "\":";
                const std::string& cell = resultCell(row, c);
                if (!isFile && c == 0) {
                    // The key below its root, which stands beside it.
                    jsonString(out, rowRootAndKey(context, cell).second);
                } else if (isFile && c == 1) {
                    // A size is a number for scripts; one that could not be measured is null.
                    const bool digits = !cell.empty() && cell.find_first_not_of("0123456789") == std::string::npos;
                    out += digits ? cell : std::string("null");
                } else {
                    jsonString(out, cell);
                }
            }
            if (isFile && row.modifiedLocal >= 0) {
                // The same local time as the shown date, in a form scripts parse.
                out += ",\"modified\":\"" + isoLocal(row.modifiedLocal) + '"';
                if (row.utcOffset != INT32_MIN)
                    out += ",\"modifiedAt\":\"" + isoWithOffset(row.modifiedLocal, row.utcOffset) + '"';
            }
            if (isFile) {
                out += isFolderPath(row.text) ? ",\"kind\":\"folder\"" : ",\"kind\":\"file\"";
                // A modified or deleted file as the first snapshot had it.
                if (row.firstSize != kUnknownFileSize) out += ",\"oldSize\":" + std::to_string(row.firstSize);
                if (!row.firstDate.empty()) {
                    out += ",\"oldDate\":";
                    jsonString(out, row.firstDate);
                }
                if (row.firstModifiedLocal >= 0) out += ",\"oldModified\":\"" + isoLocal(row.firstModifiedLocal) + '"';
                if (row.firstModifiedLocal >= 0 && row.firstUtcOffset != INT32_MIN)
                    out += ",\"oldModifiedAt\":\"" + isoWithOffset(row.firstModifiedLocal, row.firstUtcOffset) + '"';
            } else {
                out += ",\"root\":";
                jsonString(out, rowRootAndKey(context, row.text).first);
            }
            if (row.oldData) out += ",\"oldData\":true";
            if (row.background) out += ",\"background\":true";
            if (!isFile && hasType(row.type)) {
                out += ",\"type\":";
                jsonString(out, registryTypeName(row.type));
                out += ",\"value\":";
                jsonTypedValue(out, row.type, row.sub2);
            }
            if (const RegEntry* was = old.find(list, row)) {
                out += ",\"oldData\":";
                jsonString(out, was->ValueData);
                if (was->ValueType != kKeyEntryType) {
                    out += ",\"oldType\":";
                    jsonString(out, registryTypeName(was->ValueType));
                    out += ",\"oldValue\":";
                    jsonTypedValue(out, was->ValueType, was->ValueData);
                }
            }
            out += '}';
        }
        out += ']';
    }
    out += "}\n";
    return out;
}

namespace {

// A path for cmd inside double quotes, where & | < > ^ ( ) are literal and
// only % still expands, so it is doubled. A quote or a control character,
// which a Linux name under Wine may hold, cannot be quoted: left out, the path
// would name another file, so such a path is only named in a remark.
struct CmdPath {
    std::string text;
    bool quotable;
};
CmdPath cmdPath(std::string_view path) {
    CmdPath p{{}, std::none_of(path.begin(), path.end(),
                               [](char c) { return c == '"' || static_cast<unsigned char>(c) < 0x20; })};
    for (char c : path) {
        // In a remark a caret could still join the next line to it.
        const bool kept = p.quotable || (c != '"' && c != '^' && static_cast<unsigned char>(c) >= 0x20);
        p.text += kept ? c : '?';
        if (c == '%') p.text += '%';
    }
    return p;
}

// A command line that names a path (each "%1" in `command` stands for it in
// quotes), or a remark where the path cannot be written for cmd.
void cmdLine(std::string& out, std::string_view command, std::string_view path, std::string_view refusal) {
    // A folder's trailing backslash would be taken for an escape of the quote.
    if (path.size() > 3 && path.back() == '\\') path.remove_suffix(1);
    const CmdPath p = cmdPath(path);
    if (!p.quotable) {
        out += "rem ";
        out += refusal;
        out += ", its name cannot be written for cmd: " + p.text + "\r\n";
        return;
    }
    for (size_t at = 0; at < command.size(); ++at) {
        if (command.substr(at, 2) == "%1") {
            out += "\"" + p.text + "\"";
            ++at;
        } else {
            out += command[at];
        }
    }
    out += "\r\n";
}

}  // namespace

std::string exportCmd(const ResultLists& lists) {
    // Delayed expansion is switched off so that ! stays literal too. The file
    // is UTF-8 and the code page is set to match before the first path.
    std::string out =
        "@echo off\r\nrem Undoes what Quorvel found: deletes the new files, removes the new folders that are "
        "empty then, and makes the deleted folders again.\r\nsetlocal disabledelayedexpansion\r\n"
        "chcp 65001 >nul\r\n";
    size_t background = 0;
    std::vector<std::string_view> newFolders;
    for (const ResultRow& row : lists[ListId::NewFiles]) {
        if (row.background) {
            ++background;
        } else if (isFolderPath(row.text)) {
            newFolders.push_back(row.text);
        } else {
            cmdLine(out, "del /f /q /a %1", row.text, "Not deleted");
        }
    }
    // Deepest first, so that a folder is empty of the new folders in it by its
    // turn; rd without /s leaves a folder that holds anything else.
    std::sort(newFolders.begin(), newFolders.end(), std::greater<>());
    for (std::string_view folder : newFolders) cmdLine(out, "rd %1 2>nul", folder, "Not removed");
    for (const ResultRow& row : lists[ListId::DeletedFiles]) {
        if (row.background) {
            ++background;
        } else if (isFolderPath(row.text)) {
            cmdLine(out, "if not exist %1 mkdir %1", row.text, "Not made again");
        }
    }
    if (background > 0)
        out += "rem Left alone: " + std::to_string(background) +
               (background == 1 ? " change" : " changes") + " in places that change on their own (Background.dat).\r\n";
    out += "endlocal\r\n";
    return out;
}

std::string exportBytes(ExportFormat format, const ResultLists& lists, const ResultContext& context,
                        const RegSnapshot& first, bool toFile) {
    switch (format) {
        case ExportFormat::Csv:
            return exportCsv(lists, first, toFile);
        case ExportFormat::Html:
            return exportHtml(lists, context, first);
        case ExportFormat::Json:
            return exportJson(lists, context, first);
        case ExportFormat::RegUndo:
            return exportRegUndo(lists, context, first);
        case ExportFormat::Cmd:
            return exportCmd(lists);
        case ExportFormat::Markdown:
            return exportMarkdown(lists, context, first);
    }
    return {};
}

}  // namespace qv

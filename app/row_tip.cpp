#include "app/row_tip.h"

#include "app/exports.h"
#include "app/result_lists.h"

namespace qv {
namespace {

constexpr const char* kArrow = " \xE2\x86\x92 ";

// A tooltip wraps only at blanks: a long path or value has its lines broken
// every so many characters, and a multi-string's tabs, which it would draw as
// boxes, are left out after its line breaks.
std::string tipLines(std::string_view text) {
    constexpr size_t kLineChars = 100;
    std::string out;
    size_t inLine = 0;
    bool afterBreak = false;
    for (const char c : text) {
        if (c == '\n') {
            out += c;
            inLine = 0;
            afterBreak = true;
            continue;
        }
        if (c == '\t') {
            if (!afterBreak) out += ' ';
            continue;
        }
        afterBreak = false;
        const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;  // a character, not its tail
        if (starts && c != '\r' && ++inLine > kLineChars) {
            out += "\r\n";
            inLine = 1;
        }
        out += c;
    }
    return out;
}

bool isValueRow(ListId list, const ResultRow& row) { return isRegistryList(list) && row.type != kKeyEntryType; }

void addLine(std::string& text, const std::string& line) {
    if (!text.empty()) text += "\r\n";
    text += line;
}

}  // namespace

std::string rowDetail(ListId list, const ResultRow& row, const RegEntry* first) {
    std::string text;
    if (row.background) addLine(text, "Background: a place that changes on its own (Background.dat)");
    if (row.oldData) addLine(text, "The old data of an edited value, not a deletion");
    if (!isRegistryList(list) && isFolderPath(row.text)) addLine(text, "A folder");
    if (isValueRow(list, row)) {
        // The texts alone may read the same where the type changed.
        const bool retyped = first && first->ValueType != kKeyEntryType && first->ValueType != row.type;
        addLine(text, "Type: " + (retyped ? registryTypeName(first->ValueType) + kArrow : std::string()) +
                          registryTypeName(row.type));
    }
    if (list == ListId::EditedRegistry && first) addLine(text, "Old data: " + first->ValueData);
    // A deleted file's list has its name alone; a modified file's shows what it is now.
    const bool modified = list == ListId::ModifiedFiles;
    if (row.firstSize != kUnknownFileSize)
        addLine(text, std::string(modified ? "Old size: " : "Size: ") + std::to_string(row.firstSize) + " bytes");
    if (!row.firstDate.empty()) addLine(text, std::string(modified ? "Old date: " : "Modified: ") + row.firstDate);
    return text;
}

std::string rowTipText(ListId list, const ResultRow& row, std::string_view detail) {
    const ResultColumns names = resultListColumns(list);
    std::string text;
    for (int c = 0; c < names.count; ++c) {
        if (c) text += "\r\n";
        text += names.names[c];
        text += ": ";
        const std::string& cell = resultCell(row, c);
        text += c == 1 && cell.empty() && isValueRow(list, row) ? "(Default)" : cell;
    }
    if (!detail.empty()) {
        text += "\r\n";
        text += detail;
    }
    text = tipLines(text);
    constexpr size_t kMostShown = 4000;
    if (text.size() > kMostShown) {
        size_t cut = kMostShown;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
        text.resize(cut);
        text += "\xE2\x80\xA6";
    }
    return text;
}

}  // namespace qv

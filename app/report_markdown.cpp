// The report as GitHub-flavoured Markdown, to paste into a ticket or a forum
// post: the header, the counts, then one table per list.
#include <algorithm>
#include <string>
#include <string_view>

#include "app/exports.h"
#include "app/report_model.h"

namespace qv {
namespace {

bool asciiPunctuation(char c) {
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
}

bool wordChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Text that reads as itself in a table cell: a pipe would end the cell and a
// line break the row, so they become \| and <br>; the characters Markdown
// takes for emphasis, links, code or HTML are escaped. Backslashes, which
// every Windows path holds, are doubled only where they would escape
// what follows, so the raw text stays readable in a forum's editor too.
std::string cell(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char next = i + 1 < text.size() ? text[i + 1] : ' ';
        const char before = i > 0 ? text[i - 1] : ' ';
        switch (c) {
            case '\r':
                if (next == '\n') ++i;
                out += "<br>";
                break;
            case '\n': out += "<br>"; break;
            case '\t': out += ' '; break;
            case '\\': out += asciiPunctuation(next) ? "\\\\" : "\\"; break;
            case '_':
                if (!wordChar(before) || !wordChar(next)) out += '\\';
                out += c;
                break;
            case '|':
            case '*':
            case '`':
            case '[':
            case ']':
            case '<':
            case '>':
            case '~':
            case '&':
                out += '\\';
                out += c;
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    // The control character's picture (U+2400 onwards).
                    const unsigned picture = 0x2400u + static_cast<unsigned char>(c);
                    out += static_cast<char>(0xE0 | (picture >> 12));
                    out += static_cast<char>(0x80 | ((picture >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (picture & 0x3F));
                } else {
                    out += c;
                }
        }
    }
    return out;
}

// A path as code, where a backslash is itself; a fence longer than any run
// of backticks inside keeps it whole.
std::string code(std::string_view text) {
    size_t longest = 0, run = 0;
    for (char c : text) {
        run = c == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    const std::string fence(longest + 1, '`');
    const bool pad = !text.empty() && (text.front() == '`' || text.back() == '`');
    std::string inside(text);
    for (char& c : inside)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    return fence + (pad ? " " : "") + inside + (pad ? " " : "") + fence;
}

std::string joinedCells(const std::vector<std::string>& lines) {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) out += "<br>";
        out += cell(lines[i]);
    }
    return out;
}

std::string rowsText(size_t n) {
    return std::to_string(n) + (n == 1 ? " row" : " rows");
}

class MarkdownReport {
public:
    MarkdownReport(const ResultLists& lists, const ResultContext& context, const RegSnapshot& first)
        : context_(context), model_(reportModel(lists, context, first)) {}

    std::string write() {
        header();
        summary();
        for (ListId id : kAllLists) list(model_[id]);
        background();
        return std::move(out_);
    }

private:
    void header() {
        out_ += "# Quorvel report\n\n";
        if (!context_.facts.comment.empty()) {
            std::string_view rest = context_.facts.comment;
            while (true) {
                const size_t end = rest.find('\n');
                std::string_view line = rest.substr(0, end);
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                out_ += "> " + cell(line) + "\n";
                if (end == std::string_view::npos) break;
                rest.remove_prefix(end + 1);
            }
            out_ += "\n";
        }
        for (const auto& [label, text] : reportFacts(context_)) {
            out_ += "- **" + label + ":**";
            const bool places = label.rfind("Registry", 0) == 0 || label.rfind("Folder", 0) == 0;
            if (!places) {
                out_ += ' ';
                out_ += cell(text);
                out_ += '\n';
                continue;
            }
            std::string_view rest = text;
            for (size_t end; (end = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(end + 1))
                out_ += "\n  - " + code(rest.substr(0, end));
            out_ += "\n  - " + code(rest) + "\n";
        }
        out_ += "\n";
    }

    void summary() {
        out_ += "## Summary\n\n| List | Rows |\n|:---|---:|\n";
        for (const ReportList& l : model_.lists)
            out_ += "| " + cell(resultListTitle(l.list)) + " | " +
                    (l.checked ? std::to_string(l.count) : std::string("not checked")) + " |\n";
        out_ += "\n";
        const ReportList& deleted = model_[ListId::DeletedEntries];
        if (deleted.oldValues > 0)
            out_ += "Edited values were not checked: the deleted registry list also shows the old data of " +
                    rowsText(deleted.oldValues) + ", marked as such.\n\n";
        if (model_.background > 0)
            out_ += "Not counted above: " + rowsText(model_.background) +
                    " in places that change on their own (Background.dat), listed last.\n\n";
    }

    void list(const ReportList& l) {
        out_ += "## " + cell(resultListTitle(l.list));
        if (!l.checked) {
            out_ += "\n\nNot checked.\n\n";
            return;
        }
        out_ += " (" + std::to_string(l.count) + ")\n\n";
        if (l.rows.count == 0) {
            out_ += "No changes.\n\n";
            return;
        }
        table(l.list, l.rows);
    }

    void background() {
        if (model_.background == 0) return;
        out_ += "## Background changes (" + std::to_string(model_.background) +
                ")\n\nIn places that change on their own (Background.dat): most likely not the installer's.\n\n";
        for (const ReportList& l : model_.lists) {
            if (l.background == 0) continue;
            out_ += "### " + cell(resultListTitle(l.list)) + " (" + std::to_string(l.background) + ")\n\n";
            table(l.list, l.backgroundRows);
        }
    }

    // One table for a list: the path its rows share is written once above it,
    // and each row names its key or folder below that path.
    void table(ListId list, const ReportSection& top) {
        if (!top.label.empty()) out_ += "All below " + code(top.label) + "\n\n";
        const bool registry = isRegistryList(list);
        if (registry) {
            out_ += list == ListId::EditedRegistry ? "| Key | Value | Type | Old data → new data |\n"
                                                   : "| Key | Value | Type | Data |\n";
        } else {
            out_ += std::string("| Folder | Name | Size | ") +
                    (list == ListId::NewFiles ? "Created" : list == ListId::DeletedFiles ? "Last date" : "Modified") +
                    " |\n";
        }
        out_ += "|:---|:---|:---|:---|\n";
        rows(list, top, top.path.size());
        out_ += "\n";
    }

    void rows(ListId list, const ReportSection& s, size_t topLength) {
        std::string_view below = s.path;
        below.remove_prefix(std::min(topLength, below.size()));
        while (!below.empty() && below.front() == '\\') below.remove_prefix(1);
        for (const ReportEntry& e : s.entries) {
            out_ += "| " + cell(below) + " | " + cell(e.name) + " | ";
            if (isRegistryList(list)) {
                registryCells(list, e);
            } else {
                fileCells(list, *e.row);
            }
            out_ += " |\n";
        }
        for (const ReportSection& child : s.children) rows(list, child, topLength);
    }

    void registryCells(ListId list, const ReportEntry& e) {
        const ResultRow& row = *e.row;
        if (list != ListId::EditedRegistry) {
            out_ += typeText(row.type) + " | " + joinedCells(valueLines(row.sub2, row.type));
            if (row.oldData) out_ += " *(old data of an edited value)*";
            return;
        }
        const EditView edit = editView(e);
        out_ += edit.retyped ? edit.oldType + " → " + edit.newType : edit.newType;
        out_ += " | ";
        if (e.was) out_ += joinedCells(edit.oldLines) + " → ";
        out_ += joinedCells(edit.newLines);
        if (edit.bytesOnly) out_ += " *(other bytes)*";
    }

    void fileCells(ListId list, const ResultRow& row) {
        if (list == ListId::DeletedFiles) {
            out_ += (row.firstSize == kUnknownFileSize ? std::string() : sizeText(row.firstSize)) + " | " +
                    cell(row.firstDate);
            return;
        }
        const std::optional<uint64_t> size = rowSize(row);
        if (list == ListId::ModifiedFiles && row.firstSize != kUnknownFileSize && size && row.firstSize != *size)
            out_ += sizeText(row.firstSize) + " → ";
        if (size) out_ += sizeText(*size);
        out_ += " | ";
        if (list == ListId::ModifiedFiles && !row.firstDate.empty() && row.firstDate != row.sub2)
            out_ += cell(row.firstDate) + " → ";
        out_ += cell(row.sub2);
    }

    const ResultContext& context_;
    ReportModel model_;
    std::string out_;
};

}  // namespace

std::string exportMarkdown(const ResultLists& lists, const ResultContext& context, const RegSnapshot& first) {
    return MarkdownReport(lists, context, first).write();
}

}  // namespace qv

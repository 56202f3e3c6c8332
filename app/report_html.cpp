// The HTML report: one page that carries everything it shows (styles, the
// chart, the find box's script), so that it opens offline, attached to a
// ticket, and prints on A4 and Letter alike.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/exports.h"
#include "app/report_model.h"

namespace qv {
namespace {

void htmlText(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default:
                // A control character that a name or a value may hold is shown
                // by its picture (U+2400 onwards), not dropped or sent raw.
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n') {
                    const unsigned picture = 0x2400u + static_cast<unsigned char>(c);
                    out += static_cast<char>(0xE0 | (picture >> 12));
                    out += static_cast<char>(0x80 | ((picture >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (picture & 0x3F));
                } else {
                    out += c;
                }
        }
    }
}

std::string html(std::string_view text) {
    std::string out;
    htmlText(out, text);
    return out;
}

// A list's name as a fragment that the summary links to.
const char* anchorOf(ListId list) {
    switch (list) {
        case ListId::NewEntries: return "new-registry-entries";
        case ListId::DeletedEntries: return "deleted-registry-entries";
        case ListId::EditedRegistry: return "edited-registry-data";
        case ListId::NewFiles: return "new-files";
        case ListId::DeletedFiles: return "deleted-files";
        case ListId::ModifiedFiles: return "modified-files";
    }
    return "";
}

// New, gone and changed read the same in both halves of the report.
const char* kindOf(ListId list) {
    switch (list) {
        case ListId::NewEntries:
        case ListId::NewFiles: return "new";
        case ListId::DeletedEntries:
        case ListId::DeletedFiles: return "gone";
        default: return "changed";
    }
}

std::string rowsText(size_t n) {
    return std::to_string(n) + (n == 1 ? " row" : " rows");
}

std::string groupedBytes(uint64_t bytes) {
    std::string digits = std::to_string(bytes), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out + (bytes == 1 ? " byte" : " bytes");
}

// kUnknownFileSize gives an empty cell.
std::string sizeCell(uint64_t bytes) {
    if (bytes == kUnknownFileSize) return {};
    return "<span title=\"" + groupedBytes(bytes) + "\">" + sizeText(bytes) + "</span>";
}

std::string lines(const std::vector<std::string>& texts) {
    std::string out;
    for (const std::string& text : texts) out += "<span class=\"ln\">" + html(text) + "</span>";
    return out;
}

std::string typeTag(const std::string& type) {
    return type.empty() ? std::string() : "<span class=\"type\">" + type + "</span>";
}

constexpr std::string_view kStyle = R"(
:root{--ink:#1d232b;--mute:#5d6773;--rule:#d5dbe1;--band:#f3f5f7;--new:#2f8f4e;--gone:#c2413b;--changed:#c98a12}
*{box-sizing:border-box}
body{margin:0 auto;max-width:70rem;padding:2rem 2.2rem 3rem;color:var(--ink);background:#fff;
font:14px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,"Helvetica Neue",Arial,sans-serif}
code,.mono,td.name,td.data,summary .path,.places{font-family:ui-monospace,Consolas,"DejaVu Sans Mono","Liberation Mono",monospace;font-size:.92em}
h1{font-size:1.55rem;margin:0 0 .15rem}
h2{font-size:1.12rem;margin:2rem 0 .5rem;padding-bottom:.25rem;border-bottom:2px solid var(--ink);display:flex;gap:.6rem;align-items:baseline}
h2 .n{font-weight:normal;color:var(--mute);font-size:.9rem}
.sub{color:var(--mute);margin:0 0 1rem}
.comment{margin:.8rem 0 1rem;padding:.6rem .9rem;border-left:4px solid var(--ink);background:var(--band);white-space:pre-wrap}
dl.facts{display:grid;grid-template-columns:max-content 1fr;gap:.25rem 1.2rem;margin:0;padding:.8rem 0;border-top:1px solid var(--rule);border-bottom:1px solid var(--rule)}
dl.facts dt{color:var(--mute)}
dl.facts dd{margin:0;white-space:pre-wrap;overflow-wrap:anywhere}
table{border-collapse:collapse;width:100%;table-layout:fixed}
th,td{text-align:left;vertical-align:top;padding:.22rem .5rem;border-bottom:1px solid var(--rule);overflow-wrap:anywhere}
th{font-weight:600;color:var(--mute);font-size:.85em;border-bottom:1px solid var(--mute)}
table.counts{width:auto;min-width:32rem}
table.counts td{border-bottom:1px solid var(--rule)}
table.counts th.num,table.counts td.num{text-align:right;font-variant-numeric:tabular-nums;padding-right:1rem}
table.counts tr.off td{color:var(--mute);font-style:italic}
table.counts a{color:inherit}
svg.bar{display:block}
svg.bar rect.new{fill:var(--new)}svg.bar rect.gone{fill:var(--gone)}svg.bar rect.changed{fill:var(--changed)}
.prefix{margin:.3rem 0 .5rem;color:var(--mute)}
.prefix code{color:var(--ink);background:var(--band);padding:.05rem .3rem;border-radius:3px}
details{margin:.25rem 0 .25rem .2rem;padding-left:.8rem;border-left:2px solid var(--rule)}
summary{cursor:pointer;padding:.15rem 0;list-style-position:outside}
summary .n{color:var(--mute);margin-left:.5rem;font-size:.88em}
td.size,td.date{white-space:nowrap}
td.size{font-variant-numeric:tabular-nums}
.ln{display:block;white-space:pre-wrap}
.type{display:inline-block;font:600 .72em/1.5 system-ui,sans-serif;color:var(--mute);border:1px solid var(--rule);border-radius:3px;padding:0 .3rem;margin-left:.4rem;vertical-align:1px}
.edit{display:flex;gap:.5rem;align-items:flex-start}
.edit .old{color:var(--gone);text-decoration:line-through;text-decoration-color:rgba(194,65,59,.45)}
.edit .new{color:var(--new)}
.arrow{color:var(--mute)}
.was{color:var(--mute)}
.note{color:var(--mute);font-style:italic;font-size:.88em}
.empty{color:var(--mute);font-style:italic}
#find{position:sticky;top:0;background:#fff;padding:.6rem 0;border-bottom:1px solid var(--rule);z-index:1;display:flex;gap:.6rem;align-items:center}
#find input{font:inherit;padding:.25rem .5rem;width:22rem;border:1px solid var(--mute);border-radius:4px}
#find[hidden]{display:none}
footer{margin-top:2.5rem;color:var(--mute);font-size:.85em;border-top:1px solid var(--rule);padding-top:.5rem}
@page{margin:14mm 12mm}
@media print{
body{max-width:none;padding:0;font-size:9pt}
#find{display:none}
h2{break-after:avoid}
tr{break-inside:avoid}
thead{display:table-header-group}
details{border-left-color:#bbb}
details::details-content{content-visibility:visible;display:contents}
summary{list-style:none}
a{text-decoration:none}
}
)";

// Filters the rows as the window's find box does, ignoring letter case, and
// unfolds what holds a match; printing unfolds every section. Without script
// the box stays hidden and every section keeps its place.
constexpr std::string_view kScript = R"(
(function(){
var bar=document.getElementById('find'),box=document.getElementById('find-text'),said=document.getElementById('find-count');
var rows=[].slice.call(document.querySelectorAll('tr.r')),folds=[].slice.call(document.querySelectorAll('details'));
folds.forEach(function(d){d.dataset.o=d.open?'1':'';});
function text(r){if(r.t===undefined){var d=r.closest('details');r.t=(r.textContent+' '+(d?d.dataset.path:'')).toLowerCase();}return r.t;}
box.addEventListener('input',function(){
var q=box.value.trim().toLowerCase(),n=0;
rows.forEach(function(r){var hit=!q||text(r).indexOf(q)>=0;r.hidden=!hit;if(hit&&q)n++;});
folds.forEach(function(d){var any=!!d.querySelector('tr.r:not([hidden])');d.hidden=!!q&&!any;d.open=q?any:d.dataset.o==='1';});
said.textContent=q?(n+(n==1?' row':' rows')+' found'):'';
});
window.addEventListener('beforeprint',function(){folds.forEach(function(d){d.dataset.p=d.open?'1':'';d.open=true;});});
window.addEventListener('afterprint',function(){folds.forEach(function(d){d.open=d.dataset.p==='1';});});
bar.hidden=false;
})();
)";

class HtmlReport {
public:
    HtmlReport(const ResultLists& lists, const ResultContext& context, const RegSnapshot& first)
        : context_(context), model_(reportModel(lists, context, first)) {}

    std::string write() {
        head();
        header();
        summary();
        out_ += "<div id=\"find\" hidden><label for=\"find-text\">Find</label>"
                "<input type=\"search\" id=\"find-text\" placeholder=\"a key, value, file or folder\" "
                "autocomplete=\"off\"><span id=\"find-count\" class=\"note\"></span></div>\n";
        for (ListId id : kAllLists) list(model_[id]);
        background();
        out_ += "<footer>Written by Quorvel";
        if (!context_.facts.version.empty()) {
            out_ += ' ';
            out_ += html(context_.facts.version);
        }
        out_ += ". Sections of more than " + std::to_string(kOpenSectionRows) +
                " rows are folded; their summary line opens them.</footer>\n<script>";
        out_ += kScript;
        out_ += "</script>\n</body>\n</html>\n";
        return std::move(out_);
    }

private:
    void head() {
        out_ += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>Quorvel report";
        if (!context_.facts.comment.empty()) out_ += ": " + html(firstLine(context_.facts.comment));
        out_ += "</title>\n<style>";
        out_ += kStyle;
        out_ += "</style>\n</head>\n<body>\n";
    }

    static std::string_view firstLine(std::string_view text) {
        return text.substr(0, text.find_first_of("\r\n"));
    }

    void header() {
        out_ += "<header>\n<h1>Quorvel report</h1>\n<p class=\"sub\">What changed between two snapshots of a "
                "Windows machine&#39;s registry and files.</p>\n";
        if (!context_.facts.comment.empty())
            out_ += "<p class=\"comment\" id=\"comment\">" + html(context_.facts.comment) + "</p>\n";
        out_ += "<dl class=\"facts\">\n";
        for (const auto& [label, text] : reportFacts(context_)) {
            const bool places = label.rfind("Registry", 0) == 0 || label.rfind("Folder", 0) == 0;
            out_ += "<dt>" + html(label) + "</dt><dd" + (places ? " class=\"places\"" : "") + ">" + html(text) +
                    "</dd>\n";
        }
        out_ += "</dl>\n</header>\n";
    }

    void summary() {
        size_t most = 1;
        for (const ReportList& l : model_.lists) most = std::max(most, l.count);
        out_ += "<section id=\"summary\">\n<h2>Summary</h2>\n<table class=\"counts\">\n"
                "<thead><tr><th>List</th><th class=\"num\">Rows</th><th>Share</th></tr></thead>\n<tbody>\n";
        for (const ReportList& l : model_.lists) {
            out_ += l.checked ? "<tr>" : "<tr class=\"off\">";
            out_ += "<td><a href=\"#" + std::string(anchorOf(l.list)) + "\">" + html(resultListTitle(l.list)) +
                    "</a></td>";
            if (!l.checked) {
                out_ += "<td class=\"num\">not checked</td><td></td></tr>\n";
                continue;
            }
            out_ += "<td class=\"num\" data-list=\"" + std::string(anchorOf(l.list)) + "\">" +
                    std::to_string(l.count) + "</td><td>";
            // A list with any rows keeps a sliver of bar, so that it never
            // reads as empty beside a large one.
            constexpr int kWidth = 260;
            const double share = static_cast<double>(l.count) / static_cast<double>(most);
            const int width = l.count == 0 ? 0 : std::max(2, static_cast<int>(share * kWidth + 0.5));
            char svg[256];
            std::snprintf(svg, sizeof svg,
                          "<svg class=\"bar\" width=\"%d\" height=\"14\" viewBox=\"0 0 %d 14\" role=\"img\" "
                          "aria-label=\"%zu\"><rect x=\"0\" y=\"2\" width=\"%d\" height=\"10\" rx=\"2\" "
                          "class=\"%s\"/></svg>",
                          kWidth, kWidth, l.count, width, kindOf(l.list));
            out_ += svg;
            out_ += "</td></tr>\n";
        }
        out_ += "</tbody>\n</table>\n";
        const ReportList& deleted = model_[ListId::DeletedEntries];
        if (deleted.oldValues > 0)
            out_ += "<p class=\"note\">Edited values were not checked: the deleted registry list also shows the "
                    "old data of " + rowsText(deleted.oldValues) + ", marked as such.</p>\n";
        if (model_.background > 0)
            out_ += "<p class=\"note\">Not counted above: <a href=\"#background\">" + rowsText(model_.background) +
                    "</a> in places that change on their own (Background.dat).</p>\n";
        out_ += "</section>\n";
    }

    void list(const ReportList& l) {
        out_ += "<section class=\"list\" id=\"" + std::string(anchorOf(l.list)) + "\">\n<h2>" +
                html(resultListTitle(l.list));
        if (l.checked) out_ += " <span class=\"n\">" + rowsText(l.count) + "</span>";
        out_ += "</h2>\n";
        if (!l.checked) {
            out_ += "<p class=\"empty\">Not checked.</p>\n</section>\n";
            return;
        }
        if (l.rows.count == 0) {
            out_ += "<p class=\"empty\">No changes.</p>\n</section>\n";
            return;
        }
        tree(l.list, l.rows);
        out_ += "</section>\n";
    }

    void background() {
        if (model_.background == 0) return;
        out_ += "<section id=\"background\">\n<h2>Background changes <span class=\"n\">" +
                rowsText(model_.background) +
                "</span></h2>\n<details class=\"bg\" data-path=\"\"><summary>Changes in places that change on "
                "their own (Background.dat), which the installer most likely did not make<span class=\"n\">" +
                std::to_string(model_.background) + "</span></summary>\n";
        for (const ReportList& l : model_.lists) {
            if (l.background == 0) continue;
            out_ += "<h3>" + html(resultListTitle(l.list)) + " <span class=\"n\">" + rowsText(l.background) +
                    "</span></h3>\n";
            tree(l.list, l.backgroundRows);
        }
        out_ += "</details>\n</section>\n";
    }

    // The top of a list: the path its rows share, written once, then its own
    // rows and its sections.
    void tree(ListId list, const ReportSection& top) {
        if (!top.label.empty()) out_ += "<p class=\"prefix\">All below <code>" + html(top.label) + "</code></p>\n";
        rows(list, top);
        for (const ReportSection& child : top.children) section(list, child);
    }

    void section(ListId list, const ReportSection& s) {
        out_ += "<details data-path=\"" + html(s.path) + "\"" + (s.open() ? " open" : "") +
                "><summary><span class=\"path\" title=\"" + html(s.path) + "\">" + html(s.label) +
                "</span><span class=\"n\">" + std::to_string(s.count) + "</span></summary>\n";
        rows(list, s);
        for (const ReportSection& child : s.children) section(list, child);
        out_ += "</details>\n";
    }

    void rows(ListId list, const ReportSection& s) {
        if (s.entries.empty()) return;
        const bool registry = isRegistryList(list);
        out_ += "<table class=\"rows\">";
        if (registry) {
            out_ += "<colgroup><col style=\"width:30%\"><col></colgroup><thead><tr><th>Value</th><th>";
            out_ += list == ListId::EditedRegistry ? "Old data &#8594; new data" : "Data";
        } else {
            out_ += "<colgroup><col><col style=\"width:9rem\"><col style=\"width:13rem\"></colgroup>"
                    "<thead><tr><th>Name</th><th>Size</th><th>";
            out_ += list == ListId::NewFiles ? "Created" : list == ListId::DeletedFiles ? "Last date" : "Modified";
        }
        out_ += "</th></tr></thead>\n<tbody>\n";
        for (const ReportEntry& e : s.entries) {
            out_ += "<tr class=\"r\"><td class=\"name\">" + html(e.name) + "</td>";
            if (registry) {
                registryData(list, e);
            } else {
                fileCells(list, *e.row);
            }
            out_ += "</tr>\n";
        }
        out_ += "</tbody></table>\n";
    }

    void registryData(ListId list, const ReportEntry& e) {
        const ResultRow& row = *e.row;
        out_ += "<td class=\"data\">";
        if (list == ListId::EditedRegistry) {
            const EditView edit = editView(e);
            out_ += "<div class=\"edit\">";
            if (e.was) {
                out_ += "<div class=\"old\">" + lines(edit.oldLines) + "</div><span class=\"arrow\">&#8594;</span>";
            }
            out_ += "<div class=\"new\">" + lines(edit.newLines) + "</div>";
            if (edit.retyped) {
                out_ += "<span class=\"type\">" + edit.oldType + " &#8594; " + edit.newType + "</span>";
            } else {
                out_ += typeTag(edit.newType);
            }
            if (edit.bytesOnly) out_ += "<span class=\"note\">other bytes</span>";
            out_ += "</div>";
        } else {
            out_ += "<div class=\"edit\"><div>" + lines(valueLines(row.sub2, row.type)) + "</div>" +
                    typeTag(typeText(row.type)) + "</div>";
        }
        if (row.oldData) out_ += "<span class=\"note\">old data of an edited value</span>";
        out_ += "</td>";
    }

    void fileCells(ListId list, const ResultRow& row) {
        if (list == ListId::DeletedFiles) {
            out_ += "<td class=\"size\">" + sizeCell(row.firstSize) + "</td><td class=\"date\">" + html(row.firstDate) +
                    "</td>";
            return;
        }
        const uint64_t size = rowSize(row).value_or(kUnknownFileSize);
        out_ += "<td class=\"size\">";
        if (list == ListId::ModifiedFiles && row.firstSize != kUnknownFileSize && size != kUnknownFileSize &&
            row.firstSize != size)
            out_ += "<span class=\"was\">" + sizeCell(row.firstSize) + " &#8594;</span> ";
        out_ += sizeCell(size) + "</td><td class=\"date\">";
        if (list == ListId::ModifiedFiles && !row.firstDate.empty() && row.firstDate != row.sub2)
            out_ += "<span class=\"ln was\">" + html(row.firstDate) + " &#8594;</span>";
        out_ += html(row.sub2) + "</td>";
    }

    const ResultContext& context_;
    ReportModel model_;
    std::string out_;
};

}  // namespace

std::string exportHtml(const ResultLists& lists, const ResultContext& context, const RegSnapshot& first) {
    return HtmlReport(lists, context, first).write();
}

}  // namespace qv

#include "app/report_model.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include "app/change_detection.h"
#include "app/exports.h"
#include "capture/date_text.h"
#include "core/registry_types.h"

namespace qv {
namespace {

constexpr std::string_view kMultiStringJoin = "\r\n\t\t\t\t\t\t";
// Seconds from 1601-01-01, where the calendar's count begins, to 1970-01-01.
constexpr int64_t kUnixEpochIn1601 = 11644473600;

char foldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Keys and Windows paths ignore letter case, so their sections sort that way.
bool lessNoCase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char x = foldAscii(a[i]), y = foldAscii(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    return a.size() < b.size();
}

struct Node {
    std::map<std::string, std::unique_ptr<Node>> children;
    std::vector<ReportEntry> entries;
};

// A row's section path split at its backslashes, and its name within it.
struct Placed {
    std::vector<std::string_view> parts;
    std::string name;
};

std::vector<std::string_view> splitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const size_t slash = path.find('\\');
        parts.push_back(path.substr(0, slash));
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

Placed placeRow(ListId list, const ResultRow& row, const ResultContext& context, std::string& whole) {
    if (isRegistryList(list)) {
        const auto [root, key] = rowRootAndKey(context, row.text);
        whole = root.empty() ? std::string(key) : std::string(root) + (key.empty() ? "" : "\\") + std::string(key);
        while (!whole.empty() && whole.back() == '\\') whole.pop_back();
        std::string name = row.sub1;
        if (name.empty()) name = row.type == kKeyEntryType ? "(key)" : "(Default)";
        return {splitPath(whole), std::move(name)};
    }
    whole = row.text;
    const bool folder = isFolderPath(whole);
    if (folder) whole.pop_back();
    const size_t slash = whole.rfind('\\');
    std::string name = slash == std::string::npos ? whole : whole.substr(slash + 1);
    if (folder) name += '\\';
    whole.resize(slash == std::string::npos ? 0 : slash);
    return {splitPath(whole), std::move(name)};
}

// A chain of sections that hold nothing but one section more reads as one
// path; what is left becomes the report's tree, children in name order.
ReportSection sectionOf(std::string label, std::string path, Node& node, bool files) {
    Node* at = &node;
    while (at->entries.empty() && at->children.size() == 1) {
        auto& [name, child] = *at->children.begin();
        if (!label.empty() || !path.empty()) {
            label += '\\';
            path += '\\';
        }
        label += name;
        path += name;
        at = child.get();
    }
    ReportSection section;
    section.label = std::move(label);
    section.path = path;
    // A folder is written as the start folder is, with its backslash.
    if (files && !section.label.empty()) section.label += '\\';
    if (files && !section.path.empty()) section.path += '\\';
    section.entries = std::move(at->entries);
    section.count = section.entries.size();
    for (auto& [name, child] : at->children) {
        section.children.push_back(sectionOf(name, path.empty() ? name : path + '\\' + name, *child, files));
        section.count += section.children.back().count;
    }
    std::stable_sort(section.children.begin(), section.children.end(),
                     [](const ReportSection& a, const ReportSection& b) { return lessNoCase(a.label, b.label); });
    return section;
}

class TreeBuilder {
public:
    TreeBuilder(ListId list, const ResultContext& context) : list_(list), context_(context) {}
    void add(const ResultRow& row, const RegEntry* was) {
        std::string whole;
        Placed placed = placeRow(list_, row, context_, whole);
        Node* at = &root_;
        for (std::string_view part : placed.parts) {
            std::unique_ptr<Node>& child = at->children[std::string(part)];
            if (!child) child = std::make_unique<Node>();
            at = child.get();
        }
        at->entries.push_back({&row, std::move(placed.name), was});
    }
    ReportSection take() { return sectionOf({}, {}, root_, !isRegistryList(list_)); }

private:
    ListId list_;
    const ResultContext& context_;
    Node root_;
};

std::string joined(const std::vector<std::string>& parts, std::string_view between) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += between;
        out += parts[i];
    }
    return out;
}

std::string snapshotText(const SnapshotFacts& s) {
    std::vector<std::string> parts;
    if (s.takenAt >= 0) parts.push_back(utcText(s.takenAt));
    if (!s.machine.empty()) parts.push_back("machine " + s.machine);
    if (!s.user.empty()) parts.push_back("user " + s.user);
    return joined(parts, ", ");
}

}  // namespace

ReportModel reportModel(const ResultLists& lists, const ResultContext& context, const RegSnapshot& first) {
    const OldEntries old(lists, first);
    const bool editsShown = context.isChecked(ListId::EditedRegistry);
    ReportModel model;
    for (ListId id : kAllLists) {
        ReportList& list = model.lists[static_cast<size_t>(id)];
        list.list = id;
        list.checked = context.isChecked(id);
        TreeBuilder rows(id, context), background(id, context);
        for (const ResultRow& row : lists[id]) {
            if (row.oldData && editsShown) continue;
            if (row.background) {
                background.add(row, old.find(id, row));
                ++list.background;
            } else {
                rows.add(row, old.find(id, row));
                if (row.oldData) {
                    ++list.oldValues;
                } else {
                    ++list.count;
                }
            }
        }
        list.rows = rows.take();
        list.backgroundRows = background.take();
        model.background += list.background;
    }
    return model;
}

std::vector<std::string> reportRegistryPlaces(const ResultContext& context) {
    if (!context.registryPlaces.empty()) return context.registryPlaces;
    if (context.hiveName.empty()) return {};
    return {context.hiveName + (context.startKey.empty() ? "" : "\\" + context.startKey)};
}

std::vector<std::string> reportFolderPlaces(const ResultContext& context) {
    if (!context.folderPlaces.empty()) return context.folderPlaces;
    if (context.startFolder.empty()) return {};
    return {context.startFolder};
}

std::vector<std::pair<std::string, std::string>> reportFacts(const ResultContext& context) {
    std::vector<std::pair<std::string, std::string>> facts;
    const ReportFacts& f = context.facts;
    if (std::string text = snapshotText(f.before); !text.empty()) facts.emplace_back("First snapshot", text);
    if (std::string text = snapshotText(f.after); !text.empty()) facts.emplace_back("Final snapshot", text);
    const std::vector<std::string> keys = reportRegistryPlaces(context), folders = reportFolderPlaces(context);
    if (!keys.empty()) facts.emplace_back(keys.size() == 1 ? "Registry key" : "Registry keys", joined(keys, "\n"));
    if (!folders.empty()) facts.emplace_back(folders.size() == 1 ? "Folder" : "Folders", joined(folders, "\n"));
    // The lists that were not looked for are named: "0 rows" there would say
    // nothing changed where nobody looked.
    std::vector<std::string> unchecked;
    for (ListId list : kAllLists) {
        if (context.isChecked(list)) continue;
        std::string name(resultListTitle(list));
        if (f.switches)
            name += listChecked(list, *f.switches, true, true) ? " (its place was not collected)" : " (switched off)";
        unchecked.push_back(std::move(name));
    }
    facts.emplace_back("Detection",
                       unchecked.empty() ? "all six lists checked" : "not checked: " + joined(unchecked, "; "));
    // What a snapshot could not read: the lists cannot tell what changed there.
    if (!context.unread.empty()) facts.emplace_back("Not read", joined(context.unread, "\n"));
    if (!f.version.empty()) facts.emplace_back("Written by", "Quorvel " + f.version);
    return facts;
}

std::string utcText(int64_t secondsSince1970) {
    const CivilTime t = civilTime(secondsSince1970 + kUnixEpochIn1601);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

std::string sizeText(uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024;
    size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::optional<uint64_t> rowSize(const ResultRow& row) {
    const std::string& cell = row.sub1;
    if (cell.empty() || cell.size() > 19 || cell.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoull(cell);
}

std::vector<std::string> valueLines(std::string_view data, uint32_t type) {
    // A snapshot of an older version kept no types: its multi-strings are
    // known by the joint alone.
    if (type != kRegMultiSz && type != kKeyEntryType) return {std::string(data)};
    std::vector<std::string> lines;
    for (size_t at; (at = data.find(kMultiStringJoin)) != std::string_view::npos;
         data.remove_prefix(at + kMultiStringJoin.size()))
        lines.emplace_back(data.substr(0, at));
    lines.emplace_back(data);
    return lines;
}

std::string typeText(uint32_t type) {
    return type == kKeyEntryType ? std::string() : registryTypeName(type);
}

EditView editView(const ReportEntry& entry) {
    const ResultRow& row = *entry.row;
    EditView view;
    view.newLines = valueLines(row.sub2, row.type);
    view.newType = typeText(row.type);
    if (!entry.was) return view;
    const RegEntry& was = *entry.was;
    view.oldLines = valueLines(was.ValueData, was.ValueType);
    view.oldType = typeText(was.ValueType);
    view.retyped = !view.oldType.empty() && !view.newType.empty() && was.ValueType != row.type;
    view.bytesOnly = !view.retyped && was.ValueData == row.sub2;
    return view;
}

}  // namespace qv

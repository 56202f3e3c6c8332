#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/exports.h"
#include "app/report_model.h"
#include "core/registry_types.h"

namespace qv {
namespace {

size_t occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

ResultRow file(std::string path, std::string size = {}, std::string date = {}) {
    ResultRow row;
    row.text = std::move(path);
    row.sub1 = std::move(size);
    row.sub2 = std::move(date);
    return row;
}

ResultRow value(std::string key, std::string name, std::string data, uint32_t type = kRegSz) {
    ResultRow row = file(std::move(key), std::move(name), std::move(data));
    row.type = type;
    return row;
}

ResultContext userApp() {
    ResultContext context;
    context.hiveName = "HKEY_CURRENT_USER";
    context.startKey = "Software\\App";
    context.startFolder = "C:\\Games\\";
    return context;
}
const ResultContext kUserApp = userApp();

TEST(ReportModel, RowsGroupByKeyBelowThePathTheyShareWithCountsAndFolding) {
    ResultLists lists;
    auto& rows = lists[ListId::NewEntries];
    rows.push_back(value("Software\\App\\", "Version", "2"));
    rows.push_back(value("Software\\App\\", "", "default"));
    rows.push_back(value("Software\\App\\Sub\\One\\Two\\", "", "", kKeyEntryType));
    for (size_t i = 0; i < kOpenSectionRows; ++i) rows.push_back(value("Software\\App\\Big\\", std::to_string(i), "x"));
    rows.push_back(value("Software\\App\\Big\\Inner\\", "last", "x"));

    const ReportModel model = reportModel(lists, kUserApp, {});
    const ReportSection& top = model[ListId::NewEntries].rows;
    EXPECT_EQ(top.label, "HKEY_CURRENT_USER\\Software\\App");
    EXPECT_EQ(top.count, rows.size());
    ASSERT_EQ(top.entries.size(), 2u);
    EXPECT_EQ(top.entries[0].name, "Version");
    EXPECT_EQ(top.entries[1].name, "(Default)");
    ASSERT_EQ(top.children.size(), 2u);
    // Sections sort by name; a chain of keys that hold nothing else is one.
    const ReportSection& big = top.children[0];
    EXPECT_EQ(big.label, "Big");
    EXPECT_EQ(big.path, "HKEY_CURRENT_USER\\Software\\App\\Big");
    EXPECT_EQ(big.count, kOpenSectionRows + 1);
    EXPECT_FALSE(big.open());
    ASSERT_EQ(big.children.size(), 1u);
    EXPECT_EQ(big.children[0].count, 1u);
    EXPECT_TRUE(big.children[0].open());
    const ReportSection& chain = top.children[1];
    EXPECT_EQ(chain.label, "Sub\\One\\Two");
    ASSERT_EQ(chain.entries.size(), 1u);
    EXPECT_EQ(chain.entries[0].name, "(key)");
    EXPECT_TRUE(chain.open());

    // Exactly the threshold is still open.
    lists[ListId::NewEntries].pop_back();
    EXPECT_TRUE(reportModel(lists, kUserApp, {})[ListId::NewEntries].rows.children[0].open());
}

TEST(ReportModel, FilesGroupByFolderAndAFolderRowStandsInItsParent) {
    ResultLists lists;
    lists[ListId::NewFiles] = {file("C:\\Games\\X\\", "", "d"),
                               file("C:\\Games\\X\\a.txt", "1", "d"),
                               file("C:\\Games\\X\\bin\\", "", "d"),
                               file("C:\\Games\\X\\bin\\c.dll", "2048", "d")};
    lists[ListId::DeletedFiles] = {file("C:\\Games\\old.txt"), file("D:\\elsewhere.txt")};
    const ReportModel model = reportModel(lists, kUserApp, {});
    const ReportSection& top = model[ListId::NewFiles].rows;
    EXPECT_EQ(top.label, "C:\\Games\\");
    ASSERT_EQ(top.entries.size(), 1u);
    EXPECT_EQ(top.entries[0].name, "X\\");
    ASSERT_EQ(top.children.size(), 1u);
    EXPECT_EQ(top.children[0].label, "X\\");
    EXPECT_EQ(top.children[0].count, 3u);
    ASSERT_EQ(top.children[0].children.size(), 1u);
    EXPECT_EQ(top.children[0].children[0].label, "bin\\");
    EXPECT_EQ(top.children[0].children[0].path, "C:\\Games\\X\\bin\\");
    // Rows on two drives share no path.
    const ReportSection& deleted = model[ListId::DeletedFiles].rows;
    EXPECT_EQ(deleted.label, "");
    ASSERT_EQ(deleted.children.size(), 2u);
    EXPECT_EQ(deleted.children[0].label, "C:\\Games\\");
    EXPECT_EQ(deleted.children[1].label, "D:\\");
}

TEST(ReportModel, TheHeaderNamesSnapshotsEveryPlaceAndTheListsNotChecked) {
    ResultContext context;
    context.registryPlaces = {"HKEY_LOCAL_MACHINE\\Software", "HKEY_USERS"};
    context.folderPlaces = {"C:\\", "D:\\Games\\"};
    context.checked[static_cast<size_t>(ListId::DeletedFiles)] = false;
    context.checked[static_cast<size_t>(ListId::EditedRegistry)] = false;
    DetectionSwitches switches;
    switches.chkDeleteFilesSetting = 0;
    context.facts = {"Game 1.2", {1796765585, "DESK", "ann"}, {1796765645, "", ""}, switches, "1.00"};
    context.unread = {"key HKEY_LOCAL_MACHINE\\Software\\Locked", "folder C:\\Secret\\"};
    using Facts = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(reportFacts(context),
              (Facts{{"First snapshot", "2026-12-08 21:33:05 UTC, machine DESK, user ann"},
                     {"Final snapshot", "2026-12-08 21:34:05 UTC"},
                     {"Registry keys", "HKEY_LOCAL_MACHINE\\Software\nHKEY_USERS"},
                     {"Folders", "C:\\\nD:\\Games\\"},
                     {"Detection",
                      "not checked: Edited registry data (its place was not collected); Deleted files (switched off)"},
                     {"Not read", "key HKEY_LOCAL_MACHINE\\Software\\Locked\nfolder C:\\Secret\\"},
                     {"Written by", "Quorvel 1.00"}}));

    // What is not known is left out, not made up.
    EXPECT_EQ(reportFacts(kUserApp), (Facts{{"Registry key", "HKEY_CURRENT_USER\\Software\\App"},
                                            {"Folder", "C:\\Games\\"},
                                            {"Detection", "all six lists checked"}}));

    const std::string html = exportHtml({}, context);
    EXPECT_NE(html.find("<p class=\"comment\" id=\"comment\">Game 1.2</p>"), std::string::npos);
    EXPECT_NE(html.find("<title>Quorvel report: Game 1.2</title>"), std::string::npos);
    EXPECT_NE(html.find("<dd class=\"places\">HKEY_LOCAL_MACHINE\\Software\nHKEY_USERS</dd>"), std::string::npos);
    EXPECT_EQ(occurrences(html, "<td class=\"num\">not checked</td>"), 2u);
    const std::string md = exportMarkdown({}, context);
    EXPECT_NE(md.find("> Game 1.2\n"), std::string::npos) << md;
    EXPECT_NE(md.find("- **Registry keys:**\n  - `HKEY_LOCAL_MACHINE\\Software`\n  - `HKEY_USERS`\n"),
              std::string::npos)
        << md;
    EXPECT_NE(md.find("| Deleted files | not checked |\n"), std::string::npos) << md;
}

TEST(ReportExports, AnEditShowsOldAndNewOnOneLineWithEachStringAndBothTypes) {
    ResultLists lists;
    lists[ListId::EditedRegistry] = {value("Software\\App\\", "Paths", "a\r\n\t\t\t\t\t\tb", kRegMultiSz),
                                     value("Software\\App\\", "Count", "5", kRegDword),
                                     value("Software\\App\\", "Home", "C:\\x", kRegExpandSz)};
    ResultRow old = value("Software\\App\\", "Count", "5");
    old.oldData = true;
    lists[ListId::DeletedEntries] = {old};
    const RegSnapshot first = {{"Software\\App\\", "Paths", "a", kRegMultiSz},
                               {"Software\\App\\", "Count", "5", kRegSz},
                               {"Software\\App\\", "Home", "C:\\x", kRegExpandSz}};
    const ReportModel model = reportModel(lists, kUserApp, first);
    const auto& entries = model[ListId::EditedRegistry].rows.entries;
    ASSERT_EQ(entries.size(), 3u);
    const EditView paths = editView(entries[0]);
    EXPECT_EQ(paths.oldLines, std::vector<std::string>{"a"});
    EXPECT_EQ(paths.newLines, (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(paths.retyped);
    const EditView count = editView(entries[1]);
    EXPECT_TRUE(count.retyped);
    EXPECT_EQ(count.oldType + ">" + count.newType, "REG_SZ>REG_DWORD");
    EXPECT_TRUE(editView(entries[2]).bytesOnly);
    // The old data of the edit is no deletion while edits are listed.
    EXPECT_EQ(model[ListId::DeletedEntries].count, 0u);
    EXPECT_EQ(model[ListId::DeletedEntries].rows.count, 0u);

    const std::string html = exportHtml(lists, kUserApp, first);
    EXPECT_NE(html.find("<div class=\"old\"><span class=\"ln\">a</span></div><span class=\"arrow\">&#8594;</span>"
                        "<div class=\"new\"><span class=\"ln\">a</span><span class=\"ln\">b</span></div>"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("<span class=\"type\">REG_SZ &#8594; REG_DWORD</span>"), std::string::npos);
    EXPECT_EQ(html.find("old data of an edited value"), std::string::npos);
    const std::string md = exportMarkdown(lists, kUserApp, first);
    EXPECT_NE(md.find("|  | Paths | REG_MULTI_SZ | a → a<br>b |\n"), std::string::npos) << md;
    EXPECT_NE(md.find("|  | Count | REG_SZ → REG_DWORD | 5 → 5 |\n"), std::string::npos) << md;
    EXPECT_NE(md.find("## Deleted registry / old entries (0)\n\nNo changes.\n"), std::string::npos) << md;

    // Without the edited list, the old data is the only word of the edit.
    ResultContext noEdits = kUserApp;
    noEdits.checked[static_cast<size_t>(ListId::EditedRegistry)] = false;
    const ReportModel alone = reportModel(lists, noEdits, first);
    EXPECT_EQ(alone[ListId::DeletedEntries].count, 0u);
    EXPECT_EQ(alone[ListId::DeletedEntries].oldValues, 1u);
    EXPECT_NE(exportHtml(lists, noEdits, first).find("<span class=\"note\">old data of an edited value</span>"),
              std::string::npos);
}

TEST(ReportExports, BackgroundRowsAreCountedApartInAFoldedSectionAtTheEnd) {
    ResultLists lists;
    ResultRow prefetch = file("C:\\Windows\\Prefetch\\SETUP.EXE-1.pf", "1536", "d");
    prefetch.background = true;
    lists[ListId::NewFiles] = {file("C:\\Games\\a.exe", "1048576", "d"), prefetch};
    const ReportModel model = reportModel(lists, kUserApp, {});
    EXPECT_EQ(model[ListId::NewFiles].count, 1u);
    EXPECT_EQ(model[ListId::NewFiles].background, 1u);
    EXPECT_EQ(model.background, 1u);

    const std::string html = exportHtml(lists, kUserApp);
    const size_t section = html.find("<section id=\"background\">");
    ASSERT_NE(section, std::string::npos);
    EXPECT_GT(section, html.find("<section class=\"list\" id=\"modified-files\">"));
    EXPECT_NE(html.find("<details class=\"bg\" data-path=\"\"><summary>", section), std::string::npos);
    EXPECT_GT(html.find("SETUP.EXE-1.pf"), section);
    EXPECT_NE(html.find("<td class=\"num\" data-list=\"new-files\">1</td>"), std::string::npos);
    EXPECT_NE(html.find("<span title=\"1,048,576 bytes\">1.0 MB</span>"), std::string::npos);
    EXPECT_NE(html.find("<span title=\"1,536 bytes\">1.5 KB</span>"), std::string::npos);
    const std::string md = exportMarkdown(lists, kUserApp);
    EXPECT_NE(md.find("| New files created | 1 |\n"), std::string::npos) << md;
    EXPECT_NE(md.find("## Background changes (1)\n"), std::string::npos) << md;
    // A table ends at a blank line, before the next heading.
    EXPECT_NE(md.find("1.0 MB | d |\n\n## Deleted files"), std::string::npos) << md;
    EXPECT_GT(md.find("SETUP.EXE-1.pf"), md.find("## Background changes"));
}

TEST(ReportExports, ThePageNamesNoResourceOutsideItself) {
    ResultLists lists;
    lists[ListId::NewEntries] = {value("Software\\App\\", "<img src=x>", "\"><script>\x01")};
    ResultContext context = kUserApp;
    context.facts.comment = "</title><b>";
    const std::string html = exportHtml(lists, context);
    EXPECT_EQ(occurrences(html, "<script>"), 1u);
    EXPECT_NE(html.find("&lt;img src=x&gt;"), std::string::npos);
    EXPECT_NE(html.find("&quot;&gt;&lt;script&gt;\xE2\x90\x81"), std::string::npos);
    EXPECT_NE(html.find("&lt;/title&gt;&lt;b&gt;"), std::string::npos);
    // Beyond the rows' text, which may name anything and fetches nothing.
    std::string page = html;
    page.erase(page.find("&lt;img src=x&gt;"), 17);
    for (const char* outside : {"src=", "url(", "@import", "http:", "https:"})
        EXPECT_EQ(page.find(outside), std::string::npos) << outside;
    for (size_t at = page.find("href=\""); at != std::string::npos; at = page.find("href=\"", at + 1))
        EXPECT_EQ(page[at + 6], '#') << page.substr(at, 40);
}

TEST(ReportExports, MarkdownCellsKeepPipesBreaksAndMarkupAsText) {
    ResultLists lists;
    lists[ListId::NewEntries] = {value("Software\\App\\", "a|b *c* [d](e) <f> `g` _h_ x_y &amp;", "1\r\n2\n3\\|4\x01")};
    const std::string md = exportMarkdown(lists, kUserApp);
    EXPECT_NE(md.find("|  | a\\|b \\*c\\* \\[d\\](e) \\<f\\> \\`g\\` \\_h\\_ x_y \\&amp; | REG_SZ | "
                      "1<br>2<br>3\\\\\\|4\xE2\x90\x81 |\n"),
              std::string::npos)
        << md;
    // A Windows path keeps its single backslashes where they escape nothing.
    EXPECT_NE(md.find("All below `HKEY_CURRENT_USER\\Software\\App`\n"), std::string::npos) << md;
    lists[ListId::NewEntries] = {value("Software\\App\\Sub\\", "v", "C:\\Program Files\\x")};
    EXPECT_NE(exportMarkdown(lists, kUserApp).find("| Key | Value | Type | Data |\n|:---|:---|:---|:---|\n"
                                                   "|  | v | REG_SZ | C:\\Program Files\\x |\n"),
              std::string::npos);
}

}  // namespace
}  // namespace qv

#include "app/exports.h"

#include <gtest/gtest.h>

#include <string>

#include "core/registry_types.h"
#include "core/utf.h"

namespace qv {
namespace {

// The .reg file's text without its UTF-16 wrapping.
std::string regText(const std::string& bytes) {
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    std::u16string wide;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    return toUtf8(wide);
}

TEST(Exports, EscapeEveryCharacterThatWouldBreakTheirFormat) {
    ResultLists lists;
    const std::string nasty = "a,\"b\"\r\n<c>&'d'\t\x01";
    lists[ListId::NewEntries].push_back({"K\\", nasty, "x"});
    lists[ListId::DeletedFiles].push_back({"C:\\100% & ^ (!) \xED\xA0\x80.txt", "", ""});
    const ResultContext context{"HKEY_CURRENT_USER", "Software\\<A>", "C:\\"};

    const std::string csv = exportCsv(lists);
    EXPECT_EQ(csv,
              "\xEF\xBB\xBF"
              "List,Name,Detail,Data\r\n"
              "New registry entries,K\\,\"a,\"\"b\"\"\r\n<c>&'d'\t\x01\",x\r\n"
              "Deleted files,C:\\100% & ^ (!) \xED\xA0\x80.txt,,\r\n");

    const std::string html = exportHtml(lists, context);
    EXPECT_NE(html.find("<td>a,&quot;b&quot;\r\n&lt;c&gt;&amp;&#39;d&#39;\t\x01</td>"), std::string::npos);
    EXPECT_NE(html.find("Registry: HKEY_CURRENT_USER\\Software\\&lt;A&gt;"), std::string::npos);
    EXPECT_NE(html.find("<h2>Edited registry data (0)</h2>"), std::string::npos);
    for (const char* outside : {"<script", "src=", "href=", "url("})
        EXPECT_EQ(html.find(outside), std::string::npos);

    const std::string json = exportJson(lists, context);
    EXPECT_NE(json.find("\"name\":\"a,\\\"b\\\"\\u000d\\u000a<c>&'d'\\u0009\\u0001\""), std::string::npos)
        << json;
    EXPECT_NE(json.find("\"path\":\"C:\\\\100% & ^ (!) \\ud800.txt\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"registry\":{\"root\":\"HKEY_CURRENT_USER\",\"key\":\"Software\\\\<A>\"}"),
              std::string::npos);

    ResultLists created;
    created[ListId::NewFiles].push_back({"C:\\a b\\100% & ^ (x)!.txt", "1", "d"});
    const std::string cmd = exportCmd(created);
    EXPECT_NE(cmd.find("\r\ndel /f /q /a \"C:\\a b\\100%% & ^ (x)!.txt\"\r\n"), std::string::npos) << cmd;
    EXPECT_NE(cmd.find("setlocal disabledelayedexpansion"), std::string::npos);
}

TEST(Exports, RegUndoRemovesWhatIsNewAndRestoresWhatWasThereByType) {
    const RegSnapshot first = {
        {"App\\", "sz", "old \"text\" \\", kRegSz},
        {"App\\", "", "default", kRegSz},
        {"App\\", "lines", "a\r\nb", kRegSz},
        {"App\\", "path", "C:\\W", kRegExpandSz},
        {"App\\", "bin", "0A,FF", kRegBinary},
        {"App\\", "num", "4294967295", kRegDword},
        {"App\\", "multi", "x\r\n\t\t\t\t\t\ty", kRegMultiSz},
        {"App\\", "wide", "", 11},
        {"App\\Gone\\", "", "", kKeyEntryType},
    };
    ResultLists lists;
    for (const RegEntry& e : first)
        if (e.ValueName != "sz")
            lists[ListId::DeletedEntries].push_back({e.KeyName, e.ValueName, e.ValueData});
    lists[ListId::DeletedEntries].push_back({"App\\", "sz", "old \"text\" \\"});
    lists[ListId::EditedRegistry].push_back({"App\\", "sz", "new"});
    lists[ListId::NewEntries] = {
        {"App\\", "added", "1"}, {"App\\New\\", "v", "1"}, {"App\\New\\Sub\\", "", ""}};
    const std::string reg = regText(exportRegUndo(lists, {"HKEY_CURRENT_USER", "App", ""}, first));
    EXPECT_EQ(reg,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[-HKEY_CURRENT_USER\\App\\New]\r\n\r\n"
              "[HKEY_CURRENT_USER\\App]\r\n"
              "\"added\"=-\r\n"
              "@=\"default\"\r\n"
              "\"lines\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n"
              "\"path\"=hex(2):43,00,3a,00,5c,00,57,00,00,00\r\n"
              "\"bin\"=hex:0a,ff\r\n"
              "\"num\"=dword:ffffffff\r\n"
              "\"multi\"=hex(7):78,00,00,00,79,00,00,00,00,00\r\n"
              "; \"wide\" could not be restored: its data of type 11 was not recorded\r\n"
              "\"sz\"=\"old \\\"text\\\" \\\\\"\r\n\r\n"
              "[HKEY_CURRENT_USER\\App\\Gone]\r\n\r\n");
}

}  // namespace
}  // namespace qv

#include "app/exports.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string_view>
#include <vector>
#include <string>
#include <utility>

#include "capture/value_rendering.h"
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
              "List,Name,Detail,Data,Type,Old data,Old type,Old size,Old date,Note\r\n"
              "New registry entries,K\\,\"a,\"\"b\"\"\r\n<c>&'d'\t\x01\",x,,,,,,\r\n"
              "Deleted files,C:\\100% & ^ (!) \xED\xA0\x80.txt,,,File,,,,,\r\n");

    const std::string html = exportHtml(lists, context);
    EXPECT_NE(html.find("<td class=\"name\">a,&quot;b&quot;\r\n&lt;c&gt;&amp;&#39;d&#39;\t\xE2\x90\x81</td>"),
              std::string::npos);
    EXPECT_NE(html.find("<dt>Registry key</dt><dd class=\"places\">HKEY_CURRENT_USER\\Software\\&lt;A&gt;</dd>"),
              std::string::npos);
    EXPECT_NE(html.find("<h2>Edited registry data <span class=\"n\">0 rows</span></h2>"), std::string::npos);
    for (const char* outside : {"src=", "url(", "http:"}) EXPECT_EQ(html.find(outside), std::string::npos);

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

    // A name cmd cannot quote is never cut into the name of another file.
    created[ListId::NewFiles] = {{"C:\\q\"uote & x.txt^", "1", "d"}, {"C:\\a\nb%.txt", "1", "d"}};
    const std::string unquotable = exportCmd(created);
    EXPECT_EQ(unquotable.find("del "), std::string::npos) << unquotable;
    EXPECT_NE(unquotable.find("\r\nrem Not deleted, its name cannot be written for cmd: C:\\q?uote & x.txt?\r\n"
                              "rem Not deleted, its name cannot be written for cmd: C:\\a?b%%.txt\r\n"),
              std::string::npos)
        << unquotable;
}

// Every format tells an edited value's old data and both types: the texts
// alone may read the same ("5" that became the DWORD 5).
TEST(Exports, AnEditedValueCarriesItsOldDataAndTypesInEveryTable) {
    ResultLists lists;
    lists[ListId::EditedRegistry].push_back({"App\\", "Count", "5", kRegDword});
    lists[ListId::NewEntries].push_back({"App\\", "New", "<n>", kRegSz});
    const RegSnapshot first = {{"App\\", "Count", "5", kRegSz}};
    EXPECT_EQ(exportCsv(lists, first), "\xEF\xBB\xBF"
                                       "List,Name,Detail,Data,Type,Old data,Old type,Old size,Old date,Note\r\n"
                                       "New registry entries,App\\,New,<n>,REG_SZ,,,,,\r\n"
                                       "Edited registry data,App\\,Count,5,REG_DWORD,5,REG_SZ,,,\r\n");
    const std::string html = exportHtml(lists, ResultContext{}, first);
    EXPECT_NE(html.find("<td class=\"name\">Count</td><td class=\"data\"><div class=\"edit\"><div class=\"old\">"
                        "<span class=\"ln\">5</span></div><span class=\"arrow\">&#8594;</span><div class=\"new\">"
                        "<span class=\"ln\">5</span></div><span class=\"type\">REG_SZ &#8594; REG_DWORD</span>"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("<span class=\"ln\">&lt;n&gt;</span></div><span class=\"type\">REG_SZ</span>"),
              std::string::npos)
        << html;
    EXPECT_NE(exportJson(lists, ResultContext{}, first).find("\"oldData\":\"5\",\"oldType\":\"REG_SZ\""),
              std::string::npos);
}

// The cmd undo takes the new files away, then the new folders deepest first
// and only where empty, and makes deleted folders again; what changes on its
// own is left alone, and the file says how much.
TEST(Exports, CmdUndoRemovesNewFoldersDeepestFirstAndMakesDeletedOnesAgain) {
    ResultLists lists;
    ResultRow log{"C:\\Windows\\Prefetch\\SETUP.EXE-1.pf", "10", "d"};
    log.background = true;
    lists[ListId::NewFiles] = {{"C:\\App\\", "", "d"}, {"C:\\App\\bin\\", "", "d"}, {"C:\\App\\bin\\a.exe", "1", "d"}, log};
    lists[ListId::DeletedFiles] = {{"C:\\Old\\", "", ""}, {"C:\\Old\\x.txt", "", ""}};
    EXPECT_EQ(exportCmd(lists).substr(exportCmd(lists).find("chcp 65001 >nul\r\n") + 17),
              "del /f /q /a \"C:\\App\\bin\\a.exe\"\r\n"
              "rd \"C:\\App\\bin\" 2>nul\r\n"
              "rd \"C:\\App\" 2>nul\r\n"
              "if not exist \"C:\\Old\" mkdir \"C:\\Old\"\r\n"
              "rem Left alone: 1 change in places that change on their own (Background.dat).\r\n"
              "endlocal\r\n");
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
            lists[ListId::DeletedEntries].push_back({e.KeyName.str(), e.ValueName, e.ValueData});
    lists[ListId::DeletedEntries].push_back({"App\\", "sz", "old \"text\" \\"});
    lists[ListId::EditedRegistry].push_back({"App\\", "sz", "new"});
    lists[ListId::NewEntries] = {
        {"App\\", "added", "1"}, {"App\\New\\", "v", "1"}, {"App\\New\\Sub\\", "", ""}};
    const std::string reg = regText(exportRegUndo(lists, {"HKEY_CURRENT_USER", "App", ""}, first));
    EXPECT_EQ(reg,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "; The first snapshot did not record the values' raw data (a snapshot file of an older version): "
              "values are restored from their text, and expandable strings come back expanded.\r\n\r\n"
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

// A key without values that gained a default value shows it as edited; the
// undo takes the default value away again.
TEST(Exports, RegUndoTakesAwayTheDefaultValueOfAKeyThatHadNone) {
    const RegSnapshot first = {{"App\\", "", "", kKeyEntryType}};
    ResultLists lists;
    lists[ListId::EditedRegistry].push_back({"App\\", "", "v", kRegSz});
    lists[ListId::NewEntries].push_back({"App\\", "n", "1", kRegSz});
    EXPECT_EQ(regText(exportRegUndo(lists, {"HKEY_CURRENT_USER", "Software", ""}, first)),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\App]\r\n\"n\"=-\r\n@=-\r\n\r\n");
}

// What a .reg file sets, as regedit reads it: for each key, each value's type
// and bytes. Only the forms an undo file writes are known; any other line is
// a broken one and fails the test.
using RegValues = std::map<std::pair<std::string, std::string>, std::pair<uint32_t, std::string>>;

std::string unquote(std::string_view& line) {
    std::string out;
    EXPECT_EQ(line.front(), '"');
    size_t i = 1;
    for (; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] != '\\') {
            out += line[i];
            continue;
        }
        const char c = line[++i];
        out += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
    }
    line.remove_prefix(i + 1);
    return out;
}

RegValues readRegFile(const std::string& text) {
    RegValues values;
    std::string key;
    std::istringstream lines(text);
    std::string raw;
    std::getline(lines, raw);
    EXPECT_EQ(raw, "Windows Registry Editor Version 5.00\r");
    while (std::getline(lines, raw)) {
        EXPECT_TRUE(raw.ends_with('\r')) << raw;
        std::string_view line(raw.data(), raw.size() - 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            EXPECT_EQ(line.back(), ']') << raw;
            key = line.substr(1, line.size() - 2);
            continue;
        }
        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else {
            name = unquote(line);
        }
        EXPECT_EQ(line.front(), '=') << raw;
        line.remove_prefix(1);
        std::pair<uint32_t, std::string> value;
        if (line.front() == '"') {
            value = {kRegSz, ""};
            for (char16_t u : toUtf16(unquote(line))) value.second += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
            value.second.append(2, '\0');
        } else if (line.starts_with("dword:")) {
            const unsigned long n = std::stoul(std::string(line.substr(6)), nullptr, 16);
            value = {kRegDword, std::string{static_cast<char>(n & 0xFF), static_cast<char>(n >> 8 & 0xFF),
                                            static_cast<char>(n >> 16 & 0xFF), static_cast<char>(n >> 24 & 0xFF)}};
        } else {
            EXPECT_TRUE(line.starts_with("hex")) << raw;
            value.first = kRegBinary;
            if (line.starts_with("hex(")) {
                value.first = static_cast<uint32_t>(std::stoul(std::string(line.substr(4)), nullptr, 16));
                line.remove_prefix(line.find(')') + 1);
            } else {
                line.remove_prefix(3);
            }
            EXPECT_EQ(line.front(), ':') << raw;
            line.remove_prefix(1);
            for (size_t i = 0; i + 1 < line.size(); i += 3)
                value.second += static_cast<char>(std::stoul(std::string(line.substr(i, 2)), nullptr, 16));
        }
        values[{key, name}] = value;
    }
    return values;
}

// The undo writes every value back from the bytes the snapshot kept, so that
// regedit restores its type and bytes exactly, whatever its name holds; a key
// that a .reg file cannot name is left to a comment, never a broken line.
TEST(Exports, RegUndoWritesEveryValueBackByteForByte) {
    const auto units = [](std::u16string_view s) {
        std::string bytes;
        for (char16_t u : s) bytes += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
        return bytes;
    };
    const std::string multi = units(std::u16string(u"one\0\0three\0\0", 12));
    const struct {
        std::string name;
        uint32_t type;
        std::string bytes;
    } values[] = {
        {"plain", kRegSz, units(std::u16string(u"C:\\Program \"Files\"\0", 20))},
        {"", kRegSz, units(std::u16string(u"default\0", 8))},
        {"line\r\nbreak \"quoted\" back\\slash", kRegSz, units(std::u16string(u"a\r\nb\0", 5))},
        {"unexpanded", kRegExpandSz, units(std::u16string(u"%TEMP%\\x\0", 10))},
        {"multi", kRegMultiSz, multi},
        {"qword", kRegQword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {"none", kRegNone, std::string("\xDE\xAD", 2)},
        {"odd", 0x1234, "bytes"},
        {"dword", kRegDword, std::string("\x78\x56\x34\x12", 4)},
        {"short dword", kRegDword, std::string("\x01", 1)},
        {"no end", kRegSz, units(u"unterminated")},
    };
    RegSnapshot first;
    ResultLists lists;
    for (const auto& v : values) {
        RegEntry e{"App\\", v.name, renderValue(v.type, v.bytes), v.type};
        keepRawBytes(e, v.bytes);
        first.push_back(e);
        lists[ListId::DeletedEntries].push_back({e.KeyName.str(), e.ValueName, e.ValueData});
    }
    first.push_back({"App\\Bad\nKey\\", "v", "1", kRegDword, RawForm::FromText});
    lists[ListId::DeletedEntries].push_back({"App\\Bad\nKey\\", "v", "1"});
    lists[ListId::NewEntries].push_back({"App\\Ends]\\", "", ""});

    const std::string reg = regText(exportRegUndo(lists, {"HKEY_CURRENT_USER", "App", ""}, first));
    const RegValues read = readRegFile(reg);
    ASSERT_EQ(read.size(), std::size(values)) << reg;
    for (const auto& v : values) {
        SCOPED_TRACE(v.name);
        const auto it = read.find({"HKEY_CURRENT_USER\\App", v.name});
        ASSERT_NE(it, read.end()) << reg;
        EXPECT_EQ(it->second.first, v.type);
        EXPECT_EQ(it->second.second, v.bytes);
    }
    EXPECT_NE(reg.find("; The values of a key could not be restored: a .reg file cannot name"), std::string::npos);
    EXPECT_NE(reg.find("; A key could not be removed: a .reg file cannot name"), std::string::npos);
    EXPECT_EQ(reg.find("raw data"), std::string::npos) << "every value here had its bytes recorded";
}

// A small JSON reader for the export's schema test: values as a tree, and a
// parse that fails the test on anything that is not JSON.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    std::string text;  // a string's value, or a number's digits
    std::vector<Json> items;
    std::map<std::string, Json> fields;
};

class JsonReader {
public:
    explicit JsonReader(std::string_view in) : in_(in) {}
    Json document() {
        Json v = value();
        blanks();
        EXPECT_EQ(at_, in_.size()) << "text after the document";
        return v;
    }

private:
    void blanks() {
        while (at_ < in_.size() && std::string_view(" \t\r\n").find(in_[at_]) != std::string_view::npos) ++at_;
    }
    bool take(char c) {
        blanks();
        if (at_ < in_.size() && in_[at_] == c) return ++at_, true;
        return false;
    }
    Json value() {
        blanks();
        Json v;
        if (at_ >= in_.size()) return ADD_FAILURE() << "JSON ends early", v;
        const char c = in_[at_];
        if (c == '{') {
            v.kind = Json::Object;
            ++at_;
            if (take('}')) return v;
            do {
                blanks();
                const std::string name = string();
                EXPECT_TRUE(take(':'));
                v.fields[name] = value();
            } while (take(','));
            EXPECT_TRUE(take('}'));
        } else if (c == '[') {
            v.kind = Json::Array;
            ++at_;
            if (take(']')) return v;
            do v.items.push_back(value());
            while (take(','));
            EXPECT_TRUE(take(']'));
        } else if (c == '"') {
            v.kind = Json::String;
            v.text = string();
        } else if (in_.substr(at_, 4) == "null") {
            at_ += 4;
        } else if (in_.substr(at_, 4) == "true" || in_.substr(at_, 5) == "false") {
            v.kind = Json::Bool;
            v.text = in_[at_] == 't' ? "true" : "false";
            at_ += v.text.size();
        } else {
            v.kind = Json::Number;
            while (at_ < in_.size() && std::string_view("-0123456789.eE+").find(in_[at_]) != std::string_view::npos)
                v.text += in_[at_++];
            EXPECT_FALSE(v.text.empty()) << "not a JSON value at " << at_;
            if (v.text.empty()) at_ = in_.size();
        }
        return v;
    }
    std::string string() {
        std::string out;
        EXPECT_EQ(in_[at_], '"');
        for (++at_; at_ < in_.size() && in_[at_] != '"'; ++at_) {
            const unsigned char c = static_cast<unsigned char>(in_[at_]);
            EXPECT_GE(c, 0x20) << "a raw control character in a string";
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            const char e = in_[++at_];
            if (e == 'u') {
                out += "\\u" + std::string(in_.substr(at_ + 1, 4));
                at_ += 4;
            } else {
                EXPECT_NE(std::string_view("\"\\/bfnrt").find(e), std::string_view::npos);
                out += e;
            }
        }
        ++at_;
        return out;
    }
    std::string_view in_;
    size_t at_ = 0;
};

// The export holds to its documented schema: the places, then six arrays of
// rows whose fields have their kinds; a registry row names its type, an
// edited one its old data; a file's size is a number or null.
TEST(Exports, JsonFollowsItsSchema) {
    const RegSnapshot first = {{"App\\", "Count", "5", kRegSz}, {"App\\", "Flags", "1", kRegQword}};
    ResultLists lists;
    lists[ListId::NewEntries].push_back({"App\\", "multi", "a\r\n\t\t\t\t\t\tb", kRegMultiSz});
    lists[ListId::EditedRegistry].push_back({"App\\", "Count", "5", kRegDword});
    lists[ListId::EditedRegistry].push_back({"App\\", "Flags", "2", kRegQword});
    ResultRow oldCount{"App\\", "Count", "5", kRegSz};
    oldCount.oldData = true;
    lists[ListId::DeletedEntries].push_back(oldCount);
    lists[ListId::DeletedEntries].push_back({"App\\", "odd", "01", 0x1234});
    ResultRow created{"C:\\new.txt", "12", "12/8/2026 1:01:36 AM"};
    // 2026-12-08 01:01:36 as seconds since 1601-01-01.
    created.modifiedLocal = 13441165296;
    lists[ListId::NewFiles].push_back(created);
    ResultRow modified{"C:\\gone-again.txt", "", "12/8/2026"};
    modified.firstSize = 40;
    modified.firstDate = "12/7/2026";
    lists[ListId::ModifiedFiles].push_back(modified);
    lists[ListId::DeletedFiles].push_back({"C:\\old.txt", "", ""});
    ResultRow folder{"C:\\new\\", "", "12/8/2026"};
    folder.background = true;
    lists[ListId::NewFiles].push_back(folder);
    ResultContext context{"HKEY_CURRENT_USER", "App", "C:\\"};
    context.checked[static_cast<size_t>(ListId::DeletedFiles)] = false;
    const Json doc = JsonReader(exportJson(lists, context, first)).document();
    ASSERT_EQ(doc.kind, Json::Object);
    EXPECT_EQ(doc.fields.at("registry").fields.at("root").text, "HKEY_CURRENT_USER");
    EXPECT_EQ(doc.fields.at("folder").text, "C:\\");
    const std::map<std::string, std::vector<std::string>> registryFields = {
        {"newRegistryEntries", {"key", "name", "data", "type", "root"}},
        {"deletedRegistryEntries", {"key", "name", "data", "type", "root"}},
        {"editedRegistryEntries", {"key", "name", "data", "type", "root", "oldData", "oldType"}}};
    // Besides these texts, each value has its data typed, and an edited one its old data.
    for (const auto& [list, names] : registryFields) {
        for (const Json& row : doc.fields.at(list).items) {
            // A deleted row that is an edit's old data says so, and is no deletion.
            const size_t marks = row.fields.count("oldData") && row.fields.at("oldData").kind == Json::Bool;
            const size_t typed = 1 + row.fields.count("oldValue");
            ASSERT_EQ(row.fields.size(), names.size() + marks + typed) << list;
            for (const std::string& name : names) EXPECT_EQ(row.fields.at(name).kind, Json::String) << list << name;
            EXPECT_EQ(row.fields.at("root").text, "HKEY_CURRENT_USER");
        }
    }
    EXPECT_EQ(doc.fields.at("deletedRegistryEntries").items.at(0).fields.at("oldData").text, "true");
    const std::map<std::string, std::string> counts = {
        {"newRegistryEntries", "1"}, {"deletedRegistryEntries", "1"}, {"editedRegistryEntries", "2"},
        {"newFiles", "2"},           {"deletedFiles", "1"},           {"modifiedFiles", "1"},
        {"background", "1"}};
    for (const auto& [list, n] : counts) EXPECT_EQ(doc.fields.at("counts").fields.at(list).text, n) << list;
    EXPECT_EQ(doc.fields.at("checked").fields.at("deletedFiles").text, "false");
    EXPECT_EQ(doc.fields.at("schema").text, "2");
    EXPECT_EQ(doc.fields.at("checked").fields.at("newFiles").text, "true");
    const Json& newFolder = doc.fields.at("newFiles").items.at(1);
    EXPECT_EQ(newFolder.fields.at("kind").text, "folder");
    EXPECT_EQ(newFolder.fields.at("background").text, "true");
    EXPECT_EQ(doc.fields.at("newFiles").items.at(0).fields.at("kind").text, "file");
    const Json& changed = doc.fields.at("modifiedFiles").items.at(0);
    EXPECT_EQ(changed.fields.at("oldSize").text, "40");
    EXPECT_EQ(changed.fields.at("oldDate").text, "12/7/2026");
    for (const char* list : {"newFiles", "modifiedFiles"}) {
        for (const Json& row : doc.fields.at(list).items) {
            EXPECT_EQ(row.fields.at("path").kind, Json::String);
            EXPECT_TRUE(row.fields.at("size").kind == Json::Number || row.fields.at("size").kind == Json::Null);
            EXPECT_EQ(row.fields.at("date").kind, Json::String);
            if (row.fields.count("modified")) {
                EXPECT_EQ(row.fields.at("modified").kind, Json::String);
            }
        }
    }
    const Json& edited = doc.fields.at("editedRegistryEntries").items.at(0);
    EXPECT_EQ(edited.fields.at("type").text, "REG_DWORD");
    EXPECT_EQ(edited.fields.at("oldType").text, "REG_SZ");
    EXPECT_EQ(edited.fields.at("oldData").text, "5");
    EXPECT_EQ(doc.fields.at("deletedRegistryEntries").items.at(1).fields.at("type").text, "0x1234");
    EXPECT_EQ(doc.fields.at("newRegistryEntries").items.at(0).fields.at("data").text, "a\\u000d\\u000a\\u0009\\u0009\\u0009\\u0009\\u0009\\u0009b");
    EXPECT_EQ(doc.fields.at("newFiles").items.at(0).fields.at("size").text, "12");
    EXPECT_EQ(doc.fields.at("newFiles").items.at(0).fields.at("modified").text, "2026-12-08T01:01:36");
    EXPECT_EQ(doc.fields.at("modifiedFiles").items.at(0).fields.at("size").kind, Json::Null);
}

// A script reads every value's data from "value" without parsing text:
// numbers as numbers, a multi-string as its strings, strings as strings,
// anything else as its bytes in hex. Dates carry their offset from UTC.
TEST(Exports, JsonValueIsTypedByTheValuesType) {
    const struct {
        uint32_t type;
        std::string data;
        Json::Kind kind;
        std::vector<std::string> value;  // a string's or number's text, or an array's strings
    } cases[] = {
        {kRegSz, "text", Json::String, {"text"}},
        {kRegExpandSz, "C:\\windows\\x", Json::String, {"C:\\windows\\x"}},
        {kRegDword, "4294967295", Json::Number, {"4294967295"}},
        {kRegQword, "18446744073709551615", Json::Number, {"18446744073709551615"}},
        {kRegMultiSz, "a\r\n\t\t\t\t\t\t\r\n\t\t\t\t\t\tc", Json::Array, {"a", "", "c"}},
        {kRegMultiSz, "", Json::Array, {}},
        {kRegBinary, "00,0F,A0", Json::String, {"000fa0"}},
        {kRegNone, "01", Json::String, {"01"}},
        {0x1234, "0A,0B", Json::String, {"0a0b"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(registryTypeName(c.type) + " " + c.data);
        ResultLists lists;
        lists[ListId::NewEntries].push_back({"K\\", "v", c.data, c.type});
        const Json doc = JsonReader(exportJson(lists, ResultContext{})).document();
        const Json& value = doc.fields.at("newRegistryEntries").items.at(0).fields.at("value");
        ASSERT_EQ(value.kind, c.kind);
        std::vector<std::string> got;
        if (value.kind == Json::Array) {
            for (const Json& item : value.items) got.push_back(item.text);
        } else {
            got.push_back(value.text);
        }
        EXPECT_EQ(got, c.value);
    }
    ResultLists files;
    ResultRow created{"C:\\new.txt", "1", "d"};
    created.modifiedLocal = 13441165296;  // 2026-12-08 01:01:36
    created.utcOffset = -5 * 3600 - 30 * 60;
    files[ListId::NewFiles].push_back(created);
    const Json doc = JsonReader(exportJson(files, ResultContext{})).document();
    EXPECT_EQ(doc.fields.at("newFiles").items.at(0).fields.at("modifiedAt").text, "2026-12-08T01:01:36-05:30");
}

}  // namespace
}  // namespace qv

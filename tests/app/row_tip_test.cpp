#include "app/row_tip.h"

#include <gtest/gtest.h>

#include "core/registry_types.h"

namespace qv {
namespace {

ResultRow registryRow(const char* name, const char* data, uint32_t type) {
    ResultRow row{"Software\\App\\", name, data};
    row.type = type;
    return row;
}

ResultRow fileRow(uint64_t firstSize, const char* firstDate) {
    ResultRow row{"C:\\Data\\a.txt", "11", "2025-01-01 00:00:00"};
    row.firstSize = firstSize;
    row.firstDate = firstDate;
    return row;
}

TEST(RowTip, SaysWhatTheCellsLeaveOut) {
    const RegEntry sameType{"Software\\App\\", "v", "old", kRegSz};
    const RegEntry otherType{"Software\\App\\", "v", "%X%", kRegExpandSz};
    ResultRow background = registryRow("v", "1", kRegDword);
    background.background = true;
    ResultRow oldData = registryRow("v", "old", kRegSz);
    oldData.oldData = true;
    const struct {
        ListId list;
        ResultRow row;
        const RegEntry* first;
        std::string tip;
    } cases[] = {
        {ListId::NewEntries, registryRow("", "x", kRegSz), nullptr,
         "Keyname: Software\\App\\\r\nValue name: (Default)\r\nData: x\r\nType: REG_SZ"},
        {ListId::NewEntries, registryRow("", "", kKeyEntryType), nullptr,
         "Keyname: Software\\App\\\r\nValue name: \r\nData: "},
        {ListId::NewEntries, background, nullptr,
         "Keyname: Software\\App\\\r\nValue name: v\r\nData: 1\r\n"
         "Background: a place that changes on its own (Background.dat)\r\nType: REG_DWORD"},
        {ListId::DeletedEntries, oldData, nullptr,
         "Keyname: Software\\App\\\r\nValue name: v\r\nData: old\r\n"
         "The old data of an edited value, not a deletion\r\nType: REG_SZ"},
        {ListId::EditedRegistry, registryRow("v", "new", kRegSz), &sameType,
         "Keyname: Software\\App\\\r\nValue name: v\r\nData: new\r\nType: REG_SZ\r\nOld data: old"},
        {ListId::EditedRegistry, registryRow("v", "C:\\X", kRegSz), &otherType,
         "Keyname: Software\\App\\\r\nValue name: v\r\nData: C:\\X\r\n"
         "Type: REG_EXPAND_SZ \xE2\x86\x92 REG_SZ\r\nOld data: %X%"},
        {ListId::ModifiedFiles, fileRow(10, "2024-05-01 12:34:56"), nullptr,
         "Filename: C:\\Data\\a.txt\r\nSize: 11\r\nModified: 2025-01-01 00:00:00\r\n"
         "Old size: 10 bytes\r\nOld date: 2024-05-01 12:34:56"},
        {ListId::DeletedFiles, fileRow(10, "2024-05-01 12:34:56"), nullptr,
         "Filename: C:\\Data\\a.txt\r\nSize: 10 bytes\r\nModified: 2024-05-01 12:34:56"},
        {ListId::DeletedFiles, fileRow(kUnknownFileSize, ""), nullptr, "Filename: C:\\Data\\a.txt"},
        {ListId::NewFiles, ResultRow{"C:\\Data\\sub\\", "", "2025-01-01 00:00:00"}, nullptr,
         "Filename: C:\\Data\\sub\\\r\nSize: \r\nCreated: 2025-01-01 00:00:00\r\nA folder"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rowTipText(c.list, c.row, rowDetail(c.list, c.row, c.first)), c.tip) << c.tip;
    }
}

TEST(RowTip, LongValuesAreBrokenIntoLinesAndCutShort) {
    const ResultRow row = registryRow("v", std::string(5000, 'a').c_str(), kRegSz);
    const std::string tip = rowTipText(ListId::NewEntries, row, "");
    EXPECT_LE(tip.size(), 4003u);
    EXPECT_EQ(tip.substr(tip.size() - 3), "\xE2\x80\xA6");
    EXPECT_NE(tip.find("\r\n" + std::string(100, 'a') + "\r\n"), std::string::npos);
}

}  // namespace
}  // namespace qv

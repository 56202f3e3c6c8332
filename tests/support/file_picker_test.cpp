#include "support/file_picker.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

TEST(OpenFileBuffer, SingleAndManyFilesGiveTheFolderWithItsBackslashAndTheBareNames) {
    const std::u16string one = u"C:\\Data\\a.txt";
    SelectedFile single = parseOpenFileBuffer(one + u'\0', 8);
    EXPECT_FALSE(single.bCanceled);
    EXPECT_EQ(single.nFilesSelected, 1);
    EXPECT_EQ(single.sLastDirectory, "C:\\Data\\");
    EXPECT_EQ(single.sFiles, (std::vector<std::string>{"", "a.txt"}));

    const SelectedFile two = parseOpenFileBuffer(std::u16string(u"C:\\Data\0a.txt\0b.txt\0", 20), 8);
    EXPECT_EQ(two.nFilesSelected, 2);
    EXPECT_EQ(two.sLastDirectory, "C:\\Data\\");
    EXPECT_EQ(two.sFiles, (std::vector<std::string>{"", "a.txt", "b.txt"}));

    // Far more files than any fixed table would hold, below a drive root.
    std::u16string many = std::u16string(u"D:\\") + u'\0';
    for (int i = 0; i < 5000; ++i) {
        many += u'f';
        many += static_cast<char16_t>(u'0' + i % 10);
        many += u'\0';
    }
    const SelectedFile lots = parseOpenFileBuffer(many, 4);
    EXPECT_EQ(lots.nFilesSelected, 5000);
    EXPECT_EQ(lots.sLastDirectory, "D:\\");
    EXPECT_EQ(lots.sFiles[5000], "f9");

    const std::u16string unicode = u"C:\\\u65e5\\\u00fc.txt";
    EXPECT_EQ(parseOpenFileBuffer(unicode, 5).sFiles[1], "\xC3\xBC.txt");
    EXPECT_TRUE(parseOpenFileBuffer(u"", 0).bCanceled);
    EXPECT_TRUE(parseOpenFileBuffer(u"abc", 9).bCanceled);
    EXPECT_EQ(initialFileName(std::u16string(u"C:\\x\0y", 6)), u"C:\\x");
}

}  // namespace
}  // namespace qv

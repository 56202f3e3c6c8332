#include "app/result_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace qv {
namespace {

std::vector<std::string> firstCells(const ResultView& view, const std::vector<ResultRow>& rows) {
    std::vector<std::string> out;
    for (size_t i = 0; i < view.size(); ++i) out.push_back(rows[view.rowAt(i)].text);
    return out;
}

ResultRow file(std::string path, std::string size, int64_t local, std::string date = "d") {
    ResultRow row{std::move(path), std::move(size), std::move(date)};
    row.modifiedLocal = local;
    return row;
}

TEST(ResultView, AHeaderClickSortsByItsColumnAndASecondClickReversesKeepingTiesInTheirOrder) {
    const std::vector<ResultRow> rows = {{"b", "same", "1"}, {"A", "same", "2"}, {"a", "same", "3"},
                                         {"C", "other", "4"}};
    ResultView view;
    view.reset();
    view.grow(rows, 3);
    EXPECT_EQ(firstCells(view, rows), (std::vector<std::string>{"b", "A", "a", "C"}));

    view.sortBy(rows, ListId::NewEntries, 0);  // letter case aside, then by bytes
    EXPECT_EQ(firstCells(view, rows), (std::vector<std::string>{"A", "a", "b", "C"}));
    view.sortBy(rows, ListId::NewEntries, 0);
    EXPECT_TRUE(view.descending());
    EXPECT_EQ(firstCells(view, rows), (std::vector<std::string>{"C", "b", "a", "A"}));

    // Equal cells keep the order of detection, in both directions.
    view.sortBy(rows, ListId::NewEntries, 1);
    EXPECT_FALSE(view.descending());
    EXPECT_EQ(firstCells(view, rows), (std::vector<std::string>{"C", "b", "A", "a"}));
    view.sortBy(rows, ListId::NewEntries, 1);
    EXPECT_EQ(firstCells(view, rows), (std::vector<std::string>{"b", "A", "a", "C"}));
}

// The sort's keyed passes must give exactly the order of a plain stable sort
// by letter-case-blind text, then length, then bytes: cells that share long
// beginnings, differ only in case, or end inside a key.
TEST(ResultView, TextSortsAsAPlainCaseBlindStableSortWouldOnRandomCells) {
    uint32_t seed = 12345;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    const char alphabet[] = "aAbB\\0 zZ";
    std::vector<ResultRow> rows;
    for (int i = 0; i < 3000; ++i) {
        std::string cell = (next() % 2) ? "Software\\Shared\\Prefix\\" : "";
        const size_t length = next() % 20;
        for (size_t k = 0; k < length; ++k) cell += alphabet[next() % (sizeof alphabet - 1)];
        rows.push_back({cell, "", ""});
    }
    const auto fold = [](std::string s) {
        for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        return s;
    };
    std::vector<uint32_t> expected(rows.size());
    for (size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<uint32_t>(i);
    std::stable_sort(expected.begin(), expected.end(), [&](uint32_t a, uint32_t b) {
        const std::string x = fold(rows[a].text), y = fold(rows[b].text);
        if (x != y) return x < y;
        return rows[a].text < rows[b].text;
    });
    ResultView view;
    view.reset();
    view.sortBy(rows, ListId::NewEntries, 0);
    std::vector<uint32_t> got;
    for (size_t i = 0; i < view.size(); ++i) got.push_back(view.rowAt(i));
    EXPECT_EQ(got, expected);
    // Reversed, ties still in the order of detection.
    view.sortBy(rows, ListId::NewEntries, 0);
    std::vector<uint32_t> reversed = expected;
    std::stable_sort(reversed.begin(), reversed.end(), [&](uint32_t a, uint32_t b) {
        const std::string x = fold(rows[a].text), y = fold(rows[b].text);
        if (x != y) return x > y;
        return rows[a].text > rows[b].text;
    });
    got.clear();
    for (size_t i = 0; i < view.size(); ++i) got.push_back(view.rowAt(i));
    EXPECT_EQ(got, reversed);
}

TEST(ResultView, SizesSortAsNumbersAndDatesAsTimesNotAsText) {
    const std::vector<ResultRow> rows = {file("ten", "10", 300), file("nine", "9", 100), file("unmeasured", "", 200),
                                         file("big", "1000000", 50)};
    ResultView view;
    view.reset();
    view.sortBy(rows, ListId::NewFiles, 1);
    EXPECT_EQ(firstCells(view, rows), (std::vector<std::string>{"unmeasured", "nine", "ten", "big"}));
    view.sortBy(rows, ListId::ModifiedFiles, 2);
    EXPECT_EQ(firstCells(view, rows), (std::vector<std::string>{"big", "nine", "unmeasured", "ten"}));
    // Registry lists have no such columns: their data sorts as text.
    EXPECT_EQ(resultColumnKind(ListId::EditedRegistry, 1), ColumnKind::Text);
    EXPECT_EQ(resultColumnKind(ListId::NewFiles, 2), ColumnKind::Date);
}

TEST(ResultView, FindNarrowsOnAnyColumnIgnoringCaseAndKeepsTheSortOrder) {
    std::vector<ResultRow> rows = {{"Software\\Zeta\\", "Path", "C:\\Games"}, {"Software\\Alpha\\", "Name", "x"},
                                   {"Software\\Beta\\", "GAMEDIR", "y"}, {"Software\\Gamma\\", "v", "z"}};
    ResultView view;
    view.reset();
    view.grow(rows, 3);
    view.sortBy(rows, ListId::NewEntries, 0);
    view.setFilter(rows, 3, "gam");
    EXPECT_EQ(firstCells(view, rows),
              (std::vector<std::string>{"Software\\Beta\\", "Software\\Gamma\\", "Software\\Zeta\\"}));
    view.setFilter(rows, 3, "GAME");  // typing on narrows further
    EXPECT_EQ(firstCells(view, rows), (std::vector<std::string>{"Software\\Beta\\", "Software\\Zeta\\"}));
    view.setFilter(rows, 3, "ga");  // deleting widens again
    EXPECT_EQ(view.size(), 3u);
    view.setFilter(rows, 2, "games");  // only the columns the list shows
    EXPECT_EQ(view.size(), 0u);
    view.setFilter(rows, 3, "");
    EXPECT_EQ(view.size(), 4u);
    EXPECT_EQ(rows[view.rowAt(0)].text, "Software\\Alpha\\");

    // Rows that detection appends later show when they match.
    view.setFilter(rows, 3, "omega");
    rows.push_back({"Software\\Omega\\", "", ""});
    rows.push_back({"Software\\Other\\", "", ""});
    view.grow(rows, 3);
    EXPECT_EQ(firstCells(view, rows), (std::vector<std::string>{"Software\\Omega\\"}));
}

// Letter case beyond ASCII: accented Latin, Greek with its final sigma, and
// Cyrillic, in either case on either side; bytes that are not UTF-8 stay.
TEST(ResultView, FindIgnoresTheCaseOfLatinGreekAndCyrillicLetters) {
    const std::vector<ResultRow> rows = {
        {"Software\\\xd0\x94\xd0\x90\xd0\x9d\xd0\x9d\xd0\xab\xd0\x95\\", "", ""},  // ДАННЫЕ
        {"C:\\\xd0\x81\xd0\xbb\xd0\xba\xd0\xb0.txt", "", ""},                        // Ёлка
        {"C:\\\xc3\xa9t\xc3\xa9 \xc5\x81\xc3\xb3" "d\xc5\xba", "", ""},                 // été Łódź
        {"C:\\\xce\x9f\xce\x94\xce\x9f\xce\xa3", "", ""},                                // ΟΔΟΣ
        {"C:\\raw\xff\xfe", "", ""},
        {"C:\\plain.txt", "", ""}};
    const std::pair<const char*, size_t> finds[] = {
        {"\xd0\xb4\xd0\xb0\xd0\xbd\xd0\xbd\xd1\x8b\xd0\xb5", 0},  // данные
        {"\xd1\x91\xd0\x9b\xd0\x9a", 1},                          // ёЛК
        {"\xc3\x89T\xc3\x89", 2},                                   // ÉTÉ
        {"\xc5\x82\xc3\x93" "D\xc5\xb9", 2},                        // łÓDŹ
        {"\xce\xbf\xce\xb4\xce\xbf\xcf\x82", 3},                      // οδος, with a final sigma
        {"RAW\xff\xfe", 4},
    };
    // What is no letter of another case stays byte for byte: bytes that are
    // not UTF-8, an overlong form, the dotted capital I.
    for (const char* kept : {"\xFF\x80\x80\x80", "\xE0\x80\x80", "\xC0\xAF", "\xC4\xB0", "\xC4\xB1"})
        EXPECT_EQ(foldedForFind(kept), kept);
    for (const auto& [text, row] : finds) {
        SCOPED_TRACE(text);
        ResultView view;
        view.reset();
        view.grow(rows, 3);
        view.setFilter(rows, 3, text);
        ASSERT_EQ(view.size(), 1u);
        EXPECT_EQ(view.rowAt(0), row);
    }
}

TEST(ResultView, ACellIsDrawnOnOneLineWithItsLineBreaksMarked) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"a\r\n\t\t\t\t\t\tb\r\n\t\t\t\t\t\tc", "a \xC2\xB6 b \xC2\xB6 c"},  // a multi-string
        {"line\nbreak", "line \xC2\xB6 break"},
        {"tab\there", "tab here"},
        {"\r\n\t\t\t\t\t\t", " \xC2\xB6 "},
        {"x\r\n\t\t\t\t\t\t\r\n\t\t\t\t\t\tc", "x \xC2\xB6  \xC2\xB6 c"},  // an empty string between
    };
    for (const auto& [cell, shown] : cases) EXPECT_EQ(shownOnOneLine(cell), shown) << cell;
}

// The word-at-a-time search against the plain definition: every needle
// placed at every offset of cells of every length around the word size, in
// both cases, beside bytes that differ from its letters only in bit 5 or are
// UTF-8, and needles that are absent or run past the end.
TEST(ResultView, FindAgreesWithAPlainCaseBlindSearchAtEveryOffset) {
    const auto fold = [](const std::string& s) { return foldedForFind(s); };
    std::mt19937 random(20261208);
    const std::string alphabet = "aAbB@`\\ \xC3\xA9\x80\xFFz";
    size_t found = 0, checked = 0;
    for (size_t length = 0; length <= 40; ++length) {
        for (int draw = 0; draw < 60; ++draw) {
            std::string cell(length, ' ');
            for (char& c : cell) c = alphabet[random() % alphabet.size()];
            std::string needle(1 + random() % 4, ' ');
            for (char& c : needle) c = alphabet[random() % alphabet.size()];
            if (length && draw % 2) cell.replace(random() % length, needle.size(), needle);
            if (draw % 3 == 0) for (char& c : cell) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
            const std::string folded = fold(needle);
            const bool want = fold(cell).find(folded) != std::string::npos;
            const ResultRow row{"", "x", cell};
            EXPECT_EQ(rowContains(row, 3, folded), want) << "cell \"" << cell << "\" needle \"" << needle << "\"";
            found += want;
            ++checked;
        }
    }
    EXPECT_GT(found, checked / 4);  // both outcomes are drawn often
    EXPECT_LT(found, checked * 3 / 4);
}

TEST(ResultView, CopiedRowsAreTabSeparatedUnderTheirHeadersWithNoStrayBreaks) {
    const std::vector<ResultRow> rows = {{"Key\\", "Name", "line1\r\nline2\tend"}, {"Other\\", "", ""}};
    EXPECT_EQ(rowsAsText(ListId::EditedRegistry, rows, {1, 0}),
              "Keyname\tValue name\tData\r\nOther\\\t\t\r\nKey\\\tName\tline1  line2 end\r\n");
    const std::vector<ResultRow> gone = {{"C:\\a.txt", "", ""}};
    EXPECT_EQ(rowsAsText(ListId::DeletedFiles, gone, {0}), "Filename\r\nC:\\a.txt\r\n");
}

}  // namespace
}  // namespace qv

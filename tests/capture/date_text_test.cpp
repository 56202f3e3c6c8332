#include "capture/date_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

#include "core/failure.h"
#include "tests/support/fakes/fake_file_system.h"

namespace qv {
namespace {

using testing::fileTime;

constexpr int64_t kHour = 3600 * static_cast<int64_t>(kTicksPerSecond);

// Built with a format: MinGW's gcc 12 warns falsely (-Wrestrict) on a literal plus a temporary string.
template <class... Fields>
std::string formatted(const char* format, Fields... fields) {
    char text[40];
    std::snprintf(text, sizeof text, format, fields...);
    return text;
}

// A zone two hours east of UTC, or whatever `offsetAt` says, with formatters that show which fields
// they were given and throw while their failure counts last.
struct DateTextTest : ::testing::Test {
    std::function<int64_t(uint64_t)> offsetAt = [](uint64_t) { return 2 * kHour; };
    int dateFailures = 0, timeFailures = 0;
    DateTextCache cache{
        [this](uint64_t utc) { return static_cast<int64_t>(utc) + offsetAt(utc); },
        [this](const CivilTime& t) {
            if (dateFailures-- > 0) throw std::runtime_error("no date");
            return formatted("D%d-%02d-%02d", t.year, t.month, t.day);
        },
        [this](const CivilTime& t) {
            if (timeFailures-- > 0) throw std::runtime_error("no time");
            return formatted("T%02d:%02d:%02d", t.hour, t.minute, t.second);
        }};
};

TEST(CivilTime, BreaksDownKnownDates) {
    EXPECT_EQ(civilTime(0), (CivilTime{1601, 1, 1, 1, 0, 0, 0}));  // a Monday
    for (const CivilTime& t : {CivilTime{2000, 2, 29, 2, 23, 59, 58}, CivilTime{2024, 5, 1, 3, 12, 34, 56},
                               CivilTime{1970, 1, 1, 4, 0, 0, 0}, CivilTime{2100, 3, 1, 1, 0, 0, 1}}) {
        const uint64_t ticks = fileTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
        EXPECT_EQ(civilTime(static_cast<int64_t>(ticks / kTicksPerSecond)), t) << t.year;
    }
}

// Local short date, a blank and the long time; local midnight gives the date alone.
TEST_F(DateTextTest, TextIsTheLocalDateAndTimeOfTheWholeSecond) {
    const std::pair<uint64_t, const char*> cases[] = {
        {fileTime(2024, 5, 1, 12, 34, 56), "D2024-05-01 T14:34:56"},
        {fileTime(2024, 5, 1, 12, 34, 56) + 9'999'999, "D2024-05-01 T14:34:56"},
        {fileTime(2024, 12, 31, 23, 0, 1), "D2025-01-01 T01:00:01"},  // into the next day
        {fileTime(2024, 5, 1, 22, 0, 0), "D2024-05-02"},
        {fileTime(2024, 5, 1, 22, 0, 0) + 5, "D2024-05-02"},
        {fileTime(2024, 5, 2, 0, 0, 0), "D2024-05-02 T02:00:00"},  // UTC midnight is not local midnight
    };
    for (const auto& [utc, text] : cases) EXPECT_EQ(cache.text(utc), text) << text;
}

TEST_F(DateTextTest, FormatsEachDayAndEachSecondOfTheDayOnce) {
    const uint64_t base = fileTime(2024, 5, 1, 8, 0, 0);
    EXPECT_EQ(cache.text(base), "D2024-05-01 T10:00:00");
    for (int round = 0; round < 3; ++round)
        for (uint64_t s = 0; s < 600; ++s) cache.text(base + s * kTicksPerSecond);
    EXPECT_EQ(cache.calls().date, 1);
    EXPECT_EQ(cache.calls().time, 600);
    // The same second of another day reuses the time text.
    EXPECT_EQ(cache.text(fileTime(2023, 1, 9, 8, 0, 7)), "D2023-01-09 T10:00:07");
    EXPECT_EQ(cache.calls().date, 2);
    EXPECT_EQ(cache.calls().time, 600);
    // Two conversions per quarter hour of UTC, however many files fall in it.
    EXPECT_EQ(cache.calls().toLocal, 2 * 1 + 2 * 1);
}

// Files of one second share one text; seconds that meet in the cache's slot
// (4096 seconds apart) each still get their own.
TEST_F(DateTextTest, FilesOfOneSecondShareOneText) {
    const uint64_t base = fileTime(2024, 5, 1, 8, 0, 0);
    const SharedText first = cache.text(base), again = cache.text(base + 5'000'000);
    EXPECT_TRUE(first.sameBlock(again));
    const SharedText later = cache.text(base + 4096 * kTicksPerSecond);
    EXPECT_EQ(later, "D2024-05-01 T11:08:16");
    EXPECT_EQ(cache.text(base), "D2024-05-01 T10:00:00");
    EXPECT_FALSE(cache.text(base).sameBlock(later));
    EXPECT_EQ(first, "D2024-05-01 T10:00:00");  // a holder keeps its text whatever the cache drops
}

TEST_F(DateTextTest, OffsetSwitchInsideAQuarterHourIsExactOnBothSides) {
    // A switch from +1 h to +2 h at an instant that is no quarter hour.
    const uint64_t change = fileTime(2024, 3, 31, 1, 7, 30);
    offsetAt = [change](uint64_t utc) { return utc < change ? kHour : 2 * kHour; };
    EXPECT_EQ(cache.text(change - kTicksPerSecond), "D2024-03-31 T02:07:29");
    EXPECT_EQ(cache.text(change), "D2024-03-31 T03:07:30");
    EXPECT_EQ(cache.text(change + 60 * kTicksPerSecond), "D2024-03-31 T03:08:30");
    // Quarter hours on either side are cached as usual.
    EXPECT_EQ(cache.text(fileTime(2024, 3, 31, 0, 40, 0)), "D2024-03-31 T01:40:00");
    EXPECT_EQ(cache.text(fileTime(2024, 3, 31, 1, 20, 0)), "D2024-03-31 T03:20:00");
}

TEST_F(DateTextTest, ConversionAndFormatterFailuresPassThroughUncachedAndNegativeLocalTimeFails) {
    int conversions = 0;
    offsetAt = [&conversions](uint64_t) -> int64_t {
        ++conversions;
        if (conversions == 1 || conversions == 3) throw std::runtime_error("cannot convert");
        return 2 * kHour;
    };
    dateFailures = timeFailures = 1;
    const uint64_t t = fileTime(2024, 5, 1, 12, 0, 1);
    // Each try gets one step further: the offset at either end of the quarter hour, the date, the time.
    for (int attempt = 0; attempt < 4; ++attempt) EXPECT_THROW(cache.text(t), std::runtime_error) << attempt;
    EXPECT_EQ(cache.text(t), "D2024-05-01 T14:00:01");
    offsetAt = [](uint64_t) { return -2 * kHour; };  // a local time before 1601 is no date
    EXPECT_THROW(cache.text(fileTime(1601, 1, 1, 0, 30, 0)), Failure);
}

struct PictureCase {
    const char* picture;
    CivilTime time;
    const char* text;
};

class DatePictureTest : public ::testing::TestWithParam<PictureCase> {};

TEST_P(DatePictureTest, PictureFormatsAsTheLocaleFunctionsDo) {
    const PictureCase& c = GetParam();
    const bool isTime = std::string_view(c.picture).find_first_of("hHmst") != std::string_view::npos &&
                        std::string_view(c.picture).find_first_of("dMy") == std::string_view::npos;
    EXPECT_EQ(isTime ? formatTimePicture(c.picture, c.time, "AM", "PM") : formatDatePicture(c.picture, c.time), c.text);
}

constexpr CivilTime kMorning{2024, 3, 5, 2, 9, 7, 4};
constexpr CivilTime kEvening{2009, 11, 25, 3, 0, 0, 0};
INSTANTIATE_TEST_SUITE_P(Pictures, DatePictureTest,
                         ::testing::Values(PictureCase{"M/d/yyyy", kMorning, "3/5/2024"},
                                         PictureCase{"dd.MM.yy", kMorning, "05.03.24"},
                                         PictureCase{"dddd, MMMM d, yyyy", kMorning, "Tuesday, March 5, 2024"},
                                         PictureCase{"ddd d MMM 'de' yyyy", kEvening, "Wed 25 Nov de 2009"},
                                         PictureCase{"h:mm:ss tt", kMorning, "9:07:04 AM"},
                                         PictureCase{"h:mm:ss tt", kEvening, "12:00:00 AM"},
                                         PictureCase{"HH:mm:ss", kMorning, "09:07:04"},
                                         PictureCase{"hh'h'mm t", CivilTime{2024, 1, 1, 1, 13, 5, 0}, "01h05 P"}));

}  // namespace
}  // namespace qv

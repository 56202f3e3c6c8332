#pragma once
// The ModifiedDate text of a last-write time, with the platform's conversions
// cached. A scan formats a time for every file it records; the locale calls are
// far slower than the enumeration itself, while a tree's files share a handful
// of days and at most 86,400 seconds of the day. So the date text is formatted
// once per local day, the time text once per second of the day, and the UTC to
// local offset once per quarter hour of UTC.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/shared_text.h"

namespace qv {

// A broken-down time, to the second (the fields of the platform's SYSTEMTIME).
struct CivilTime {
    int year = 1601;
    int month = 1;      // 1..12
    int day = 1;        // 1..31
    int dayOfWeek = 1;  // 0 Sunday .. 6 Saturday
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const CivilTime&) const = default;
};

inline constexpr uint64_t kTicksPerSecond = 10'000'000;  // FILETIME units

// The calendar fields of a count of seconds since 1601-01-01 00:00:00 (the
// FILETIME epoch); negative counts are not dates.
CivilTime civilTime(int64_t secondsSince1601);

// A date or time as a Windows locale picture formats it (the pictures of
// sShortDate and sTimeFormat: d dd ddd dddd M MM MMM MMMM y yy yyyy, h hh H HH
// m mm s ss t tt, 'quoted text'), with English day and month names.
std::string formatDatePicture(std::string_view picture, const CivilTime& t);
std::string formatTimePicture(std::string_view picture, const CivilTime& t, std::string_view am,
                              std::string_view pm);

class DateTextCache {
public:
    // The local time, in FILETIME ticks, of a UTC FILETIME. Throws when the time
    // cannot be converted.
    using ToLocal = std::function<int64_t(uint64_t utcTicks)>;
    // The short date of the day in `t` (its time fields are to be ignored).
    using FormatDate = std::function<std::string(const CivilTime& t)>;
    // The long time of the time of day in `t` (its date fields are to be ignored).
    using FormatTime = std::function<std::string(const CivilTime& t)>;

    DateTextCache(ToLocal toLocal, FormatDate formatDate, FormatTime formatTime);

    // The short date, a blank and the long time of a UTC FILETIME in local time;
    // the short date alone when the local time is exactly 00:00:00. Failures of
    // the injected functions pass through and leave nothing cached. Files of
    // the same second share one text, so a scan keeps one copy of each.
    SharedText text(uint64_t utcTicks);

    // How often the injected functions ran (the measure of the cache).
    struct Calls {
        long toLocal = 0;
        long date = 0;
        long time = 0;
    };
    const Calls& calls() const { return calls_; }

    // The local time of a UTC FILETIME in seconds since 1601-01-01, from the
    // same cached offsets as the text.
    int64_t localSeconds(uint64_t utcTicks);

private:
    const std::string& dateText(int64_t day, const CivilTime& t);
    const std::string& timeText(int32_t secondOfDay, const CivilTime& t);

    ToLocal toLocal_;
    FormatDate formatDate_;
    FormatTime formatTime_;
    Calls calls_;

    // UTC quarter hour -> local minus UTC in seconds; nothing for a quarter hour
    // in which the offset changes (a daylight-saving switch), which is then
    // converted time by time.
    std::unordered_map<uint64_t, std::optional<int64_t>> offsets_;
    uint64_t lastBlock_ = UINT64_MAX;
    std::optional<int64_t> lastOffset_;

    std::unordered_map<int64_t, std::string> dates_;
    int64_t lastDay_ = -1;
    const std::string* lastDate_ = nullptr;

    // By second of the day, formatted on first use; the texts of an hour are
    // made together when the first of them is needed, since a tree's files
    // fall in a few hours and a whole day of empty texts is megabytes of memory
    // to set up for every scan.
    static constexpr size_t kSecondsPerTimeBlock = 3600;
    std::vector<std::unique_ptr<std::string[]>> times_;
    std::vector<bool> timeKnown_;

    // The whole texts of recent seconds, each in the slot of its second: a
    // bounded cache that costs no allocation to ask.
    struct TextSlot {
        int64_t seconds = -1;
        SharedText text;
    };
    static constexpr size_t kTextSlots = 4096;
    std::vector<TextSlot> texts_;
};

}  // namespace qv

#include "capture/date_text.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "core/failure.h"

namespace qv {
namespace {

constexpr int64_t kSecondsPerDay = 86'400;
// Offsets change on whole quarter hours of UTC in every zone the platform knows
// (switches at whole local hours, offsets in quarter hours).
constexpr uint64_t kBlockTicks = 15 * 60 * kTicksPerSecond;
// 1601-01-01 to 1970-01-01.
constexpr int64_t kDaysFrom1601To1970 = 134'774;

}  // namespace

CivilTime civilTime(int64_t secondsSince1601) {
    const int64_t days = secondsSince1601 / kSecondsPerDay;
    const int64_t secondOfDay = secondsSince1601 % kSecondsPerDay;

    // Days since 1970 to the proleptic Gregorian calendar (H. Hinnant's method).
    const int64_t z = days - kDaysFrom1601To1970 + 719'468;
    const int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
    const int64_t doe = z - era * 146'097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);

    CivilTime t;
    t.year = static_cast<int>(y);
    t.month = static_cast<int>(m);
    t.day = static_cast<int>(d);
    t.dayOfWeek = static_cast<int>((days + 1) % 7);  // 1601-01-01 was a Monday
    t.hour = static_cast<int>(secondOfDay / 3600);
    t.minute = static_cast<int>(secondOfDay / 60 % 60);
    t.second = static_cast<int>(secondOfDay % 60);
    return t;
}

DateTextCache::DateTextCache(ToLocal toLocal, FormatDate formatDate, FormatTime formatTime)
    : toLocal_(std::move(toLocal)), formatDate_(std::move(formatDate)), formatTime_(std::move(formatTime)) {}

int64_t DateTextCache::localSeconds(uint64_t utcTicks) {
    const uint64_t block = utcTicks / kBlockTicks;
    if (block != lastBlock_) {
        auto it = offsets_.find(block);
        if (it == offsets_.end()) {
            const uint64_t first = block * kBlockTicks;
            const uint64_t last = first + kBlockTicks - kTicksPerSecond;
            if (last > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
                // Beyond what a FILETIME can hold: let the platform judge it.
                ++calls_.toLocal;
                return toLocal_(utcTicks) / static_cast<int64_t>(kTicksPerSecond);
            }
            const auto offsetAt = [this](uint64_t ticks) {
                ++calls_.toLocal;
                return toLocal_(ticks) / static_cast<int64_t>(kTicksPerSecond) -
                       static_cast<int64_t>(ticks / kTicksPerSecond);
            };
            const int64_t atFirst = offsetAt(first);
            const int64_t atLast = offsetAt(last);
            std::optional<int64_t> offset;
            if (atFirst == atLast) offset = atFirst;
            it = offsets_.emplace(block, offset).first;
        }
        lastBlock_ = block;
        lastOffset_ = it->second;
    }
    if (lastOffset_) return static_cast<int64_t>(utcTicks / kTicksPerSecond) + *lastOffset_;
    ++calls_.toLocal;
    return toLocal_(utcTicks) / static_cast<int64_t>(kTicksPerSecond);
}

const std::string& DateTextCache::dateText(int64_t day, const CivilTime& t) {
    if (day == lastDay_ && lastDate_) return *lastDate_;
    auto it = dates_.find(day);
    if (it == dates_.end()) {
        ++calls_.date;
        it = dates_.emplace(day, formatDate_(t)).first;
    }
    lastDay_ = day;
    lastDate_ = &it->second;  // node-based map: stays valid while the map lives
    return it->second;
}

const std::string& DateTextCache::timeText(int32_t secondOfDay, const CivilTime& t) {
    if (timeKnown_.empty()) {
        times_.resize(kSecondsPerDay / kSecondsPerTimeBlock);
        timeKnown_.assign(kSecondsPerDay, false);
    }
    const auto i = static_cast<size_t>(secondOfDay);
    std::unique_ptr<std::string[]>& block = times_[i / kSecondsPerTimeBlock];
    if (!block) block = std::make_unique<std::string[]>(kSecondsPerTimeBlock);
    std::string& text = block[i % kSecondsPerTimeBlock];
    if (!timeKnown_[i]) {
        ++calls_.time;
        text = formatTime_(t);
        timeKnown_[i] = true;
    }
    return text;
}

SharedText DateTextCache::text(uint64_t utcTicks) {
    const int64_t seconds = localSeconds(utcTicks);
    check(seconds >= 0, 5, "Invalid procedure call or argument");
    if (texts_.empty()) texts_.resize(kTextSlots);
    TextSlot& slot = texts_[static_cast<size_t>(seconds) % kTextSlots];
    if (slot.seconds == seconds) return slot.text;
    const int64_t day = seconds / kSecondsPerDay;
    const auto secondOfDay = static_cast<int32_t>(seconds % kSecondsPerDay);

    // The broken-down time is needed only when a text is not cached yet.
    std::optional<CivilTime> civil;
    const auto fields = [&]() -> const CivilTime& {
        if (!civil) civil = civilTime(seconds);
        return *civil;
    };
    const bool dateCached = day == lastDay_ && lastDate_;
    const std::string& date = dateCached ? *lastDate_ : dateText(day, fields());
    if (secondOfDay == 0) {
        slot = {seconds, SharedText(date)};
        return slot.text;
    }

    const auto i = static_cast<size_t>(secondOfDay);
    const bool timeCached = !timeKnown_.empty() && timeKnown_[i];
    const std::string& time = timeCached ? times_[i / kSecondsPerTimeBlock][i % kSecondsPerTimeBlock]
                                         : timeText(secondOfDay, fields());
    std::string out;
    out.reserve(date.size() + 1 + time.size());
    out += date;
    out += ' ';
    out += time;
    slot = {seconds, SharedText(out)};
    return slot.text;
}

namespace {

constexpr const char* kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};

void appendNumber(std::string& out, int n, size_t width) {
    std::string digits = std::to_string(n);
    if (digits.size() < width) out.append(width - digits.size(), '0');
    out += digits;
}

// Calls `field(letter, run length)` for each run of one letter of `letters`
// and copies every other character, quoted text without its quotes.
template <class Field>
std::string formatPicture(std::string_view picture, std::string_view letters, Field field) {
    std::string out;
    for (size_t i = 0; i < picture.size();) {
        const char c = picture[i];
        if (c == '\'') {
            const size_t end = picture.find('\'', i + 1);
            if (end == i + 1) {
                out += '\'';
            } else {
                out += picture.substr(i + 1, end == std::string_view::npos ? end : end - i - 1);
            }
            i = end == std::string_view::npos ? picture.size() : end + 1;
            continue;
        }
        if (letters.find(c) == std::string_view::npos) {
            out += c;
            ++i;
            continue;
        }
        size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c) ++run;
        field(out, c, run);
        i += run;
    }
    return out;
}

}  // namespace

std::string formatDatePicture(std::string_view picture, const CivilTime& t) {
    return formatPicture(picture, "dMyg", [&](std::string& out, char c, size_t run) {
        switch (c) {
            case 'd':
                if (run <= 2) {
                    appendNumber(out, t.day, run);
                } else {
                    const std::string_view name = kDayNames[t.dayOfWeek % 7];
                    out += run == 3 ? name.substr(0, 3) : name;
                }
                break;
            case 'M':
                if (run <= 2) {
                    appendNumber(out, t.month, run);
                } else {
                    const std::string_view name = kMonthNames[(t.month + 11) % 12];
                    out += run == 3 ? name.substr(0, 3) : name;
                }
                break;
            case 'y':
                if (run <= 2) {
                    appendNumber(out, t.year % 100, run);
                } else {
                    appendNumber(out, t.year, 4);
                }
                break;
            default:
                out += "A.D.";  // the era of the Gregorian calendar
        }
    });
}

std::string formatTimePicture(std::string_view picture, const CivilTime& t, std::string_view am,
                              std::string_view pm) {
    return formatPicture(picture, "hHmst", [&](std::string& out, char c, size_t run) {
        const size_t width = std::min<size_t>(run, 2);
        switch (c) {
            case 'h':
                appendNumber(out, t.hour % 12 == 0 ? 12 : t.hour % 12, width);
                break;
            case 'H':
                appendNumber(out, t.hour, width);
                break;
            case 'm':
                appendNumber(out, t.minute, width);
                break;
            case 's':
                appendNumber(out, t.second, width);
                break;
            default: {
                const std::string_view marker = t.hour < 12 ? am : pm;
                out += run == 1 ? marker.substr(0, 1) : marker;
            }
        }
    });
}

}  // namespace qv

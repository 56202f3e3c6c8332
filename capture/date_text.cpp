#include "capture/date_text.h"

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

std::string DateTextCache::text(uint64_t utcTicks) {
    const int64_t seconds = localSeconds(utcTicks);
    check(seconds >= 0, 5, "Invalid procedure call or argument");
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
    if (secondOfDay == 0) return date;

    const auto i = static_cast<size_t>(secondOfDay);
    const bool timeCached = !timeKnown_.empty() && timeKnown_[i];
    const std::string& time = timeCached ? times_[i / kSecondsPerTimeBlock][i % kSecondsPerTimeBlock]
                                         : timeText(secondOfDay, fields());
    std::string out;
    out.reserve(date.size() + 1 + time.size());
    out += date;
    out += ' ';
    out += time;
    return out;
}

}  // namespace qv

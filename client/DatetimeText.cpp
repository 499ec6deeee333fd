#include "client/DatetimeText.h"

#include "platform/RegionalSettings.h"

#include <chrono>

namespace tvr::client {
namespace {
constexpr CS_INT kTicksPerDay = 300 * 86400;  // time of day counts three-hundredths
}  // namespace

std::string datetimeText(const CS_DATETIME& value) {
    // Day and time are taken apart as integers: a date before 1900 with a time of day keeps
    // its own day, which a single floating day count would shift by one.
    std::int64_t days = value.dtdays;
    std::int64_t ticks = value.dttime;
    days += ticks / kTicksPerDay;
    ticks %= kTicksPerDay;
    if (ticks < 0) {
        ticks += kTicksPerDay;
        --days;
    }
    if (days == 0 && ticks == 0) return {};

    using namespace std::chrono;
    const sys_days day = sys_days{year{1900} / January / 1} + std::chrono::days{days};
    const year_month_day ymd{day};
    const year_month_day startOfYear{ymd.year() / January / 1};
    std::tm tm{};
    tm.tm_year = static_cast<int>(ymd.year()) - 1900;
    tm.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
    tm.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
    tm.tm_wday = static_cast<int>(weekday{day}.c_encoding());
    tm.tm_yday = static_cast<int>((day - sys_days{startOfYear}).count());
    const std::int64_t seconds = ticks / 300;
    tm.tm_hour = static_cast<int>(seconds / 3600);
    tm.tm_min = static_cast<int>(seconds / 60 % 60);
    tm.tm_sec = static_cast<int>(seconds % 60);
    tm.tm_isdst = -1;

    std::string text = platform::formatShortDate(tm);
    if (ticks != 0) text += " " + platform::formatLongTime(tm);
    return text;
}

}  // namespace tvr::client

#include "sim/statements/DateTime.h"

#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace tvr::sim {
namespace {

constexpr std::int64_t TicksPerDay = 300LL * 86400;

// Days between 1 January 1970 and the given civil date (proleptic Gregorian calendar).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned shifted = month > 2 ? month - 3 : month + 9;
    const unsigned doy = (153 * shifted + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

const std::int64_t Epoch1900 = daysFromCivil(1900, 1, 1);

bool leapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
    static const std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : days[static_cast<std::size_t>(month - 1)];
}

// A small cursor over the text being parsed.
struct Scanner {
    const std::string& text;
    std::size_t position = 0;

    bool atEnd() const { return position >= text.size(); }
    char peek() const { return atEnd() ? '\0' : text[position]; }
    void skipBlanks() {
        while (!atEnd() && std::isspace(static_cast<unsigned char>(text[position]))) ++position;
    }
    bool accept(char c) {
        if (peek() != c) return false;
        ++position;
        return true;
    }
    // Up to `maxDigits` digits, at least one; -1 when none.
    int number(std::size_t maxDigits, std::size_t* count = nullptr) {
        std::size_t start = position;
        int value = 0;
        while (!atEnd() && position - start < maxDigits &&
               std::isdigit(static_cast<unsigned char>(text[position])))
            value = value * 10 + (text[position++] - '0');
        if (count != nullptr) *count = position - start;
        return position == start ? -1 : value;
    }
    std::string word() {
        std::size_t start = position;
        while (!atEnd() && std::isalpha(static_cast<unsigned char>(text[position]))) ++position;
        return text.substr(start, position - start);
    }
};

int monthFromName(std::string name) {
    static const std::array<const char*, 12> names{"jan", "feb", "mar", "apr", "may", "jun",
                                                   "jul", "aug", "sep", "oct", "nov", "dec"};
    if (name.size() < 3) return -1;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (std::size_t i = 0; i < names.size(); ++i)
        if (name.compare(0, 3, names[i]) == 0) return static_cast<int>(i + 1);
    return -1;
}

// The time part: HH:MM[:SS[.fff]] [AM|PM], or HHAM. Empty input is midnight.
bool parseTime(Scanner& in, int& hour, int& minute, int& second, int& millisecond) {
    hour = minute = second = millisecond = 0;
    in.skipBlanks();
    if (in.atEnd()) return true;
    hour = in.number(2);
    if (hour < 0) return false;
    if (in.accept(':')) {
        minute = in.number(2);
        if (minute < 0) return false;
        if (in.accept(':')) {
            second = in.number(2);
            if (second < 0) return false;
            if (in.accept('.') || in.accept(':')) {
                std::size_t digits = 0;
                int fraction = in.number(3, &digits);
                if (fraction < 0) return false;
                while (digits++ < 3) fraction *= 10;
                millisecond = fraction;
                while (std::isdigit(static_cast<unsigned char>(in.peek()))) in.position++;
            }
        }
    }
    in.skipBlanks();
    std::string meridiem = in.word();
    if (!meridiem.empty()) {
        for (char& c : meridiem) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if ((meridiem != "am" && meridiem != "pm") || hour < 1 || hour > 12) return false;
        if (meridiem == "am" && hour == 12)
            hour = 0;
        else if (meridiem == "pm" && hour != 12)
            hour += 12;
    }
    in.skipBlanks();
    return in.atEnd() && hour < 24 && minute < 60 && second < 60;
}

}  // namespace

DateTimeValue dateTimeFromParts(int year, int month, int day, int hour, int minute, int second,
                                int millisecond) {
    DateTimeValue value;
    value.days = static_cast<std::int32_t>(
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - Epoch1900);
    std::int64_t ticks = (static_cast<std::int64_t>(hour) * 3600 + minute * 60 + second) * 300 +
                         std::llround(millisecond * 0.3);
    if (ticks >= TicksPerDay) {
        ticks -= TicksPerDay;
        value.days += 1;
    }
    value.ticks = static_cast<std::int32_t>(ticks);
    return value;
}

DateTimeValue toTheMinute(DateTimeValue value) {
    constexpr std::int32_t kTicksPerMinute = 60 * 300;
    value.ticks = (value.ticks + kTicksPerMinute / 2) / kTicksPerMinute * kTicksPerMinute;
    if (value.ticks >= TicksPerDay) {
        value.ticks -= static_cast<std::int32_t>(TicksPerDay);
        ++value.days;
    }
    return value;
}

std::string formatDateTime(const DateTimeValue& value) {
    int year = 0, month = 0, day = 0;
    civilFromDays(value.days + Epoch1900, year, month, day);
    std::int64_t ticks = value.ticks;
    if (ticks < 0 || ticks >= TicksPerDay) ticks = 0;
    std::int64_t totalMs = std::llround(static_cast<double>(ticks) * 10.0 / 3.0);
    std::int64_t seconds = totalMs / 1000;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day,
                  static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60), static_cast<int>(totalMs % 1000));
    return buffer;
}

std::optional<DateTimeValue> parseDateTime(const std::string& text) {
    Scanner in{text};
    in.skipBlanks();
    int year = -1, month = -1, day = -1;
    if (std::isalpha(static_cast<unsigned char>(in.peek()))) {
        month = monthFromName(in.word());
        in.skipBlanks();
        day = in.number(2);
        in.skipBlanks();
        in.accept(',');
        in.skipBlanks();
        year = in.number(4);
    } else {
        std::size_t digits = 0;
        int first = in.number(8, &digits);
        if (digits == 8) {
            year = first / 10000;
            month = first / 100 % 100;
            day = first % 100;
        } else if (digits == 4 && (in.accept('-') || in.accept('/') || in.accept('.'))) {
            year = first;
            month = in.number(2);
            if (!(in.accept('-') || in.accept('/') || in.accept('.'))) return std::nullopt;
            day = in.number(2);
        } else if (digits >= 1 && digits <= 2 &&
                   (in.accept('/') || in.accept('-') || in.accept('.'))) {
            month = first;
            day = in.number(2);
            if (!(in.accept('/') || in.accept('-') || in.accept('.'))) return std::nullopt;
            year = in.number(4);
        } else {
            return std::nullopt;
        }
    }
    if (year < 1753 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > daysInMonth(year, month))
        return std::nullopt;
    in.accept('T');
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    if (!parseTime(in, hour, minute, second, millisecond)) return std::nullopt;
    return dateTimeFromParts(year, month, day, hour, minute, second, millisecond);
}

DateTimeValue currentDateTime() {
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    return dateTimeFromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                             local.tm_min, local.tm_sec, static_cast<int>(ms));
}

std::optional<std::string> formatDateTimeStyle(const DateTimeValue& value, int style) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int year = 0, month = 0, day = 0;
    civilFromDays(value.days + Epoch1900, year, month, day);
    const std::int64_t ticks = value.ticks < 0 || value.ticks >= TicksPerDay ? 0 : value.ticks;
    const std::int64_t micros = ticks * 1000000 / 300;
    const int hour = static_cast<int>(micros / 3600000000LL);
    const int minute = static_cast<int>(micros / 60000000 % 60);
    const int second = static_cast<int>(micros / 1000000 % 60);
    const int milli = static_cast<int>(std::llround(static_cast<double>(ticks % 300) * 10.0 / 3.0));
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    const char* half = hour < 12 ? "AM" : "PM";
    const char* name = months[month - 1];
    const bool century = style >= 100;
    const int y = century ? year : year % 100;
    const char* yf = century ? "%04d" : "%02d";
    if ((style > 12 && style < 100) || (style > 112 && style != 139)) return std::nullopt;
    char out[64];
    auto put = [&](const std::string& format, auto... values) {
        std::snprintf(out, sizeof out, format.c_str(), values...);
        return std::string(out);
    };
    switch (style % 100) {
        case 0:
            return put("%s %2d %04d %2d:%02d%s", name, day, year, hour12, minute, half);
        case 1:
            return put(std::string("%02d/%02d/") + yf, month, day, y);
        case 2:
            return put(std::string(yf) + ".%02d.%02d", y, month, day);
        case 3:
            return put(std::string("%02d/%02d/") + yf, day, month, y);
        case 4:
            return put(std::string("%02d.%02d.") + yf, day, month, y);
        case 5:
            return put(std::string("%02d-%02d-") + yf, day, month, y);
        case 6:
            return put(std::string("%02d %s ") + yf, day, name, y);
        case 7:
            return put(std::string("%s %02d, ") + yf, name, day, y);
        case 8:
            return put("%02d:%02d:%02d", hour, minute, second);
        case 9:
            return put("%s %2d %04d %2d:%02d:%02d:%03d%s", name, day, year, hour12, minute, second,
                       milli, half);
        case 10:
            return put(std::string("%02d-%02d-") + yf, month, day, y);
        case 11:
            return put(std::string(yf) + "/%02d/%02d", y, month, day);
        case 12:
            return put(std::string(yf) + "%02d%02d", y, month, day);
        default:
            break;
    }
    if (style == 139)
        return put("%s %2d %04d %2d:%02d:%02d.%06d%s", name, day, year, hour12, minute, second,
                   static_cast<int>(micros % 1000000), half);
    return std::nullopt;
}

}  // namespace tvr::sim

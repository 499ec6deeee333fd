#pragma once
// Conversions between datetime texts and the server's datetime: days since 1 January 1900
// and three-hundredths of a second since midnight.
#include "sim/statements/Values.h"

#include <optional>
#include <string>

namespace tvr::sim {

// "YYYY-MM-DD HH:MM:SS.mmm", the form datetimes are stored in.
std::string formatDateTime(const DateTimeValue& value);

// Accepts the usual server input forms: "2026-12-07", "2026-12-07 10:15[:30[.500]]" (also with
// "T"), "20261207 10:15", "Dec 7 2026 10:15AM", "12/07/2026 10:15:30". Nothing when the text
// is none of them or names an impossible date or time (years 1753 to 9999).
std::optional<DateTimeValue> parseDateTime(const std::string& text);

// A smalldatetime holds minutes: 29.998 seconds and less round down, 30 seconds up.
DateTimeValue toTheMinute(DateTimeValue value);

// The text of a datetime in a conversion style of the server (0 to 12 with two-digit years,
// 100 to 112 with four, 109 and 139 with the time to the millisecond and microsecond); nothing
// for a style it does not have.
std::optional<std::string> formatDateTimeStyle(const DateTimeValue& value, int style);

// The local time now.
DateTimeValue currentDateTime();

DateTimeValue dateTimeFromParts(int year, int month, int day, int hour, int minute, int second,
                                int millisecond);

}  // namespace tvr::sim

// Calendar arithmetic on day serials.
//
// A date is a whole number of days counted from 1899-12-30 (day 0, "the zero
// date", which means "no date" wherever the data says so). Times are
// milliseconds since midnight; date-times are milliseconds from 1899-12-30 00:00.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace doz {

using DaySerial = std::int32_t;     // days from 1899-12-30
using TimeOfDay = std::int32_t;     // milliseconds since midnight, 0 .. 86'399'999
using DateTimeMs = std::int64_t;    // milliseconds from 1899-12-30 00:00

constexpr std::int64_t kMsPerDay = 86'400'000;

struct CivilDate {
    int year = 1899;
    int month = 12;
    int day = 30;
};

bool isValidCivilDate(int year, int month, int day);
// Throws ConvertError for an impossible date (years 1 to 9999).
DaySerial encodeDate(int year, int month, int day);
CivilDate decodeDate(DaySerial serial);
// ISO numbering: Monday 1 .. Sunday 7.
int dayOfTheWeek(DaySerial serial);

// Today's date from the system clock, local time.
DaySerial today();
// The system clock's moment, local time, to the millisecond.
DateTimeMs localNow();

inline DaySerial datePart(DateTimeMs dt) {
    return static_cast<DaySerial>(dt >= 0 ? dt / kMsPerDay : -((-dt + kMsPerDay - 1) / kMsPerDay));
}
inline TimeOfDay timePart(DateTimeMs dt) {
    return static_cast<TimeOfDay>(dt - static_cast<DateTimeMs>(datePart(dt)) * kMsPerDay);
}

// Formats a date with a pattern: "dd", "mm", "yy", "yyyy" (also "d", "m"), "/" is
// the date separator given, every other character is copied.
std::string formatDatePattern(std::string_view pattern, DaySerial serial, char dateSeparator);

// "YYYY-MM-DD", "HH:MM:SS.mmm", "YYYY-MM-DDTHH:MM:SS.mmm" (the dump's forms).
std::string isoDate(DaySerial serial);
std::string isoTime(TimeOfDay ms);
std::string isoDateTime(DateTimeMs dt);

// Parses "YYYY-MM-DD"; false when the text is not such a date.
bool parseIsoDate(std::string_view text, DaySerial& out);

// Parses a date as a clerk types it, day first: day, month and year split by
// any of '/', '-', '.' or `separator` ("9/12/26", "09-12-2026", "09.12.2026"),
// or run together as ddmmyyyy or ddmmyy ("09122026"). A two-digit year is taken
// in 1950..2049. Blanks around are allowed. False for anything else, for a
// day that does not exist ("31/02/2026") and for a four-digit year below 1000
// ("09/12/0026").
bool parseTypedDate(std::string_view text, char separator, DaySerial& out);

}  // namespace doz

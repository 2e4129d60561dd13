#include "sepa/Calendar.h"

#include "platform/Dates.h"

namespace doz::sepa {

Date EasterSunday(int year) {
    // The anonymous Gregorian algorithm.
    const int a = year % 19, b = year / 100, c = year % 100;
    const int d = b / 4, e = b % 4, f = (b + 8) / 25, g = (b - f + 1) / 3;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4, k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int month = (h + l - 7 * m + 114) / 31;
    const int day = (h + l - 7 * m + 114) % 31 + 1;
    return Date{year, month, day};
}

bool IsSettlementDay(const Date& date) {
    if (!isValidCivilDate(date.year, date.month, date.day)) return false;
    const DaySerial serial = encodeDate(date.year, date.month, date.day);
    if (dayOfTheWeek(serial) >= 6) return false;
    if (date.day == 1 && (date.month == 1 || date.month == 5)) return false;
    if (date.month == 12 && (date.day == 25 || date.day == 26)) return false;
    const Date easter = EasterSunday(date.year);
    const DaySerial easterSerial = encodeDate(easter.year, easter.month, easter.day);
    return serial != easterSerial - 2 && serial != easterSerial + 1;
}

int CompareDates(const Date& a, const Date& b) {
    const long x = a.year * 10000L + a.month * 100L + a.day;
    const long y = b.year * 10000L + b.month * 100L + b.day;
    return x < y ? -1 : (x > y ? 1 : 0);
}

}  // namespace doz::sepa

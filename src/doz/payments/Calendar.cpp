#include "payments/Calendar.h"

namespace doz {

namespace {

DaySerial easterSerial(int year) {
    const CivilDate easter = EasterSunday(year);
    return encodeDate(easter.year, easter.month, easter.day);
}

}  // namespace

CivilDate EasterSunday(int year) {
    // The anonymous Gregorian algorithm.
    const int a = year % 19, b = year / 100, c = year % 100;
    const int d = b / 4, e = b % 4, f = (b + 8) / 25, g = (b - f + 1) / 3;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4, k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int month = (h + l - 7 * m + 114) / 31;
    const int day = (h + l - 7 * m + 114) % 31 + 1;
    return CivilDate{year, month, day};
}

bool IsSettlementDay(DaySerial day) {
    if (dayOfTheWeek(day) >= 6) return false;
    const CivilDate date = decodeDate(day);
    if (date.day == 1 && (date.month == 1 || date.month == 5)) return false;
    if (date.month == 12 && (date.day == 25 || date.day == 26)) return false;
    const DaySerial easter = easterSerial(date.year);
    return day != easter - 2 && day != easter + 1;
}

const char* ItalianHoliday(DaySerial day) {
    const CivilDate date = decodeDate(day);
    switch (date.month * 100 + date.day) {
        case 101: return "Capodanno";
        case 106: return "Epifania";
        case 425: return "Festa della Liberazione";
        case 501: return "Festa del Lavoro";
        case 602: return "Festa della Repubblica";
        case 815: return "Ferragosto";
        // Restored as a national holiday from 2026.
        case 1004: return date.year >= 2026 ? "San Francesco d'Assisi" : nullptr;
        case 1101: return "Ognissanti";
        case 1208: return "Immacolata Concezione";
        case 1225: return "Natale";
        case 1226: return "Santo Stefano";
        default: break;
    }
    if (day == easterSerial(date.year) + 1) return "Luned\xEC dell'Angelo";
    return nullptr;
}

}  // namespace doz

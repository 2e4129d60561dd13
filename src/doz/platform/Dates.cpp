#include "platform/Dates.h"

#include <algorithm>

#include "platform/Error.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace doz {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

CivilDate civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp + (mp < 10 ? 3 : -9);
    return CivilDate{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

constexpr std::int64_t kEpochOffset = 25569;  // 1970-01-01 as a day serial

}  // namespace

bool isValidCivilDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int limit = kDays[month - 1];
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && leap) limit = 29;
    return day <= limit;
}

DaySerial encodeDate(int year, int month, int day) {
    if (!isValidCivilDate(year, month, day)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "Data non valida: %04d-%02d-%02d", year, month, day);
        throw ConvertError(buf);
    }
    return static_cast<DaySerial>(daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                                  kEpochOffset);
}

CivilDate decodeDate(DaySerial serial) { return civilFromDays(static_cast<std::int64_t>(serial) - kEpochOffset); }

int dayOfTheWeek(DaySerial serial) {
    // 1899-12-30 was a Saturday (ISO 6).
    const std::int64_t r = ((static_cast<std::int64_t>(serial) + 5) % 7 + 7) % 7;  // 0 = Monday
    return static_cast<int>(r) + 1;
}

DaySerial today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return encodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

DateTimeMs localNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    const DaySerial day = encodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    const std::int64_t ms = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000LL + now.tv_nsec / 1'000'000;
    return static_cast<DateTimeMs>(day) * kMsPerDay + std::min<std::int64_t>(ms, kMsPerDay - 1);  // a leap second
}

std::string formatDatePattern(std::string_view pattern, DaySerial serial, char dateSeparator) {
    const CivilDate c = decodeDate(serial);
    std::string out;
    char buf[16];
    for (std::size_t i = 0; i < pattern.size();) {
        const char ch = pattern[i];
        std::size_t run = 1;
        while (i + run < pattern.size() && (pattern[i + run] | 0x20) == (ch | 0x20)) ++run;
        const char lower = static_cast<char>(ch | 0x20);
        if (lower == 'y') {
            if (run >= 3) std::snprintf(buf, sizeof buf, "%04d", c.year);
            else std::snprintf(buf, sizeof buf, "%02d", c.year % 100);
            out += buf;
        } else if (lower == 'm' && run <= 2) {
            std::snprintf(buf, sizeof buf, run == 2 ? "%02d" : "%d", c.month);
            out += buf;
        } else if (lower == 'd' && run <= 2) {
            std::snprintf(buf, sizeof buf, run == 2 ? "%02d" : "%d", c.day);
            out += buf;
        } else if (ch == '/') {
            out.append(run, dateSeparator);
        } else {
            out.append(pattern.substr(i, run));
        }
        i += run;
    }
    return out;
}

std::string isoDate(DaySerial serial) {
    const CivilDate c = decodeDate(serial);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
    return buf;
}

std::string isoTime(TimeOfDay ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return buf;
}

std::string isoDateTime(DateTimeMs dt) { return isoDate(datePart(dt)) + "T" + isoTime(timePart(dt)); }

bool parseIsoDate(std::string_view text, DaySerial& out) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    auto digits = [&](std::size_t from, std::size_t n, int& v) {
        v = 0;
        for (std::size_t i = from; i < from + n; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            v = v * 10 + (text[i] - '0');
        }
        return true;
    };
    int y, m, d;
    if (!digits(0, 4, y) || !digits(5, 2, m) || !digits(8, 2, d) || !isValidCivilDate(y, m, d)) return false;
    out = encodeDate(y, m, d);
    return true;
}

bool parseTypedDate(std::string_view text, char separator, DaySerial& out) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    auto isSeparator = [&](char c) { return c == '/' || c == '-' || c == '.' || c == separator; };

    std::string_view parts[3];
    if (!text.empty() && std::all_of(text.begin(), text.end(), isDigit)) {
        if (text.size() != 8 && text.size() != 6) return false;
        parts[0] = text.substr(0, 2);
        parts[1] = text.substr(2, 2);
        parts[2] = text.substr(4);
    } else {
        std::size_t start = 0;
        for (int i = 0; i < 3; ++i) {
            std::size_t end = start;
            while (end < text.size() && !isSeparator(text[end])) ++end;
            if (i < 2 && end == text.size()) return false;
            parts[i] = text.substr(start, end - start);
            start = end + 1;
        }
        if (start <= text.size()) return false;  // a fourth part
    }
    int numbers[3];
    for (int i = 0; i < 3; ++i) {
        const std::string_view p = parts[i];
        const std::size_t widest = i == 2 ? 4 : 2;
        if (p.empty() || p.size() > widest || (i == 2 && p.size() != 2 && p.size() != 4)) return false;
        numbers[i] = 0;
        for (const char c : p) {
            if (!isDigit(c)) return false;
            numbers[i] = numbers[i] * 10 + (c - '0');
        }
    }
    int year = numbers[2];
    // "0026" is a two-digit year typed with zeros in front, not the year 26.
    if (parts[2].size() == 4 && year < 1000) return false;
    if (parts[2].size() == 2) year += year < 50 ? 2000 : 1900;
    if (!isValidCivilDate(year, numbers[1], numbers[0])) return false;
    out = encodeDate(year, numbers[1], numbers[0]);
    return true;
}

}  // namespace doz

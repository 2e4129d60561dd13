#include "platform/Dates.h"

#include <gtest/gtest.h>

#include "platform/Error.h"

namespace doz {
namespace {

int daysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

TEST(DatesSerial, AnchorsLeapYearsAndImpossibleDates) {
    EXPECT_EQ(encodeDate(1899, 12, 30), 0);
    EXPECT_EQ(encodeDate(1900, 1, 1), 2);
    EXPECT_EQ(encodeDate(1970, 1, 1), 25569);
    EXPECT_EQ(encodeDate(2024, 2, 29), 45351);
    EXPECT_EQ(encodeDate(1, 1, 1), -693593);
    EXPECT_EQ(encodeDate(9999, 12, 31), 2958465);
    EXPECT_TRUE(isValidCivilDate(2000, 2, 29));   // divisible by 400
    EXPECT_FALSE(isValidCivilDate(1900, 2, 29));  // by 100 only
    EXPECT_FALSE(isValidCivilDate(2023, 2, 29));
    EXPECT_EQ(encodeDate(2024, 3, 1) - encodeDate(2024, 2, 28), 2);
    const int impossible[][3] = {{2024, 4, 31}, {2024, 13, 1}, {2024, 0, 1}, {2024, 1, 0}, {0, 1, 1}, {10000, 1, 1}};
    for (const auto& [y, m, d] : impossible) {
        EXPECT_FALSE(isValidCivilDate(y, m, d)) << y << "-" << m << "-" << d;
        EXPECT_THROW(encodeDate(y, m, d), ConvertError);
    }
}

// Walks every day from 0001-01-01 to 9999-12-31 with a calendar of its own:
// serials follow one another and decode back to the same day.
TEST(DatesSerial, EveryDayRoundTripsAcrossTheWholeRange) {
    int y = 1, m = 1, d = 1, mismatches = 0;
    for (DaySerial s = encodeDate(1, 1, 1);; ++s) {
        const CivilDate c = decodeDate(s);
        if ((c.year != y || c.month != m || c.day != d || encodeDate(y, m, d) != s) && ++mismatches < 5) {
            ADD_FAILURE() << y << "-" << m << "-" << d << " serial " << s;
        }
        if (y == 9999 && m == 12 && d == 31) break;
        if (++d > daysInMonth(y, m)) {
            d = 1;
            if (++m > 12) m = 1, ++y;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(DatesWeekday, IsoNumberingOnKnownDates) {
    EXPECT_EQ(dayOfTheWeek(encodeDate(1899, 12, 30)), 6);  // Saturday
    EXPECT_EQ(dayOfTheWeek(encodeDate(1970, 1, 1)), 4);    // Thursday
    EXPECT_EQ(dayOfTheWeek(encodeDate(2024, 1, 1)), 1);    // Monday
    EXPECT_EQ(dayOfTheWeek(encodeDate(2023, 12, 31)), 7);  // Sunday
    EXPECT_EQ(dayOfTheWeek(encodeDate(2025, 8, 15)), 5);   // Friday
    EXPECT_EQ(dayOfTheWeek(encodeDate(1899, 12, 24)), 7);  // Sunday, a negative serial
    EXPECT_EQ(dayOfTheWeek(encodeDate(1, 1, 1)), 1);       // Monday, proleptic Gregorian
}

TEST(DatesPattern, FieldsSeparatorAndLiterals) {
    const DaySerial d = encodeDate(2024, 3, 5);
    EXPECT_EQ(formatDatePattern("ddmmyy", d, '/'), "050324");
    EXPECT_EQ(formatDatePattern("ddmmyy", encodeDate(2000, 12, 31), '/'), "311200");
    EXPECT_EQ(formatDatePattern("yyyymmdd", d, '/'), "20240305");
    EXPECT_EQ(formatDatePattern("yyyymmdd", encodeDate(999, 1, 9), '/'), "09990109");
    EXPECT_EQ(formatDatePattern("yyyy/mm/dd", d, '/'), "2024/03/05");
    EXPECT_EQ(formatDatePattern("yyyy/mm/dd", d, '.'), "2024.03.05");  // '/' is the separator given
    EXPECT_EQ(formatDatePattern("d/m/yyyy", encodeDate(2024, 11, 5), '-'), "5-11-2024");
    EXPECT_EQ(formatDatePattern("DD.MM.YYYY", d, '/'), "05.03.2024");  // a point is copied
}

TEST(DatesIso, NegativeDateTimesAndParsing) {
    EXPECT_EQ(isoDateTime(static_cast<DateTimeMs>(encodeDate(2024, 3, 5)) * kMsPerDay + 49530250),
              "2024-03-05T13:45:30.250");
    EXPECT_EQ(isoDateTime(-1), "1899-12-29T23:59:59.999");
    EXPECT_EQ(isoDateTime(-kMsPerDay), "1899-12-29T00:00:00.000");
    EXPECT_EQ(isoDateTime(-kMsPerDay - 1), "1899-12-28T23:59:59.999");
    EXPECT_EQ(isoDateTime(-kMsPerDay / 2), "1899-12-29T12:00:00.000");

    DaySerial out = 777;
    for (const char* bad : {"2023-02-29", "2024-3-05", "2024/03/05", "", "0000-01-01", " 2024-03-05", "abcd-ef-gh"}) {
        EXPECT_FALSE(parseIsoDate(bad, out)) << bad;
    }
    EXPECT_EQ(out, 777);
    ASSERT_TRUE(parseIsoDate("2024-02-29", out));
    EXPECT_EQ(out, 45351);
}

// Dates as clerks type them: day first, any usual separator, run together,
// two-digit years in 1950..2049; anything else, or a day that does not exist, refused.
TEST(DatesTest, TypedDates) {
    const DaySerial ninth = encodeDate(2026, 12, 9);
    for (const char* typed : {"09122026", "091226", "9/12/26", "09-12-2026", "09.12.2026", " 9;12;2026 "}) {
        DaySerial out = 0;
        EXPECT_TRUE(parseTypedDate(typed, ';', out) && out == ninth) << typed;
    }
    DaySerial out = 0;
    EXPECT_TRUE(parseTypedDate("1/1/50", '/', out) && out == encodeDate(1950, 1, 1));
    for (const char* bad : {"31/02/2026", "abc", "", "9/12", "9/12/2026/1", "0912202", "9/12/202", "123/1/2026",
                            "9//2026", "29.02.2025", "09/12/0026", "09120026"}) {
        out = 777;
        EXPECT_FALSE(parseTypedDate(bad, '/', out)) << bad;
        EXPECT_EQ(out, 777) << bad;
    }
}

}  // namespace
}  // namespace doz

#include "platform/Regional.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "platform/Error.h"

namespace doz {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// Sets the process-wide regional settings for one test and restores them after.
class RegionalScope {
public:
    explicit RegionalScope(std::string_view locale) : saved_(regional()) { regional() = Regional::forLocale(locale); }
    ~RegionalScope() { regional() = saved_; }

private:
    Regional saved_;
};

class EnvScope {
public:
    EnvScope(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~EnvScope() { saved_ ? ::setenv(name_, saved_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

std::string describe(const Regional& r) {
    return std::string{r.decimalSeparator, r.thousandSeparator, r.dateSeparator, ' '} + r.shortDateFormat;
}

TEST(RegionalLocale, BuiltInSettingsAndNameForms) {
    const struct {
        const char* name;
        const char* expected;
    } cases[] = {
        {"it_IT", ",./ dd/mm/yyyy"},       {"it_IT.UTF-8@euro", ",./ dd/mm/yyyy"}, {"it", ",./ dd/mm/yyyy"},
        {"IT-it", ",./ dd/mm/yyyy"},       {"it_CH", ",./ dd/mm/yyyy"},           {"en_US", ".,/ m/d/yyyy"},
        {"en", ".,/ m/d/yyyy"},            {"en_GB.UTF-8", ".,/ dd/mm/yyyy"},     {"de_DE", ",.. dd.mm.yyyy"},
        {"de_AT", ",.. dd.mm.yyyy"},       {"fr_FR", ",\xA0/ dd/mm/yyyy"},        {"es_ES", ",./ dd/mm/yyyy"},
        {"pt_PT", ",\xA0/ dd/mm/yyyy"},    {"pt_BR", ",./ dd/mm/yyyy"},           {"nl_NL", ",.- d-m-yyyy"},
        {"C", ".,- yyyy-mm-dd"},           {"POSIX", ".,- yyyy-mm-dd"},           {"C.UTF-8", ".,- yyyy-mm-dd"},
        {"", ".,- yyyy-mm-dd"},            {"ja_JP.UTF-8", ".,- yyyy-mm-dd"},     {"1t_IT", ".,- yyyy-mm-dd"},
        {"@euro", ".,- yyyy-mm-dd"},
    };
    for (const auto& c : cases) EXPECT_EQ(describe(Regional::forLocale(c.name)), c.expected) << c.name;
}

TEST(RegionalLocale, EnvironmentOrderIsAllThenNumericThenLang) {
    EnvScope lang("LANG", "it_IT.UTF-8");
    {
        EnvScope all("LC_ALL", "de_DE.UTF-8"), numeric("LC_NUMERIC", "en_US.UTF-8");
        EXPECT_EQ(Regional::fromEnvironment().shortDateFormat, "dd.mm.yyyy");
    }
    {
        EnvScope all("LC_ALL", ""), numeric("LC_NUMERIC", "en_US.UTF-8");
        EXPECT_EQ(Regional::fromEnvironment().shortDateFormat, "m/d/yyyy");
    }
    EnvScope all("LC_ALL", nullptr), numeric("LC_NUMERIC", nullptr);
    EXPECT_EQ(Regional::fromEnvironment().shortDateFormat, "dd/mm/yyyy");
    EnvScope noLang("LANG", nullptr);
    EXPECT_EQ(Regional::fromEnvironment().shortDateFormat, "yyyy-mm-dd");
}

TEST(RegionalFormat, FixedPattern) {
    RegionalScope italian("it_IT");
    EXPECT_EQ(formatCurrencyFixed(12345000), "1234,50");
    EXPECT_EQ(formatCurrencyFixed(0), "0,00");
    EXPECT_EQ(formatCurrencyFixed(-35000), "-3,50");
    EXPECT_EQ(formatCurrencyFixed(50), "0,01");   // half away from zero
    EXPECT_EQ(formatCurrencyFixed(-50), "-0,01");
    EXPECT_EQ(formatCurrencyFixed(49), "0,00");
    EXPECT_EQ(formatCurrencyFixed(-40), "0,00");  // rounds to zero: no sign
    EXPECT_EQ(formatCurrencyFixed(123456780000), "12345678,00");
    EXPECT_EQ(formatCurrencyFixed(99995), "10,00");
    EXPECT_EQ(formatCurrencyFixed(-15000, 0), "-2");
    EXPECT_EQ(formatCurrencyFixed(12345, 3), "1,235");
    EXPECT_EQ(formatCurrencyFixed(12345, 6), "1,234500");
    EXPECT_EQ(formatCurrencyFixed(kMax, 4), "922337203685477,5807");
    EXPECT_EQ(formatCurrencyFixed(kMin), "-922337203685477,58");
    regional().decimalSeparator = '.';  // the shared setting is the one used
    EXPECT_EQ(formatCurrencyFixed(12345000), "1234.50");
}

TEST(RegionalFormat, GroupedPattern) {
    RegionalScope italian("it_IT");
    EXPECT_EQ(formatCurrencyGrouped(0), ",00");
    EXPECT_EQ(formatCurrencyGrouped(5000), ",50");
    EXPECT_EQ(formatCurrencyGrouped(-5000), "-,50");
    EXPECT_EQ(formatCurrencyGrouped(-40), ",00");
    EXPECT_EQ(formatCurrencyGrouped(12345675000), "1.234.567,50");
    EXPECT_EQ(formatCurrencyGrouped(-12345000), "-1.234,50");
    EXPECT_EQ(formatCurrencyGrouped(9999900), "999,99");
    EXPECT_EQ(formatCurrencyGrouped(9999950), "1.000,00");
    EXPECT_EQ(formatCurrencyGrouped(1000000000), "100.000,00");
    EXPECT_EQ(formatCurrencyGrouped(kMax), "922.337.203.685.477,58");
    regional() = Regional::forLocale("en_US");
    EXPECT_EQ(formatCurrencyGrouped(12345675000), "1,234,567.50");
}

TEST(RegionalFormat, GeneralFloat) {
    RegionalScope italian("it_IT");
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {1234.5, "1234,5"},  {0.1, "0,1"},           {100, "100"},          {0.1 + 0.2, "0,3"},
        {-0.0, "0"},         {-2.25, "-2,25"},       {1.0 / 3, "0,333333333333333"},
        {1e20, "1E20"},      {1.5e-7, "1,5E-7"},     {-1.5e-7, "-1,5E-7"},  {1.25e300, "1,25E300"},
        {1e14, "100000000000000"},                   {1e15, "1E15"},        {0.0001, "0,0001"},
        {0.00001, "1E-5"},   {999999999999999.9, "1E15"},                   {123456789012345.6, "123456789012346"},
        {std::numeric_limits<double>::quiet_NaN(), "NAN"},                  {-std::numeric_limits<double>::infinity(), "-INF"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatFloatGeneral(c.value), c.text) << c.text;
}

TEST(RegionalCurrency, DoubleToCurrencyRoundsTheDecimalValue) {
    const struct {
        double value;
        std::int64_t scaled;
    } cases[] = {
        {1.005, 10050},     {2.675, 26750}, {2.00005, 20001}, {1234.56785, 12345679}, {-8.00015, -80002},
        {0.00015, 2},       {0.00004, 0},   {-0.00005, -1},   {0.1 + 0.2, 3000},      {1e-300, 0},
        {922337203685477.0, 9223372036854770000},
    };
    for (const auto& c : cases) EXPECT_EQ(doubleToCurrency(c.value), c.scaled) << c.value;
    for (double bad : {1e15, -1e300, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_THROW(doubleToCurrency(bad), ConvertError) << bad;
    }
}

TEST(RegionalCurrency, ParseCurrency) {
    RegionalScope italian("it_IT");
    const struct {
        const char* text;
        std::int64_t value;
    } good[] = {
        {"1234,5", 12345000}, {"1234.5", 12345000}, {"-3,50", -35000},    {"+7", 70000},  {",5", 5000},
        {"12.", 120000},      {"1,23455", 12346},   {"1,23454999", 12345}, {"-1,23455", -12346},
        {"  42 ", 420000},    {"922337203685477,5807", kMax},
    };
    for (const auto& c : good) {
        std::int64_t out = -1;
        EXPECT_TRUE(parseCurrency(c.text, out) && out == c.value) << c.text << " -> " << out;
    }
    std::int64_t out = 99;
    for (const char* bad : {"", "-", ",", "1.234,5", "1,2,3", "1e3", "12a", "+-1", "1 000", "922337203685478"}) {
        EXPECT_FALSE(parseCurrency(bad, out)) << bad;
    }
    EXPECT_EQ(out, 99);
    regional() = Regional::forLocale("en_US");
    EXPECT_FALSE(parseCurrency("2,5", out));
}

TEST(RegionalDate, ShortFormFollowsTheLocaleBothWays) {
    const DaySerial d = encodeDate(2024, 3, 5);
    RegionalScope scope("it_IT");
    const struct {
        const char* locale;
        const char* text;
        const char* refused;
    } cases[] = {
        {"it_IT", "05/03/2024", "05.03.2024"}, {"en_US", "3/5/2024", "13/5/2024"}, {"de_DE", "05.03.2024", "05/03/2024"},
        {"nl_NL", "5-3-2024", "5/3/2024"},     {"C", "2024-03-05", "05/03/2024"},
    };
    DaySerial out = 0;
    for (const auto& c : cases) {
        regional() = Regional::forLocale(c.locale);
        EXPECT_EQ(formatShortDate(d), c.text) << c.locale;
        EXPECT_TRUE(parseDate(c.text, out) && out == d) << c.locale;
        EXPECT_TRUE(parseDate("2024-03-05", out) && out == d) << c.locale;
        EXPECT_FALSE(parseDate(c.refused, out)) << c.locale;
        for (DaySerial s : {encodeDate(1, 1, 1), encodeDate(2024, 2, 29)}) {
            EXPECT_TRUE(parseDate(formatShortDate(s), out) && out == s) << c.locale;
        }
    }
}

TEST(RegionalDate, ParseDateValidates) {
    RegionalScope italian("it_IT");
    DaySerial out = 0;
    EXPECT_TRUE(parseDate(" 5/3/2024 ", out) && out == encodeDate(2024, 3, 5));
    out = 4242;
    for (const char* bad : {"", "31/02/2024", "29/02/2023", "05/03/24", "005/03/2024", "05/03/2024x", "05/13/2024",
                            "00/03/2024", "05//2024", "2024-02-30"}) {
        EXPECT_FALSE(parseDate(bad, out)) << bad;
    }
    EXPECT_EQ(out, 4242);
}

}  // namespace
}  // namespace doz

#include "platform/Regional.h"

#include "platform/Error.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace doz {

namespace {

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }
char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The built-in settings. A row with an empty territory is the language's
// default; a row with a territory wins for that territory only. The values are
// those the desktop's regional settings give for the locale (short date as the
// system shows it, e.g. "m/d/yyyy" in the United States, "d-m-yyyy" in the
// Netherlands). Where the system groups thousands with a no-break space, the
// Windows-1252 no-break space (0xA0) is used.
struct LocaleRow {
    const char* language;
    const char* territory;
    char decimalSeparator;
    char thousandSeparator;
    char dateSeparator;
    const char* shortDateFormat;
};

constexpr LocaleRow kLocales[] = {
    {"it", "", ',', '.', '/', "dd/mm/yyyy"},
    {"en", "", '.', ',', '/', "m/d/yyyy"},
    {"en", "GB", '.', ',', '/', "dd/mm/yyyy"},
    {"en", "IE", '.', ',', '/', "dd/mm/yyyy"},
    {"de", "", ',', '.', '.', "dd.mm.yyyy"},
    {"fr", "", ',', '\xA0', '/', "dd/mm/yyyy"},
    {"es", "", ',', '.', '/', "dd/mm/yyyy"},
    {"pt", "", ',', '\xA0', '/', "dd/mm/yyyy"},
    {"pt", "BR", ',', '.', '/', "dd/mm/yyyy"},
    {"nl", "", ',', '.', '-', "d-m-yyyy"},
};

Regional cForm() {
    Regional r;
    r.decimalSeparator = '.';
    r.thousandSeparator = ',';
    r.dateSeparator = '-';
    r.shortDateFormat = "yyyy-mm-dd";
    return r;
}

Regional fromRow(const LocaleRow& row) {
    Regional r;
    r.decimalSeparator = row.decimalSeparator;
    r.thousandSeparator = row.thousandSeparator;
    r.dateSeparator = row.dateSeparator;
    r.shortDateFormat = row.shortDateFormat;
    return r;
}

// Magnitude of a signed 64-bit value without overflow at the minimum.
std::uint64_t magnitude(std::int64_t v) {
    return v < 0 ? static_cast<std::uint64_t>(-(v + 1)) + 1u : static_cast<std::uint64_t>(v);
}

constexpr std::uint64_t kPow10[] = {1ull, 10ull, 100ull, 1000ull, 10000ull};

// Rounds a ten-thousandths magnitude to `decimals` (0..4) decimals, half away
// from zero; the result counts units of 10^-decimals.
std::uint64_t roundScaled(std::uint64_t mag, int decimals) {
    const std::uint64_t divisor = kPow10[4 - decimals];
    return mag / divisor + (mag % divisor >= (divisor + 1) / 2 && divisor > 1 ? 1 : 0);
}

void appendPadded(std::string& out, std::uint64_t value, int width) {
    const std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) out.append(static_cast<std::size_t>(width) - digits.size(), '0');
    out += digits;
}

void appendGrouped(std::string& out, std::uint64_t value, char separator) {
    const std::string digits = std::to_string(value);
    const std::size_t n = digits.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += separator;
        out += digits[i];
    }
}

// The components of a short-date pattern in the order they appear.
enum class DateField { Day, Month, Year };

// Reads 1 or 2 digits (or exactly 4 for a year) at text[pos].
bool readNumber(std::string_view text, std::size_t& pos, DateField field, int& value) {
    const std::size_t start = pos;
    const std::size_t maxLen = field == DateField::Year ? 4 : 2;
    value = 0;
    while (pos < text.size() && pos - start < maxLen && isDigit(text[pos])) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    const std::size_t len = pos - start;
    return field == DateField::Year ? len == 4 : len >= 1;
}

// Matches `text` against a short-date pattern: d/dd and m/mm take one or two
// digits, a run of y takes a four-digit year, "/" is the date separator, any
// other character must be there as written.
bool parseWithPattern(std::string_view text, std::string_view pattern, char dateSeparator, int& y, int& m,
                      int& d) {
    bool haveY = false, haveM = false, haveD = false;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < pattern.size();) {
        const char lower = asciiLower(pattern[i]);
        std::size_t run = 1;
        while (i + run < pattern.size() && asciiLower(pattern[i + run]) == lower) ++run;
        if (lower == 'd' || lower == 'm' || lower == 'y') {
            const DateField field = lower == 'd' ? DateField::Day : lower == 'm' ? DateField::Month : DateField::Year;
            int v = 0;
            if (!readNumber(text, pos, field, v)) return false;
            if (field == DateField::Day) { d = v; haveD = true; }
            else if (field == DateField::Month) { m = v; haveM = true; }
            else { y = v; haveY = true; }
        } else {
            for (std::size_t k = 0; k < run; ++k) {
                const char expected = pattern[i] == '/' ? dateSeparator : pattern[i];
                if (pos >= text.size() || text[pos] != expected) return false;
                ++pos;
            }
        }
        i += run;
    }
    return pos == text.size() && haveY && haveM && haveD;
}

}  // namespace

Regional Regional::forLocale(std::string_view name) {
    name = trimBlanks(name);
    // "it_IT.UTF-8@euro": the codeset and the modifier say nothing about separators.
    const std::size_t cut = name.find_first_of(".@");
    if (cut != std::string_view::npos) name = name.substr(0, cut);

    std::string language, territory;
    std::size_t i = 0;
    while (i < name.size() && name[i] != '_' && name[i] != '-') language += asciiLower(name[i++]);
    if (i < name.size()) {
        for (++i; i < name.size(); ++i) territory += asciiUpper(name[i]);
    }
    if (language.size() < 2 || language.size() > 3) return cForm();  // also "C" and ""
    for (char c : language) {
        if (!isAsciiLetter(c)) return cForm();
    }

    const LocaleRow* languageDefault = nullptr;
    for (const LocaleRow& row : kLocales) {
        if (language != row.language) continue;
        if (!territory.empty() && territory == row.territory) return fromRow(row);
        if (row.territory[0] == '\0') languageDefault = &row;
    }
    return languageDefault ? fromRow(*languageDefault) : cForm();
}

Regional Regional::fromEnvironment() {
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return forLocale(value);
    }
    return forLocale("C");
}

Regional& regional() {
    static Regional current = Regional::fromEnvironment();
    return current;
}

// A value that rounds to zero is written without a sign: -0.004 gives "0,00".
std::string formatCurrencyFixed(std::int64_t scaled, int decimals) {
    if (decimals < 0) decimals = 0;
    const int rounded = decimals > 4 ? 4 : decimals;  // more than four decimals are zeros
    const std::uint64_t units = roundScaled(magnitude(scaled), rounded);
    std::string out;
    if (scaled < 0 && units != 0) out += '-';
    out += std::to_string(units / kPow10[rounded]);
    if (decimals > 0) {
        out += regional().decimalSeparator;
        appendPadded(out, units % kPow10[rounded], rounded);
        out.append(static_cast<std::size_t>(decimals - rounded), '0');
    }
    return out;
}

// As with the fixed form, a value that rounds to zero has no sign ("-0,004"
// gives ",00"), while -0.5 gives "-,50".
namespace {

std::string groupedCents(bool negative, std::uint64_t cents) {
    const Regional& r = regional();
    std::string out;
    if (negative && cents != 0) out += '-';
    if (cents / 100 != 0) appendGrouped(out, cents / 100, r.thousandSeparator);
    out += r.decimalSeparator;
    appendPadded(out, cents % 100, 2);
    return out;
}

}  // namespace

std::string formatCurrencyGrouped(std::int64_t scaled) {
    return groupedCents(scaled < 0, roundScaled(magnitude(scaled), 2));
}

std::string formatCentsGrouped(std::int64_t cents) { return groupedCents(cents < 0, magnitude(cents)); }

// Fifteen significant digits, trailing zeros dropped. The plain form is used
// while the decimal exponent e (value = d.ddd x 10^e) is between -4 and 14;
// otherwise the exponent form "1,5E-7", "1E20" (no '+', no leading zeros).
std::string formatFloatGeneral(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";

    char buf[48];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    // buf: "d.dddddddddddddde[+-]xx"
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p) {
        if (isDigit(*p)) digits += *p;
    }
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    const char sep = regional().decimalSeparator;
    std::string out;
    if (value < 0) out += '-';
    if (exponent >= 15 || exponent < -4) {
        out += digits[0];
        if (digits.size() > 1) {
            out += sep;
            out.append(digits, 1, std::string::npos);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent >= 0) {
        const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += digits;
            out.append(intDigits - digits.size(), '0');
        } else {
            out.append(digits, 0, intDigits);
            out += sep;
            out.append(digits, intDigits, std::string::npos);
        }
    } else {
        out += '0';
        out += sep;
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    }
    return out;
}

std::string formatShortDate(DaySerial serial) {
    const Regional& r = regional();
    return formatDatePattern(r.shortDateFormat, serial, r.dateSeparator);
}

// The double is first written with 15 significant digits, the precision a
// double holds reliably; the decimal text is then rounded to four decimals.
// So 1.005 (held as 1.00499999999999989...) gives 10050, as the user typed it.
std::int64_t doubleToCurrency(double value) {
    if (!std::isfinite(value)) throw ConvertError("Valore non valido per un importo");
    if (value == 0) return 0;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p) {
        if (isDigit(*p)) digits += *p;
    }
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    // value * 10^4 = 0.digits x 10^(exponent + 5): the first exponent+5 digits are whole units.
    const int wholeDigits = exponent + 5;
    constexpr std::uint64_t kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (wholeDigits > 19) throw ConvertError("Importo fuori dell'intervallo ammesso");
    std::uint64_t units = 0;
    for (int i = 0; i < wholeDigits; ++i) {
        const unsigned digit = i < static_cast<int>(digits.size()) ? static_cast<unsigned>(digits[i] - '0') : 0u;
        if (units > (kMax - digit) / 10) throw ConvertError("Importo fuori dell'intervallo ammesso");
        units = units * 10 + digit;
    }
    if (wholeDigits >= 0 && wholeDigits < static_cast<int>(digits.size()) && digits[wholeDigits] >= '5') {
        if (units == kMax) throw ConvertError("Importo fuori dell'intervallo ammesso");
        ++units;
    }
    const auto signedUnits = static_cast<std::int64_t>(units);
    return value < 0 ? -signedUnits : signedUnits;
}

// Surrounding blanks are allowed; thousands separators, exponents and anything
// but one sign, digits and one decimal separator are not.
bool parseCurrency(std::string_view text, std::int64_t& out) {
    text = trimBlanks(text);
    const char regionalSeparator = regional().decimalSeparator;
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    constexpr std::uint64_t kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::uint64_t units = 0;  // ten-thousandths
    int digitCount = 0;
    int decimals = -1;        // -1 until the separator is seen
    bool roundUp = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (isDigit(c)) {
            ++digitCount;
            if (decimals >= 4) {
                if (decimals == 4) roundUp = c >= '5';
                ++decimals;
                continue;
            }
            const unsigned digit = static_cast<unsigned>(c - '0');
            if (units > (kMax - digit) / 10) return false;
            units = units * 10 + digit;
            if (decimals >= 0) ++decimals;
        } else if ((c == '.' || c == regionalSeparator) && decimals < 0) {
            decimals = 0;
        } else {
            return false;
        }
    }
    if (digitCount == 0) return false;
    for (int d = decimals < 0 ? 0 : decimals; d < 4; ++d) {
        if (units > kMax / 10) return false;
        units *= 10;
    }
    if (roundUp) {
        if (units == kMax) return false;
        ++units;
    }
    out = negative ? -static_cast<std::int64_t>(units) : static_cast<std::int64_t>(units);
    return true;
}

// Four-digit years only: a two-digit year would need a century window.
bool parseDate(std::string_view text, DaySerial& out) {
    text = trimBlanks(text);
    if (parseIsoDate(text, out)) return true;
    const Regional& r = regional();
    int y = 0, m = 0, d = 0;
    if (!parseWithPattern(text, r.shortDateFormat, r.dateSeparator, y, m, d)) return false;
    if (!isValidCivilDate(y, m, d)) return false;
    out = encodeDate(y, m, d);
    return true;
}

}  // namespace doz

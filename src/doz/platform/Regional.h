// The user's regional settings: separators and short date form, and the number
// and date renderings that follow them.
//
// There is one current setting for the process (as the run-time library has
// one): regional(). The program starts from the system's locale; the batch
// command can replace it (--regional it_IT) without any generated locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Dates.h"

namespace doz {

struct Regional {
    char decimalSeparator = '.';
    char thousandSeparator = ',';
    char dateSeparator = '/';
    std::string shortDateFormat = "dd/mm/yyyy";  // pattern for formatDatePattern

    // Built-in settings for a locale name such as "it_IT", "it_IT.UTF-8", "en_US",
    // "C"; they need no locale generated on the machine. Unknown language: the
    // "C" form (point, comma, hyphen, "yyyy-mm-dd"). Known languages: it, en_US,
    // en_GB, de, fr, es, pt, nl.
    static Regional forLocale(std::string_view name);
    // From LC_ALL / LC_NUMERIC / LANG in the environment, through forLocale.
    static Regional fromEnvironment();
    static Regional italian() { return forLocale("it_IT"); }
};

// The process-wide current setting.
Regional& regional();

// Fixed point with exactly `decimals` decimals, no grouping, regional decimal
// separator, rounding half away from zero, leading '-' for a negative value
// ("0.00"). `scaled` is a currency value in ten-thousandths.
std::string formatCurrencyFixed(std::int64_t scaled, int decimals = 2);
// "#,###.00": grouped thousands, two decimals rounded half away from zero, no
// required integer digit (0 gives ",00" on Italian settings; 0.5 gives ",50").
std::string formatCurrencyGrouped(std::int64_t scaled);
// The same for a whole number of cents, any of them (no product that could overflow).
std::string formatCentsGrouped(std::int64_t cents);
// Shortest general form of a double with up to 15 significant digits, regional
// decimal separator, no grouping; exponent form only where the plain form would
// need more than 15 digits (as the run-time library's FloatToStr).
std::string formatFloatGeneral(double value);
// A date in the regional short form.
std::string formatShortDate(DaySerial serial);

// Rounds a double to a currency value (ten-thousandths), half away from zero.
std::int64_t doubleToCurrency(double value);
// Parses a decimal text ('.' or the regional decimal separator) into ten-thousandths.
bool parseCurrency(std::string_view text, std::int64_t& out);
// Parses a date in the regional short form or as YYYY-MM-DD.
bool parseDate(std::string_view text, DaySerial& out);

}  // namespace doz

// An execution date the banks take on whatever day the tests run: the checks
// compare the dates with today, so a fixed date would expire.
#pragma once

#include <string>

#include "payments/Calendar.h"
#include "platform/Dates.h"

namespace test_dates {

// Two weeks or a little more from today: a TARGET2 business day that is no
// Italian public holiday either (and two working days or more after today, as
// the fixed-width banks want after the creation date).
inline doz::DaySerial FutureExecutionDay() {
    for (doz::DaySerial d = doz::today() + 14;; ++d)
        if (doz::IsSettlementDay(d) && !doz::ItalianHoliday(d)) return d;
}

inline std::string FutureExecutionDate() { return doz::isoDate(FutureExecutionDay()); }

}  // namespace test_dates

// An execution date the XML banks take on whatever day the tests run: the
// message is created when it is written, so a fixed date would expire.
#pragma once

#include <cstdio>
#include <string>

#include "platform/Dates.h"
#include "sepa/Calendar.h"

namespace test_dates {

// Two weeks or a little more from today: a TARGET2 business day that is no
// Italian public holiday either.
inline std::string FutureExecutionDate() {
    for (doz::DaySerial d = doz::today() + 14;; ++d) {
        const doz::CivilDate c = doz::decodeDate(d);
        const int md = c.month * 100 + c.day;
        if (md == 106 || md == 425 || md == 602 || md == 815 || md == 1101 || md == 1208) continue;
        if (!doz::sepa::IsSettlementDay({c.year, c.month, c.day})) continue;
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", c.year, c.month, c.day);
        return text;
    }
}

}  // namespace test_dates

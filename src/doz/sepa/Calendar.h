// The days on which the euro settlement system runs: every day but Saturday,
// Sunday, 1 January, Good Friday, Easter Monday, 1 May, 25 and 26 December.
#pragma once

#include "sepa/Message.h"

namespace doz::sepa {

// Easter Sunday of a Gregorian year.
Date EasterSunday(int year);
// False too for a date that does not exist.
bool IsSettlementDay(const Date& date);
// -1, 0 or 1 as a is before, on or after b.
int CompareDates(const Date& a, const Date& b);

}  // namespace doz::sepa

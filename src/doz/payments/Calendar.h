// The bank calendar: the days on which the euro settlement system (TARGET2)
// runs, and Italy's national holidays, on which Italian banks are closed even
// where the settlement system is open.
#pragma once

#include "platform/Dates.h"

namespace doz {

// Easter Sunday of a Gregorian year.
CivilDate EasterSunday(int year);

// Every day but Saturday, Sunday, 1 January, Good Friday, Easter Monday,
// 1 May, 25 and 26 December.
bool IsSettlementDay(DaySerial day);

// The name of the national holiday falling on `day` ("Immacolata
// Concezione"), Windows-1252; nullptr on any other day. Sundays count only
// when a holiday falls on one (Easter Sunday is not named).
const char* ItalianHoliday(DaySerial day);

}  // namespace doz

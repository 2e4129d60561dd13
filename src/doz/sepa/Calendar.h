// The settlement calendar (payments/Calendar.h) on the message's dates.
#pragma once

#include "sepa/Message.h"

namespace doz::sepa {

// False too for a date that does not exist.
bool IsSettlementDay(const Date& date);

}  // namespace doz::sepa

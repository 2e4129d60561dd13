#include "sepa/Calendar.h"

#include "payments/Calendar.h"
#include "platform/Dates.h"

namespace doz::sepa {

bool IsSettlementDay(const Date& date) {
    if (!isValidCivilDate(date.year, date.month, date.day)) return false;
    return doz::IsSettlementDay(encodeDate(date.year, date.month, date.day));
}

}  // namespace doz::sepa

// The checks every field of the bank file passes the moment its text is ready.
// They read the current layout row (cdsTraccCorrente), the current disposition
// (cdsDisp) and the chosen bank's catalogue row (cdsTracciati).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "FormState.h"
#include "bankfile/EPztBanca.h"
#include "bankfile/LayoutRow.h"

namespace doz {

void ValidateField(FormState& form, const std::string& text);
bool IsNumericType(std::string_view colType);
void CheckNumeric(FormState& form, const std::string& text, std::string_view colType);
void CheckLayoutRules(FormState& form);
// The same for a layout row read beforehand.
void ValidateField(FormState& form, const LayoutRow& row, const std::string& text);
void CheckNumeric(FormState& form, const LayoutRow& row, const std::string& text, std::string_view colType);
void CheckLayoutRules(FormState& form, const LayoutRow& row);
bool CheckAccountCoordinates(FormState& form);
void CheckPayeeAddress(FormState& form);
void CheckCashPaymentDates(FormState& form);
void CheckValueDate(FormState& form);
void CheckPaymentModeCoordinates(FormState& form);
void CheckWorkingDayGap(FormState& form);
void CheckPayeeAccount(FormState& form);
void CheckInternalAccountNumber(FormState& form);
std::int32_t DispositionNumber(FormState& form, std::string_view fieldName);
int WorkingDaysBetween(DaySerial start, DaySerial end);
void ConfirmWarning(FormState& form, unsigned number, const std::string& text);

}  // namespace doz

// Turns the current row of the record layout into the fixed-width, validated
// text of one field for the current disposition.
#pragma once

#include <string>
#include <string_view>

#include "FormState.h"

namespace doz {

std::string FormatField(FormState& form);
// FormatField without the validation: the field's text cut and padded to its width.
std::string FormatFieldText(FormState& form);
int FieldLength(FormState& form);
std::string FitField(FormState& form, const std::string& value);
std::string FillField(FormState& form);
std::string FieldFillingChar(FormState& form);
std::string FormatLayoutDate(std::string_view pattern, DaySerial date);

}  // namespace doz

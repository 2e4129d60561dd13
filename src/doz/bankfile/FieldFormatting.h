// Turns the current row of the record layout into the fixed-width, validated
// text of one field for the current disposition.
#pragma once

#include <string>
#include <string_view>

#include "FormState.h"
#include "bankfile/FieldValidation.h"
#include "bankfile/LayoutRow.h"

namespace doz {

std::string FormatField(FormState& form);
// FormatField without the validation: the field's text cut and padded to its width.
std::string FormatFieldText(FormState& form);
int FieldLength(FormState& form);
// The current layout row's value before it is fitted to the field's width
// (empty for a filler): what the width may cut.
std::string FieldSourceText(FormState& form);
std::string FitField(FormState& form, const std::string& value);
std::string FillField(FormState& form);
std::string FieldFillingChar(FormState& form);
std::string FormatLayoutDate(std::string_view pattern, DaySerial date);

// The same for a layout row read beforehand (the bank-file build reads each
// row once and formats it for every disposition).
std::string FormatField(FormState& form, LayoutRow& row);
std::string FormatFieldText(FormState& form, LayoutRow& row);
int FieldLength(FormState& form, const LayoutRow& row);
std::string FitField(FormState& form, const LayoutRow& row, std::string value);
std::string FillField(FormState& form, const LayoutRow& row);
std::string FieldFillingChar(FormState& form, const LayoutRow& row);
// FormatField for a prepared row (LayoutRow::prepare), the text appended to
// form.currentLine in place; when the field fails, the line is left as it was.
void AppendField(FormState& form, LayoutRow& row, BankRules& rules);

}  // namespace doz

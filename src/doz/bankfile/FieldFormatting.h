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
// FormatField without the validation: the field's text cut and padded to its
// width. A control character never reaches a record: each becomes a blank
// (platform/Ansi.h), in every way a field is formatted. `blanked`, when given, receives the
// control characters replaced.
std::string FormatFieldText(FormState& form, std::string* blanked = nullptr);
int FieldLength(FormState& form);
// The current layout row's value before it is fitted to the field's width
// (empty for a filler): what the width may cut.
std::string FieldSourceText(FormState& form);
std::string FieldSourceText(FormState& form, LayoutRow& row);
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
// The text part of AppendField for a prepared row that is not General, whose
// start follows the line: the text cut and padded, appended without checks
// (the line as it was when it fails). `blanked`, when given, receives the
// control characters written as blanks.
void AppendPreparedText(FormState& form, LayoutRow& row, std::string* blanked);

}  // namespace doz

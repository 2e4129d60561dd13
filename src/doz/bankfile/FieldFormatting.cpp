// One field of the bank file: its width from the layout's position, its value
// from the disposition, the totals or the filling character, padded or cut to
// the width and validated.
#include "bankfile/FieldFormatting.h"

#include "bankfile/FieldValidation.h"
#include "layout/Catalogue.h"
#include "platform/Error.h"
#include "platform/Regional.h"

namespace doz {

namespace {

std::string layoutText(FormState& form, std::string_view column) {
    return form.cdsTraccCorrente.fieldByName(column).asText();
}

// The value of a layout row that is not a filler, before it is fitted.
std::string sourceValue(FormState& form, const std::string& colType) {
    const std::string fieldName = layoutText(form, "FieldName");
    if (layoutText(form, "Extra") == "F") return form.cdsTot.fieldByName(fieldName).asText();
    const Field source = form.cdsDisp.fieldByName(fieldName);
    if (colType == "D") return FormatLayoutDate("ddmmyy", source.asDate());
    if (colType == "D8") return FormatLayoutDate("yyyymmdd", source.asDate());
    if (colType == "/D") return FormatLayoutDate("yyyy/mm/dd", source.asDate());
    if (colType == "E") return formatCurrencyFixed(source.asCurrency());
    return source.asText();
}

std::size_t widthOf(int length) { return length > 0 ? static_cast<std::size_t>(length) : 0; }

}  // namespace

std::string FormatField(FormState& form) {
    const std::string value = FormatFieldText(form);
    ValidateField(form, value);
    return value;
}

std::string FormatFieldText(FormState& form) {
    form.currentFieldLength = FieldLength(form);
    const std::string colType = layoutText(form, "ColType");
    std::string value;
    if (colType == "F") {
        value = FillField(form);
    } else {
        value = sourceValue(form, colType);
        const std::size_t width = widthOf(form.currentFieldLength);
        if (layoutText(form, "Extra") == "R" && value.size() > width) value.erase(0, value.size() - width);
        value = FitField(form, value);
    }
    return value;
}

int FieldLength(FormState& form) {
    const std::string pos = layoutText(form, "Pos");
    const FieldPosition p = ParsePos(pos);
    if (static_cast<std::size_t>(p.start) != form.currentLine.size() + 1 || p.start < 1) throw AssertionFailure(pos);
    return p.length;
}

std::string FitField(FormState& form, const std::string& value) {
    const std::size_t width = widthOf(form.currentFieldLength);
    std::string result = value;
    if (result.size() < width) {
        const std::string padding(width - result.size(), FieldFillingChar(form).front());
        if (IsNumericType(layoutText(form, "ColType"))) result.insert(0, padding);
        else result += padding;
    }
    if (result.size() > width) result.resize(width);
    return result;
}

std::string FillField(FormState& form) {
    const std::size_t width = widthOf(form.currentFieldLength);
    const std::string filling = FieldFillingChar(form);
    std::string result;
    while (result.size() < width) result += filling;
    return result;
}

std::string FieldFillingChar(FormState& form) {
    std::string filling = layoutText(form, "FillingChar");
    if (filling.empty()) filling = " ";
    return filling;
}

std::string FormatLayoutDate(std::string_view pattern, DaySerial date) {
    if (date == 0) return {};
    return formatDatePattern(pattern, date, regional().dateSeparator);
}

}  // namespace doz

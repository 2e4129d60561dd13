// One field of the bank file: its width from the layout's position, its value
// from the disposition, the totals or the filling character, padded or cut to
// the width and validated.
#include "bankfile/FieldFormatting.h"

#include "bankfile/EPztBanca.h"
#include "bankfile/FieldValidation.h"
#include "layout/Catalogue.h"
#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/Regional.h"

namespace doz {

namespace {

std::optional<std::string> optionalColumn(Table& layout, std::string_view column) {
    const std::optional<Field> f = layout.findField(column);
    if (!f) return std::nullopt;
    return f->asText();
}

// The value of a layout row that is not a filler, before it is fitted.
std::string sourceValue(FormState& form, LayoutRow& row, const std::string& colType) {
    const std::string& fieldName = row.FieldName(form);
    if (row.Extra(form) == "F") return BuildField(form, form.cdsTot, fieldName).asText();
    const Field source = row.Source(form);
    if (colType == "D") return FormatLayoutDate("ddmmyy", source.asDate());
    if (colType == "D8") return FormatLayoutDate("yyyymmdd", source.asDate());
    if (colType == "/D") return FormatLayoutDate("yyyy/mm/dd", source.asDate());
    if (colType == "E") return formatCurrencyFixed(source.asCurrency());
    return source.asText();
}

std::size_t widthOf(int length) { return length > 0 ? static_cast<std::size_t>(length) : 0; }

// A total is never cut: a file whose footer quotes part of a sum would reach
// the bank looking sound.
void refuseCutTotal(FormState& form, const LayoutRow& row, std::string_view total, std::size_t width) {
    if (total.size() <= width) return;
    throw EPztBanca("Il totale " + row.FieldName(form) + " (" + std::string(total) + ") non entra nel campo di " +
                    std::to_string(width) + " caratteri: impossibile creare il file.");
}

}  // namespace

// ---- LayoutRow ---------------------------------------------------------------------

LayoutRow LayoutRow::current(FormState& form) {
    Table& layout = form.cdsTraccCorrente;
    LayoutRow row;
    row.fieldName = optionalColumn(layout, "FieldName");
    row.colType = optionalColumn(layout, "ColType");
    row.extra = optionalColumn(layout, "Extra");
    row.required = optionalColumn(layout, "Required");
    row.fillingChar = optionalColumn(layout, "FillingChar");
    row.pos = optionalColumn(layout, "Pos");
    if (row.pos) {
        try {
            row.position = ParsePos(*row.pos);
        } catch (const Error&) {
            // Raised again where the position is needed.
        }
    }
    return row;
}

const std::string& LayoutRow::column(FormState& form, const std::optional<std::string>& value,
                                     std::string_view name) const {
    if (!value) form.cdsTraccCorrente.fieldByName(name);  // raises the missing field's error
    return *value;
}

FieldPosition LayoutRow::Position(FormState& form) const {
    if (position) return *position;
    try {
        return ParsePos(Pos(form));
    } catch (const ConvertError& e) {
        // The position alone does not tell the user which row of the layout is wrong.
        if (!fieldName || fieldName->empty()) throw;
        throw ConvertError(std::string(e.what()) + ", campo " + *fieldName + " del tracciato");
    }
}

void LayoutRow::prepare() {
    shape = Shape::General;
    if (!fieldName || !colType || !extra || !required || !fillingChar || !pos || !position) return;
    width = widthOf(position->length);
    std::string filling = fillingChar->empty() ? std::string(" ") : *fillingChar;
    blankControlCharacters(filling);
    padding = filling.front();
    numeric = IsNumericType(*colType);
    amount = !colType->empty() && colType->front() == 'E';
    cutLeft = *extra == "R";
    if (*colType == "F") {
        // As FillField: the filling repeated until the width is reached, maybe beyond it.
        filler.clear();
        if (filling.size() == 1) filler.assign(width, padding);
        else
            while (filler.size() < width) filler += filling;
        shape = Shape::Filler;
        return;
    }
    shape = *extra == "F" ? Shape::Total : Shape::Source;
    if (*colType == "D") conversion = Conversion::DayMonthYear;
    else if (*colType == "D8") conversion = Conversion::YearMonthDay;
    else if (*colType == "/D") conversion = Conversion::SlashedDate;
    else if (*colType == "E") conversion = Conversion::Amount;
    else conversion = Conversion::Text;
    if (*required == "F") requirement = Requirement::None;
    else if (*required == "O") requirement = Requirement::Mandatory;
    else if (*required == "C2") requirement = Requirement::PayeeAddress;
    else requirement = Requirement::LayoutRules;
}

Field LayoutRow::Source(FormState& form) {
    if (sourceIndex == -2) sourceIndex = form.cdsDisp.fieldIndex(FieldName(form));
    if (sourceIndex < 0) return form.cdsDisp.fieldByName(FieldName(form));
    return form.cdsDisp.field(sourceIndex);
}

Field LayoutRow::Total(FormState& form) {
    if (totalIndex == -2) totalIndex = form.cdsTot.fieldIndex(FieldName(form));
    if (totalIndex < 0) return form.cdsTot.fieldByName(FieldName(form));
    return form.cdsTot.field(totalIndex);
}

// ---- formatting ----------------------------------------------------------------------

std::string FormatField(FormState& form) {
    LayoutRow row = LayoutRow::current(form);
    return FormatField(form, row);
}

std::string FormatField(FormState& form, LayoutRow& row) {
    const std::string value = FormatFieldText(form, row);
    ValidateField(form, row, value);
    return value;
}

std::string FieldSourceText(FormState& form, LayoutRow& row) {
    const std::string& colType = row.ColType(form);
    if (colType == "F") return {};
    return sourceValue(form, row, colType);
}

std::string FieldSourceText(FormState& form) {
    LayoutRow row = LayoutRow::current(form);
    return FieldSourceText(form, row);
}

namespace {

// The field's text cut and padded to its width, as the data gives it.
std::string rawFieldText(FormState& form, LayoutRow& row) {
    form.currentFieldLength = FieldLength(form, row);
    const std::string& colType = row.ColType(form);
    std::string value;
    if (colType == "F") {
        value = FillField(form, row);
    } else {
        value = sourceValue(form, row, colType);
        const std::size_t width = widthOf(form.currentFieldLength);
        if (row.Extra(form) == "F") refuseCutTotal(form, row, value, width);
        if (row.Extra(form) == "R" && value.size() > width) value.erase(0, value.size() - width);
        value = FitField(form, row, std::move(value));
    }
    return value;
}

}  // namespace

std::string FormatFieldText(FormState& form, std::string* blanked) {
    LayoutRow row = LayoutRow::current(form);
    std::string value = rawFieldText(form, row);
    const std::string found = blankControlCharacters(value);
    if (blanked) *blanked = found;
    return value;
}

std::string FormatFieldText(FormState& form, LayoutRow& row) {
    std::string value = rawFieldText(form, row);
    blankControlCharacters(value);
    return value;
}

namespace {

// The text of a date field, the last date's text kept: in a build most date
// fields hold the same date for every disposition.
void appendDate(std::string& line, LayoutRow& row, std::string_view pattern, DaySerial date) {
    if (row.lastDateText.empty() || row.lastDate != date) {
        row.lastDateText = FormatLayoutDate(pattern, date);
        row.lastDate = date;
        if (row.lastDateText.empty()) {
            row.lastDate = 0;
            return;
        }
    }
    line += row.lastDateText;
}

// The value of a prepared row that is not a filler, appended to the line as
// sourceValue gives it.
void appendValue(FormState& form, LayoutRow& row, std::string& line, std::string* blanked) {
    if (row.shape == LayoutRow::Shape::Total) {
        row.Total(form).appendText(line);
        return;
    }
    const Field source = row.Source(form);
    switch (row.conversion) {
        case LayoutRow::Conversion::Text: {
            const std::size_t at = line.size();
            source.appendText(line);
            const std::string found = blankControlCharacters(line, at);
            if (blanked) *blanked = found;
            return;
        }
        case LayoutRow::Conversion::DayMonthYear: appendDate(line, row, "ddmmyy", source.asDate()); return;
        case LayoutRow::Conversion::YearMonthDay: appendDate(line, row, "yyyymmdd", source.asDate()); return;
        case LayoutRow::Conversion::SlashedDate: appendDate(line, row, "yyyy/mm/dd", source.asDate()); return;
        case LayoutRow::Conversion::Amount: line += formatCurrencyFixed(source.asCurrency()); return;
    }
}

}  // namespace

void AppendPreparedText(FormState& form, LayoutRow& row, std::string* blanked) {
    std::string& line = form.currentLine;
    const std::size_t at = line.size();
    form.currentFieldLength = row.position->length;
    if (row.shape == LayoutRow::Shape::Filler) {
        line += row.filler;
        return;
    }
    try {
        appendValue(form, row, line, blanked);
        const std::size_t width = row.width;
        std::size_t size = line.size() - at;
        if (row.shape == LayoutRow::Shape::Total) refuseCutTotal(form, row, std::string_view(line).substr(at), width);
        if (row.cutLeft && size > width) {
            line.erase(at, size - width);
            size = width;
        }
        if (size < width) {
            if (row.numeric) line.insert(at, width - size, row.padding);
            else line.append(width - size, row.padding);
        } else if (size > width) {
            line.resize(at + width);
        }
    } catch (...) {
        // The field's text never reached the line.
        line.resize(at);
        throw;
    }
}

void AppendField(FormState& form, LayoutRow& row, BankRules& rules) {
    if (row.shape == LayoutRow::Shape::General) {
        form.currentLine += FormatField(form, row);
        return;
    }
    std::string& line = form.currentLine;
    const std::size_t at = line.size();
    const int start = row.position->start;
    if (static_cast<std::size_t>(start) != at + 1 || start < 1) throw AssertionFailure(*row.pos);
    AppendPreparedText(form, row, nullptr);
    if (row.shape == LayoutRow::Shape::Filler) return;
    try {
        ValidatePrepared(form, row, std::string_view(line).substr(at), rules);
    } catch (...) {
        line.resize(at);
        throw;
    }
}

int FieldLength(FormState& form) { return FieldLength(form, LayoutRow::current(form)); }

int FieldLength(FormState& form, const LayoutRow& row) {
    const FieldPosition p = row.Position(form);
    if (static_cast<std::size_t>(p.start) != form.currentLine.size() + 1 || p.start < 1)
        throw AssertionFailure(row.Pos(form));
    return p.length;
}

std::string FitField(FormState& form, const std::string& value) {
    return FitField(form, LayoutRow::current(form), value);
}

std::string FitField(FormState& form, const LayoutRow& row, std::string value) {
    const std::size_t width = widthOf(form.currentFieldLength);
    std::string result = std::move(value);
    if (result.size() < width) {
        const char filling = FieldFillingChar(form, row).front();
        if (IsNumericType(row.ColType(form))) result.insert(0, width - result.size(), filling);
        else result.append(width - result.size(), filling);
    }
    if (result.size() > width) result.resize(width);
    return result;
}

std::string FillField(FormState& form) { return FillField(form, LayoutRow::current(form)); }

std::string FillField(FormState& form, const LayoutRow& row) {
    const std::size_t width = widthOf(form.currentFieldLength);
    const std::string filling = FieldFillingChar(form, row);
    if (filling.size() == 1) return std::string(width, filling.front());
    std::string result;
    while (result.size() < width) result += filling;
    return result;
}

std::string FieldFillingChar(FormState& form) { return FieldFillingChar(form, LayoutRow::current(form)); }

std::string FieldFillingChar(FormState& form, const LayoutRow& row) {
    const std::string& filling = row.FillingChar(form);
    return filling.empty() ? std::string(1, ' ') : filling;
}

std::string FormatLayoutDate(std::string_view pattern, DaySerial date) {
    if (date == 0) return {};
    return formatDatePattern(pattern, date, regional().dateSeparator);
}

}  // namespace doz

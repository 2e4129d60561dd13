// One row of the record layout read once, for a build that formats the same
// row for every disposition: the columns the formatting and the checks read,
// the position already parsed, and what the row alone decides about the
// field (its kind, width, padding, filler text and checks).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "FormState.h"
#include "layout/Catalogue.h"
#include "platform/Dates.h"

namespace doz {

struct LayoutRow {
    // A column the layout file does not have stays empty here; reading it
    // raises the table's own "campo non trovato" error at the moment the
    // row-by-row reading would have raised it.
    std::optional<std::string> fieldName, colType, extra, required, fillingChar, pos;
    // The parsed position; empty when the text does not parse (parsing again
    // at use raises the error).
    std::optional<FieldPosition> position;
    // cdsDisp's field of FieldName, resolved on first use: -2 not yet, -1 none.
    int sourceIndex = -2;
    // The same in cdsTot, for a running total (Extra F) of a prepared row.
    int totalIndex = -2;

    // ---- worked out by prepare() ------------------------------------------------
    // General: a column is missing or the position does not parse; such a row
    // is formatted by reading its columns as they are needed, which raises
    // the error where it always arose.
    enum class Shape : unsigned char { General, Filler, Total, Source };
    // How a disposition value becomes text (ColType D, D8, /D, E, anything else).
    enum class Conversion : unsigned char { Text, DayMonthYear, YearMonthDay, SlashedDate, Amount };
    // What the checks ask of a field that is not a filler, by its Required
    // code: F nothing, O some text, C2 the payee's address, any other code
    // (empty included) the rule set of the bank's layout code.
    enum class Requirement : unsigned char { None, Mandatory, PayeeAddress, LayoutRules };

    Shape shape = Shape::General;
    Conversion conversion = Conversion::Text;
    Requirement requirement = Requirement::None;
    bool numeric = false;   // digits only (ColType D..., E..., N...), padded on the left
    bool amount = false;    // ColType E...: the decimal separator is allowed too
    bool cutLeft = false;   // Extra R: a longer value keeps its right end
    char padding = ' ';     // first character of the filling
    std::size_t width = 0;  // the position's length, 0 when it is not positive
    std::string filler;     // a filler's whole text
    // The last date a date field formatted, and its text.
    DaySerial lastDate = 0;
    std::string lastDateText;

    // The current row of cdsTraccCorrente.
    static LayoutRow current(FormState& form);
    // Works out the fields above from the columns read.
    void prepare();

    const std::string& column(FormState& form, const std::optional<std::string>& value, std::string_view name) const;
    const std::string& FieldName(FormState& form) const { return column(form, fieldName, "FieldName"); }
    const std::string& ColType(FormState& form) const { return column(form, colType, "ColType"); }
    const std::string& Extra(FormState& form) const { return column(form, extra, "Extra"); }
    const std::string& Required(FormState& form) const { return column(form, required, "Required"); }
    const std::string& FillingChar(FormState& form) const { return column(form, fillingChar, "FillingChar"); }
    const std::string& Pos(FormState& form) const { return column(form, pos, "Pos"); }
    FieldPosition Position(FormState& form) const;
    // cdsDisp's field named by FieldName (DataError when there is none).
    Field Source(FormState& form);
    // cdsTot's field named by FieldName (DataError when there is none).
    Field Total(FormState& form);
};

}  // namespace doz

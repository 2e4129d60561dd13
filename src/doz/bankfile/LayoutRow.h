// One row of the record layout read once, for a build that formats the same
// row for every disposition: the columns the formatting and the checks read,
// and the position already parsed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "FormState.h"
#include "layout/Catalogue.h"

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

    // The current row of cdsTraccCorrente.
    static LayoutRow current(FormState& form);

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
};

}  // namespace doz

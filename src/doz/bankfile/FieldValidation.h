// The checks every field of the bank file passes the moment its text is ready.
// They read the current layout row (cdsTraccCorrente), the current disposition
// (cdsDisp) and the chosen bank's catalogue row (cdsTracciati).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// The rule set of the chosen bank's layout code (CodTracciato of cdsTracciati),
// read the first time a field needs it and kept for the rest of one build.
class BankRules {
public:
    // CheckLayoutRules for a Required code other than C2.
    void check(FormState& form, const std::string& required);

private:
    bool known_ = false;
    void (*apply_)(FormState&, const std::string&) = nullptr;
};

// ValidateField for a prepared layout row (LayoutRow::prepare) and the text
// the field will have.
void ValidatePrepared(FormState& form, const LayoutRow& row, std::string_view text, BankRules& rules);

// The fields of cdsDisp and cdsTot that the record sequence and the checks
// name, found once and then taken by index for the rest of one build (the
// tables keep their fields while it runs). A name the table lacks is looked
// up anew each time, so its error arises where it always did.
class FieldLookup {
public:
    explicit FieldLookup(FormState& form);
    ~FieldLookup();
    FieldLookup(const FieldLookup&) = delete;
    FieldLookup& operator=(const FieldLookup&) = delete;

    Field get(Table& table, std::string_view name);

    // The lookup of this form's running build; none outside a build and
    // during a check run.
    static FieldLookup* of(FormState& form);

private:
    struct Entry {
        const Table* table;
        std::string name;
        int index;
    };
    FormState& form_;
    FieldLookup* outer_;
    std::vector<Entry> entries_;
};

// table.fieldByName(name), through the running build's FieldLookup when there is one.
Field BuildField(FormState& form, Table& table, std::string_view name);

}  // namespace doz

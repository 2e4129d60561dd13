// The checks of every bank-file field: digits in numeric fields, mandatory
// fields, and the conditional rule sets chosen by the bank's layout code.
#include "bankfile/FieldValidation.h"

#include <cstdint>
#include <limits>

#include "bankfile/DispositionCheck.h"
#include "payments/PaymentKind.h"
#include "platform/Error.h"
#include "platform/Regional.h"

namespace doz {

namespace {

const char* const kMsgCoordinates = "Abi/Cab/CC destinatario sono obbligatori per operazioni su CC.";
const char* const kMsgPostalAccount = "CC destinatario obbligatori per operazioni su CC postale.";
const char* const kMsgAddress = "Indirizzo del destinatario obbligatorio per operazioni non su CC.";
const char* const kMsgPostalCode = "Cap del destinatario deve essere numerico.";
const char* const kMsgExecutionDate = "Data esecuzione obbligatoria per i pagamenti per cassa";
const char* const kMsgExpiryRange =
    "Data scadenza bonifici in circolarit\xE0 (per cassa) deve essere compresa tra 15 e 360 gg dopo la data di "
    "esecuzione";
const char* const kMsgValueDate = "Data valuta obbligatoria per i pagamenti su conto corrente.";
const char* const kMsgGiroconto = "Errore non previsto. Modalit\xE0 pagamento giroconto e ABI destinario specificato";
const char* const kMsgWorkingDays = "Data di esecuzione deve essere almeno 2 gg lavorativi dopo la data di creazione";
const char* const kMsgInternalAccount =
    "Num. C/C per \"CR Venezia\" deve essere di 12 cifre ed iniziare con \"1000\" o \"0740\"";

constexpr unsigned kWarningInternalAccount = 1;

// Characters of code 32 or less count as blanks (space and control characters).
bool isBlankChar(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view trimBlanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlankChar(s[b])) ++b;
    while (e > b && isBlankChar(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool isBlank(std::string_view s) { return trimBlanks(s).empty(); }

// Digits only between the blanks at the ends; an amount may hold the decimal separator too.
void checkDigits(FormState& form, const LayoutRow& row, std::string_view text, bool amount) {
    for (const char c : trimBlanks(text)) {
        if (c >= '0' && c <= '9') continue;
        if (amount && c == regional().decimalSeparator) continue;
        throw EPztBanca("Campo numerico: " + row.FieldName(form));
    }
}

// ---- the current rows -------------------------------------------------------------

std::string layoutText(FormState& form, std::string_view column) {
    return form.cdsTraccCorrente.fieldByName(column).asText();
}

Field dispField(FormState& form, std::string_view name) { return BuildField(form, form.cdsDisp, name); }

std::string dispText(FormState& form, std::string_view name) { return dispField(form, name).asText(); }

// A disposition field's text in a buffer kept from call to call, valid until
// the next call with the same buffer.
const std::string& dispTextIn(std::string& buffer, FormState& form, std::string_view name) {
    buffer.clear();
    dispField(form, name).appendText(buffer);
    return buffer;
}

// Whether a disposition field holds nothing but blanks.
bool dispBlank(FormState& form, std::string_view name) {
    thread_local std::string buffer;
    return isBlank(dispTextIn(buffer, form, name));
}

// A disposition field read as an integer; a null or an empty text reads 0.
std::int64_t dispInteger(FormState& form, std::string_view name) {
    const Field f = dispField(form, name);
    if (f.isNull()) return 0;
    if (isTextType(f.type()) && isBlank(f.asText())) return 0;
    return f.asInteger();
}

// A disposition field read as a date; a null or an empty text reads as the zero date.
DaySerial dispDate(FormState& form, std::string_view name) {
    const Field f = dispField(form, name);
    if (f.isNull()) return 0;
    if (isTextType(f.type()) && isBlank(f.asText())) return 0;
    return f.asDate();
}


// A bank or branch code holds digits only: a code with a letter or a sign in
// it is said as such, not as a missing code.
void requireDigitCode(FormState& form, std::string_view field, const char* what) {
    thread_local std::string buffer;
    const std::string_view code = trimBlanks(dispTextIn(buffer, form, field));
    for (const char c : code)
        if (c < '0' || c > '9')
            throw EPztBanca(std::string(what) + " del destinatario deve contenere solo cifre: '" + std::string(code) + "'.");
}

void requireDigitCodes(FormState& form) {
    requireDigitCode(form, "ABI_DESTINATARIO", "L'ABI");
    requireDigitCode(form, "CAB_DESTINATARIO", "Il CAB");
}

// The three coordinate tests of an account payment: bank code, branch code, account.
void requireAccountCoordinates(FormState& form) {
    requireDigitCodes(form);
    if (DispositionNumber(form, "ABI_DESTINATARIO") == 0 || DispositionNumber(form, "CAB_DESTINATARIO") == 0 ||
        dispBlank(form, "CC_DESTINATARIO"))
        throw EPztBanca(kMsgCoordinates);
}

// ---- rule sets by layout code --------------------------------------------------------
// Each one looks at the Required code itself.

void rulesCbiSep(FormState& form, const std::string& required) {
    if (required == "C1") CheckPaymentModeCoordinates(form);
    else if (required == "C4") CheckWorkingDayGap(form);
}

// CheckAccountCoordinates for a Required code already read.
bool checkAccountCoordinates(FormState& form, const std::string& required) {
    if (required != "C1") return false;
    if (IsAccountPaymentKind(dispInteger(form, "IMPGID"))) requireAccountCoordinates(form);
    return true;
}

void rulesCbiSep2(FormState& form, const std::string& required) {
    if (checkAccountCoordinates(form, required)) CheckInternalAccountNumber(form);
    else if (required == "C3") CheckCashPaymentDates(form);
}

void rulesCbiMarca(FormState& form, const std::string& required) {
    if (required == "C1") CheckValueDate(form);
}

void rulesDeltaSiope(FormState& form, const std::string& required) {
    if (required == "C1") CheckPayeeAccount(form);
}

void rulesAccountOnly(FormState& form, const std::string& required) { checkAccountCoordinates(form, required); }

struct LayoutRuleSet {
    const char* code;
    void (*apply)(FormState&, const std::string& required);
};

const LayoutRuleSet kRuleSets[] = {
    {"CBI_5_02", rulesAccountOnly},     {"CBI_SEP", rulesCbiSep},         {"CBI_SEP2", rulesCbiSep2},
    {"CBI_MARCA", rulesCbiMarca},       {"DELTA_SIOPE", rulesDeltaSiope}, {"SETIF", rulesAccountOnly},
};

// The rule set of the chosen bank's layout code; none for a code without rules.
const LayoutRuleSet* ruleSetOf(FormState& form) {
    const std::string code = form.cdsTracciati.fieldByName("CodTracciato").asText();
    for (const LayoutRuleSet& set : kRuleSets)
        if (code == set.code) return &set;
    return nullptr;
}

}  // namespace

void ValidateField(FormState& form, const std::string& text) { ValidateField(form, LayoutRow::current(form), text); }

void ValidateField(FormState& form, const LayoutRow& row, const std::string& text) {
    const std::string& colType = row.ColType(form);
    if (IsNumericType(colType)) CheckNumeric(form, row, text, colType);
    if (colType == "F") return;
    const std::string& required = row.Required(form);
    if (required == "F") return;
    if (required == "O") {
        if (isBlank(text)) throw EPztBanca("Campo obbligatorio: " + row.FieldName(form));
        return;
    }
    CheckLayoutRules(form, row);
}

bool IsNumericType(std::string_view colType) {
    if (colType.empty()) return false;
    const char c = colType.front();
    return c == 'D' || c == 'E' || c == 'N';
}

void CheckNumeric(FormState& form, const std::string& text, std::string_view colType) {
    CheckNumeric(form, LayoutRow::current(form), text, colType);
}

void CheckNumeric(FormState& form, const LayoutRow& row, const std::string& text, std::string_view colType) {
    checkDigits(form, row, text, !colType.empty() && colType.front() == 'E');
}

void CheckLayoutRules(FormState& form) { CheckLayoutRules(form, LayoutRow::current(form)); }

void CheckLayoutRules(FormState& form, const LayoutRow& row) {
    const std::string& required = row.Required(form);
    if (required == "C2") {
        CheckPayeeAddress(form);
        return;
    }
    if (const LayoutRuleSet* set = ruleSetOf(form)) set->apply(form, required);
}

void BankRules::check(FormState& form, const std::string& required) {
    if (!known_) {
        const LayoutRuleSet* set = ruleSetOf(form);
        apply_ = set ? set->apply : nullptr;
        known_ = true;
    }
    if (apply_) apply_(form, required);
}

void ValidatePrepared(FormState& form, const LayoutRow& row, std::string_view text, BankRules& rules) {
    if (row.numeric) checkDigits(form, row, text, row.amount);
    switch (row.requirement) {
        case LayoutRow::Requirement::None: return;
        case LayoutRow::Requirement::Mandatory:
            if (isBlank(text)) throw EPztBanca("Campo obbligatorio: " + *row.fieldName);
            return;
        case LayoutRow::Requirement::PayeeAddress: CheckPayeeAddress(form); return;
        case LayoutRow::Requirement::LayoutRules: rules.check(form, *row.required); return;
    }
}

// ---- FieldLookup ------------------------------------------------------------------------

FieldLookup::FieldLookup(FormState& form) : form_(form), outer_(form.fieldLookup) { form.fieldLookup = this; }

FieldLookup::~FieldLookup() { form_.fieldLookup = outer_; }

FieldLookup* FieldLookup::of(FormState& form) {
    return form.fieldLookup;
}

Field FieldLookup::get(Table& table, std::string_view name) {
    const std::size_t size = name.size();
    for (const Entry& e : entries_) {
        // Size, first and last character first: most other names differ there already.
        if (e.table != &table || e.name.size() != size) continue;
        if (size > 0 && (e.name.front() != name.front() || e.name.back() != name.back())) continue;
        if (std::string_view(e.name) == name) return Field(table, e.index);
    }
    const int index = table.fieldIndex(name);
    if (index < 0) return table.fieldByName(name);  // raises the missing field's error
    entries_.push_back({&table, std::string(name), index});
    return Field(table, index);
}

Field BuildField(FormState& form, Table& table, std::string_view name) {
    if (FieldLookup* lookup = FieldLookup::of(form)) return lookup->get(table, name);
    return table.fieldByName(name);
}

bool CheckAccountCoordinates(FormState& form) { return checkAccountCoordinates(form, layoutText(form, "Required")); }

void CheckPayeeAddress(FormState& form) {
    if (!IsAccountPaymentKind(dispInteger(form, "IMPGID"))) {
        for (const char* name : {"IND_DESTINATARIO", "CAP_DESTINATARIO", "COM_DESTINATARIO"})
            if (dispBlank(form, name)) throw EPztBanca(kMsgAddress);
    }
    if (!dispBlank(form, "CAP_DESTINATARIO") && DispositionNumber(form, "CAP_DESTINATARIO") == 0)
        throw EPztBanca(kMsgPostalCode);
}

void CheckCashPaymentDates(FormState& form) {
    if (dispInteger(form, "IMPGID") != payment_kind::kCash) return;
    const DaySerial execution = dispDate(form, "DATA_DISPOSIZIONE");
    if (execution == 0) throw EPztBanca(kMsgExecutionDate);
    const std::int64_t expiry = dispDate(form, "DATA_SCADENZA");
    if (expiry < static_cast<std::int64_t>(execution) + 15 || expiry > static_cast<std::int64_t>(execution) + 360)
        throw EPztBanca(kMsgExpiryRange);
}

void CheckValueDate(FormState& form) {
    if (!IsAccountPaymentKind(dispInteger(form, "IMPGID"))) return;
    if (dispDate(form, "DATA_VALUTA") <= 0) throw EPztBanca(kMsgValueDate);
}

void CheckPaymentModeCoordinates(FormState& form) {
    const std::int64_t mode = dispInteger(form, "MODALITA_PAGAMENTO");
    if (mode != 0 && mode != 1) return;
    requireDigitCodes(form);
    if (mode == 1 && DispositionNumber(form, "ABI_DESTINATARIO") == 0) throw EPztBanca(kMsgCoordinates);
    if (DispositionNumber(form, "CAB_DESTINATARIO") == 0 || dispBlank(form, "CC_DESTINATARIO"))
        throw EPztBanca(kMsgCoordinates);
    if (mode == 0 && !dispText(form, "ABI_DESTINATARIO").empty()) throw EPztBanca(kMsgGiroconto);
    CheckInternalAccountNumber(form);
}

void CheckWorkingDayGap(FormState& form) {
    if (WorkingDaysBetween(dispDate(form, "DATA_CREAZIONE"), dispDate(form, "DATA_DISPOSIZIONE")) < 2)
        throw EPztBanca(kMsgWorkingDays);
}

void CheckPayeeAccount(FormState& form) {
    const std::int64_t impgid = dispInteger(form, "IMPGID");
    if (impgid == payment_kind::kBankAccount) requireAccountCoordinates(form);
    else if (impgid == payment_kind::kPostalAccount && dispBlank(form, "CCP_DESTINATARIO")) throw EPztBanca(kMsgPostalAccount);
}

void CheckInternalAccountNumber(FormState& form) {
    if (dispText(form, "ABI_ORDINANTE") != "06345" || !dispText(form, "ABI_DESTINATARIO").empty()) return;
    const std::string account = dispText(form, "CC_DESTINATARIO");
    const std::string_view head = std::string_view(account).substr(0, 4);
    if (account.size() != 12 || (head != "1000" && head != "0740"))
        ConfirmWarning(form, kWarningInternalAccount, kMsgInternalAccount);
}

std::int32_t DispositionNumber(FormState& form, std::string_view fieldName) {
    thread_local std::string buffer;
    const std::string& text = dispTextIn(buffer, form, fieldName);
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return 0;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return 0;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) return 0;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max()) return 0;
    return static_cast<std::int32_t>(value);
}

int WorkingDaysBetween(DaySerial start, DaySerial end) {
    if (end <= start) return 0;
    // Every whole week after the start holds five working days; the days left
    // over (at most six) are looked at one by one.
    const std::int64_t span = static_cast<std::int64_t>(end) - start;
    std::int64_t count = span / 7 * 5;
    for (std::int64_t day = static_cast<std::int64_t>(start) + span / 7 * 7 + 1; day <= end; ++day)
        if (dayOfTheWeek(static_cast<DaySerial>(day)) <= 5) ++count;
    return static_cast<int>(count);
}

void ConfirmWarning(FormState& form, unsigned number, const std::string& text) {
    if (form.checkSink) {
        // A check run lists every warning where it arises and asks nothing.
        NoteAtCurrentField(form, *form.checkSink, FindingKind::Warning, text);
        return;
    }
    const bool remembered = number < form.confirmedWarnings.size();
    if (remembered && form.confirmedWarnings.test(number)) return;
    if (!form.window.askYesNo(text + "\r\n" + "Continuare ?")) throw SilentAbort();
    if (remembered) form.confirmedWarnings.set(number);
}

}  // namespace doz

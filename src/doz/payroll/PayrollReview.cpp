#include "payroll/PayrollReview.h"

#include <optional>
#include <set>
#include <string>

#include "bankfile/EPztBanca.h"
#include "payroll/PayrollChecks.h"
#include "platform/Error.h"
#include "platform/Table.h"
#include "platform/Text.h"
#include "register/History.h"
#include "sepa/Message.h"

namespace doz {

namespace {

// Lines of the OK question beyond the register's findings; Controlla lists the rest.
constexpr std::size_t kQuestionLines = 20;

// True when the chosen bank's layout writes the disposition field `name`.
bool layoutWrites(FormState& form, std::string_view name) {
    Table& layout = form.cdsTraccCorrente;
    const int column = layout.fieldIndex("FieldName");
    if (!layout.active() || column < 0) return false;
    for (const Row& row : layout.allRows()) {
        const Value& v = row[static_cast<std::size_t>(column)];
        if (v.is<std::string>() && sameName(trimBlanks(v.get<std::string>()), name)) return true;
    }
    return false;
}

// Every date the dispositions shown hold in `name`, once each.
std::set<DaySerial> datesOf(FormState& form, std::string_view name) {
    std::set<DaySerial> out;
    Table& disp = form.cdsDisp;
    const std::optional<Field> field = disp.active() ? disp.findField(name) : std::nullopt;
    if (!field) return out;
    for (disp.first(); !disp.eof(); disp.next())
        if (const DaySerial d = field->asDate(); d != 0) out.insert(d);
    disp.first();
    return out;
}

DaySerial serialOf(const sepa::Date& d) {
    if (d.empty() || !isValidCivilDate(d.year, d.month, d.day)) return 0;  // the request's own check names it
    return encodeDate(d.year, d.month, d.day);
}

std::string sourceOf(const sepa::Message& message, const std::string& element) {
    const auto it = message.sourceField.find(element);
    return it == message.sourceField.end() || it->second.empty() ? element : it->second;
}

// Puts the dispositions' cursor back where it stood however the review ends:
// the review reads every disposition, the user's current one stays current.
class KeptCursor {
public:
    explicit KeptCursor(Table& table) : table_(table), at_(table.active() ? table.recNo() : -1) {}
    ~KeptCursor() {
        if (at_ < 0 || !table_.active()) return;
        try {
            table_.first();
            for (int i = 0; i < at_ && !table_.eof(); ++i) table_.next();
        } catch (...) {
            // A table that cannot move stays where the review left it.
        }
    }
    KeptCursor(const KeptCursor&) = delete;
    KeptCursor& operator=(const KeptCursor&) = delete;

private:
    Table& table_;
    int at_;
};

// The chosen bank's name as the register records it: the catalogue stands on it.
std::string chosenBank(FormState& form) {
    Table& catalogue = form.cdsTracciati;
    if (!catalogue.active() || catalogue.eof()) return {};
    return catalogue.fieldByName("Banca").asText();
}

// What the register says of `payroll` (the payments the file would hold), compared.
void checkAgainstRegister(FormState& form, const std::vector<PayrollPayment>& payroll, CheckSink& sink) {
    CheckAgainstHistory(payroll, LoadPayrollHistory(form, chosenBank(form), payroll), sink);
}

// The same for the OK command's question, which asks about the Avvisi alone.
void confirmAgainstRegister(FormState& form, const std::vector<PayrollPayment>& payroll, CheckSink& sink) {
    CheckHistoryWarnings(payroll, LoadPayrollHistory(form, chosenBank(form), payroll, false), sink);
}

void askAbout(FormState& form, const CheckSink& registerFindings, const CheckSink& own, std::size_t ownWarnings) {
    if (registerFindings.count(FindingKind::Warning) + ownWarnings == 0) return;
    if (!form.window.askYesNo(PayrollQuestion(registerFindings, own, ownWarnings))) throw SilentAbort();
}

void stopAtError(const CheckSink& sink) {
    for (const CheckFinding& f : sink.findings())
        if (f.kind == FindingKind::Error) throw EPztBanca(FormatFinding(f));
}

}  // namespace

RequestPayroll::RequestPayroll(FormState& form, std::size_t transfers)
    : disp_(form.cdsDisp),
      code_(disp_.fieldIndex("COD_CLIENTE")),
      fiscal_(disp_.fieldIndex("CF_DESTINATARIO")),
      kind_(disp_.fieldIndex("IMPGID")),
      mode_(disp_.fieldIndex("DESC_MOD_PAGAMENTO")) {
    out_.reserve(transfers);
}

void RequestPayroll::take(const sepa::Transfer& t) {
    auto text = [this](const Row& row, int index) -> std::string {
        if (index < 0) return {};
        const Value& v = row[static_cast<std::size_t>(index)];
        if (v.isNull()) return {};
        if (v.is<std::string>()) return std::string(trimBlanks(v.get<std::string>()));
        buffer_ = valueToText(v);
        return std::string(trimBlanks(buffer_));
    };
    // Both number the dispositions shown from 1, in the same order.
    if (t.disposition < 1 || t.disposition > disp_.viewCount()) throw AssertionFailure();
    const Row& row = disp_.viewRow(t.disposition - 1);
    PayrollPayment p;
    p.disposition = t.disposition;
    p.payeeCode = text(row, code_);
    p.name = t.payee;
    p.fiscalCode = text(row, fiscal_);
    p.iban = t.creditorIban;
    std::erase(p.iban, ' ');
    for (char& c : p.iban) c = toAsciiUpper(c);
    p.cents = t.cents;
    if (kind_ >= 0 && row[static_cast<std::size_t>(kind_)].is<std::int64_t>())
        p.kind = row[static_cast<std::size_t>(kind_)].get<std::int64_t>();
    p.mode = text(row, mode_);
    out_.push_back(std::move(p));
}

void CheckFixedWidthPayroll(FormState& form, CheckSink& sink) {
    const KeptCursor kept(form.cdsDisp);
    const DaySerial today = form.today();
    // The day the bank is asked to pay: the execution date, or the value date
    // for a layout that writes no execution date.
    for (const char* field : {"DATA_DISPOSIZIONE", "DATA_VALUTA"})
        if (layoutWrites(form, field)) {
            for (const DaySerial d : datesOf(form, field))
                CheckExecutionDate(d, field, today, PayrollFileKind::FixedWidth, sink);
            break;
        }
    if (layoutWrites(form, "DATA_CREAZIONE"))
        for (const DaySerial d : datesOf(form, "DATA_CREAZIONE"))
            CheckCreationDate(d, "DATA_CREAZIONE", today, sink);
    const std::vector<PayrollPayment> payroll = CollectPayroll(form);
    CheckRepeatedPayments(payroll, sink);
    checkAgainstRegister(form, payroll, sink);
}

void CheckXmlPayroll(FormState& form, const sepa::Message& message, const std::vector<PayrollPayment>& payroll,
                     CheckSink& sink) {
    CheckExecutionDate(serialOf(message.execution), sourceOf(message, "ReqdExctnDt"), form.today(),
                       PayrollFileKind::Xml, sink);
    CheckRepeatedPayments(payroll, sink);
    checkAgainstRegister(form, payroll, sink);
}

std::optional<std::vector<PayrollPayment>> ConfirmFixedWidthPayroll(FormState& form) {
    if (!RegisterEnabled()) return std::nullopt;  // nothing to compare with: the payroll is not even read
    CheckSink registerFindings;
    std::vector<PayrollPayment> payroll = CollectPayroll(form);
    confirmAgainstRegister(form, payroll, registerFindings);
    askAbout(form, registerFindings, CheckSink(), 0);
    return payroll;
}

void ConfirmXmlPayroll(FormState& form, const sepa::Message& message, const std::vector<PayrollPayment>& payroll) {
    CheckSink registerFindings, own;
    CheckExecutionDate(serialOf(message.execution), sourceOf(message, "ReqdExctnDt"), form.today(),
                       PayrollFileKind::Xml, own);
    stopAtError(own);
    const std::size_t dates = own.count(FindingKind::Warning);
    const std::size_t repeated = CheckRepeatedPayments(payroll, own, kQuestionLines);
    confirmAgainstRegister(form, payroll, registerFindings);
    askAbout(form, registerFindings, own, dates + repeated);
}

std::string PayrollQuestion(const CheckSink& registerFindings, const CheckSink& ownFindings,
                            std::size_t ownWarnings) {
    const std::size_t count = registerFindings.count(FindingKind::Warning) + ownWarnings;
    std::string text = "Controlli dei pagamenti: " + std::to_string(count) + (count == 1 ? " avviso" : " avvisi") + "\r\n";
    for (const CheckFinding& f : registerFindings.findings())
        if (f.kind == FindingKind::Warning) text += FormatFinding(f) + "\r\n";
    std::size_t listed = 0;
    for (const CheckFinding& f : ownFindings.findings())
        if (f.kind == FindingKind::Warning && listed < kQuestionLines) {
            text += FormatFinding(f) + "\r\n";
            ++listed;
        }
    if (ownWarnings > listed)
        text += "... e altri " + std::to_string(ownWarnings - listed) +
                " avvisi (li elenca il controllo delle disposizioni)\r\n";
    return text + "Continuare ?";
}

}  // namespace doz

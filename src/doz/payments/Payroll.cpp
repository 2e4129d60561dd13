#include "payments/Payroll.h"

#include <optional>
#include <system_error>
#include <thread>

#include "payments/Iban.h"
#include "payments/PaymentKind.h"
#include "payments/PayrollHistory.h"
#include "platform/Dates.h"
#include "platform/Error.h"
#include "platform/Text.h"

namespace doz {

std::string PayrollPayment::payeeKey() const {
    if (!payeeCode.empty()) return payeeCode;
    if (!fiscalCode.empty()) return "CF " + fiscalCode;
    return {};
}

std::string PayrollPayment::accountKey() const {
    if (!iban.empty()) return iban;
    if (!abi.empty() || !cab.empty()) return "ABI " + abi + " CAB " + cab + " CC " + account;
    if (!account.empty()) return "CC " + account;
    return {};
}

namespace {

// The columns a payment is read from, -1 where the dispositions lack one.
struct PayrollColumns {
    int payeeCode, name, fiscal, whole, country, checkDigits, cin, abi, cab, account, postal, mode, cents, kind;

    explicit PayrollColumns(const Table& t)
        : payeeCode(t.fieldIndex("COD_CLIENTE")),
          name(t.fieldIndex("DESC_DESTINATARIO")),
          fiscal(t.fieldIndex("CF_DESTINATARIO")),
          whole(t.fieldIndex("SACOMNUMCC")),
          country(t.fieldIndex("IBAN_STATO_DESTINATARIO")),
          checkDigits(t.fieldIndex("IBAN_CKD_DESTINATARIO")),
          cin(t.fieldIndex("CIN")),
          abi(t.fieldIndex("ABI_DESTINATARIO")),
          cab(t.fieldIndex("CAB_DESTINATARIO")),
          account(t.fieldIndex("CC_DESTINATARIO")),
          postal(t.fieldIndex("CCP_DESTINATARIO")),
          mode(t.fieldIndex("DESC_MOD_PAGAMENTO")),
          cents(t.fieldIndex("IMPORTO")),
          kind(t.fieldIndex("IMPGID")) {}
};

std::string textAt(const Row& row, int index) {
    if (index < 0) return {};
    const Value& v = row[static_cast<std::size_t>(index)];
    if (v.is<std::string>()) return std::string(trimBlanks(v.get<std::string>()));
    return std::string(trimBlanks(valueToText(v)));
}

// A whole number as the field reads it; false for any other kind of value,
// whose conversion (and its failure, naming the field) is left to the field.
bool wholeAt(const Row& row, int index, std::int64_t& out) {
    out = 0;
    if (index < 0) return true;
    const Value& v = row[static_cast<std::size_t>(index)];
    if (v.isNull()) return true;
    if (!v.is<std::int64_t>()) return false;
    out = v.get<std::int64_t>();
    return true;
}

// Who is paid and where, once the payment's kind is known.
void payeeAt(const Row& row, const PayrollColumns& c, PayrollPayment& p) {
    p.payeeCode = textAt(row, c.payeeCode);
    p.name = textAt(row, c.name);
    p.fiscalCode = textAt(row, c.fiscal);
    p.mode = textAt(row, c.mode);
    if (p.kind == payment_kind::kPostalAccount) {
        p.account = textAt(row, c.postal);
        return;
    }
    p.abi = textAt(row, c.abi);
    p.cab = textAt(row, c.cab);
    p.account = textAt(row, c.account);
    p.iban = IbanInText(textAt(row, c.whole));
    if (p.iban.empty() && !p.abi.empty()) {
        const std::string country = textAt(row, c.country);
        p.iban = BuildItalianIban(country.empty() ? "IT" : country, textAt(row, c.cin), p.abi, p.cab, p.account);
        // Check digits the disposition gives are kept, so that a wrong pair shows.
        const std::string d = textAt(row, c.checkDigits);
        if (!p.iban.empty() && d.size() == 2) p.iban.replace(2, 2, d);
    }
}

// The payment of one disposition; false when an amount or kind is not a
// whole number as stored.
bool paymentAt(const Row& row, const PayrollColumns& c, PayrollPayment& p) {
    if (!wholeAt(row, c.cents, p.cents) || !wholeAt(row, c.kind, p.kind)) return false;
    payeeAt(row, c, p);
    return true;
}

// The dispositions shown from `from` to `to`, into their places in `out`;
// false when one of them is left to the field-by-field reading.
bool fillPayments(const Table& disp, const PayrollColumns& c, int from, int to,
                  std::vector<PayrollPayment>& out) noexcept {
    try {
        for (int i = from; i < to; ++i) {
            PayrollPayment& p = out[static_cast<std::size_t>(i)];
            p.disposition = i + 1;
            if (!paymentAt(disp.viewRow(i), c, p)) return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

// From this many dispositions on, the two halves are read side by side.
constexpr int kSideBySide = 20000;

}  // namespace

std::vector<PayrollPayment> CollectPayroll(FormState& form) {
    std::vector<PayrollPayment> out;
    Table& disp = form.cdsDisp;
    if (!disp.active()) return out;
    // Read row by row, two threads on a large payroll. A value the plain
    // reading does not take (an amount stored as text, say) sends the whole
    // payroll through the fields, as below, whose errors name the field.
    const PayrollColumns columns(disp);
    {
        const int count = disp.viewCount();
        out.resize(static_cast<std::size_t>(count));
        const int half = count >= kSideBySide ? count / 2 : count;
        bool second = true;
        std::jthread other;
        if (half < count) {
            try {
                other = std::jthread([&] { second = fillPayments(disp, columns, half, count, out); });
            } catch (const std::system_error&) {
                second = fillPayments(disp, columns, half, count, out);  // no thread to be had
            }
        }
        const bool first = fillPayments(disp, columns, 0, half, out);
        if (other.joinable()) other.join();
        if (first && second) {
            disp.first();
            return out;
        }
        out.clear();
    }

    const std::optional<Field> cents = disp.findField("IMPORTO");
    const std::optional<Field> kind = disp.findField("IMPGID");
    out.reserve(static_cast<std::size_t>(disp.viewCount()));
    int number = 0;
    for (disp.first(); !disp.eof(); disp.next()) {
        PayrollPayment p;
        p.disposition = ++number;
        p.cents = cents ? cents->asInteger() : 0;
        p.kind = kind ? kind->asInteger() : 0;
        payeeAt(disp.currentRow(), columns, p);
        out.push_back(std::move(p));
    }
    disp.first();
    return out;
}

std::int64_t PayrollTotalCents(const std::vector<PayrollPayment>& payments) {
    std::int64_t sum = 0;
    for (const PayrollPayment& p : payments)
        if (__builtin_add_overflow(sum, p.cents, &sum))
            throw DataError("Totale degli importi oltre il limite del programma.");
    return sum;
}

std::string ShownMoment(const std::string& moment) {
    DaySerial day = 0;
    if (moment.size() < 10 || !parseIsoDate(std::string_view(moment).substr(0, 10), day)) return moment;
    return formatDatePattern("dd/mm/yyyy", day, '/') + moment.substr(10);
}

}  // namespace doz

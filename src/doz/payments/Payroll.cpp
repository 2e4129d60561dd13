#include "payments/Payroll.h"

#include <optional>

#include "payments/Iban.h"
#include "payments/PaymentKind.h"
#include "payments/PayrollHistory.h"
#include "platform/Dates.h"
#include "platform/Error.h"
#include "platform/Text.h"

namespace doz {

namespace {

// A disposition field read as trimmed text, or empty when the dispositions lack it.
class TextField {
public:
    TextField(Table& t, std::string_view name) : field_(t.findField(name)) {}
    std::string operator()() const {
        if (!field_) return {};
        // A text value is trimmed where it stands, without a copy of its own.
        const Value& v = field_->value();
        if (v.is<std::string>()) return std::string(trimBlanks(v.get<std::string>()));
        return std::string(trimBlanks(field_->asText()));
    }

private:
    std::optional<Field> field_;
};

}  // namespace

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

std::vector<PayrollPayment> CollectPayroll(FormState& form) {
    std::vector<PayrollPayment> out;
    Table& disp = form.cdsDisp;
    if (!disp.active()) return out;
    const TextField payeeCode(disp, "COD_CLIENTE"), name(disp, "DESC_DESTINATARIO"), fiscal(disp, "CF_DESTINATARIO"),
        whole(disp, "SACOMNUMCC"), country(disp, "IBAN_STATO_DESTINATARIO"), checkDigits(disp, "IBAN_CKD_DESTINATARIO"),
        cin(disp, "CIN"), abi(disp, "ABI_DESTINATARIO"), cab(disp, "CAB_DESTINATARIO"), account(disp, "CC_DESTINATARIO"),
        postal(disp, "CCP_DESTINATARIO"), mode(disp, "DESC_MOD_PAGAMENTO");
    const std::optional<Field> cents = disp.findField("IMPORTO");
    const std::optional<Field> kind = disp.findField("IMPGID");

    out.reserve(static_cast<std::size_t>(disp.viewCount()));
    int number = 0;
    for (disp.first(); !disp.eof(); disp.next()) {
        PayrollPayment p;
        p.disposition = ++number;
        p.payeeCode = payeeCode();
        p.name = name();
        p.fiscalCode = fiscal();
        p.cents = cents ? cents->asInteger() : 0;
        p.kind = kind ? kind->asInteger() : 0;
        p.mode = mode();
        if (p.kind == payment_kind::kPostalAccount) {
            p.account = postal();
        } else {
            p.abi = abi();
            p.cab = cab();
            p.account = account();
            p.iban = IbanInText(whole());
            if (p.iban.empty() && !p.abi.empty()) {
                const std::string c = country();
                p.iban = BuildItalianIban(c.empty() ? "IT" : c, cin(), p.abi, p.cab, p.account);
                // Check digits the disposition gives are kept, so that a wrong pair shows.
                const std::string d = checkDigits();
                if (!p.iban.empty() && d.size() == 2) p.iban.replace(2, 2, d);
            }
        }
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

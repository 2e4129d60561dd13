#include "sepa/FromDispositions.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>

#include "platform/Error.h"
#include "platform/Regional.h"
#include "payments/Iban.h"
#include "payments/PaymentKind.h"
#include "sepa/Prepare.h"

namespace doz::sepa {

namespace {

const char* const kIbanParts[] = {"Stato", "Controllo", "CIN", "ABI", "CAB", "Conto"};

std::string trimmed(std::string text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    text.erase(text.find_last_not_of(' ') + 1);
    return text.substr(first);
}

Date toDate(DaySerial serial) {
    if (serial == 0) return {};
    const CivilDate c = decodeDate(serial);
    return {c.year, c.month, c.day};
}

// One element's source, resolved once for the whole message: a field of the
// dispositions (read at the current row), a header control, or a constant.
class Source {
public:
    Source(FormState& form, const ElementMap& map, const std::string& element) : form_(form) {
        const ElementSource& s = map[element];
        name_ = s.field;
        if (s.field.empty()) {
            constant_ = s.constant;
            return;
        }
        field_ = form.cdsDisp.findField(s.field);
        if (field_) return;
        WindowPort& w = form.window;
        for (const char* prefix : {"ed", "de"})
            if (const std::optional<ComponentInfo> c = w.findComponent(prefix + s.field)) {
                if (c->kind == ComponentKind::Edit) control_ = c->name;
                if (c->kind == ComponentKind::DateEdit) dateControl_ = c->name;
            }
        if (control_.empty() && dateControl_.empty())
            throw DataError("Elemento " + element + ": il campo '" + s.field +
                            "' non esiste n\xE9 nelle disposizioni n\xE9 fra i valori di testata");
    }

    std::string text() const {
        if (field_) return trimmed(field_->asText());
        if (!control_.empty()) return trimmed(form_.window.text(control_));
        if (!dateControl_.empty()) return isoDate(form_.window.date(dateControl_));
        return constant_;
    }
    std::int64_t integer() const {
        if (field_) return field_->asInteger();
        const std::string t = text();
        return t.empty() ? 0 : std::stoll(t);
    }
    DaySerial date() const {
        if (field_) return field_->asDate();
        if (!dateControl_.empty()) return form_.window.date(dateControl_);
        return 0;
    }
    // The field or header value's name, for findings; empty for a constant.
    const std::string& name() const { return name_; }

private:
    FormState& form_;
    std::string name_;
    std::optional<Field> field_;
    std::string control_, dateControl_;
    std::string constant_;
};

// An account's IBAN: the whole-IBAN field when it holds one, else built from
// the Italian parts. Check digits given with the parts are kept, so a wrong
// pair is found by the IBAN check instead of being silently recomputed.
class IbanSource {
public:
    IbanSource(FormState& form, const ElementMap& map, const std::string& element) : whole_(form, map, element) {
        for (const char* part : kIbanParts) parts_.emplace_back(form, map, element + "." + part);
    }

    // `abiWhenEmpty` stands in for an empty ABI part.
    std::string iban(const std::string& abiWhenEmpty = {}) const {
        std::string whole = whole_.text();
        std::erase(whole, ' ');
        if (!whole.empty()) return whole;
        if (part(2).empty() && part(3).empty() && part(4).empty() && part(5).empty()) return {};  // no account
        const std::string country = part(0).empty() ? std::string("IT") : part(0);
        const std::string checkDigits = part(1);
        const std::string abi = part(3).empty() ? abiWhenEmpty : part(3);
        std::string iban = BuildItalianIban(country, part(2), abi, part(4), part(5));
        if (iban.empty()) {
            // Parts not of their form: sent as they are, for the check to name.
            iban = country + checkDigits + part(2) + abi + part(4) + part(5);
        } else if (!checkDigits.empty()) {
            iban.replace(2, 2, checkDigits.size() == 2 ? checkDigits : checkDigits + "?");
        }
        return iban;
    }
    bool hasParts() const { return !whole_.text().empty() || !part(5).empty(); }
    bool hasCin() const { return !whole_.text().empty() || !part(2).empty(); }
    // The fields that fed the IBAN, for findings.
    std::string names() const {
        if (!whole_.name().empty() && !whole_.text().empty()) return whole_.name();
        std::string out;
        for (const Source& s : parts_)
            if (!s.name().empty()) out += (out.empty() ? "" : ", ") + s.name();
        return out;
    }

private:
    std::string part(std::size_t i) const { return parts_[i].text(); }
    Source whole_;
    std::vector<Source> parts_;
};

// A message identifier unique per file: creation time to the second, then a
// mix of the clock's nanoseconds and the process number.
std::string newMessageId(const DateTime& created) {
    const auto ticks = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint64_t mix = ticks ^ (static_cast<std::uint64_t>(::getpid()) << 40);
    mix ^= mix >> 33;
    mix *= 0xff51afd7ed558ccdULL;
    mix ^= mix >> 33;
    char buf[40];
    std::snprintf(buf, sizeof buf, "PZT%04d%02d%02d%02d%02d%02d-%08llX", created.date.year, created.date.month,
                  created.date.day, created.hour, created.minute, created.second,
                  static_cast<unsigned long long>(mix & 0xFFFFFFFFULL));
    return buf;
}

// The payee's end-to-end reference: the payee code (the matricola, say)
// followed by the disposition's number, which keeps it unique; the code is
// cut so that the number always fits.
std::string endToEndId(const std::string& payeeCode, int disposition) {
    const std::string number = "-" + std::to_string(disposition);
    std::string code = payeeCode.empty() ? std::string("DISP") : payeeCode;
    if (code.size() + number.size() > kMaxIdLength) code.resize(kMaxIdLength - number.size());
    return code + number;
}

}  // namespace

ElementMap::ElementMap() {
    auto field = [&](const char* element, const char* name) { sources_[element] = {name, {}}; };
    auto constant = [&](const char* element, const char* value) { sources_[element] = {{}, value}; };
    field("InitgPty/Nm", "DESC_ORDINANTE");
    field("InitgPty/Id", "CUC");
    field("CreDtTm", "DATA_CREAZIONE");
    field("ReqdExctnDt", "DATA_DISPOSIZIONE");
    field("Dbtr/Nm", "DESC_ORDINANTE");
    constant("DbtrAcct/Id/IBAN", "");
    field("DbtrAcct/Id/IBAN.Stato", "IBAN_STATO_ORDINANTE");
    field("DbtrAcct/Id/IBAN.Controllo", "IBAN_CKD_ORDINANTE");
    field("DbtrAcct/Id/IBAN.CIN", "CIN_ORDINANTE");
    field("DbtrAcct/Id/IBAN.ABI", "ABI_ORDINANTE");
    field("DbtrAcct/Id/IBAN.CAB", "CAB_ORDINANTE");
    field("DbtrAcct/Id/IBAN.Conto", "CC_ORDINANTE");
    field("DbtrAgt/FinInstnId/ClrSysMmbId/MmbId", "ABI_ORDINANTE");
    field("PmtId/EndToEndId", "COD_CLIENTE");
    field("Amt/InstdAmt", "IMPORTO");
    constant("PmtTpInf/CtgyPurp/Cd", "SALA");
    field("Cdtr/Nm", "DESC_DESTINATARIO");
    field("Cdtr/PstlAdr/StrtNm", "IND_DESTINATARIO");
    constant("Cdtr/PstlAdr/BldgNb", "");
    field("Cdtr/PstlAdr/PstCd", "CAP_DESTINATARIO");
    field("Cdtr/PstlAdr/TwnNm", "COM_DESTINATARIO");
    constant("Cdtr/PstlAdr/Ctry", "IT");
    constant("CdtrAcct/Id/IBAN", "");
    field("CdtrAcct/Id/IBAN.Stato", "IBAN_STATO_DESTINATARIO");
    field("CdtrAcct/Id/IBAN.Controllo", "IBAN_CKD_DESTINATARIO");
    field("CdtrAcct/Id/IBAN.CIN", "CIN");
    field("CdtrAcct/Id/IBAN.ABI", "ABI_DESTINATARIO");
    field("CdtrAcct/Id/IBAN.CAB", "CAB_DESTINATARIO");
    field("CdtrAcct/Id/IBAN.Conto", "CC_DESTINATARIO");
    field("RmtInf/Ustrd", "DESC_CAUSALE");
}

void ElementMap::readLayout(Table& layout) {
    const std::optional<Field> valOut = layout.findField("ValOut");
    for (layout.first(); !layout.eof(); layout.next()) {
        const std::string element = trimmed(layout.fieldByName("Element").asText());
        if (element.empty()) throw DataError("Tracciato XML: riga senza Element");
        sources_[element] = {trimmed(layout.fieldByName("FieldName").asText()), valOut ? valOut->asText() : ""};
    }
}

const ElementSource& ElementMap::operator[](std::string_view element) const {
    static const ElementSource none;
    const auto it = sources_.find(element);
    return it == sources_.end() ? none : it->second;
}

Message FillMessage(FormState& form, Form messageForm, LeftOut& leftOut) {
    ElementMap map;
    Table& layout = form.cdsTraccCorrente;
    layout.setFilter({});
    layout.setFiltered(false);
    map.readLayout(layout);

    Message m;
    m.form = messageForm;
    leftOut = {};
    Table& disp = form.cdsDisp;

    // Per disposition.
    const Source cents(form, map, "Amt/InstdAmt"), payeeCode(form, map, "PmtId/EndToEndId"),
        purpose(form, map, "PmtTpInf/CtgyPurp/Cd"), name(form, map, "Cdtr/Nm"), street(form, map, "Cdtr/PstlAdr/StrtNm"),
        building(form, map, "Cdtr/PstlAdr/BldgNb"), postCode(form, map, "Cdtr/PstlAdr/PstCd"),
        town(form, map, "Cdtr/PstlAdr/TwnNm"), country(form, map, "Cdtr/PstlAdr/Ctry"),
        remittance(form, map, "RmtInf/Ustrd");
    const IbanSource creditorIban(form, map, "CdtrAcct/Id/IBAN");
    // Once per message, from the first disposition that carries them.
    const Source initiating(form, map, "InitgPty/Nm"), cuc(form, map, "InitgPty/Id"), created(form, map, "CreDtTm"),
        execution(form, map, "ReqdExctnDt"), debtor(form, map, "Dbtr/Nm"),
        debtorAbi(form, map, "DbtrAgt/FinInstnId/ClrSysMmbId/MmbId");
    const IbanSource debtorIban(form, map, "DbtrAcct/Id/IBAN");
    const std::optional<Field> kind = disp.findField("IMPGID");
    const std::optional<Field> modeText = disp.findField("DESC_MOD_PAGAMENTO");
    const std::optional<Field> orderingAbi = disp.findField("ABI_ORDINANTE");

    bool headerRead = false, debtorCinSeen = false;
    int number = 0;
    for (disp.first(); !disp.eof(); disp.next()) {
        ++number;
        if (!headerRead) {
            m.initiatingName = initiating.text();
            m.cuc = cuc.text();
            m.debtorName = debtor.text();
            m.debtorAbi = debtorAbi.text();
            m.execution = toDate(execution.date());
            headerRead = true;
        }
        if (!debtorCinSeen && debtorIban.hasParts()) {
            m.debtorIban = debtorIban.iban();
            debtorCinSeen = debtorIban.hasCin();
        }

        const std::int64_t impgidValue = kind ? kind->asInteger() : payment_kind::kBankAccount;
        const std::string payee = name.text();
        const std::int64_t amount = cents.integer();
        if (!IsCreditTransferKind(impgidValue)) {
            leftOut.payments.push_back({number, payee, modeText ? trimmed(modeText->asText()) : std::string(), amount});
            leftOut.cents += amount;
            continue;
        }
        Transfer t;
        t.disposition = number;
        t.payee = payee;
        t.instructionId = std::to_string(number);
        t.endToEndId = endToEndId(payeeCode.text(), number);
        t.cents = amount;
        t.categoryPurpose = purpose.text();
        t.creditorName = payee;
        t.creditorAddress = {street.text(), building.text(), postCode.text(), town.text(), country.text()};
        if (t.creditorAddress.town.empty()) t.creditorAddress = {};  // no address without its town
        // A giroconto stays at the ordering party's own bank: its ABI where the payee's is empty.
        t.creditorIban = creditorIban.iban(impgidValue == payment_kind::kSameBankTransfer && orderingAbi ? trimmed(orderingAbi->asText()) : "");
        t.remittance = remittance.text();
        m.transfers.push_back(std::move(t));
    }

    // The message is created now, whatever creation date the header shows.
    const DateTimeMs now = form.clock();
    m.created.date = toDate(datePart(now));
    const TimeOfDay time = timePart(now);
    m.created.hour = time / 3'600'000;
    m.created.minute = time / 60'000 % 60;
    m.created.second = time / 1000 % 60;
    m.messageId = newMessageId(m.created);
    m.paymentInfoId = m.messageId + "-P1";

    auto source = [&](const char* element, const std::string& fieldName) {
        m.sourceField[element] = fieldName.empty() ? std::string(element) : fieldName;
    };
    source("InitgPty/Nm", initiating.name());
    source("InitgPty/Id", cuc.name());
    source("CreDtTm", created.name());
    source("ReqdExctnDt", execution.name());
    source("Dbtr/Nm", debtor.name());
    source("DbtrAcct/Id/IBAN", debtorIban.names());
    source("DbtrAgt/FinInstnId/ClrSysMmbId/MmbId", debtorAbi.name());
    source("PmtId/EndToEndId", payeeCode.name());
    source("Amt/InstdAmt", cents.name());
    source("PmtTpInf/CtgyPurp/Cd", purpose.name());
    source("Cdtr/Nm", name.name());
    source("Cdtr/PstlAdr/StrtNm", street.name());
    source("Cdtr/PstlAdr/PstCd", postCode.name());
    source("Cdtr/PstlAdr/TwnNm", town.name());
    source("Cdtr/PstlAdr/Ctry", country.name());
    source("CdtrAcct/Id/IBAN", creditorIban.names());
    source("RmtInf/Ustrd", remittance.name());
    return m;
}

std::string LeftOutQuestion(const LeftOut& leftOut) {
    return std::to_string(leftOut.payments.size()) +
           " pagamenti (per cassa o con assegno) non sono bonifici e non saranno nel file (totale " +
           formatCurrencyGrouped(leftOut.cents * 100) + "). Continuare ?";
}

}  // namespace doz::sepa

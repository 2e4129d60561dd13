#include "sepa/FromDispositions.h"

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <optional>
#include <set>

#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/Regional.h"
#include "platform/Text.h"
#include "payments/Iban.h"
#include "payments/PaymentKind.h"
#include "sepa/Prepare.h"

namespace doz::sepa {

namespace {

const char* const kIbanParts[] = {"Stato", "Controllo", "CIN", "ABI", "CAB", "Conto"};
constexpr std::string_view kAmount = "Amt/InstdAmt";

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

bool isCountryElement(std::string_view element) { return element.ends_with("/Ctry"); }

// The country an IBAN begins with; empty when it does not begin with two letters.
std::string ibanCountry(std::string_view iban) {
    if (iban.size() < 2 || !isAsciiLetter(iban[0]) || !isAsciiLetter(iban[1])) return {};
    return {toAsciiUpper(iban[0]), toAsciiUpper(iban[1])};
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
            throw DataError(map.where(element) + "il campo '" + s.field +
                            "' non esiste n\xE9 nelle disposizioni n\xE9 fra i valori di testata");
    }

    std::string text() const {
        if (field_) return trimmed(field_->asText());
        if (!control_.empty()) return trimmed(form_.window.text(control_));
        if (!dateControl_.empty()) return isoDate(form_.window.date(dateControl_));
        return constant_;
    }
    DaySerial date() const {
        if (field_) return field_->asDate();
        if (!dateControl_.empty()) return form_.window.date(dateControl_);
        return 0;
    }
    // The disposition field, when the source is one.
    const std::optional<Field>& field() const { return field_; }
    // The field or header value's name, for findings; empty for a constant.
    const std::string& name() const { return name_; }

private:
    FormState& form_;
    std::string name_;
    std::optional<Field> field_;
    std::string control_, dateControl_;
    std::string constant_;
};

// Cents of a decimal euro text ("1500.5", "-3", "12.30"); the fault when it
// is no number, has more than two decimals that are not zero, or is beyond
// 64 bits.
std::int64_t centsOfEuroText(std::string_view text, std::string& fault) {
    const std::string shown(text);
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) text.remove_prefix(1);
    const std::size_t point = text.find('.');
    std::string digits(text.substr(0, point));
    std::string_view decimals = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    while (decimals.size() > 2 && decimals.back() == '0') decimals.remove_suffix(1);
    if ((digits.empty() && decimals.empty()) || (!digits.empty() && !allAsciiDigits(digits)) ||
        (!decimals.empty() && !allAsciiDigits(decimals))) {
        fault = "importo \"" + shown + "\" non leggibile come euro";
        return 0;
    }
    if (decimals.size() > 2) {
        fault = "importo di " + shown + " euro con pi\xF9 di due decimali: non diventa centesimi esatti";
        return 0;
    }
    digits += decimals;
    digits.append(2 - decimals.size(), '0');
    std::int64_t cents = 0;
    for (const char c : digits)
        if (__builtin_mul_overflow(cents, std::int64_t{10}, &cents) || __builtin_add_overflow(cents, c - '0', &cents)) {
            fault = "importo di " + shown + " euro oltre il limite del programma";
            return 0;
        }
    return negative ? -cents : cents;
}

// The amount of a transfer in cents, in the unit its field's type says.
class AmountSource {
public:
    AmountSource(FormState& form, const ElementMap& map) : source_(form, map, std::string(kAmount)) {
        const std::optional<Field>& f = source_.field();
        std::string from;
        if (!f) {
            from = "dal valore di testata '" + source_.name() + "' (\"" + source_.text() + "\")";
        } else if (isIntegerType(f->type())) {
            return;
        } else if (f->type() == FieldType::Float || f->type() == FieldType::Currency || f->type() == FieldType::Bcd) {
            euro_ = true;
            return;
        } else {
            from = "dal campo '" + source_.name() + "', che non \xE8 numerico,";
        }
        throw DataError(map.where(kAmount) + "l'importo viene " + from +
                        " e non si sa se \xE8 in centesimi o in euro: indicare un campo numerico delle disposizioni "
                        "(intero in centesimi come IMPORTO, decimale in euro come IMPORTO_EURO)");
    }

    // The current disposition's amount; `fault` says why it could not be taken exactly.
    std::int64_t cents(std::string& fault) const {
        const Field& f = *source_.field();
        if (!euro_) return f.asInteger();
        const Value& v = f.value();
        if (v.isNull()) return 0;
        if (v.is<double>()) {
            // The shortest text that reads back as the same double: 1500.5 for 1500.50.
            char text[400];
            const std::to_chars_result r = std::to_chars(text, text + sizeof text, v.get<double>(), std::chars_format::fixed);
            return centsOfEuroText(r.ec == std::errc() ? std::string_view(text, static_cast<std::size_t>(r.ptr - text))
                                                       : std::string_view("?"),
                                   fault);
        }
        if (v.is<Currency>()) {
            const std::int64_t scaled = v.get<Currency>().scaled;  // ten-thousandths
            if (scaled % 100 != 0) {
                fault = "importo di " + formatCurrencyFixed(scaled, 4) +
                        " euro con pi\xF9 di due decimali: non diventa centesimi esatti";
                return 0;
            }
            return scaled / 100;
        }
        return centsOfEuroText(trimmed(f.asText()), fault);
    }
    const std::string& name() const { return source_.name(); }

private:
    Source source_;
    bool euro_ = false;
};

// An account's IBAN: the whole-IBAN field when it holds one, else built from
// the Italian parts. Check digits given with the parts are kept, so a wrong
// pair is found by the IBAN check instead of being silently recomputed.
class IbanSource {
public:
    IbanSource(FormState& form, const ElementMap& map, const std::string& element) : whole_(form, map, element) {
        for (const char* part : kIbanParts) parts_.emplace_back(form, map, element + "." + part);
    }

    // `abiWhenEmpty` stands in for an empty ABI part. `fault` says so when the
    // whole field and the parts give two different IBANs.
    std::string iban(const std::string& abiWhenEmpty, std::string& fault) const {
        std::string whole = whole_.text();
        std::erase(whole, ' ');
        const std::string fromParts = partsIban(abiWhenEmpty);
        const std::string wholeIban = IbanInText(whole);
        if (!wholeIban.empty()) {
            if (!fromParts.empty() && IbanInText(fromParts) != wholeIban)
                fault = "IBAN " + whole + " (" + whole_.name() + ") diverso da quello delle coordinate " + fromParts +
                        " (" + partNames() + ")";
            return whole;
        }
        return fromParts.empty() ? whole : fromParts;
    }
    bool hasParts() const { return !whole_.text().empty() || !part(5).empty(); }
    bool hasCin() const { return !whole_.text().empty() || !part(2).empty(); }
    // The fields that fed the IBAN, for findings.
    std::string names() const {
        if (!whole_.name().empty() && !IbanInText(whole_.text()).empty()) return whole_.name();
        const std::string parts = partNames();
        return parts.empty() ? whole_.name() : parts;
    }

private:
    std::string part(std::size_t i) const { return parts_[i].text(); }
    std::string partNames() const {
        std::string out;
        for (const Source& s : parts_)
            if (!s.name().empty()) out += (out.empty() ? "" : ", ") + s.name();
        return out;
    }
    // The IBAN of the Italian parts; empty when they give no account.
    std::string partsIban(const std::string& abiWhenEmpty) const {
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

    Source whole_;
    std::vector<Source> parts_;
};

// A postal address's sources; the country, when its element is not mapped,
// is the account's.
class AddressSource {
public:
    AddressSource(FormState& form, const ElementMap& map, const std::string& party)
        : street_(form, map, party + "/PstlAdr/StrtNm"), building_(form, map, party + "/PstlAdr/BldgNb"),
          postCode_(form, map, party + "/PstlAdr/PstCd"), town_(form, map, party + "/PstlAdr/TwnNm"),
          country_(form, map, party + "/PstlAdr/Ctry") {}

    // Empty when there is no town: no address without its town. A country
    // neither mapped nor given is the IBAN's.
    PostalAddress address(std::string_view iban) const {
        PostalAddress a{street_.text(), building_.text(), postCode_.text(), town_.text(), country_.text()};
        if (a.town.empty()) return {};
        if (a.country.empty()) a.country = ibanCountry(iban);
        return a;
    }
    void names(Message& m, const std::string& party) const {
        for (const auto& [element, source] : {std::pair{"/PstlAdr/StrtNm", &street_}, std::pair{"/PstlAdr/BldgNb", &building_},
                                              std::pair{"/PstlAdr/PstCd", &postCode_}, std::pair{"/PstlAdr/TwnNm", &town_},
                                              std::pair{"/PstlAdr/Ctry", &country_}})
            if (!source->name().empty()) m.sourceField[party + element] = source->name();
    }

private:
    Source street_, building_, postCode_, town_, country_;
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
    auto field = [&](const char* element, const char* name) { sources_[element] = {name, {}, {}}; };
    auto unmapped = [&](const std::string& element) { sources_[element] = {}; };
    field("InitgPty/Nm", "DESC_ORDINANTE");
    field("InitgPty/Id", "CUC");
    field("ReqdExctnDt", "DATA_DISPOSIZIONE");
    field("Dbtr/Nm", "DESC_ORDINANTE");
    for (const char* part : {"StrtNm", "BldgNb", "PstCd", "TwnNm", "Ctry"}) unmapped(std::string("Dbtr/PstlAdr/") + part);
    unmapped("DbtrAcct/Id/IBAN");
    field("DbtrAcct/Id/IBAN.Stato", "IBAN_STATO_ORDINANTE");
    field("DbtrAcct/Id/IBAN.Controllo", "IBAN_CKD_ORDINANTE");
    field("DbtrAcct/Id/IBAN.CIN", "CIN_ORDINANTE");
    field("DbtrAcct/Id/IBAN.ABI", "ABI_ORDINANTE");
    field("DbtrAcct/Id/IBAN.CAB", "CAB_ORDINANTE");
    field("DbtrAcct/Id/IBAN.Conto", "CC_ORDINANTE");
    field("DbtrAgt/FinInstnId/ClrSysMmbId/MmbId", "ABI_ORDINANTE");
    field("PmtId/EndToEndId", "COD_CLIENTE");
    field("Amt/InstdAmt", "IMPORTO");
    sources_["PmtTpInf/CtgyPurp/Cd"] = {{}, "SALA", {}};
    unmapped("CdtrAgt/FinInstnId/BICFI");
    field("Cdtr/Nm", "DESC_DESTINATARIO");
    field("Cdtr/PstlAdr/StrtNm", "IND_DESTINATARIO");
    unmapped("Cdtr/PstlAdr/BldgNb");
    field("Cdtr/PstlAdr/PstCd", "CAP_DESTINATARIO");
    field("Cdtr/PstlAdr/TwnNm", "COM_DESTINATARIO");
    unmapped("Cdtr/PstlAdr/Ctry");
    unmapped("CdtrAcct/Id/IBAN");
    field("CdtrAcct/Id/IBAN.Stato", "IBAN_STATO_DESTINATARIO");
    field("CdtrAcct/Id/IBAN.Controllo", "IBAN_CKD_DESTINATARIO");
    field("CdtrAcct/Id/IBAN.CIN", "CIN");
    field("CdtrAcct/Id/IBAN.ABI", "ABI_DESTINATARIO");
    field("CdtrAcct/Id/IBAN.CAB", "CAB_DESTINATARIO");
    field("CdtrAcct/Id/IBAN.Conto", "CC_DESTINATARIO");
    field("RmtInf/Ustrd", "DESC_CAUSALE");
}

void ElementMap::readLayout(Table& layout, const std::string& file) {
    file_ = file;
    const std::optional<Field> valOut = layout.findField("ValOut");
    const std::optional<Field> ordField = layout.findField("Ord");
    // What the program writes itself: no layout maps it.
    static const std::set<std::string, std::less<>> written = {"CreDtTm", "GrpHdr/MsgId", "PmtInf/PmtInfId",
                                                                "PmtId/InstrId", "NbOfTxs", "CtrlSum"};
    std::map<std::string, std::string, std::less<>> seen;  // element -> its row's Ord
    int row = 0;
    for (layout.first(); !layout.eof(); layout.next()) {
        ++row;
        const std::string ord = ordField ? trimmed(ordField->asText()) : std::to_string(row);
        const std::string element = trimmed(layout.fieldByName("Element").asText());
        const std::string at = "Tracciato XML " + file + ", Ord " + ord + ", elemento \"" + element + "\": ";
        if (element.empty()) throw DataError("Tracciato XML " + file + ", Ord " + ord + ": riga senza Element");
        if (written.contains(element))
            throw DataError(at + "\xE8 scritto dal programma (" +
                            (element == "CreDtTm" ? std::string("il momento in cui il file viene scritto")
                                                  : std::string("un identificativo unico per file")) +
                            "): togliere la riga");
        const auto it = sources_.find(element);
        if (it == sources_.end()) {
            std::string message = at + "sconosciuto o non scritto dal programma";
            for (const auto& [known, source] : sources_)
                if (sameTextNoCase(known, element)) message += " (forse \"" + known + "\"?)";
            throw DataError(message);
        }
        if (const auto [first, added] = seen.emplace(element, ord); !added)
            throw DataError(at + "gi\xE0 mappato dalla riga Ord " + first->second + " (un elemento, una riga)");
        ElementSource source{trimmed(layout.fieldByName("FieldName").asText()), valOut ? valOut->asText() : "", ord};
        if (source.field.empty() && !trimmed(source.constant).empty()) {
            if (isCountryElement(element))
                throw DataError(at + "il paese non \xE8 una costante: viene da un campo o, senza FieldName n\xE9 "
                                     "ValOut, dal paese dell'IBAN");
            if (element == kAmount) throw DataError(at + "l'importo viene da un campo delle disposizioni, non da una costante");
        }
        it->second = std::move(source);
    }
}

const ElementSource& ElementMap::operator[](std::string_view element) const {
    static const ElementSource none;
    const auto it = sources_.find(element);
    return it == sources_.end() ? none : it->second;
}

std::string ElementMap::where(std::string_view element) const {
    const ElementSource& s = (*this)[element];
    if (s.ord.empty()) return "Elemento " + std::string(element) + " (predefinito): ";
    return "Tracciato XML " + file_ + ", Ord " + s.ord + ", elemento \"" + std::string(element) + "\": ";
}

// Every element's source, resolved once for the whole request.
struct RequestReader::Sources {
    Sources(FormState& form, const ElementMap& map)
        : cents(form, map), payeeCode(form, map, "PmtId/EndToEndId"), purpose(form, map, "PmtTpInf/CtgyPurp/Cd"),
          name(form, map, "Cdtr/Nm"), bic(form, map, "CdtrAgt/FinInstnId/BICFI"), remittance(form, map, "RmtInf/Ustrd"),
          creditorAddress(form, map, "Cdtr"), creditorIban(form, map, "CdtrAcct/Id/IBAN"),
          initiating(form, map, "InitgPty/Nm"), cuc(form, map, "InitgPty/Id"), execution(form, map, "ReqdExctnDt"),
          debtor(form, map, "Dbtr/Nm"), debtorAbi(form, map, "DbtrAgt/FinInstnId/ClrSysMmbId/MmbId"),
          debtorAddress(form, map, "Dbtr"), debtorIban(form, map, "DbtrAcct/Id/IBAN") {
        Table& disp = form.cdsDisp;
        kind = disp.findField("IMPGID");
        modeText = disp.findField("DESC_MOD_PAGAMENTO");
        orderingAbi = disp.findField("ABI_ORDINANTE");
    }

    std::int64_t impgid() const { return kind ? kind->asInteger() : payment_kind::kBankAccount; }

    // Per disposition.
    const AmountSource cents;
    const Source payeeCode, purpose, name, bic, remittance;
    const AddressSource creditorAddress;
    const IbanSource creditorIban;
    // Once per message, from the first disposition that carries them.
    const Source initiating, cuc, execution, debtor, debtorAbi;
    const AddressSource debtorAddress;
    const IbanSource debtorIban;
    std::optional<Field> kind, modeText, orderingAbi;
};

namespace {

Table& chosenLayout(FormState& form, ElementMap& map) {
    Table& layout = form.cdsTraccCorrente;
    layout.setFilter({});
    layout.setFiltered(false);
    map.readLayout(layout, form.workingFile(form.cdsTracciati.fieldByName("CodTracciato").asText() + ".Xml"));
    return layout;
}

}  // namespace

RequestReader::RequestReader(FormState& form, Form messageForm) : form_(form), messageForm_(messageForm) {
    ElementMap map;
    chosenLayout(form, map);
    sources_ = std::make_unique<Sources>(form, map);
}

RequestReader::~RequestReader() = default;

Message RequestReader::header(LeftOut& leftOut) {
    const Sources& s = *sources_;
    Message m;
    m.form = messageForm_;
    leftOut = {};
    transfers_ = 0;
    total_ = 0;
    totalFits_ = true;
    Table& disp = form_.cdsDisp;

    bool headerRead = false, debtorCinSeen = false;
    std::string debtorFault;
    int number = 0;
    for (disp.first(); !disp.eof(); disp.next()) {
        ++number;
        if (!headerRead) {
            m.initiatingName = s.initiating.text();
            m.cuc = s.cuc.text();
            m.debtorName = s.debtor.text();
            m.debtorAbi = s.debtorAbi.text();
            m.execution = toDate(s.execution.date());
            m.debtorAddress = s.debtorAddress.address({});
            headerRead = true;
        }
        if (!debtorCinSeen && s.debtorIban.hasParts()) {
            debtorFault.clear();
            m.debtorIban = s.debtorIban.iban({}, debtorFault);
            debtorCinSeen = s.debtorIban.hasCin();
        }

        const std::int64_t impgidValue = s.impgid();
        std::string amountFault;
        const std::int64_t amount = s.cents.cents(amountFault);
        if (!IsCreditTransferKind(impgidValue)) {
            const std::string payee = s.name.text();
            if (!amountFault.empty())
                throw DataError("Disposizione " + std::to_string(number) + " (" + payee + "), campo " + s.cents.name() +
                                ": " + amountFault);
            leftOut.add({number, payee, s.modeText ? trimmed(s.modeText->asText()) : std::string(), amount});
            continue;
        }
        ++transfers_;
        if (totalFits_ && __builtin_add_overflow(total_, amount, &total_)) totalFits_ = false;
    }

    if (!debtorFault.empty()) m.faults.push_back({"DbtrAcct/Id/IBAN", debtorFault});
    if (!m.debtorAddress.empty() && m.debtorAddress.country.empty()) m.debtorAddress.country = ibanCountry(m.debtorIban);

    // The message is created now, whatever date the header shows.
    const DateTimeMs now = form_.clock();
    const CivilDate day = decodeDate(datePart(now));
    const TimeOfDay time = timePart(now);
    m.created = {{day.year, day.month, day.day}, time / 3'600'000, time / 60'000 % 60, time / 1000 % 60};
    m.messageId = newMessageId(m.created);
    m.paymentInfoId = m.messageId + "-P1";

    auto source = [&](const char* element, const std::string& fieldName) {
        m.sourceField[element] = fieldName.empty() ? std::string(element) : fieldName;
    };
    source("InitgPty/Nm", s.initiating.name());
    source("InitgPty/Id", s.cuc.name());
    source("ReqdExctnDt", s.execution.name());
    source("Dbtr/Nm", s.debtor.name());
    source("DbtrAcct/Id/IBAN", s.debtorIban.names());
    source("DbtrAgt/FinInstnId/ClrSysMmbId/MmbId", s.debtorAbi.name());
    source("PmtId/EndToEndId", s.payeeCode.name());
    source("Amt/InstdAmt", s.cents.name());
    source("PmtTpInf/CtgyPurp/Cd", s.purpose.name());
    source("CdtrAgt/FinInstnId/BICFI", s.bic.name());
    source("Cdtr/Nm", s.name.name());
    source("CdtrAcct/Id/IBAN", s.creditorIban.names());
    source("RmtInf/Ustrd", s.remittance.name());
    s.creditorAddress.names(m, "Cdtr");
    s.debtorAddress.names(m, "Dbtr");

    number_ = 0;
    walking_ = false;
    return m;
}

bool RequestReader::totalCents(std::int64_t& total) const {
    total = total_;
    return totalFits_;
}

bool RequestReader::next(Transfer& t) {
    const Sources& s = *sources_;
    Table& disp = form_.cdsDisp;
    if (!walking_) {
        disp.first();
        walking_ = true;
    }
    for (; !disp.eof(); disp.next()) {
        ++number_;
        const std::int64_t impgidValue = s.impgid();
        if (!IsCreditTransferKind(impgidValue)) continue;
        std::string amountFault;
        t.disposition = number_;
        t.payee = s.name.text();
        t.instructionId = std::to_string(number_);
        t.endToEndId = endToEndId(s.payeeCode.text(), number_);
        t.cents = s.cents.cents(amountFault);
        t.faults.clear();
        if (!amountFault.empty()) t.faults.push_back({std::string(kAmount), std::move(amountFault)});
        t.categoryPurpose = s.purpose.text();
        t.creditorName = t.payee;
        // A giroconto stays at the ordering party's own bank: its ABI where the payee's is empty.
        std::string ibanFault;
        t.creditorIban = s.creditorIban.iban(
            impgidValue == payment_kind::kSameBankTransfer && s.orderingAbi ? trimmed(s.orderingAbi->asText()) : "",
            ibanFault);
        if (!ibanFault.empty()) t.faults.push_back({"CdtrAcct/Id/IBAN", std::move(ibanFault)});
        t.creditorAddress = s.creditorAddress.address(t.creditorIban);
        t.creditorBic = s.bic.text();
        t.remittance = s.remittance.text();
        disp.next();
        return true;
    }
    return false;
}

Message FillMessage(FormState& form, Form messageForm, LeftOut& leftOut) {
    RequestReader reader(form, messageForm);
    Message m = reader.header(leftOut);
    m.transfers.reserve(reader.transferCount());
    Transfer t;
    while (reader.next(t)) {
        m.transfers.push_back(std::move(t));
        t = {};
    }
    return m;
}

void LeftOut::add(LeftOutPayment payment) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(cents, payment.cents, &sum))
        throw DataError("Totale dei pagamenti per cassa o con assegno oltre il limite del programma.");
    cents = sum;
    payments.push_back(std::move(payment));
}

std::string GroupedCents(std::int64_t cents, const std::string& what) {
    std::int64_t scaled = 0;
    if (__builtin_mul_overflow(cents, std::int64_t{100}, &scaled)) throw DataError(what + " oltre il limite del programma.");
    return formatCurrencyGrouped(scaled);
}

std::string LeftOutQuestion(const LeftOut& leftOut) {
    return std::to_string(leftOut.payments.size()) +
           " pagamenti (per cassa o con assegno) non sono bonifici e non saranno nel file (totale " +
           GroupedCents(leftOut.cents, "Totale dei pagamenti per cassa o con assegno") + "). Continuare ?";
}

}  // namespace doz::sepa

#include "sepa/Prepare.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <functional>
#include <optional>
#include <vector>

#include "payments/Iban.h"
#include "platform/Dates.h"
#include "platform/Error.h"
#include "platform/Regional.h"
#include "platform/Text.h"
#include "sepa/Calendar.h"
#include "sepa/SepaText.h"

namespace doz::sepa {

namespace {

// Elements of a postal address and their lengths.
constexpr std::size_t kStreetLength = 70, kBuildingLength = 16, kPostCodeLength = 16, kTownLength = 35;

std::string shownDate(const Date& d) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", d.day, d.month, d.year);
    return text;
}

bool isAlnum(char c) { return isAsciiDigit(c) || isAsciiLetter(c); }

// The EPC rule for identifiers: no "/" at either end, no "//" inside.
std::string epcSlashes(std::string_view id) {
    std::string out;
    for (const char c : id)
        if (c != '/' || (!out.empty() && out.back() != '/')) out += c;
    while (!out.empty() && out.back() == '/') out.pop_back();
    return out;
}

// A BIC: bank (4 letters or digits), country (2 letters), place (2 letters or
// digits), optionally the branch (3 letters or digits).
bool isBic(std::string_view bic) {
    if (bic.size() != 8 && bic.size() != 11) return false;
    for (std::size_t i = 0; i < bic.size(); ++i)
        if (!(i == 4 || i == 5 ? isAsciiUpper(bic[i]) : isAsciiUpper(bic[i]) || isAsciiDigit(bic[i]))) return false;
    return true;
}

// One word in capitals: blanks removed, small letters made capitals.
std::string compactCapitals(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (c != ' ') out += toAsciiUpper(c);
    return out;
}

// Identifiers already used, each with the disposition that used it first: an
// open-addressing table over copies of the identifiers kept end to end in one
// block (no node per identifier; the table stays at most three quarters full). The
// transfers themselves may be gone by the time a later one repeats an id.
class SeenIds {
public:
    explicit SeenIds(std::size_t expected) : slots_(tableSize(expected)) {}

    // The disposition of an earlier use of `id`; none when `id` is new, which
    // is then recorded for `disposition`.
    std::optional<int> firstUse(std::string_view id, int disposition) {
        if ((used_ + 1) * 4 > slots_.size() * 3) grow();
        const auto hash = static_cast<std::uint32_t>(std::hash<std::string_view>{}(id));
        Slot& slot = find(id, hash);
        if (slot.taken) return slot.disposition;
        slot = {static_cast<std::uint32_t>(text_.size()), static_cast<std::uint32_t>(hash), disposition,
                static_cast<std::uint8_t>(id.size()), true};
        text_ += id;
        ++used_;
        return std::nullopt;
    }

private:
    // 16 bytes: identifiers of at most 35 characters, kept in under 4 GB.
    struct Slot {
        std::uint32_t at = 0;  // in text_
        std::uint32_t hash = 0;
        int disposition = 0;
        std::uint8_t size = 0;
        bool taken = false;
    };

    static std::size_t tableSize(std::size_t expected) {
        std::size_t n = 16;
        while (n * 3 < expected * 4) n *= 2;
        return n;
    }
    std::string_view idOf(const Slot& slot) const { return std::string_view(text_).substr(slot.at, slot.size); }
    Slot& find(std::string_view id, std::uint32_t hash) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (!slot.taken || (slot.hash == hash && idOf(slot) == id)) return slot;
        }
    }
    void grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        for (const Slot& slot : old)
            if (slot.taken) find(idOf(slot), slot.hash) = slot;
    }

    std::vector<Slot> slots_;
    std::string text_;
    std::size_t used_ = 0;
};

// The findings of one message, each naming the field that fed its element.
class Checker {
public:
    Checker(Message& message, CheckSink& sink, std::size_t transfers)
        : message_(message), sink_(sink), instructionIds_(transfers), endToEndIds_(transfers) {}

    bool run() {
        header();
        for (Transfer& t : message_.transfers) transfer(t);
        return finish(message_.transfers.size());
    }

    void header();
    void transfer(Transfer& t) { transfer(t, instructionIds_, endToEndIds_); }
    bool finish(std::size_t transfers) {
        if (transfers == 0) error(nullptr, "PmtInf/CdtTrfTxInf", "nessun pagamento da inviare nel file");
        // The rules on information accompanying transfers: the payer's address
        // goes with every transfer to a payee's bank outside the EEA.
        if (outsideEea_ && message_.debtorAddress.town.empty())
            error(nullptr, "Dbtr/PstlAdr/TwnNm",
                  "indirizzo dell'ordinante mancante: \xE8 richiesto per i bonifici verso paesi SEPA fuori dallo "
                  "Spazio economico europeo (disposizione " + std::to_string(outsideEea_->disposition) + ", " +
                      outsideEea_->payee + ", conto in " + outsideEea_->country + ")");
        return errors_ == 0;
    }
    int errors() const { return errors_; }

private:
    void note(const Transfer* t, FindingKind kind, std::string_view path, std::string message) {
        CheckFinding f;
        f.kind = kind;
        if (t) {
            f.disposition = t->disposition;
            f.payee = t->payee;
        }
        const auto source = message_.sourceField.find(std::string(path));
        f.field = (source != message_.sourceField.end() && !source->second.empty()) ? source->second : std::string(path);
        f.message = std::move(message);
        sink_.add(std::move(f));
        if (kind == FindingKind::Error) ++errors_;
    }
    void error(const Transfer* t, std::string_view path, std::string message) {
        note(t, FindingKind::Error, path, std::move(message));
    }

    // A text in the SEPA set and cut to its length; a change is noted.
    void convert(const Transfer* t, std::string_view path, std::string& text, std::size_t length) {
        if (alreadySepa(text, length)) return;
        std::string converted = ToSepaText(text, length);
        std::string_view before(text);
        while (!before.empty() && before.front() == ' ') before.remove_prefix(1);
        while (!before.empty() && before.back() == ' ') before.remove_suffix(1);
        if (converted != before)
            note(t, FindingKind::Notice, path,
                 "testo adattato ai caratteri ammessi nei bonifici SEPA: \"" + shownValue(before) + "\" diventa \"" +
                     shownValue(converted) + "\"");
        text = std::move(converted);
    }

    // A text the conversion would leave as it is: SEPA characters only, no
    // blank at either end, within its length.
    static bool alreadySepa(std::string_view text, std::size_t length) {
        if (text.size() > length) return false;
        if (!text.empty() && (text.front() == ' ' || text.back() == ' ')) return false;
        for (const char c : text)
            if (!IsSepaCharacter(c)) return false;
        return true;
    }

    // An identifier: converted but never cut, since a cut one might no longer
    // be unique or traceable.
    void identifier(const Transfer* t, std::string_view path, std::string& id) {
        convert(t, path, id, std::string::npos);
        if (id.find('/') != std::string::npos) {
            std::string fixed = epcSlashes(id);
            if (fixed != id) {
                note(t, FindingKind::Notice, path,
                     "identificativo \"" + id + "\" scritto come \"" + fixed +
                         "\": niente \"/\" all'inizio o alla fine e niente \"//\" (regola EPC)");
                id = std::move(fixed);
            }
        }
        if (id.empty())
            error(t, path, "identificativo mancante");
        else if (id.size() > kMaxIdLength)
            error(t, path, "identificativo \"" + shownValue(id) + "\" di " + std::to_string(id.size()) +
                               " caratteri (al massimo " + std::to_string(kMaxIdLength) + ")");
    }

    void name(const Transfer* t, std::string_view path, std::string& text) {
        convert(t, path, text, kMaxNameLength);
        if (text.empty()) error(t, path, "nome mancante");
    }

    // An IBAN or a BIC without blanks and in capitals; a change is noted.
    void capitals(const Transfer* t, std::string_view path, std::string_view what, std::string& code) {
        if (std::none_of(code.begin(), code.end(), [](char c) { return c == ' ' || (c >= 'a' && c <= 'z'); })) return;
        std::string compact = compactCapitals(code);
        std::string_view before(code);
        while (!before.empty() && before.back() == ' ') before.remove_suffix(1);
        if (compact != before)
            note(t, FindingKind::Notice, path,
                 std::string(what) + " \"" + shownValue(before) + "\" scritto come \"" + shownValue(compact) + "\"");
        code = std::move(compact);
    }

    // True when the IBAN is sound.
    bool iban(const Transfer* t, std::string_view path, std::string& iban) {
        capitals(t, path, "IBAN", iban);
        const std::optional<std::string> fault = IbanFault(iban);
        if (fault) error(t, path, *fault);
        return !fault;
    }

    // Postal address texts converted and cut; an address needs its town and
    // its country.
    void address(const Transfer* t, const std::string& party, PostalAddress& a) {
        convert(t, party + "/PstlAdr/StrtNm", a.street, kStreetLength);
        convert(t, party + "/PstlAdr/BldgNb", a.buildingNumber, kBuildingLength);
        convert(t, party + "/PstlAdr/PstCd", a.postCode, kPostCodeLength);
        convert(t, party + "/PstlAdr/TwnNm", a.town, kTownLength);
        if (a.empty()) return;
        if (a.town.empty()) error(t, party + "/PstlAdr/TwnNm", "indirizzo senza localit\xE0");
        if (a.country.size() != 2 || !isAsciiUpper(a.country[0]) || !isAsciiUpper(a.country[1]))
            error(t, party + "/PstlAdr/Ctry",
                  a.country.empty() ? std::string("indirizzo senza paese")
                                    : "paese dell'indirizzo \"" + shownValue(a.country) + "\" non valido (due lettere maiuscole)");
    }

    // Where the payee's account is: a country outside SEPA cannot be paid by
    // this file; one outside the EEA needs the BIC of the payee's bank (and
    // the debtor's address, checked once for the message).
    void reach(const Transfer& t) {
        const std::string country = t.creditorIban.substr(0, 2);
        switch (SepaReachOf(country)) {
            case SepaReach::Eea: return;
            case SepaReach::Outside:
                error(&t, "CdtrAcct/Id/IBAN",
                      "conto in " + country + ", paese fuori dall'area dei bonifici SEPA: non pu\xF2 essere pagato con "
                                              "questo file");
                return;
            case SepaReach::OutsideEea:
                if (!outsideEea_) outsideEea_ = FirstOutsideEea{t.disposition, t.payee, country};
                if (t.creditorBic.empty())
                    error(&t, "CdtrAgt/FinInstnId/BICFI",
                          "BIC della banca del beneficiario mancante: \xE8 richiesto per i conti in " + country +
                              " (paese SEPA fuori dallo Spazio economico europeo)");
                return;
        }
    }

    void headerChecks() {
        identifier(nullptr, "GrpHdr/MsgId", message_.messageId);
        identifier(nullptr, "PmtInf/PmtInfId", message_.paymentInfoId);
        name(nullptr, "InitgPty/Nm", message_.initiatingName);
        name(nullptr, "Dbtr/Nm", message_.debtorName);

        std::string& cuc = message_.cuc;
        while (!cuc.empty() && cuc.back() == ' ') cuc.pop_back();
        while (!cuc.empty() && cuc.front() == ' ') cuc.erase(0, 1);
        if (cuc.empty())
            error(nullptr, "InitgPty/Id", "codice CUC mancante");
        else if (cuc.size() != kCucLength || !std::all_of(cuc.begin(), cuc.end(), isAlnum))
            error(nullptr, "InitgPty/Id", "codice CUC \"" + shownValue(cuc) + "\" non valido (8 lettere o cifre)");
        address(nullptr, "Dbtr", message_.debtorAddress);
        for (const SourceFault& fault : message_.faults) error(nullptr, fault.path, fault.message);

        iban(nullptr, "DbtrAcct/Id/IBAN", message_.debtorIban);
        std::string& abi = message_.debtorAbi;
        while (!abi.empty() && abi.back() == ' ') abi.pop_back();
        if (abi.size() != 5 || !std::all_of(abi.begin(), abi.end(), isAsciiDigit))
            error(nullptr, "DbtrAgt/FinInstnId/ClrSysMmbId/MmbId",
                  abi.empty() ? std::string("ABI della banca ordinante mancante")
                              : "ABI della banca ordinante \"" + shownValue(abi) + "\" non valido (5 cifre)");
        else if (const std::string_view inIban = IbanAbi(message_.debtorIban); !inIban.empty() && inIban != abi)
            error(nullptr, "DbtrAgt/FinInstnId/ClrSysMmbId/MmbId",
                  "ABI della banca ordinante " + abi + " diverso da quello dell'IBAN (" + std::string(inIban) + ")");

        const Date& when = message_.execution;
        const Date& created = message_.created.date;
        if (when.empty())
            error(nullptr, "ReqdExctnDt", "data di esecuzione mancante");
        else if (!isValidDate(when))
            error(nullptr, "ReqdExctnDt", "data di esecuzione " + shownDate(when) + " inesistente");
        else if (!IsSettlementDay(when))
            error(nullptr, "ReqdExctnDt",
                  "data di esecuzione " + shownDate(when) +
                      " non \xE8 un giorno lavorativo TARGET2 (sabato, domenica, 1 gennaio, Venerd\xEC Santo, "
                      "Luned\xEC dell'Angelo, 1 maggio, 25 e 26 dicembre)");
        if (created.empty() || !isValidDate(created)) error(nullptr, "CreDtTm", "data di creazione del file mancante");
    }

    static bool isValidDate(const Date& d) { return !d.empty() && isValidCivilDate(d.year, d.month, d.day); }

    // An identifier seen before in its list is an error at the second use.
    void unique(const Transfer& t, std::string_view path, const std::string& id,
                SeenIds& seen) {
        if (id.empty() || id.size() > kMaxIdLength) return;
        if (const std::optional<int> first = seen.firstUse(id, t.disposition))
            error(&t, path, "identificativo \"" + shownValue(id) + "\" gi\xE0 usato dalla disposizione " + std::to_string(*first));
    }

    void transfer(Transfer& t, SeenIds& instructionIds, SeenIds& endToEndIds) {
        identifier(&t, "PmtId/InstrId", t.instructionId);
        identifier(&t, "PmtId/EndToEndId", t.endToEndId);
        unique(t, "PmtId/InstrId", t.instructionId, instructionIds);
        unique(t, "PmtId/EndToEndId", t.endToEndId, endToEndIds);

        const std::string& purpose = t.categoryPurpose;
        if (purpose.empty() || purpose.size() > 4 || !std::all_of(purpose.begin(), purpose.end(), isAlnum))
            error(&t, "PmtTpInf/CtgyPurp/Cd",
                  "codice dello scopo del pagamento \"" + shownValue(purpose) + "\" non valido (da 1 a 4 lettere o cifre)");

        if (t.cents < 1 || t.cents > kMaxCents)
            error(&t, "Amt/InstdAmt",
                  "importo " + formatCentsGrouped(t.cents) + " fuori dai limiti (da un centesimo a " +
                      formatCentsGrouped(kMaxCents) + ")");

        for (const SourceFault& fault : t.faults) error(&t, fault.path, fault.message);

        if (!t.creditorBic.empty()) {
            capitals(&t, "CdtrAgt/FinInstnId/BICFI", "BIC", t.creditorBic);
            if (!isBic(t.creditorBic))
                error(&t, "CdtrAgt/FinInstnId/BICFI",
                      "BIC \"" + shownValue(t.creditorBic) + "\" non valido (8 o 11 lettere e cifre, il paese in quinta e sesta)");
        }
        name(&t, "Cdtr/Nm", t.creditorName);
        address(&t, "Cdtr", t.creditorAddress);
        if (iban(&t, "CdtrAcct/Id/IBAN", t.creditorIban)) reach(t);
        convert(&t, "RmtInf/Ustrd", t.remittance, kMaxRemittanceLength);
    }

    // The first payee outside the EEA, named by the debtor address's check at the end.
    struct FirstOutsideEea {
        int disposition = 0;
        std::string payee, country;
    };

    Message& message_;
    CheckSink& sink_;
    SeenIds instructionIds_, endToEndIds_;
    int errors_ = 0;
    std::optional<FirstOutsideEea> outsideEea_;
};

void Checker::header() { headerChecks(); }

// IBAN countries, sorted.
constexpr std::string_view kEeaCountries[] = {"AT", "BE", "BG", "CY", "CZ", "DE", "DK", "EE", "ES", "FI",
                                              "FR", "GR", "HR", "HU", "IE", "IS", "IT", "LI", "LT", "LU",
                                              "LV", "MT", "NL", "NO", "PL", "PT", "RO", "SE", "SI", "SK"};
constexpr std::string_view kSepaOutsideEea[] = {"AD", "AL", "CH", "GB", "GI", "MC", "MD", "ME", "MK", "RS", "SM", "VA"};

}  // namespace

SepaReach SepaReachOf(std::string_view country) {
    if (std::binary_search(std::begin(kEeaCountries), std::end(kEeaCountries), country)) return SepaReach::Eea;
    if (std::binary_search(std::begin(kSepaOutsideEea), std::end(kSepaOutsideEea), country)) return SepaReach::OutsideEea;
    return SepaReach::Outside;
}

bool PrepareMessage(Message& message, CheckSink& sink) { return Checker(message, sink, message.transfers.size()).run(); }

struct MessageCheck::Impl : Checker {
    using Checker::Checker;
};

MessageCheck::MessageCheck(Message& header, CheckSink& sink, std::size_t expectedTransfers)
    : impl_(std::make_unique<Impl>(header, sink, expectedTransfers)) {}
MessageCheck::~MessageCheck() = default;
void MessageCheck::header() { impl_->header(); }
void MessageCheck::transfer(Transfer& t) {
    impl_->transfer(t);
    ++transfers_;
}
bool MessageCheck::finish() { return impl_->finish(transfers_); }
int MessageCheck::errors() const { return impl_->errors(); }

}  // namespace doz::sepa

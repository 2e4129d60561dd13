#include "payroll/PayrollChecks.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "payments/Calendar.h"
#include "payroll/FirstOfKey.h"
#include "platform/Regional.h"

namespace doz {

namespace {

std::string shownDate(DaySerial day) { return formatDatePattern("dd/mm/yyyy", day, '/'); }

std::string shownAmount(std::int64_t cents) {
    std::int64_t scaled = 0;
    if (__builtin_mul_overflow(cents, 100, &scaled)) return std::to_string(cents) + " centesimi";
    return formatCurrencyGrouped(scaled);
}

std::string describeFile(const ProducedFileSummary& file) {
    return "file \"" + file.path + "\" del " + ShownMoment(file.moment) + " (n. " + std::to_string(file.id) +
           " dello storico, " + std::to_string(file.count) + " pagamenti, totale " + shownAmount(file.totalCents) + ")";
}

CheckFinding finding(FindingKind kind, const PayrollPayment* p, std::string message, std::string field = {}) {
    CheckFinding f;
    f.kind = kind;
    if (p) {
        f.disposition = p->disposition;
        f.payee = p->name;
    }
    f.field = std::move(field);
    f.message = std::move(message);
    return f;
}

std::string namedDisposition(const PayrollPayment& p) {
    return "disposizione " + std::to_string(p.disposition) + (p.name.empty() ? std::string() : " (" + p.name + ")");
}

struct KeysAt {
    const std::vector<std::string>* keys;
    TextKey operator()(std::size_t i) const { return {(*keys)[i]}; }
};

// The payees of a payroll: each payment's payee key (PayrollPayment::payeeKey)
// and, per payee, its first payment and the sum of its payments. Payments
// without a key belong to no payee.
class Payees {
public:
    static constexpr std::size_t npos = FirstOfKey<KeysAt>::npos;

    explicit Payees(const std::vector<PayrollPayment>& payroll)
        : index_(payroll.size(), KeysAt{&keys_}) {
        keys_.reserve(payroll.size());
        for (const PayrollPayment& p : payroll) keys_.push_back(p.payeeKey());
        first_.assign(payroll.size(), npos);
        sums_.assign(payroll.size(), 0);
        for (std::size_t i = 0; i < payroll.size(); ++i) {
            if (keys_[i].empty()) continue;
            const std::size_t first = index_.firstOf(i);
            first_[i] = first;
            // A sum past 64 bits is refused by the file's own total; here it only saturates.
            if (__builtin_add_overflow(sums_[first], payroll[i].cents, &sums_[first])) sums_[first] = INT64_MAX;
        }
    }

    const std::string& key(std::size_t i) const { return keys_[i]; }
    // True for the first payment of a payee.
    bool opens(std::size_t i) const { return first_[i] == i; }
    std::size_t firstOf(std::size_t i) const { return first_[i]; }
    std::int64_t sum(std::size_t i) const { return sums_[first_[i]]; }
    // The first payment of the payee with `key`, or npos.
    std::size_t find(std::string_view key) const { return index_.find({key}); }

private:
    std::vector<std::string> keys_;
    FirstOfKey<KeysAt> index_;
    std::vector<std::size_t> first_;
    std::vector<std::int64_t> sums_;
};

void accountChanges(const std::vector<PayrollPayment>& payroll, const Payees& payees, const PayrollHistory& history,
                    CheckSink& sink) {
    if (history.lastAccounts.empty()) return;
    std::vector<bool> told(payroll.size());
    for (std::size_t i = 0; i < payroll.size(); ++i) {
        const std::string& key = payees.key(i);
        if (key.empty() || told[payees.firstOf(i)]) continue;
        const auto last = history.lastAccounts.find(key);
        if (last == history.lastAccounts.end() || last->second.accountKey.empty()) continue;
        const std::string account = payroll[i].accountKey();
        if (account.empty() || account == last->second.accountKey) continue;
        told[payees.firstOf(i)] = true;
        sink.add(finding(FindingKind::Warning, &payroll[i],
                         "conto diverso da quello dell'ultimo pagamento: prima " + last->second.accountKey + ", ora " +
                             account + " (ultimo pagamento nel " + describeFile(last->second.file) + ")"));
    }
}

void comparisonWithLastFile(const std::vector<PayrollPayment>& payroll, const Payees& now,
                            const PayrollHistory& history, CheckSink& sink) {
    if (!history.lastOfBank) {
        sink.add(finding(FindingKind::Notice, nullptr,
                         "primo file di questa banca nello storico: nessun file precedente con cui confrontare i "
                         "pagamenti"));
        return;
    }
    const std::vector<PayrollPayment>& lastPayments = history.lastOfBankPayments;
    const Payees before(lastPayments);

    std::vector<CheckFinding> details;
    std::size_t added = 0, missing = 0, grown = 0;
    for (std::size_t i = 0; i < payroll.size(); ++i) {
        if (!now.opens(i)) continue;  // one finding per payee, at its first payment
        const std::size_t last = before.find(now.key(i));
        if (last == Payees::npos) {
            ++added;
            details.push_back(
                finding(FindingKind::Notice, &payroll[i], "beneficiario nuovo rispetto all'ultimo file di questa banca"));
        } else if (before.sum(last) > 0 &&
                   static_cast<__int128>(now.sum(i)) * 2 > static_cast<__int128>(before.sum(last)) * 3) {
            ++grown;
            details.push_back(finding(FindingKind::Notice, &payroll[i],
                                      "importo " + shownAmount(now.sum(i)) +
                                          " oltre 1,5 volte quello dell'ultimo file di questa banca (" +
                                          shownAmount(before.sum(last)) + ")"));
        }
    }
    for (std::size_t i = 0; i < lastPayments.size(); ++i) {
        if (!before.opens(i) || now.find(before.key(i)) != Payees::npos) continue;
        ++missing;
        const PayrollPayment& p = lastPayments[i];
        const std::string who = p.name.empty() ? before.key(i) : p.name + " (" + before.key(i) + ")";
        details.push_back(finding(FindingKind::Notice, nullptr,
                                  who + " pagato nell'ultimo file di questa banca (" + shownAmount(before.sum(i)) +
                                      ") e assente da questo"));
    }
    sink.add(finding(FindingKind::Notice, nullptr,
                     "confronto con l'ultimo " + describeFile(*history.lastOfBank) + ": " + std::to_string(added) +
                         " beneficiari nuovi, " + std::to_string(missing) + " assenti, " + std::to_string(grown) +
                         " con importo oltre 1,5 volte il precedente"));
    for (CheckFinding& f : details) sink.add(std::move(f));
}

}  // namespace

namespace {

// The Avvisi of CheckAgainstHistory; false when the register could not be read.
// The payees are sorted out only when there is an account to compare.
bool historyWarnings(const std::vector<PayrollPayment>& payroll, std::optional<Payees>& payees,
                     const PayrollHistory& history, CheckSink& sink) {
    if (!history.unavailable.empty()) {
        sink.add(finding(FindingKind::Notice, nullptr,
                         "storico dei file prodotti non disponibile (" + history.unavailable +
                             "): confronti con i file gi\xE0 prodotti non eseguiti"));
        return false;
    }
    if (history.samePayroll)
        sink.add(finding(FindingKind::Warning, nullptr,
                         "gli stessi pagamenti sono gi\xE0 stati prodotti per questa banca: " +
                             describeFile(*history.samePayroll)));
    if (!history.lastAccounts.empty()) {
        if (!payees) payees.emplace(payroll);
        accountChanges(payroll, *payees, history, sink);
    }
    return true;
}

}  // namespace

void CheckAgainstHistory(const std::vector<PayrollPayment>& payroll, const PayrollHistory& history, CheckSink& sink) {
    std::optional<Payees> payees;
    if (!historyWarnings(payroll, payees, history, sink)) return;
    if (!payees) payees.emplace(payroll);
    comparisonWithLastFile(payroll, *payees, history, sink);
}

void CheckHistoryWarnings(const std::vector<PayrollPayment>& payroll, const PayrollHistory& history, CheckSink& sink) {
    std::optional<Payees> payees;
    historyWarnings(payroll, payees, history, sink);
}

std::size_t CheckRepeatedPayments(const std::vector<PayrollPayment>& payroll, CheckSink& sink, std::size_t limit) {
    const std::size_t n = payroll.size();
    std::size_t found = 0;
    // Counts every finding; true while it is still to be noted.
    auto noted = [&found, limit] { return found++ < limit; };
    // An account given by its parts is spelt out once; an IBAN is looked at where it stands.
    std::vector<std::string> spelt(n);
    for (std::size_t i = 0; i < n; ++i)
        if (payroll[i].iban.empty()) spelt[i] = payroll[i].accountKey();
    auto account = [&](std::size_t i) -> std::string_view {
        return payroll[i].iban.empty() ? std::string_view(spelt[i]) : std::string_view(payroll[i].iban);
    };
    FirstOfKey byAccount(n, [&](std::size_t i) { return TextKey{account(i), payroll[i].cents}; });
    FirstOfKey byCode(n, [&](std::size_t i) { return TextKey{payroll[i].payeeCode}; });
    FirstOfKey byFiscalCode(n, [&](std::size_t i) { return TextKey{payroll[i].fiscalCode}; });

    for (std::size_t i = 0; i < n; ++i) {
        const PayrollPayment& p = payroll[i];
        if (!account(i).empty())
            if (const std::size_t first = byAccount.firstOf(i); first != i && noted())
                sink.add(finding(FindingKind::Warning, &p,
                                 "stesso conto " + std::string(account(i)) + " e stesso importo " +
                                     shownAmount(p.cents) + " della " + namedDisposition(payroll[first])));
        bool sameCode = false;
        if (!p.payeeCode.empty())
            if (const std::size_t first = byCode.firstOf(i); first != i) {
                sameCode = true;
                if (noted())
                    sink.add(finding(FindingKind::Warning, &p,
                                     "stesso codice beneficiario " + p.payeeCode + " della " +
                                         namedDisposition(payroll[first]) + ": pagato due volte"));
            }
        if (!p.fiscalCode.empty())
            // A payee already named by its code is not named again; the same
            // person under two codes, or without one, is named here.
            if (const std::size_t first = byFiscalCode.firstOf(i); first != i && !sameCode && noted())
                sink.add(finding(FindingKind::Warning, &p,
                                 "stesso codice fiscale " + p.fiscalCode + " della " +
                                     namedDisposition(payroll[first]) + ": pagato due volte"));
    }
    return found;
}

void CheckExecutionDate(DaySerial execution, const std::string& field, DaySerial today, PayrollFileKind kind,
                        CheckSink& sink) {
    if (execution == 0) return;
    const std::string shown = "data di esecuzione " + shownDate(execution);
    if (execution < today)
        sink.add(finding(kind == PayrollFileKind::Xml ? FindingKind::Error : FindingKind::Warning, nullptr,
                         shown + " anteriore a oggi (" + shownDate(today) + ")", field));
    const char* holiday = ItalianHoliday(execution);
    if (holiday && (kind == PayrollFileKind::FixedWidth || IsSettlementDay(execution)))
        sink.add(finding(FindingKind::Warning, nullptr,
                         shown + " \xE8 un giorno festivo in Italia (" + std::string(holiday) + ")", field));
    if (execution > today + kExecutionHorizonDays)
        sink.add(finding(FindingKind::Warning, nullptr,
                         shown + " oltre " + std::to_string(kExecutionHorizonDays) + " giorni da oggi (" +
                             shownDate(today) + ")",
                         field));
}

void CheckCreationDate(DaySerial creation, const std::string& field, DaySerial today, CheckSink& sink) {
    if (creation == 0 || creation <= today) return;
    sink.add(finding(FindingKind::Warning, nullptr,
                     "data di creazione " + shownDate(creation) + " successiva a oggi (" + shownDate(today) + ")", field));
}

}  // namespace doz

// What the files produced earlier tell the payroll checks. The register of
// produced files fills it; the checks only read it, so they work the same
// for every kind of bank file and without a database in their tests.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "payments/Payroll.h"

namespace doz {

// One produced file as the findings name it.
struct ProducedFileSummary {
    std::int64_t id = 0;       // its number in the register (history --show ID)
    std::string moment;        // when it was produced, local time "2026-11-27 10:42:05"
    std::string bank;          // the catalogue's bank name
    std::string path;          // the file as it was saved
    std::int64_t count = 0;    // payments in it
    std::int64_t totalCents = 0;
};

// A moment of the register as messages and lists show it: "2026-11-27
// 10:42:05" as "27/11/2026 10:42:05"; any other text as it is.
std::string ShownMoment(const std::string& moment);

struct PayrollHistory {
    // Why the register could not be read (damaged, written by a newer
    // program, ...); empty when it was. When set, the comparisons are skipped
    // and the checks say so once.
    std::string unavailable;
    // The newest file of the same bank holding the same payments: the same
    // count and total, and the same payees with the same amounts.
    std::optional<ProducedFileSummary> samePayroll;
    // The newest file of the same bank and its payments; none for the first
    // file of a bank.
    std::optional<ProducedFileSummary> lastOfBank;
    std::vector<PayrollPayment> lastOfBankPayments;
    // By payee key (PayrollPayment::payeeKey) of the payroll being checked,
    // for each payee paid there on an account other than the one it was last
    // paid on (in any file of any bank): that last account and that file.
    // Payees paid on the same account as last time are left out.
    struct LastAccount {
        std::string accountKey;
        ProducedFileSummary file;
    };
    std::map<std::string, LastAccount> lastAccounts;
};

}  // namespace doz

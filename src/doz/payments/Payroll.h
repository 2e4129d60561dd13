// The month's payments as the payroll checks and the register of produced
// files see them, whatever the bank file: one entry per disposition shown,
// with who is paid, on which account and how much.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FormState.h"

namespace doz {

struct PayrollPayment {
    int disposition = 0;      // 1-based among the dispositions shown (PROGRESSIVO)
    std::string payeeCode;    // COD_CLIENTE (the payee's code in the payroll); may be empty
    std::string name;         // DESC_DESTINATARIO
    std::string fiscalCode;   // CF_DESTINATARIO
    // The account: the whole IBAN when the disposition gives one or its
    // Italian parts make one; else the parts as they stand (a postal account
    // in `account`, with no ABI and CAB).
    std::string iban;
    std::string abi, cab, account;
    std::int64_t cents = 0;   // IMPORTO
    std::int64_t kind = 0;    // IMPGID
    std::string mode;         // DESC_MOD_PAGAMENTO

    // Who is paid: the payee code, else "CF " + the fiscal code; empty when
    // the disposition carries neither.
    std::string payeeKey() const;
    // Where the money goes, as one comparable text: the IBAN, else
    // "ABI a CAB c CC n" of the parts, else "CC n"; empty for no account.
    std::string accountKey() const;
};

// Every disposition cdsDisp shows (respecting the exclusion filter), in
// order; texts trimmed of blanks at both ends. The table's cursor is left on
// its first row. Fields the dispositions lack read as empty.
std::vector<PayrollPayment> CollectPayroll(FormState& form);

// The sum of the amounts; DataError when it passes the 64-bit range.
std::int64_t PayrollTotalCents(const std::vector<PayrollPayment>& payments);

}  // namespace doz

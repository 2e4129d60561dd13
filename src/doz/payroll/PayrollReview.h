// The payroll checks (payroll/PayrollChecks.h) where the commands meet them:
// the payroll of the file the chosen bank takes, its dates, what the register
// of produced files says of it, and the OK command's question. Runs after the
// reload, before anything is written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "FormState.h"
#include "findings/Findings.h"
#include "payments/Payroll.h"

namespace doz {

namespace sepa {
struct Message;
struct Transfer;
}

// The payments an XML bank's request carries, gathered as its credit
// transfers pass by one at a time (cash payments and cheques are not
// transfers): who is paid from the transfer's disposition, the name, amount
// and IBAN as the transfer has them (the IBAN without blanks, in capitals).
class RequestPayroll {
public:
    RequestPayroll(FormState& form, std::size_t transfers);
    void take(const sepa::Transfer& t);
    std::vector<PayrollPayment> payments() && { return std::move(out_); }
    const std::vector<PayrollPayment>& taken() const { return out_; }

private:
    Table& disp_;
    int code_, fiscal_, kind_, mode_;
    std::string buffer_;
    std::vector<PayrollPayment> out_;
};

// check and Controlla: every payroll finding of the file the chosen bank
// takes, into `sink`: its dates, its repeated payments and what the register
// of produced files says of it. For a fixed-width bank the payroll is every
// disposition shown and its dates those of the dispositions the layout
// writes; for an XML bank, `message` (its header) gives the dates and
// `payroll` (RequestPayroll) the payments.
void CheckFixedWidthPayroll(FormState& form, CheckSink& sink);
void CheckXmlPayroll(FormState& form, const sepa::Message& message, const std::vector<PayrollPayment>& payroll,
                     CheckSink& sink);

// OK for an XML bank: the first Errore stops the command (EPztBanca with its
// line); every Avviso is put to the user in one question, and No is a silent
// abort. `message` and `payroll` as for CheckXmlPayroll.
void ConfirmXmlPayroll(FormState& form, const sepa::Message& message, const std::vector<PayrollPayment>& payroll);
// OK for a fixed-width bank: only the register's Avvisi (the same payments
// already produced for the bank, a payee's account changed) are asked, in one
// question; the rest of the payroll checks are for check and Controlla to
// list, so that the command's questions and exit statuses stay as they were.
// Gives the payroll it compared (CollectPayroll), for the register to record;
// none when produced files are not recorded.
std::optional<std::vector<PayrollPayment>> ConfirmFixedWidthPayroll(FormState& form);

// The OK command's question about the Avvisi of a payroll: one line per
// finding of the register's comparisons (same payroll already produced,
// account changed), then the payroll's own Avvisi, `ownWarnings` in all, of
// which the first few in `ownFindings` are listed and the rest counted.
std::string PayrollQuestion(const CheckSink& registerFindings, const CheckSink& ownFindings,
                            std::size_t ownWarnings);

}  // namespace doz

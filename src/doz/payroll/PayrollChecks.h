// The checks of a month's payroll as a whole: against itself (the same payee,
// or the same account and amount, twice), against the files produced before
// (PayrollHistory), and its dates against today. One code for every kind of
// bank file: the kind only decides how much a date finding weighs. Each check
// notes into a CheckSink and asks nothing; texts are Windows-1252.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "findings/Findings.h"
#include "payments/Payroll.h"
#include "payments/PayrollHistory.h"
#include "platform/Dates.h"

namespace doz {

enum class PayrollFileKind { FixedWidth, Xml };

// Against the files already produced for the same bank and the accounts the
// payees were last paid on:
//   - Avviso: the register holds a file of this bank with the same payments,
//     naming when it was produced and which file it is;
//   - Avviso: a payee (PayrollPayment::payeeKey) last paid on another account,
//     naming the old and the new one; one per payee;
//   - Nota: a summary of the comparison with the bank's last file, then one
//     per payee new since that file, one per payee missing from this payroll
//     and one per payee paid more than 1.5 times the last amount; the first
//     file of a bank gives one Nota that there is nothing to compare with.
// A register that could not be read (history.unavailable) gives one Nota and
// nothing else.
void CheckAgainstHistory(const std::vector<PayrollPayment>& payroll, const PayrollHistory& history, CheckSink& sink);
// Only its Avvisi (and the Nota of a register that could not be read), which
// need neither the bank's last file's payments nor the comparison with them.
void CheckHistoryWarnings(const std::vector<PayrollPayment>& payroll, const PayrollHistory& history, CheckSink& sink);

// Avviso for every payment repeating an earlier one of the same payroll: the
// same account with the same amount; the same payee code, or without it the
// same fiscal code. Each names the earlier disposition. Notes the first
// `limit` findings and returns how many there are in all (a question lists a
// few and counts the rest).
std::size_t CheckRepeatedPayments(const std::vector<PayrollPayment>& payroll, CheckSink& sink,
                                  std::size_t limit = SIZE_MAX);

// The date the bank is asked to pay on, read from `field`: before today an
// Errore for an XML bank (an Avviso for a fixed-width one); an Italian
// national holiday an Avviso naming it (for an XML bank only the holidays the
// settlement system keeps open: on the others the request's own check stops);
// more than 90 days after today an Avviso. A zero date is not looked at.
void CheckExecutionDate(DaySerial execution, const std::string& field, DaySerial today, PayrollFileKind kind,
                        CheckSink& sink);

// The creation date a fixed-width file carries, read from `field`, after
// today: an Avviso. (An XML request carries the moment it is written.)
void CheckCreationDate(DaySerial creation, const std::string& field, DaySerial today, CheckSink& sink);

// How far ahead an execution date may lie without a warning.
inline constexpr int kExecutionHorizonDays = 90;

}  // namespace doz

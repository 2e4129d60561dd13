// The record sequence of the bank file, its running totals, and the writing
// of the finished file.
#pragma once

#include <string>
#include <vector>

#include "FormState.h"

namespace doz {

// The OK command's work after the reload: asks before replacing a file, builds
// every record, writes the file whole or not at all, logs it, asks whether to
// open its folder, closes the window.
void CreateBankFile(FormState& form);
void BuildRecords(FormState& form);
void WriteRecord(FormState& form, const std::string& recordType);
void WriteDispositionRecords(FormState& form);
void WriteDispositionGroup(FormState& form);
bool IsAccountPayment(FormState& form);
bool HasOrderingIban(FormState& form);

}  // namespace doz

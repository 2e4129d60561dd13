// The record sequence of the bank file, its running totals, and the writing
// of the finished file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FormState.h"
#include "payments/Payroll.h"
#include "platform/Files.h"

namespace doz {

// The OK command's work after the reload: builds every record into the new
// file and publishes it (publish/Publish.h): asks before replacing a file,
// saves it whole or not at all and logs it. `payroll`: the dispositions'
// payments as the command already collected them (CollectPayroll), which the
// register records; none: collected here.
void CreateBankFile(FormState& form, std::optional<std::vector<PayrollPayment>> payroll = std::nullopt);

void BuildRecords(FormState& form);
void WriteRecord(FormState& form, const std::string& recordType);
void WriteDispositionRecords(FormState& form);
void WriteDispositionGroup(FormState& form);
bool IsAccountPayment(FormState& form);
bool HasOrderingIban(FormState& form);

}  // namespace doz

// The record sequence of the bank file, its running totals, and the writing
// of the finished file.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "FormState.h"
#include "platform/Files.h"

namespace doz {

// The OK command's work after the reload: asks before replacing a file, builds
// every record, writes the file whole or not at all, logs it, asks whether to
// open its folder, closes the window.
void CreateBankFile(FormState& form);

// How a finished file is logged into the open log file.
using ContentLog = std::function<void(std::string_view content, TextFileWriter& log)>;
// The part of the OK command every kind of bank file shares: asks before
// replacing the file named in cbBancaFile, runs `build` for the content (its
// errors stop everything before a byte is written), saves the content whole
// or not at all with its log beside it, asks whether to open the folder and
// closes the window.
void ProduceBankFile(FormState& form, const std::function<std::string()>& build, const ContentLog& logContent);
void BuildRecords(FormState& form);
void WriteRecord(FormState& form, const std::string& recordType);
void WriteDispositionRecords(FormState& form);
void WriteDispositionGroup(FormState& form);
bool IsAccountPayment(FormState& form);
bool HasOrderingIban(FormState& form);

}  // namespace doz

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

// Writes a bank file's whole content into the new file, which has no name
// until it is saved; its errors stop everything before the file is put in
// place.
using ContentWriter = std::function<void(ReplacementFile& file)>;
// Logs the saved file, read back through the descriptor `fd` (at its start),
// into the open log file.
using ContentLog = std::function<void(int fd, const std::string& path, TextFileWriter& log)>;
// The part of the OK command every kind of bank file shares: asks before
// replacing the file named in cbBancaFile, runs `write` for the content,
// saves it whole or not at all with its log beside it, asks whether to open
// the folder and closes the window.
void ProduceBankFile(FormState& form, const ContentWriter& write, const ContentLog& logContent);
void BuildRecords(FormState& form);
void WriteRecord(FormState& form, const std::string& recordType);
void WriteDispositionRecords(FormState& form);
void WriteDispositionGroup(FormState& form);
bool IsAccountPayment(FormState& form);
bool HasOrderingIban(FormState& form);

}  // namespace doz

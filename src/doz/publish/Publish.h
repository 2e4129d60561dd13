// Publishing a bank file, whatever its kind: the question before replacing a
// file, the whole-file save and the log beside it. What follows a produced
// file (the folder, the reports, the closing) is the window's business.
#pragma once

#include <functional>
#include <string>

#include "FormState.h"
#include "platform/Files.h"

namespace doz {

// Writes a bank file's whole content into the new file, which has no name
// until it is saved; its errors stop everything before the file is put in
// place.
using ContentWriter = std::function<void(ReplacementFile& file)>;
// Logs the saved file, read back through the descriptor `fd` (at its start),
// into the open log file.
using ContentLog = std::function<void(int fd, const std::string& path, TextFileWriter& log)>;

// The part of the OK command every kind of bank file shares: asks before
// replacing the file named in cbBancaFile, runs `write` for the content and
// saves it whole or not at all with its log beside it.
void ProduceBankFile(FormState& form, const ContentWriter& write, const ContentLog& logContent);

}  // namespace doz

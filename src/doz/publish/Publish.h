// Publishing a bank file, whatever its kind: the question before replacing a
// file, the whole-file save, the log beside it and the register of produced
// files. What follows a produced file (the folder, the reports, the closing)
// is the window's business.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "FormState.h"
#include "platform/Files.h"
#include "register/History.h"
#include "register/KeptCopy.h"

namespace doz {

// Writes a bank file's whole content into the new file, which has no name
// until it is saved; its errors stop everything before the file is put in
// place.
using ContentWriter = std::function<void(ReplacementFile& file)>;
// Logs the saved file, read back through the descriptor `fd` (at its start),
// into the open log file.
using ContentLog = std::function<void(int fd, const std::string& path, TextFileWriter& log)>;

// The part of the OK command every kind of bank file shares: asks before
// replacing the file named in cbBancaFile, runs `write` for the content,
// saves it whole or not at all with its log beside it, and records it in the
// register with `entry` (read once the content is written, so the writer may
// complete it). The register is written once the file is in place and never
// undoes it: a failure is shown as an information ("Registro non aggiornato:
// ..."), as is a failure to flush the file's folder once it is in place: the
// command has produced the file, and the log is always the one of the file in
// place (or none). A `draft` made for the same path and already holding
// content written ahead (no name yet) becomes the new file: `write` is then
// handed it and completes it; another draft is discarded. A recording
// already started (RegisterRecording::startInParts) records the file instead
// of a new one (`started`), and a draft's content kept as it was written
// (KeepContent, `draftKept`) is the register's copy of it.
void ProduceBankFile(FormState& form, const ContentWriter& write, const ContentLog& logContent,
                     const RegisterEntry& entry, std::unique_ptr<ReplacementFile> draft = nullptr,
                     std::unique_ptr<RegisterRecording> started = nullptr,
                     std::unique_ptr<ContentKeeper> draftKept = nullptr);

// Keeps the content of `file` for the register from now on, as it is written
// (ContentKeeper; among the register's copies once it has that folder): what
// the file already holds, and each piece written after. None when the
// register is off, or when the keeper cannot start: then `failure` says why,
// as the notice the user is shown ("Copia del file non conservata: ...").
// The keeper must end before the file does.
std::unique_ptr<ContentKeeper> KeepContent(const FormState& form, ReplacementFile& file, std::string& failure);

// The turns of the writers of the bank file named in cbBancaFile and of its
// log (platform/Files.h WriterTurn), taken in that order: held from before
// the file's first byte to after the log's rename, two runs on the same file
// never leave one's bank file with the other's log. The log's turn is taken
// where its folder exists. IoError "... in scrittura da un altro processo"
// after form.writerTurnWait.
class BankFileTurns {
public:
    explicit BankFileTurns(FormState& form);

private:
    std::optional<WriterTurn> bankFile_;
    std::optional<WriterTurn> log_;
};

}  // namespace doz

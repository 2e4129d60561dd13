// The summary report (Distinta), the draft listing (Brogliaccio) and the
// field-by-field log of a produced bank file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FormState.h"
#include "platform/Files.h"

namespace doz {

// main folder + "var/log/Pzt/doz/" and its "stp/" sub-folder.
std::string LogFolder(const FormState& form);
std::string ReportFolder(const FormState& form);

void BuildSummary(FormState& form, std::int64_t& total);
void WriteDistinta(FormState& form);
void WriteBrogliaccio(FormState& form);
std::string ColumnText(FormState& form, std::string_view fieldName, int width, bool rightAligned);
// IMPORTO_EURO of the current disposition, number `number` among those shown;
// ConvertError naming the field and the disposition when it is not a finite number.
double ReportAmount(FormState& form, int number);

// Logs the bank file named in cbBancaFile, field by field, into the log folder
// under the same file name: one line FieldName="part of the record" per layout
// row of each record's type. The file is read in blocks of readBlock bytes
// (1 MB for the first form), so the log holds no copy of it.
void WriteFileLog(FormState& form);
void WriteFileLog(FormState& form, std::size_t readBlock);
// Logs a bank file's content already in memory to `out`: the same text and
// errors WriteFileLog gives for a file holding it (on an error, the lines
// before it are in `out`). `out` is left open. Touches only the form's
// catalogue row, layout table and current line, and `out`, so it may run on a
// thread of its own while nothing else uses those.
void LogFileContent(FormState& form, std::string_view content, TextFileWriter& out);
// Logs the bank file open for reading on `fd`, from its start (`path` names it
// in messages): the text and errors of WriteFileLog. `out` is left open.
void LogOpenFile(FormState& form, int fd, const std::string& path, TextFileWriter& out);
// The log file of the bank file named in cbBancaFile: the log folder (created
// when missing) and the bank file's name.
std::string FileLogPath(FormState& form);
// True when the bank file named in cbBancaFile is that log file itself; such a
// bank file is never logged.
bool BankFileIsItsLog(FormState& form, const std::string& logPath);
// Writes the log lines of form.currentLine to the open log file.
void LogRecord(FormState& form, TextFileWriter& out);
std::string LineSlice(FormState& form, std::string_view pos);

}  // namespace doz

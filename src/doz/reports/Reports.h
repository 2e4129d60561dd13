// The summary report (Distinta), the draft listing (Brogliaccio) and the
// field-by-field log of a produced bank file.
#pragma once

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

void WriteFileLog(FormState& form);
// Writes the log lines of form.currentLine to the open log file.
void LogRecord(FormState& form, TextFileWriter& out);
std::string LineSlice(FormState& form, std::string_view pos);

}  // namespace doz

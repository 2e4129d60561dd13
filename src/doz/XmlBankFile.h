// The OK command and the check of a bank that takes an XML credit-transfer
// request instead of the fixed-width file: the message is filled from the
// dispositions, checked, written, validated against its schema and saved with
// the same guarantees as the fixed-width file.
#pragma once

#include <filesystem>
#include <string>

#include "FormState.h"

namespace doz {

class CheckSink;

// Where the interbank schemas are read: the folder given to the batch command
// (FormPaths::schemaFolder), else the Banca.ini setting CartellaSchemi, else
// the main folder's "usr/Pzt/doz/xsd".
std::filesystem::path SchemaFolder(const FormState& form);

// The OK command's work after the reload, for the chosen XML bank: leaves
// cash payments and cashier's cheques out (asking first), runs the payroll
// checks (an error stops, the warnings are asked), stops at the first
// failing check or at a schema complaint, then saves and logs the document
// like a fixed-width bank file.
void CreateXmlBankFile(FormState& form);

// The check of an XML bank: every failing check and every changed text, the
// payments left out, the payroll checks' findings, the schema's complaint or
// its absence, into `sink`.
void CheckXmlBankFile(FormState& form, CheckSink& sink);

// The Log command for an XML bank: the file named in cbBancaFile, one line
// path="value" per element that holds text, into the same log file the
// fixed-width log uses.
void WriteXmlFileLog(FormState& form);

// The check of whatever file the chosen bank takes (after the reload), the
// payroll checks included (payroll/PayrollReview.h).
void CheckBankFile(FormState& form, CheckSink& sink);

// OK's file-building step for the chosen bank, fixed-width or XML, after the
// payroll checks that OK weighs for it.
void CreateChosenBankFile(FormState& form);

}  // namespace doz

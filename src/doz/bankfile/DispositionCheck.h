// Checking a month's dispositions without writing a bank file: the same record
// sequence, formatting and validation as the OK command, but every failing
// field is noted and the walk goes on, warnings are listed instead of asked,
// and the notices of BankNotices.h are added.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "FormState.h"
#include "bankfile/FieldValidation.h"
#include "bankfile/LayoutRow.h"
#include "findings/Findings.h"

namespace doz {

// The record type and field of the findings while a walk over layout rows
// read beforehand runs (the layout table then does not stand on the field);
// FormState::checkPlace points to it. Without one, the layout table's current
// row gives them.
struct CheckPlace {
    const std::string* recordType;
    const std::string* field;  // empty for a filler
};

// A finding at the current position of the walk: the check place or the
// current layout row gives the record type and field, cdsTot's PROGRESSIVO and
// the current disposition the number and the payee (none for the records PC
// and EF).
void NoteAtCurrentField(FormState& form, CheckSink& sink, FindingKind kind, const std::string& message);

// Runs the record sequence of the bank file over every disposition (cdsDisp as
// the OK command finds it after the reload) and notes into `sink`, in file
// order, every failure, warning and notice. Writes no file, asks nothing and
// leaves the confirmed warnings empty. Errors that are not tied to one field
// (a total beyond its limit, a disposition field the sequence itself needs)
// are noted and end the walk.
void CheckAllDispositions(FormState& form, CheckSink& sink);

// One field of a check run, with the layout row current: formats it, validates
// it, notes what fails and appends the text (or, when the value could not be
// formatted, as many blanks as the field is wide) to the current line. False
// when the field's position cannot be read, so the rest of the record cannot
// be placed.
bool CheckField(FormState& form, CheckSink& sink);
// CheckField for a prepared layout row of record type `recordType` (the walk
// of a check run over rows read once): the same findings, text and result.
// A General row needs the layout table on it: the caller uses CheckField.
bool CheckPreparedField(FormState& form, LayoutRow& row, const std::string& recordType, BankRules& rules,
                        CheckSink& sink);

// The payee's name of the current disposition (DESC_DESTINATARIO without its
// trailing blanks); empty when the dispositions have no such field.
std::string PayeeName(FormState& form);

}  // namespace doz

// Checking the month's dispositions from the window or from the batch command:
// the reload of the OK command, then every field of every disposition through
// the checks of the bank file (bankfile/DispositionCheck.h), nothing written, nothing
// asked. Also the list the window shows of the findings, failures first, and
// the text it is saved as.
#pragma once

#include <string>
#include <vector>

#include "FormState.h"
#include "findings/Findings.h"

namespace doz {

// ReloadDispositions, then the check of the chosen bank's file into `sink`.
// Errors not tied to the dispositions (a closed table, a file that cannot be
// read) are raised.
void CheckDispositions(FormState& form, CheckSink& sink);

// The caption of the header control a disposition field is filled from, as
// the window shows it ("Mittente" -> "Codice SIA"); empty when the field is no
// header value. Names are matched without regard to letter case.
std::string HeaderCaption(FormState& form, const std::string& field);

// For the window's list: a header value is one for the whole file, however
// many records carry it, so each finding about it is kept once (the first),
// named by the control's caption in its field and at the end of its message,
// and tied to no disposition or record. (The batch command's check lists the
// findings as they are, by field name.)
void CollapseHeaderFindings(FormState& form, CheckSink& sink);

// Where a failed OK stopped, from the layout row the build left current:
// "Disposizione 3 (Neri Luca), record 10, campo CC_DESTINATARIO", "Record PC,
// campo X", or for a header value "Campo \"Codice SIA\" della testata"; empty
// when the layout does not tell (an XML bank's messages name the place
// themselves).
std::string OkFailurePlace(FormState& form);

// The findings of `sink`, failures first, then warnings, then notices; file
// order within each kind.
std::vector<CheckFinding> FailuresFirst(const CheckSink& sink);

// The list the window shows: one row per finding (kind, disposition, payee,
// record, field, message), failures first, each row keyed by its disposition
// number; a summary that says so when nothing fails; and the text-file form,
// one FormatFinding line per finding and the counts.
FindingList CheckFindingList(const CheckSink& sink);

// Makes disposition `number` (1-based among those shown, as the check counts
// them) the current row of cdsDisp; nothing happens when there is no such row.
void SelectDisposition(FormState& form, int number);

}  // namespace doz

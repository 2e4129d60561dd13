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

// ReloadDispositions, then CheckAllDispositions into `sink`. Errors not tied to
// the dispositions (a closed table, a file that cannot be read) are raised.
void CheckDispositions(FormState& form, CheckSink& sink);

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

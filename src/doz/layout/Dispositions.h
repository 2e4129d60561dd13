// The dispositions: the raw table, the provider that copies it through the
// chosen bank's transfer rules into cdsDisp, the header controls those rules
// read, the payment-mode exclusion and the count.
#pragma once

#include <string>

#include "FormState.h"

namespace doz {

class CheckSink;

// Wires cdsLeggi's after-open hook, the provider dspDisp (source cdsLeggi,
// onGetData = dspDispGetData) and cdsDisp's fixed filter text. Called once
// when the window is created.
void SetupDispositions(FormState& form);

// <dispositions folder> + "/Disposizioni.cds".
std::string DispositionsFile(const FormState& form);
// Loads DispositionsFile into cdsLeggi and notes the file's stamp.
void LoadDispositions(FormState& form);
// Before a command that works on the dispositions: when Disposizioni.cds has
// changed on disk since it was read, says so and offers to read it again. Yes
// reads it (the command then works on the new dispositions); No goes on with
// the dispositions read before and is not asked again for the same change. A
// file that is no longer there: Yes goes on with the dispositions read
// before, No stops the command (silent abort).
void OfferDispositionsReload(FormState& form);

void cdsLeggiAfterOpen(Table& table);
void ReloadDispositions(FormState& form);
void dspDispGetData(FormState& form, Table& workingCopy);
void HideHeaderControls(FormState& form);
void SyncHeaderLabels(FormState& form);
void ShowRuleControl(FormState& form);
void ApplyTransferRule(FormState& form, Table& workingCopy);
void TransferValue(FormState& form, Field target);
// The name of the edit "ed" + FieldName / date edit "de" + FieldName of the
// current rule, as the window spells it; "Assertion failure" when there is none.
std::string FindRuleEdit(FormState& form);
std::string FindRuleDateEdit(FormState& form);
void UpdateCount(FormState& form);
void chEscludiMPGClick(FormState& form);

// Notices of the current disposition of cdsDisp, number `number` among those
// shown, paid to `payee`: each of its texts that was read with characters
// Windows-1252 lacks (written in Latin letters or as '?'), by field. A value a
// transfer rule has replaced since the reading is not noted.
void NarrowedTextNotices(FormState& form, int number, const std::string& payee, CheckSink& sink);

}  // namespace doz

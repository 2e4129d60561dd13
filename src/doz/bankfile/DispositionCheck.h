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

namespace doz {

enum class FindingKind {
    Error,    // a check the OK command would stop at
    Warning,  // a question the OK command would ask
    Notice,   // something banks are known to reject although the layout rules pass
};

// One finding. Texts are Windows-1252.
struct CheckFinding {
    FindingKind kind = FindingKind::Error;
    int disposition = 0;     // 1-based among the dispositions exported (PROGRESSIVO); 0 = none
    std::string payee;       // DESC_DESTINATARIO of that disposition, trailing blanks removed
    std::string recordType;  // empty when the finding is not tied to a record
    std::string field;       // the layout row's or disposition's field name; may be empty
    std::string message;
};

// Collects the findings of one check run. While a run is under way the window
// state points to it (FormState::checkSink).
class CheckSink {
public:
    // A finding at the current position of the walk: the current layout row
    // gives the record type and field, cdsTot's PROGRESSIVO and the current
    // disposition the number and the payee (none for the records PC and EF).
    void atCurrentField(FormState& form, FindingKind kind, const std::string& message);
    void warning(FormState& form, const std::string& message) { atCurrentField(form, FindingKind::Warning, message); }
    void add(CheckFinding finding) { findings_.push_back(std::move(finding)); }

    // The record type and field of the findings while a walk over layout rows
    // read beforehand runs (the layout table then does not stand on the
    // field); none: the layout table's current row gives them.
    struct Place {
        const std::string* recordType;
        const std::string* field;  // empty for a filler
    };
    void setPlace(const Place* place) { place_ = place; }

    const std::vector<CheckFinding>& findings() const { return findings_; }
    std::vector<CheckFinding>& findings() { return findings_; }
    std::size_t count(FindingKind kind) const;

private:
    std::vector<CheckFinding> findings_;
    const Place* place_ = nullptr;
};

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

// The line a finding is shown as (Windows-1252), e.g.
// "Disposizione 3 (Rossi Mario), record 10, campo ABI_DESTINATARIO: ...".
std::string FormatFinding(const CheckFinding& finding);
// "Errori: 2, avvisi: 1, note: 4".
std::string FormatFindingCounts(const CheckSink& sink);

}  // namespace doz

// What a check run finds: failures, warnings and notices, each tied to a
// disposition, a record and a field where it has one. The fixed-width file's
// walk, the credit-transfer request's checks and the payroll checks all note
// into the same sink, and the window and the batch command show the same list.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace doz {

enum class FindingKind {
    Error,    // a check the OK command would stop at
    Warning,  // a question the OK command would ask
    Notice,   // something worth knowing that stops nothing
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

// Collects the findings of one check run, in the order they are noted.
class CheckSink {
public:
    void add(CheckFinding finding) { findings_.push_back(std::move(finding)); }

    const std::vector<CheckFinding>& findings() const { return findings_; }
    std::vector<CheckFinding>& findings() { return findings_; }
    std::size_t count(FindingKind kind) const;

private:
    std::vector<CheckFinding> findings_;
};

// The line a finding is shown as (Windows-1252), e.g.
// "Disposizione 3 (Rossi Mario), record 10, campo ABI_DESTINATARIO: ...".
std::string FormatFinding(const CheckFinding& finding);
// "Errori: 2, avvisi: 1, note: 4".
std::string FormatFindingCounts(const CheckSink& sink);

}  // namespace doz

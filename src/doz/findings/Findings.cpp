#include "findings/Findings.h"

#include <algorithm>

namespace doz {

std::size_t CheckSink::count(FindingKind kind) const {
    return static_cast<std::size_t>(
        std::count_if(findings_.begin(), findings_.end(), [kind](const CheckFinding& f) { return f.kind == kind; }));
}

std::string FormatFinding(const CheckFinding& f) {
    std::string where;
    auto part = [&where](const std::string& text) { where += (where.empty() ? "" : ", ") + text; };
    if (f.disposition > 0)
        part("disposizione " + std::to_string(f.disposition) + (f.payee.empty() ? "" : " (" + f.payee + ")"));
    if (!f.recordType.empty()) part("record " + f.recordType);
    if (!f.field.empty()) part("campo " + f.field);

    std::string line;
    switch (f.kind) {
        case FindingKind::Error: break;
        case FindingKind::Warning: line = "Avviso: "; break;
        case FindingKind::Notice: line = "Nota: "; break;
    }
    if (where.empty()) return line + f.message;
    if (line.empty()) where[0] = static_cast<char>(where[0] - 'a' + 'A');  // "disposizione"/"record" begin a sentence
    return line + where + ": " + f.message;
}

std::string FormatFindingCounts(const CheckSink& sink) {
    return "Errori: " + std::to_string(sink.count(FindingKind::Error)) +
           ", avvisi: " + std::to_string(sink.count(FindingKind::Warning)) +
           ", note: " + std::to_string(sink.count(FindingKind::Notice));
}

}  // namespace doz

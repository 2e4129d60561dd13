#include "CheckList.h"

#include <algorithm>

#include "XmlBankFile.h"
#include "layout/Dispositions.h"

namespace doz {

namespace {

int order(FindingKind kind) {
    switch (kind) {
        case FindingKind::Error: return 0;
        case FindingKind::Warning: return 1;
        case FindingKind::Notice: return 2;
    }
    return 3;
}

const char* kindText(FindingKind kind) {
    switch (kind) {
        case FindingKind::Error: return "Errore";
        case FindingKind::Warning: return "Avviso";
        case FindingKind::Notice: return "Nota";
    }
    return "";
}

}  // namespace

void CheckDispositions(FormState& form, CheckSink& sink) {
    ReloadDispositions(form);
    CheckBankFile(form, sink);
}

std::vector<CheckFinding> FailuresFirst(const CheckSink& sink) {
    std::vector<CheckFinding> out = sink.findings();
    std::stable_sort(out.begin(), out.end(),
                     [](const CheckFinding& a, const CheckFinding& b) { return order(a.kind) < order(b.kind); });
    return out;
}

FindingList CheckFindingList(const CheckSink& sink) {
    FindingList list;
    list.title = "Controllo delle disposizioni";
    list.columns = {"Tipo", "Disposizione", "Beneficiario", "Record", "Campo", "Messaggio"};
    const std::size_t errors = sink.count(FindingKind::Error);
    if (sink.findings().empty())
        list.summary = "Nessun errore: tutte le disposizioni superano i controlli.";
    else if (errors == 0)
        list.summary = "Nessun errore. " + FormatFindingCounts(sink);
    else
        list.summary = FormatFindingCounts(sink);

    list.textForm = list.title + "\r\n" + list.summary + "\r\n\r\n";
    for (const CheckFinding& f : FailuresFirst(sink)) {
        list.rows.push_back({kindText(f.kind), f.disposition > 0 ? std::to_string(f.disposition) : std::string(),
                             f.payee, f.recordType, f.field, f.message});
        list.keys.push_back(f.disposition);
        list.textForm += FormatFinding(f) + "\r\n";
    }
    return list;
}

void SelectDisposition(FormState& form, int number) {
    Table& disp = form.cdsDisp;
    if (!disp.active() || number < 1 || number > disp.viewCount()) return;
    disp.first();
    for (int i = 1; i < number && !disp.eof(); ++i) disp.next();
}

}  // namespace doz

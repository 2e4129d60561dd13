#include "CheckList.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <tuple>

#include "XmlBankFile.h"
#include "bankfile/DispositionCheck.h"
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

std::string HeaderCaption(FormState& form, const std::string& field) {
    if (field.empty()) return {};
    WindowPort& w = form.window;
    const std::vector<ComponentInfo> components = w.components();
    for (const ComponentInfo& c : components) {
        const std::string_view prefix = std::string_view(c.name).substr(0, 2);
        if (!isEditKind(c.kind) || c.parent != "pnlTesta" || (prefix != "ed" && prefix != "de")) continue;
        if (!sameName(std::string_view(c.name).substr(2), field)) continue;
        for (const ComponentInfo& label : components)
            if (label.kind == ComponentKind::Label && label.focusControl == c.name) return w.text(label.name);
    }
    return {};
}

void CollapseHeaderFindings(FormState& form, CheckSink& sink) {
    std::map<std::string, std::string> captions;  // by field name as found
    std::set<std::tuple<FindingKind, std::string, std::string>> seen;
    std::vector<CheckFinding> kept;
    kept.reserve(sink.findings().size());
    for (CheckFinding& f : sink.findings()) {
        auto known = captions.find(f.field);
        if (known == captions.end()) known = captions.emplace(f.field, HeaderCaption(form, f.field)).first;
        const std::string& caption = known->second;
        if (caption.empty()) {
            kept.push_back(std::move(f));
            continue;
        }
        if (f.message.ends_with(": " + f.field)) f.message.replace(f.message.size() - f.field.size(), f.field.size(), caption);
        f.field = caption;
        if (!seen.emplace(f.kind, f.field, f.message).second) continue;
        f.disposition = 0;
        f.payee.clear();
        f.recordType.clear();
        kept.push_back(std::move(f));
    }
    sink.findings() = std::move(kept);
}

std::string OkFailurePlace(FormState& form) {
    Table& layout = form.cdsTraccCorrente;
    if (IsXmlBank(form) || !layout.active() || layout.isEmpty() || layout.eof()) return {};
    const std::optional<Field> recordField = layout.findField("Record");
    const std::optional<Field> nameField = layout.findField("FieldName");
    if (!recordField) return {};
    const std::string record = recordField->asText();
    const std::string field = nameField ? nameField->asText() : std::string();
    const std::string caption = HeaderCaption(form, field);
    if (!caption.empty()) return "Campo \"" + caption + "\" della testata";
    std::string place;
    if (record != "PC" && record != "EF" && form.cdsTot.active() && !form.cdsTot.isEmpty()) {
        if (const std::optional<Field> number = form.cdsTot.findField("PROGRESSIVO"); number && number->asInteger() > 0) {
            const std::string payee = PayeeName(form);
            place = "Disposizione " + std::to_string(number->asInteger()) + (payee.empty() ? "" : " (" + payee + ")") + ", ";
        }
    }
    place += (place.empty() ? "Record " : "record ") + record;
    if (!field.empty()) place += ", campo " + field;
    return place;
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
    list.saveName = "Controllo.txt";
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

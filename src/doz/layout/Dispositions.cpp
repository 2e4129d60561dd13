#include "layout/Dispositions.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "findings/Findings.h"
#include "layout/Catalogue.h"
#include "platform/Error.h"

namespace doz {

namespace {

const char kHeaderPanel[] = "pnlTesta";
const char kFilterWithPaymentMode[] = "MODALITA_PAGAMENTO IS NOT NULL";

// A header control: an edit of the top panel whose name begins exactly with
// "de" or "ed" (cbBancaFile, an edit too, begins with "cb").
bool isHeaderControl(const ComponentInfo& c) {
    if (!isEditKind(c.kind) || c.parent != kHeaderPanel) return false;
    const std::string_view name = c.name;
    return name.starts_with("de") || name.starts_with("ed");
}

std::string ruleText(FormState& form, const char* column) {
    return form.cdsTrasfCorrente.fieldByName(column).asText();
}

// The window's component named prefix + the current rule's FieldName, when it
// is of the expected kind; "Assertion failure" otherwise.
std::string findRuleControl(FormState& form, const char* prefix, ComponentKind kind) {
    const std::string wanted = prefix + ruleText(form, "FieldName");
    const std::optional<ComponentInfo> found = form.window.findComponent(wanted);
    if (!found || found->kind != kind) throw AssertionFailure();
    return found->name;
}

// What a transfer rule puts into each row: a copy of another field of the
// same row (FieldOut), or one value for every row, null included.
struct RuleValue {
    std::string copiedField;
    Value value;
};

// The current rule's value, read from the rule and the header controls.
RuleValue currentRuleValue(FormState& form) {
    Table& rules = form.cdsTrasfCorrente;
    if (const std::optional<Field> fieldOut = rules.findField("FieldOut")) {
        std::string source = fieldOut->asText();
        if (!source.empty()) return {std::move(source), Value()};
    }
    const std::string colType = ruleText(form, "ColType");
    RuleValue rule;
    if (colType == "AN") {
        rule.value = Value(form.window.text(FindRuleEdit(form)));
    } else if (colType == "D") {
        // An empty date edit gives the zero date, stored as such.
        rule.value = Value(Date{form.window.date(FindRuleDateEdit(form))});
    } else {
        rule.value = rules.fieldByName("ValOut").value();
    }
    return rule;
}

void applyRuleValue(const RuleValue& rule, Field target) {
    if (!rule.copiedField.empty()) {
        // Copy the value (null included) of another field of the same row.
        const Value copied = target.table().fieldByName(rule.copiedField).value();
        target.setValue(copied);
    } else if (rule.value.isNull()) {
        target.clear();
    } else {
        target.setValue(rule.value);
    }
}

// A rule that puts one value into every disposition: no condition and no
// copied field. Read without raising: a rule missing a column takes the
// rule-by-rule path, which raises the error where it always did.
bool isPlainRule(FormState& form) {
    Table& rules = form.cdsTrasfCorrente;
    const std::optional<Field> condition = rules.findField("Condition");
    if (!condition || !condition->asText().empty()) return false;
    const std::optional<Field> fieldOut = rules.findField("FieldOut");
    return !fieldOut || fieldOut->asText().empty();
}

// For an XML bank, a header rule whose field the dispositions do not carry
// (the CUC, say) only shows its control: the message reads such a value from
// the header itself. For a fixed-width bank every rule writes its field.
bool isHeaderOnlyRule(FormState& form, Table& workingCopy, bool xmlBank) {
    if (!xmlBank) return false;
    const std::string colType = ruleText(form, "ColType");
    if (colType != "AN" && colType != "D") return false;
    if (const std::optional<Field> fieldOut = form.cdsTrasfCorrente.findField("FieldOut"))
        if (!fieldOut->asText().empty()) return false;
    return !workingCopy.findField(ruleText(form, "FieldName"));
}

bool hasRequiredField(const Table& table) {
    for (const FieldDef& d : table.fieldDefs())
        if (d.required) return true;
    return false;
}

// A run of plain rules, from the current rule on, in one walk over the
// dispositions instead of one walk per rule: every rule of the run goes to a
// row before the next row. The first row is handled rule by rule exactly as
// ApplyTransferRule does it (control shown, target and value looked up, value
// written), so an error stops at the same rule with the same message and the
// same controls shown: a plain rule's value is the same for every row, so it
// fits the target at every row or at none, and without required fields a row
// always posts. Leaves the rules past the run.
void applyPlainRules(FormState& form, Table& workingCopy, bool xmlBank) {
    Table& rules = form.cdsTrasfCorrente;
    std::vector<std::pair<Field, RuleValue>> run;
    while (!rules.eof() && isPlainRule(form) && !isHeaderOnlyRule(form, workingCopy, xmlBank)) {
        ShowRuleControl(form);
        workingCopy.setFilter(std::string());
        workingCopy.setFiltered(false);
        const std::string fieldName = ruleText(form, "FieldName");
        workingCopy.first();
        if (!workingCopy.eof()) {
            workingCopy.edit();
            const Field target = workingCopy.fieldByName(fieldName);
            RuleValue rule = currentRuleValue(form);
            applyRuleValue(rule, target);
            workingCopy.post();
            run.emplace_back(target, std::move(rule));
        }
        rules.next();
    }
    if (run.empty()) return;
    workingCopy.first();
    for (workingCopy.next(); !workingCopy.eof(); workingCopy.next()) {
        workingCopy.edit();
        for (const auto& [target, rule] : run) applyRuleValue(rule, target);
        workingCopy.post();
    }
}

}  // namespace

void SetupDispositions(FormState& form) {
    form.cdsLeggi.afterOpen = cdsLeggiAfterOpen;
    form.dspDisp.setDataSet(&form.cdsLeggi);
    form.dspDisp.onGetData = [&form](Table& workingCopy) { dspDispGetData(form, workingCopy); };
    form.cdsDisp.setProvider(&form.dspDisp);
    form.cdsDisp.setFilter(kFilterWithPaymentMode);
}

std::string DispositionsFile(const FormState& form) {
    // The folder argument is used as given; a trailing separator only doubles it.
    return form.paths.dispositionsArg + "/Disposizioni.cds";
}

void LoadDispositions(FormState& form) {
    const std::string path = DispositionsFile(form);
    // Taken before the reading: a change while it reads is a change all the same.
    const FileStamp stamp = fileStamp(path);
    form.cdsLeggi.loadFromFile(path);
    form.dispositionsStamp = stamp;
    form.keptDispositionsStamp = {};
}

void OfferDispositionsReload(FormState& form) {
    if (!form.dispositionsStamp.exists) return;  // never read (or read by other means)
    const std::string path = DispositionsFile(form);
    const FileStamp now = fileStamp(path);
    if (now == form.dispositionsStamp || now == form.keptDispositionsStamp) return;
    if (!now.exists) {
        if (!form.window.askYesNo("Il file " + path + " non si trova pi\xF9: \xE8 stato rimosso o spostato dopo la lettura.\r\n"
                                  "Continuare con le disposizioni lette prima ?"))
            throw SilentAbort();
        form.keptDispositionsStamp = now;
        return;
    }
    if (form.window.askYesNo("Il file " + path + " \xE8 cambiato dopo la lettura.\r\n"
                             "Rileggerlo ora ? (No: si continua con le disposizioni lette prima)")) {
        LoadDispositions(form);
        return;
    }
    form.keptDispositionsStamp = now;
}

void cdsLeggiAfterOpen(Table& table) {
    for (int i = 0; i < table.fieldCount(); ++i) table.field(i).setRequired(false);
}

void ReloadDispositions(FormState& form) {
    form.cdsDisp.close();
    form.dspDisp.lastFeed = form.dropRawAfterReload;
    form.dspDisp.fieldsOnly = form.reloadWithoutRows;
    form.cdsDisp.open();  // the provider runs dspDispGetData on a copy of cdsLeggi
    UpdateCount(form);
    SyncHeaderLabels(form);
}

void dspDispGetData(FormState& form, Table& workingCopy) {
    HideHeaderControls(form);
    Table& rules = form.cdsTrasfCorrente;
    const bool rowsAlwaysPost = !hasRequiredField(workingCopy);
    const bool xmlBank = IsXmlBank(form);
    rules.first();
    while (!rules.eof()) {
        if (isHeaderOnlyRule(form, workingCopy, xmlBank)) {
            ShowRuleControl(form);
            rules.next();
            continue;
        }
        if (rowsAlwaysPost && isPlainRule(form)) {
            applyPlainRules(form, workingCopy, xmlBank);
            continue;
        }
        ShowRuleControl(form);
        ApplyTransferRule(form, workingCopy);
        rules.next();
    }
}

void HideHeaderControls(FormState& form) {
    for (const ComponentInfo& c : form.window.components())
        if (isHeaderControl(c)) form.window.setVisible(c.name, false);
    SyncHeaderLabels(form);
}

void SyncHeaderLabels(FormState& form) {
    WindowPort& w = form.window;
    for (const ComponentInfo& c : w.components())
        if (c.kind == ComponentKind::Label && c.parent == kHeaderPanel && !c.focusControl.empty())
            w.setVisible(c.name, w.isVisible(c.focusControl));
}

void ShowRuleControl(FormState& form) {
    const std::string colType = ruleText(form, "ColType");
    if (colType == "AN")
        form.window.setVisible(FindRuleEdit(form), true);
    else if (colType == "D")
        form.window.setVisible(FindRuleDateEdit(form), true);
}

void ApplyTransferRule(FormState& form, Table& workingCopy) {
    const std::string condition = ruleText(form, "Condition");
    // Each rule selects on the rows as they stand: an earlier rule may have
    // written the very fields this condition tests.
    const bool unchanged = workingCopy.filter() == condition && workingCopy.filtered() == !condition.empty();
    workingCopy.setFilter(condition);
    workingCopy.setFiltered(!condition.empty());
    if (unchanged && workingCopy.filtered()) workingCopy.refreshFilter();
    const std::string fieldName = ruleText(form, "FieldName");
    // The target field and the rule's value are the same for every row; both
    // are looked up at the first row, where the row-by-row reading would fail.
    std::optional<Field> target;
    std::optional<RuleValue> rule;
    workingCopy.first();
    while (!workingCopy.eof()) {
        workingCopy.edit();
        if (!target) target = workingCopy.fieldByName(fieldName);
        if (!rule) rule = currentRuleValue(form);
        applyRuleValue(*rule, *target);
        workingCopy.post();
        workingCopy.next();
    }
}

void TransferValue(FormState& form, Field target) { applyRuleValue(currentRuleValue(form), target); }

std::string FindRuleEdit(FormState& form) { return findRuleControl(form, "ed", ComponentKind::Edit); }

std::string FindRuleDateEdit(FormState& form) { return findRuleControl(form, "de", ComponentKind::DateEdit); }

void UpdateCount(FormState& form) {
    Table& disp = form.cdsDisp;
    const bool noRow = !disp.active() || disp.isEmpty();
    form.window.setText("laDisp", noRow ? std::string("0") : std::to_string(disp.recordCount()));
}

void chEscludiMPGClick(FormState& form) {
    form.cdsDisp.setFiltered(form.window.isChecked("chEscludiMPG"));
    UpdateCount(form);
}

void NarrowedTextNotices(FormState& form, int number, const std::string& payee, CheckSink& sink) {
    // The raw dispositions know which texts were narrowed when read.
    const Table& raw = form.cdsLeggi;
    const auto& narrowed = raw.narrowedTexts();
    for (std::size_t i = 0; i < narrowed.size(); ++i) {
        const std::size_t column = narrowed[i].first;
        if (i > 0 && narrowed[i - 1].first == column) continue;
        const std::string& name = raw.fieldDefs().at(column).name;
        const std::optional<Field> f = form.cdsDisp.findField(name);
        if (!f) continue;
        const std::string value = f->asText();
        if (!raw.wasNarrowed(column, value)) continue;
        sink.add({FindingKind::Notice, number, payee, "", name,
                  "caratteri non rappresentabili nel file, trascritti in lettere latine: \"" + shownValue(value) + "\""});
    }
}

}  // namespace doz

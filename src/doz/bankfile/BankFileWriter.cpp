// The bank file: which records it holds and in which order, the running
// totals the records quote, and the writing of the finished file in one piece.
#include "bankfile/BankFileWriter.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

#include "bankfile/DispositionCheck.h"
#include "bankfile/EPztBanca.h"
#include "bankfile/FieldFormatting.h"
#include "bankfile/FieldValidation.h"
#include "payments/PaymentKind.h"
#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "publish/Publish.h"
#include "reports/Reports.h"

namespace doz {

namespace {

// Hands the window the bank file's buffer for the length of one build, and
// takes it back however the build ends.
class LineListLease {
public:
    LineListLease(FormState& form, BankFileText& text) : form_(form) { form_.lineList = &text; }
    ~LineListLease() { form_.lineList = nullptr; }
    LineListLease(const LineListLease&) = delete;
    LineListLease& operator=(const LineListLease&) = delete;

private:
    FormState& form_;
};

// Adds to a running total of cdsTot. The totals are 64-bit: whether one fits
// the file is for the field that quotes it to say (a total wider than its
// field is refused there); only a sum beyond 64 bits is refused here.
void addToTotal(Field total, std::int64_t amount, const char* refusal) {
    const std::int64_t current = total.asInteger();
    std::int64_t sum = 0;
    if (__builtin_add_overflow(current, amount, &sum)) throw EPztBanca(refusal);
    total.setInteger(sum);
}

void addToTotal(FormState& form, const char* name, std::int64_t amount, const char* refusal) {
    addToTotal(BuildField(form, form.cdsTot, name), amount, refusal);
}

const char* const kRefusedRecords =
    "Numero dei record oltre il limite del programma: impossibile creare il file.";
const char* const kRefusedDispositions =
    "Numero delle disposizioni oltre il limite del programma: impossibile creare il file.";
const char* const kRefusedAmounts =
    "Totale degli importi oltre il limite del programma: impossibile creare il file.";

// The filter text of one record type: the code in single quotes, inner quotes doubled.
std::string recordFilter(const std::string& recordType) {
    std::string text = "Record='";
    for (const char c : recordType) {
        text += c;
        if (c == '\'') text += '\'';
    }
    text += '\'';
    return text;
}

// Two record codes alike, compared inline: the codes are a few characters.
bool sameCode(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

}  // namespace

// The layout rows of each record type, read once for a whole build instead of
// filtering and reading the layout table again for every record. The layout
// table is left as the row-by-row walk leaves it: filtered on the last record
// type written, past its last row, or on the row of the field that failed.
class RecordPlans {
public:
    explicit RecordPlans(FormState& form) : form_(form), outer_(form.recordPlans) { form.recordPlans = this; }
    ~RecordPlans() {
        form_.recordPlans = outer_;
        if (lastType_.empty()) return;
        try {
            placeLayout(lastType_, lastWalked_);
        } catch (...) {
            // The filter compiled when the plan was made; nothing to report here.
        }
    }
    RecordPlans(const RecordPlans&) = delete;
    RecordPlans& operator=(const RecordPlans&) = delete;

    void write(const std::string& recordType) {
        std::vector<LayoutRow>& rows = rowsOf(recordType);
        lastType_ = recordType;
        lastWalked_ = 0;
        if (rows.empty()) return;
        if (!recordCount_) recordCount_ = BuildField(form_, form_.cdsTot, "TOT_RECORD");
        addToTotal(*recordCount_, 1, kRefusedRecords);
        if (CheckSink* sink = form_.checkSink) {
            // A check run notes what fails and goes on; its lines are only counted.
            for (LayoutRow& row : rows) {
                if (!checkField(row, recordType, *sink)) break;
                ++lastWalked_;
            }
            ++form_.lineList->lineCount;
            return;
        }
        for (LayoutRow& row : rows) {
            AppendField(form_, row, rules_);
            ++lastWalked_;
        }
        form_.lineList->addLine(form_.currentLine);
    }

private:
    bool checkField(LayoutRow& row, const std::string& recordType, CheckSink& sink) {
        if (row.shape != LayoutRow::Shape::General) return CheckPreparedField(form_, row, recordType, rules_, sink);
        // A row with a missing column or a position that does not parse is
        // looked at where it stands in the layout, as the row-by-row walk does.
        placeLayout(recordType, lastWalked_);
        return CheckField(form_, sink);
    }

    std::vector<LayoutRow>& rowsOf(const std::string& recordType) {
        for (auto& [type, rows] : plans_)
            if (sameCode(type, recordType)) return rows;
        Table& layout = form_.cdsTraccCorrente;
        layout.setFilter(recordFilter(recordType));
        layout.setFiltered(true);
        std::vector<LayoutRow> rows;
        for (layout.first(); !layout.eof(); layout.next()) {
            rows.push_back(LayoutRow::current(form_));
            rows.back().prepare();
        }
        plans_.emplace_back(recordType, std::move(rows));
        return plans_.back().second;
    }

    // The layout filtered on a record type, its cursor moved `walked` rows on.
    void placeLayout(const std::string& recordType, std::size_t walked) {
        Table& layout = form_.cdsTraccCorrente;
        layout.setFilter(recordFilter(recordType));
        layout.setFiltered(true);
        layout.first();
        for (std::size_t i = 0; i < walked; ++i) layout.next();
    }

    FormState& form_;
    RecordPlans* outer_;
    // By record type, in the order first written (a dozen at most).
    std::vector<std::pair<std::string, std::vector<LayoutRow>>> plans_;
    BankRules rules_;
    std::optional<Field> recordCount_;  // cdsTot's TOT_RECORD, once a record is written
    std::string lastType_;
    std::size_t lastWalked_ = 0;
};

namespace {

// Room for the whole file once the header record is written, taking its
// width for every record: a disposition gives at most ten records (10, 16,
// 17, 20, 30, 35, 40, 50, 65, 70), plus the footer. Pages of the reserve that
// are never written are not taken from the system, so a generous guess costs
// nothing; a short one only lets the buffer grow.
void reserveForDispositions(FormState& form) {
    BankFileText& text = *form.lineList;
    const std::size_t width = std::max<std::size_t>(text.content.size(), 128);
    const std::size_t recordsEach = 10;
    const std::size_t dispositions = static_cast<std::size_t>(form.cdsDisp.viewCount());
    text.content.reserve(text.content.size() + width * (recordsEach * dispositions + 1));
}

}  // namespace

void CreateBankFile(FormState& form, std::optional<std::vector<PayrollPayment>> payroll) {
    RegisterEntry entry = BankFileEntry(form, !payroll);
    if (payroll) entry.payments = std::move(*payroll);
    ProduceBankFile(
        form,
        [&form](ReplacementFile& file) {
            BankFileText text;
            text.spill = [&file](std::string_view block) { file.write(block); };
            LineListLease lease(form, text);
            BuildRecords(form);
            file.write(text.content);
        },
        [&form](int fd, const std::string& path, TextFileWriter& log) { LogOpenFile(form, fd, path, log); }, entry);
}

void BuildRecords(FormState& form) {
    Table& tot = form.cdsTot;
    tot.close();
    std::vector<FieldDef> defs(3);
    defs[0].name = "PROGRESSIVO";
    defs[1].name = "TOT_IMP_POS";
    defs[2].name = "TOT_RECORD";
    for (FieldDef& d : defs) d.type = FieldType::Int64;
    tot.setFieldDefs(std::move(defs));
    tot.createDataSet();
    tot.insert();

    FieldLookup lookup(form);
    RecordPlans plans(form);
    WriteRecord(form, "PC");
    if (form.lineList && !form.checkSink && !form.lineList->spill) reserveForDispositions(form);
    WriteDispositionRecords(form);
    WriteRecord(form, "EF");
}

void WriteRecord(FormState& form, const std::string& recordType) {
    if (!form.lineList) throw AssertionFailure();
    form.currentLine.clear();
    if (RecordPlans* plans = form.recordPlans) {
        plans->write(recordType);
        return;
    }
    Table& layout = form.cdsTraccCorrente;
    layout.setFilter(recordFilter(recordType));
    layout.setFiltered(true);
    if (layout.isEmpty()) return;

    addToTotal(form, "TOT_RECORD", 1, kRefusedRecords);
    if (form.checkSink) {
        // A check run: every field is looked at, a failing one is noted and the record goes on.
        for (layout.first(); !layout.eof(); layout.next())
            if (!CheckField(form, *form.checkSink)) break;
    } else {
        for (layout.first(); !layout.eof(); layout.next()) form.currentLine += FormatField(form);
    }
    form.lineList->addLine(form.currentLine);
}

void WriteDispositionRecords(FormState& form) {
    Table& disp = form.cdsDisp;
    for (disp.first(); !disp.eof(); disp.next()) {
        addToTotal(form, "PROGRESSIVO", 1, kRefusedDispositions);
        WriteDispositionGroup(form);
        addToTotal(form, "TOT_IMP_POS", BuildField(form, disp, "IMPORTO").asInteger(), kRefusedAmounts);
    }
}

void WriteDispositionGroup(FormState& form) {
    // IMPGID is read where a record depends on it, never ahead: a disposition
    // without it fails after its "10" record, in a build and in a check run.
    WriteRecord(form, "10");
    if (HasOrderingIban(form)) WriteRecord(form, "16");
    if (IsAccountPayment(form)) WriteRecord(form, "17");
    WriteRecord(form, "20");
    WriteRecord(form, "30");
    const std::int64_t impgid = BuildField(form, form.cdsDisp, "IMPGID").asInteger();
    if (HasPaymentDetailsRecord(impgid)) WriteRecord(form, "35");
    for (const char* type : {"40", "50", "65", "70"}) WriteRecord(form, type);
}

bool IsAccountPayment(FormState& form) {
    return IsAccountPaymentKind(BuildField(form, form.cdsDisp, "IMPGID").asInteger());
}

bool HasOrderingIban(FormState& form) {
    for (const char* name : {"CIN_ORDINANTE", "IBAN_STATO_ORDINANTE", "IBAN_CKD_ORDINANTE"})
        if (BuildField(form, form.cdsDisp, name).asText().empty()) return false;
    return true;
}

}  // namespace doz

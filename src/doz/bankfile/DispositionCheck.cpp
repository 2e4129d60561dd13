// The check run: the bank file's record sequence walked to the end, with every
// failing field noted instead of ending the command.
#include "bankfile/DispositionCheck.h"

#include <algorithm>
#include <climits>

#include "bankfile/BankFileWriter.h"
#include "bankfile/BankNotices.h"
#include "bankfile/EPztBanca.h"
#include "bankfile/FieldFormatting.h"
#include "bankfile/FieldValidation.h"
#include "layout/Catalogue.h"
#include "platform/Ansi.h"
#include "platform/Error.h"

namespace doz {

namespace {

bool isFileRecord(const std::string& recordType) { return recordType == "PC" || recordType == "EF"; }

std::string layoutColumn(Table& layout, std::string_view column) {
    if (!layout.active() || layout.isEmpty()) return {};
    const std::optional<Field> f = layout.findField(column);
    return f ? f->asText() : std::string();
}

// PROGRESSIVO as the walk has it: the number of the disposition being written.
int currentProgressive(FormState& form) {
    if (!form.cdsTot.active() || form.cdsTot.isEmpty()) return 0;
    const std::optional<Field> f = form.cdsTot.findField("PROGRESSIVO");
    return f ? static_cast<int>(f->asInteger()) : 0;
}

// Runs one step of a field and notes the failures the OK command would stop
// at; other errors (files, memory) still end the run. True when it passed.
template <class Step>
bool noted(FormState& form, CheckSink& sink, Step&& step) {
    try {
        step();
        return true;
    } catch (const EPztBanca& e) {
        NoteAtCurrentField(form, sink, FindingKind::Error, e.what());
    } catch (const AssertionFailure& e) {
        NoteAtCurrentField(form, sink, FindingKind::Error, e.what());
    } catch (const DataError& e) {
        NoteAtCurrentField(form, sink, FindingKind::Error, e.what());
    }
    return false;
}

// After a field whose start did not fit: the line is brought to the field's
// declared end, so that the following fields are judged on their own. False
// when the position itself cannot be read.
bool realignToField(FormState& form) {
    FieldPosition p;
    try {
        p = ParsePos(form.cdsTraccCorrente.fieldByName("Pos").asText());
    } catch (const DataError&) {
        return false;
    }
    if (p.start < 1 || p.length < 0) return false;
    form.currentLine.resize(static_cast<std::size_t>(p.start - 1), ' ');
    form.currentLine.append(static_cast<std::size_t>(p.length), ' ');
    return true;
}

// Hands the window the sink and a scratch bank file for one run, and takes
// both back however the run ends.
class CheckRun {
public:
    CheckRun(FormState& form, CheckSink& sink) : form_(form), sink_(form.checkSink), lines_(form.lineList) {
        form_.checkSink = &sink;
        form_.lineList = &scratch_;
    }
    ~CheckRun() {
        form_.checkSink = sink_;
        form_.lineList = lines_;
    }
    CheckRun(const CheckRun&) = delete;
    CheckRun& operator=(const CheckRun&) = delete;

private:
    FormState& form_;
    CheckSink* sink_;
    BankFileText* lines_;
    BankFileText scratch_;
};

// Findings sort by the disposition they belong to: the header record first,
// the footer record last, the notices of a disposition after its records.
int rank(const CheckFinding& f) { return f.recordType == "EF" ? INT_MAX : f.disposition; }

}  // namespace

void NoteAtCurrentField(FormState& form, CheckSink& sink, FindingKind kind, const std::string& message) {
    CheckFinding f;
    f.kind = kind;
    f.message = message;
    if (const CheckPlace* place = form.checkPlace) {
        f.recordType = *place->recordType;
        f.field = *place->field;
    } else {
        f.recordType = layoutColumn(form.cdsTraccCorrente, "Record");
        if (layoutColumn(form.cdsTraccCorrente, "ColType") != "F")
            f.field = layoutColumn(form.cdsTraccCorrente, "FieldName");
    }
    if (!isFileRecord(f.recordType)) {
        f.disposition = currentProgressive(form);
        if (f.disposition > 0) f.payee = PayeeName(form);
    }
    sink.add(std::move(f));
}

bool CheckField(FormState& form, CheckSink& sink) {
    form.currentFieldLength = -1;  // FormatFieldText sets it once the field's start has passed
    std::string value;
    std::string blanked;
    if (!noted(form, sink, [&] { value = FormatFieldText(form, &blanked); })) {
        if (form.currentFieldLength < 0) return realignToField(form);
        form.currentLine.append(static_cast<std::size_t>(form.currentFieldLength), ' ');
        return true;
    }
    ControlCharacterNotice(form, blanked, sink);
    noted(form, sink, [&] { ValidateField(form, value); });
    FieldNotices(form, value, sink);
    form.currentLine += value;
    return true;
}

bool CheckPreparedField(FormState& form, LayoutRow& row, const std::string& recordType, BankRules& rules,
                        CheckSink& sink) {
    static const std::string kNoField;
    const CheckPlace place{&recordType, row.shape == LayoutRow::Shape::Filler ? &kNoField : &*row.fieldName};
    struct Placed {
        FormState& form;
        ~Placed() { form.checkPlace = nullptr; }
    } placed{form};
    form.checkPlace = &place;

    std::string& line = form.currentLine;
    const std::size_t at = line.size();
    const FieldPosition p = *row.position;
    if (static_cast<std::size_t>(p.start) != at + 1 || p.start < 1) {
        // As CheckField: the misplaced field is noted and the line brought to its declared end.
        NoteAtCurrentField(form, sink, FindingKind::Error, *row.pos);
        if (p.start < 1 || p.length < 0) return false;
        line.resize(static_cast<std::size_t>(p.start - 1), ' ');
        line.append(static_cast<std::size_t>(p.length), ' ');
        return true;
    }
    std::string blanked;
    if (!noted(form, sink, [&] { AppendPreparedText(form, row, &blanked); })) {
        line.append(row.width, ' ');
        return true;
    }
    if (row.shape == LayoutRow::Shape::Filler) return true;
    const std::string_view text = std::string_view(line).substr(at);
    ControlCharacterNotice(form, blanked, sink);
    noted(form, sink, [&] { ValidatePrepared(form, row, text, rules); });
    CutValueNotice(form, FieldSourceText(form, row), text, sink);
    if (!row.numeric) TextNotices(form, text, sink);
    return true;
}

void CheckAllDispositions(FormState& form, CheckSink& sink) {
    const std::size_t first = sink.findings().size();
    form.confirmedWarnings.reset();
    {
        CheckRun run(form, sink);
        try {
            BuildRecords(form);
        } catch (const Error& e) {
            // Not tied to one field: the walk cannot go on.
            if (dynamic_cast<const IoError*>(&e)) throw;
            CheckFinding f;
            f.message = e.what();
            f.disposition = currentProgressive(form);
            if (f.disposition > 0 && form.cdsDisp.active() && !form.cdsDisp.eof()) f.payee = PayeeName(form);
            sink.add(std::move(f));
        }
    }
    form.confirmedWarnings.reset();

    DispositionNotices notices;
    int number = 0;
    Table& disp = form.cdsDisp;
    if (disp.active())
        for (disp.first(); !disp.eof(); disp.next()) notices.check(form, ++number, sink);

    std::vector<CheckFinding>& all = sink.findings();
    std::stable_sort(all.begin() + static_cast<std::ptrdiff_t>(first), all.end(),
                     [](const CheckFinding& a, const CheckFinding& b) { return rank(a) < rank(b); });
}

std::string PayeeName(FormState& form) {
    const std::optional<Field> f = form.cdsDisp.findField("DESC_DESTINATARIO");
    if (!f) return {};
    std::string name = f->asText();
    while (!name.empty() && static_cast<unsigned char>(name.back()) <= 32) name.pop_back();
    blankControlCharacters(name);  // one finding, one line
    return name;
}

}  // namespace doz

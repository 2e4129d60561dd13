// The bank file: which records it holds and in which order, the running
// totals the records quote, and the writing of the finished file in one piece.
#include "bankfile/BankFileWriter.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdint>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "bankfile/DispositionCheck.h"
#include "bankfile/EPztBanca.h"
#include "bankfile/FieldFormatting.h"
#include "bankfile/FieldValidation.h"
#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/Files.h"
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

[[noreturn]] void ioFailedToRead(const std::string& path, int err) {
    throw IoError("Impossibile leggere il file '" + path + "': " + utf8ToAnsi(std::strerror(err)));
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

// The layout rows of each record type, read once for a whole build instead of
// filtering and reading the layout table again for every record. The layout
// table is left as the row-by-row walk leaves it: filtered on the last record
// type written, past its last row, or on the row of the field that failed.
class RecordPlans {
public:
    explicit RecordPlans(FormState& form) : form_(form), outer_(active_) { active_ = this; }
    ~RecordPlans() {
        active_ = outer_;
        if (lastType_.empty()) return;
        try {
            placeLayout(lastType_, lastWalked_);
        } catch (...) {
            // The filter compiled when the plan was made; nothing to report here.
        }
    }
    RecordPlans(const RecordPlans&) = delete;
    RecordPlans& operator=(const RecordPlans&) = delete;

    // The plans of this form's running build or check run.
    static RecordPlans* of(FormState& form) { return active_ && &active_->form_ == &form ? active_ : nullptr; }

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

    static inline RecordPlans* active_ = nullptr;
};

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

// Puts the bank file, written as it was built, in place and, at the same
// time, logs it (read back from the new file) into a file that takes the
// log's place only once the bank file is saved and the log is whole. A bank
// file that cannot be saved leaves the old log as it was. Once the bank file
// is saved the old log, which belongs to the old bank file, is removed at
// once (its blocks are freed while the new log is still being written): the
// log is then the old one, none, or the whole new one. The log is a help for
// the developer and never stops the command: a log that cannot be written
// whole is not put in place, and form.logFailure says why.
void SaveAndLog(FormState& form, ReplacementFile& file, const ContentLog& logContent) {
    const std::string& path = file.path();
    form.logFailure.clear();
    auto logFailed = [&form](std::exception_ptr failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            form.logFailure = e.what();
        } catch (...) {
            form.logFailure = "errore sconosciuto";
        }
    };
    // The new file read back for the log, through a descriptor of its own: the
    // save closes the writer's.
    const int readBack = ::dup(file.descriptor());
    struct Closer {
        int fd;
        ~Closer() {
            if (fd >= 0) ::close(fd);
        }
    } closer{readBack};

    // The log folder is made only for a bank file that was saved: without it,
    // the save comes first.
    const bool alongside = directoryExists(LogFolder(form));
    std::optional<TextFileWriter> log;
    std::string logPath;
    if (alongside) {
        try {
            logPath = FileLogPath(form);
            log.emplace(logPath);
        } catch (...) {
            logFailed(std::current_exception());
        }
    }
    // A bank file saved over the log file itself is not logged, and that file is not removed.
    const std::string oldLog = !logPath.empty() && !sameFile(path, logPath) ? logPath : std::string();

    std::exception_ptr saveFailure;
    auto save = [&saveFailure, &file, oldLog]() noexcept {
        try {
            file.commit();
        } catch (...) {
            saveFailure = std::current_exception();
            return;
        }
        if (!oldLog.empty()) ::unlink(oldLog.c_str());
    };
    std::jthread saver;  // joined however this function ends
    if (alongside) {
        try {
            saver = std::jthread(save);
        } catch (const std::system_error&) {
            save();  // no thread to be had: one after the other
        }
    } else {
        save();
    }
    if (!saver.joinable() && saveFailure) std::rethrow_exception(saveFailure);

    bool logged = false;
    if (form.logFailure.empty()) {
        try {
            if (readBack < 0) ioFailedToRead(path, errno);
            if (!log) {
                logPath = FileLogPath(form);
                log.emplace(logPath);
            }
            logContent(readBack, path, *log);
            logged = true;
        } catch (...) {
            logFailed(std::current_exception());
        }
    }

    if (saver.joinable()) {
        saver.join();
        if (saveFailure) std::rethrow_exception(saveFailure);  // the new log goes with it
    }
    if (BankFileIsItsLog(form, logPath)) {
        form.logFailure.clear();
        return;
    }
    try {
        if (logged) log->close();
    } catch (...) {
        logFailed(std::current_exception());
    }
    // A log not written whole is not kept, and the old one went with the old bank file.
    if (!form.logFailure.empty() && !logPath.empty()) ::unlink(logPath.c_str());
}

}  // namespace

void CreateBankFile(FormState& form) {
    ProduceBankFile(
        form,
        [&form](ReplacementFile& file) {
            BankFileText text;
            text.spill = [&file](std::string_view block) { file.write(block); };
            LineListLease lease(form, text);
            BuildRecords(form);
            file.write(text.content);
        },
        [&form](int fd, const std::string& path, TextFileWriter& log) { LogOpenFile(form, fd, path, log); });
}

void ProduceBankFile(FormState& form, const ContentWriter& write, const ContentLog& logContent) {
    WindowPort& window = form.window;
    const std::string path = window.text("cbBancaFile");
    if (fileExists(path) && !window.askYesNo("Il file esiste gi\xE0. Sostituirlo ?")) throw SilentAbort();
    if (directoryExists(path))
        throw IoError("Impossibile creare il file della banca: '" + path + "' \xE8 una cartella.");

    {
        // Written as it is built, into a file that has no name until it is
        // saved: a build that stops leaves nothing behind.
        ReplacementFile file(path);
        write(file);
        SaveAndLog(form, file, logContent);
    }

    if (window.askYesNo("File prodotto con successo. Si vuole aprire la cartella relativa ?")) {
        try {
            window.openWithDesktop(extractFilePath(path));
        } catch (...) {
            // Showing the folder is a courtesy; its failure is not reported.
        }
    }
    window.close();
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
    if (RecordPlans* plans = RecordPlans::of(form)) {
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
    if (impgid == 2 || impgid == 4) WriteRecord(form, "35");
    for (const char* type : {"40", "50", "65", "70"}) WriteRecord(form, type);
}

bool IsAccountPayment(FormState& form) {
    const std::int64_t impgid = BuildField(form, form.cdsDisp, "IMPGID").asInteger();
    return impgid == 3 || impgid == 5;
}

bool HasOrderingIban(FormState& form) {
    for (const char* name : {"CIN_ORDINANTE", "IBAN_STATO_ORDINANTE", "IBAN_CKD_ORDINANTE"})
        if (BuildField(form, form.cdsDisp, name).asText().empty()) return false;
    return true;
}

}  // namespace doz

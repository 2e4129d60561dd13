#include "XmlBankFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>

#include "CheckList.h"
#include "bankfile/BankFileWriter.h"
#include "bankfile/DispositionCheck.h"
#include "bankfile/EPztBanca.h"
#include "findings/Findings.h"
#include "layout/Catalogue.h"
#include "layout/Dispositions.h"
#include "payroll/PayrollReview.h"
#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/Regional.h"
#include "platform/SystemErrors.h"
#include "publish/Publish.h"
#include "reports/Reports.h"
#include "sepa/FromDispositions.h"
#include "sepa/Prepare.h"
#include "sepa/Schema.h"
#include "sepa/Stream.h"
#include "sepa/Writer.h"
#include "sepa/XmlLog.h"

namespace doz {

namespace {

namespace fs = std::filesystem;

sepa::Form messageForm(BankFileKind kind) {
    switch (kind) {
        case BankFileKind::CbiRequest: return sepa::Form::CbiRequest;
        case BankFileKind::Pain001: return sepa::Form::Pain001;
        default: return sepa::Form::CbiBody;
    }
}

// The schema of a message, or nothing when it is not to be had. The ISO
// schema ships with the program; a copy in the schema folder comes first.
std::optional<fs::path> schemaFile(const FormState& form, sepa::Form f) {
    const std::string name(sepa::SchemaFileName(f));
    std::error_code ec;
    const fs::path own = SchemaFolder(form) / name;
    if (fs::is_regular_file(own, ec)) return own;
    if (f == sepa::Form::Pain001) {
        const fs::path shipped = sepa::BundledSchemaFolder();
        if (!shipped.empty() && fs::is_regular_file(shipped / name, ec)) return shipped / name;
    }
    return std::nullopt;
}

// The payments handed to the register at a time while the transfers are walked.
constexpr std::size_t kRecordedPart = 4096;

// A draft of the bank file at `path` to write the document into ahead, or
// none where the file cannot be made now (the failure is then told where the
// file is written).
std::unique_ptr<ReplacementFile> draftOf(const std::string& path) {
    if (path.empty() || directoryExists(path)) return nullptr;
    try {
        return std::make_unique<ReplacementFile>(path);
    } catch (const Error&) {
        return nullptr;
    }
}

std::string absentSchemaText(const FormState& form, sepa::Form f) {
    return "Schema " + std::string(sepa::SchemaFileName(f)) + " non trovato nella cartella " +
           utf8ToAnsi(SchemaFolder(form).string()) +
           ": il file \xE8 controllato solo dai controlli del programma.";
}

// The schema's complaint as the user reads it (Windows-1252).
std::string schemaComplaint(const fs::path& xsd, const std::string& complaint) {
    return "Il file non rispetta lo schema " + utf8ToAnsi(xsd.filename().string()) + ": " + utf8ToAnsi(complaint);
}

// The log of an XML bank file made by the schema's validation as it reads
// the document, so that the file is not read and parsed a second time: the
// lines go to a file without a name in the log folder while the document is
// written, and are copied into the log once the bank file is saved. Without
// the log folder (the first export), a schema or whole lines, the saved file
// is read back and logged instead.
class LogAlongside {
public:
    explicit LogAlongside(FormState& form) {
        try {
            if (!directoryExists(LogFolder(form))) return;
            spool_.emplace(FileLogPath(form) + ".righe");
            lines_.emplace([this](std::string_view lines) { spool_->write(lines); });
        } catch (...) {
            spool_.reset();  // the log is a help: it is then made from the saved file
        }
    }

    sepa::XmlLogLines* lines() { return lines_ ? &*lines_ : nullptr; }

    // After the validation: whether it handed over the whole document.
    void validated(bool whole) {
        if (!lines_ || !whole) return;
        try {
            lines_->finish();
            whole_ = true;
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    // The content log of the saved file (ContentLog).
    void log(int fd, const std::string& path, TextFileWriter& log) {
        if (failure_) std::rethrow_exception(failure_);
        if (!whole_) {
            sepa::LogXmlFile(fd, path, log);
            return;
        }
        std::string block(std::size_t{1} << 20, '\0');
        for (off_t at = 0;;) {
            const ssize_t n = ::pread(spool_->descriptor(), block.data(), block.size(), at);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw IoError("Impossibile leggere le righe del log: " + systemErrorText(errno));
            if (n == 0) break;
            log.write(std::string_view(block.data(), static_cast<std::size_t>(n)));
            at += n;
        }
    }

private:
    std::optional<ReplacementFile> spool_;
    std::optional<sepa::XmlLogLines> lines_;
    bool whole_ = false;
    std::exception_ptr failure_;
};

std::string leftOutNote(const sepa::LeftOutPayment& p) {
    const std::string kind = p.kind.empty() ? std::string("Pagamento per cassa o con assegno") : p.kind;
    return kind + " di " + sepa::GroupedCents(p.cents, "Importo della disposizione " + std::to_string(p.disposition)) +
           ": non \xE8 un bonifico e non sar\xE0 nel file";
}

std::string isoText(const sepa::Date& d) {
    if (d.empty()) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    return text;
}

// OK stops at the first error of the checks, with the grid standing on the
// disposition that failed, as the fixed-width walk leaves it.
[[noreturn]] void throwFirstError(FormState& form, const CheckSink& sink) {
    for (const CheckFinding& finding : sink.findings())
        if (finding.kind == FindingKind::Error) {
            SelectDisposition(form, finding.disposition);
            throw EPztBanca(FormatFinding(finding));
        }
    throw AssertionFailure();  // a failed check always leaves an error
}

// What the register keeps of a request: its id and dates, and the credit
// transfers it carries (`transfers`, RequestPayroll) with the IBAN as written.
void describeMessage(const sepa::Message& header, std::vector<PayrollPayment> transfers, RegisterEntry& entry) {
    entry.messageId = header.messageId;
    char time[16];
    std::snprintf(time, sizeof time, "T%02d:%02d:%02d", header.created.hour, header.created.minute,
                  header.created.second);
    entry.creationDate = isoText(header.created.date) + time;
    entry.executionDate = isoText(header.execution);
    if (RegisterEnabled()) entry.payments = std::move(transfers);
}

}  // namespace

fs::path SchemaFolder(const FormState& form) {
    if (!form.paths.schemaFolder.empty()) return form.paths.schemaFolder;
    if (form.settings) {
        const std::string setting = form.settings->readString("Dati", "CartellaSchemi", "");
        if (!setting.empty()) return setting;
    }
    return fs::path(form.paths.mainFolder) / "usr/Pzt/doz/xsd";
}

void CreateXmlBankFile(FormState& form) {
    WindowPort& window = form.window;
    const sepa::Form f = messageForm(CurrentBankFileKind(form));
    // The transfers are read again as they are written: the request is never held whole.
    sepa::RequestReader reader(form, f);
    sepa::LeftOut leftOut;
    // The message without its transfers, which exist only one at a time while read.
    sepa::Message header = reader.header(leftOut);

    const std::optional<fs::path> xsd = schemaFile(form, f);

    // Every check comes before the questions: a wrong CUC or date is said
    // first, not after the user agreed to leave payments out or replace a file.
    // The walk that checks also gathers the payments the transfers make for
    // the payroll checks and the register, and writes the document ahead into
    // a draft of the bank file (no name until it is saved) with the schema's
    // validation beside it, so that the transfers are walked once. What it
    // cannot do ahead (no draft to be had, a draft that could not be written,
    // a schema that cannot be read, a total beyond the program's limit) is
    // left to a walk that writes after the questions, as the failure is told
    // there.
    std::optional<RequestPayroll> payroll(std::in_place, form, reader.transferCount());
    std::unique_ptr<ReplacementFile> draft = draftOf(window.text("cbBancaFile"));
    // The register's copy of the draft is made as the draft grows; a keeper
    // that cannot start now is tried again, and told, where the file is saved.
    std::string keepFailure;
    std::unique_ptr<ContentKeeper> kept = draft ? KeepContent(form, *draft, keepFailure) : nullptr;
    std::optional<LogAlongside> logLines;
    std::optional<sepa::StreamedRequest> drafted;
    // Where no person answers the questions, the register is written while
    // the transfers are walked: their payments go to it part by part.
    std::unique_ptr<RegisterRecording> recording;
    if (draft && form.answersAtOnce && RegisterEnabled()) {
        recording = std::make_unique<RegisterRecording>(form.paths.mainFolder);
        if (!recording->startInParts()) recording.reset();
    }
    std::size_t handed = 0;
    auto handOn = [&recording, &payroll, &handed](std::size_t atLeast) {
        const std::vector<PayrollPayment>& taken = payroll->taken();
        if (!recording || taken.size() - handed < atLeast) return;
        recording->take(std::vector<PayrollPayment>(taken.begin() + static_cast<std::ptrdiff_t>(handed), taken.end()));
        handed = taken.size();
    };
    if (draft) {
        bool writeFailed = false;
        try {
            CheckSink sink;
            if (xsd) logLines.emplace(form);
            const sepa::StreamedRequest request = sepa::StreamRequest(
                reader, header, sink, true, xsd,
                [&draft, &writeFailed](std::string_view piece) {
                    if (writeFailed) return;
                    try {
                        draft->write(piece);
                    } catch (const Error&) {
                        writeFailed = true;  // written again after the questions, where it fails for the user
                    }
                },
                logLines ? logLines->lines() : nullptr, [&payroll, &handOn](const sepa::Transfer& t) {
                    payroll->take(t);
                    handOn(kRecordedPart);
                });
            if (!request.checked) throwFirstError(form, sink);
            handOn(1);
            if (!writeFailed) drafted = request;
        } catch (const EPztBanca&) {
            throw;
        } catch (const std::exception&) {
            // Told by the walk after the questions.
        }
        if (!drafted) {
            kept.reset();
            draft.reset();
            logLines.reset();
            recording.reset();
            reader.rewind();
        } else {
            if (kept) kept->complete();  // nothing more is written to the draft
            if (logLines) logLines->validated(drafted->logged);
        }
    }
    if (!drafted) {
        payroll.emplace(form, reader.transferCount());
        CheckSink sink;
        const sepa::StreamedRequest checked = sepa::StreamRequest(
            reader, header, sink, true, std::nullopt, {}, nullptr, [&payroll](const sepa::Transfer& t) { payroll->take(t); });
        if (!checked.checked) throwFirstError(form, sink);
    }
    reader.rewind();
    std::vector<PayrollPayment> transfers = std::move(*payroll).payments();
    // The payroll's own error (a past execution date) is said before its question.
    ConfirmXmlPayroll(form, header, transfers);

    if (!leftOut.payments.empty() && !window.askYesNo(sepa::LeftOutQuestion(leftOut))) throw SilentAbort();
    if (!xsd && !form.schemaAbsenceTold) {
        window.showMessage(absentSchemaText(form, f));
        form.schemaAbsenceTold = true;
    }
    RegisterEntry entry = BankFileEntry(form, false);
    describeMessage(header, std::move(transfers), entry);
    const ReplacementFile* const ahead = draft.get();
    ProduceBankFile(
        form,
        [&](ReplacementFile& file) {
            if (&file == ahead) {
                // Written and validated ahead: only the schema's verdict is left.
                if (drafted->complaint) throw EPztBanca(schemaComplaint(*xsd, *drafted->complaint));
                return;
            }
            // Written into the new file and validated against the schema as it
            // grows; the file is put in place only once all of it passed.
            CheckSink sink;
            if (xsd) logLines.emplace(form);
            const sepa::StreamedRequest request =
                sepa::StreamRequest(reader, header, sink, true, xsd, [&file](std::string_view piece) { file.write(piece); },
                                    logLines ? logLines->lines() : nullptr);
            if (logLines) logLines->validated(request.logged);
            if (!request.checked) throwFirstError(form, sink);
            if (request.complaint) throw EPztBanca(schemaComplaint(*xsd, *request.complaint));
        },
        [&logLines](int fd, const std::string& path, TextFileWriter& log) {
            if (logLines)
                logLines->log(fd, path, log);
            else
                sepa::LogXmlFile(fd, path, log);  // the saved file, read back
        },
        entry, std::move(draft), std::move(recording), std::move(kept));
}

void CheckXmlBankFile(FormState& form, CheckSink& sink) {
    const sepa::Form f = messageForm(CurrentBankFileKind(form));
    sepa::RequestReader reader(form, f);
    sepa::LeftOut leftOut;
    sepa::Message header = reader.header(leftOut);  // without its transfers
    for (const sepa::LeftOutPayment& p : leftOut.payments)
        sink.add({FindingKind::Notice, p.disposition, p.payee, {}, "IMPGID", leftOutNote(p)});
    // Names the reading of the dispositions wrote in Latin letters.
    Table& disp = form.cdsDisp;
    int number = 0;
    for (disp.first(); !disp.eof(); disp.next()) NarrowedTextNotices(form, ++number, PayeeName(form), sink);

    const std::optional<fs::path> xsd = schemaFile(form, f);
    // Only a message that passed its own checks is worth the schema's opinion.
    RequestPayroll payroll(form, reader.transferCount());
    const sepa::StreamedRequest request = sepa::StreamRequest(reader, header, sink, false, xsd, {}, nullptr,
                                                              [&payroll](const sepa::Transfer& t) { payroll.take(t); });
    CheckXmlPayroll(form, header, std::move(payroll).payments(), sink);
    if (!xsd) {
        sink.add({FindingKind::Notice, 0, {}, {}, {}, absentSchemaText(form, f)});
        return;
    }
    if (request.complaint) sink.add({FindingKind::Error, 0, {}, {}, {}, schemaComplaint(*xsd, *request.complaint)});
}

void WriteXmlFileLog(FormState& form) {
    const std::string content = readWholeFile(form.window.text("cbBancaFile"));
    const std::string logPath = FileLogPath(form);
    if (BankFileIsItsLog(form, logPath)) return;
    TextFileWriter log(logPath);
    sepa::LogXmlContent(content, log);
    log.close();
}

void CheckBankFile(FormState& form, CheckSink& sink) {
    if (IsXmlBank(form)) {
        CheckXmlBankFile(form, sink);
        return;
    }
    CheckAllDispositions(form, sink);
    CheckFixedWidthPayroll(form, sink);
}

void CreateChosenBankFile(FormState& form) {
    if (IsXmlBank(form)) {
        CreateXmlBankFile(form);
        return;
    }
    CreateBankFile(form, ConfirmFixedWidthPayroll(form));
}

}  // namespace doz

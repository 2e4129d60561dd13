#include "XmlBankFile.h"

#include <cstdio>
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
#include "publish/Publish.h"
#include "reports/Reports.h"
#include "sepa/FromDispositions.h"
#include "sepa/Prepare.h"
#include "sepa/Schema.h"
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

std::string absentSchemaText(const FormState& form, sepa::Form f) {
    return "Schema " + std::string(sepa::SchemaFileName(f)) + " non trovato nella cartella " +
           utf8ToAnsi(SchemaFolder(form).string()) +
           ": il file \xE8 controllato solo dai controlli del programma.";
}

// Writes the document and, when there is a schema, validates it while it is
// written: the schema's complaint (Windows-1252), or nothing when it is valid.
std::optional<std::string> writeDocument(const sepa::Message& message, const std::optional<fs::path>& xsd,
                                         std::string& document) {
    if (!xsd) {
        sepa::WriteMessage(message, document);
        return std::nullopt;
    }
    const sepa::SchemaValidator validator(*xsd);
    if (std::optional<std::string> complaint = sepa::WriteAndValidate(message, validator, document))
        return "Il file non rispetta lo schema " + utf8ToAnsi(xsd->filename().string()) + ": " + utf8ToAnsi(*complaint);
    return std::nullopt;
}

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

// What the register keeps of a message: its id and dates, and the credit
// transfers it carries with the IBAN as written.
void describeMessage(FormState& form, const sepa::Message& message, RegisterEntry& entry) {
    entry.messageId = message.messageId;
    char time[16];
    std::snprintf(time, sizeof time, "T%02d:%02d:%02d", message.created.hour, message.created.minute,
                  message.created.second);
    entry.creationDate = isoText(message.created.date) + time;
    entry.executionDate = isoText(message.execution);
    if (RegisterEnabled()) entry.payments = PayrollOfRequest(form, message);
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
    sepa::LeftOut leftOut;
    sepa::Message message = sepa::FillMessage(form, f, leftOut);

    // Every check comes before the questions: a wrong CUC or date is said
    // first, not after the user agreed to leave payments out or replace a file.
    CheckSink sink;
    if (!sepa::PrepareMessage(message, sink))
        for (const CheckFinding& finding : sink.findings())
            if (finding.kind == FindingKind::Error) {
                // The grid stands on the disposition that failed, as the fixed-width walk leaves it.
                SelectDisposition(form, finding.disposition);
                throw EPztBanca(FormatFinding(finding));
            }
    const std::optional<fs::path> xsd = schemaFile(form, f);
    std::string document;
    if (std::optional<std::string> complaint = writeDocument(message, xsd, document)) throw EPztBanca(*complaint);
    // The payroll's own error (a past execution date) is said before its question.
    ConfirmXmlPayroll(form, message);

    if (!leftOut.payments.empty() && !window.askYesNo(sepa::LeftOutQuestion(leftOut))) throw SilentAbort();
    if (!xsd && !form.schemaAbsenceTold) {
        window.showMessage(absentSchemaText(form, f));
        form.schemaAbsenceTold = true;
    }
    RegisterEntry entry = BankFileEntry(form, false);
    describeMessage(form, message, entry);
    ProduceBankFile(
        form, [&](ReplacementFile& file) { file.write(document); },
        // The document just saved is the file's content: it is logged from memory.
        [&document](int, const std::string&, TextFileWriter& log) { sepa::LogXmlContent(document, log); }, entry);
}

void CheckXmlBankFile(FormState& form, CheckSink& sink) {
    const sepa::Form f = messageForm(CurrentBankFileKind(form));
    sepa::LeftOut leftOut;
    sepa::Message message = sepa::FillMessage(form, f, leftOut);
    for (const sepa::LeftOutPayment& p : leftOut.payments)
        sink.add({FindingKind::Notice, p.disposition, p.payee, {}, "IMPGID", leftOutNote(p)});
    // Names the reading of the dispositions wrote in Latin letters.
    Table& disp = form.cdsDisp;
    int number = 0;
    for (disp.first(); !disp.eof(); disp.next()) NarrowedTextNotices(form, ++number, PayeeName(form), sink);

    const bool prepared = sepa::PrepareMessage(message, sink);
    CheckXmlPayroll(form, message, sink);
    const std::optional<fs::path> xsd = schemaFile(form, f);
    if (!xsd) {
        sink.add({FindingKind::Notice, 0, {}, {}, {}, absentSchemaText(form, f)});
        return;
    }
    // Only a message that passed its own checks is worth the schema's opinion.
    if (!prepared) return;
    std::string document;
    if (std::optional<std::string> complaint = writeDocument(message, xsd, document))
        sink.add({FindingKind::Error, 0, {}, {}, {}, *complaint});
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

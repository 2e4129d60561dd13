#include "Batch.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CheckList.h"
#include "PztFExport_Banche.h"
#include "XmlBankFile.h"
#include "findings/Findings.h"
#include "bankfile/EPztBanca.h"
#include "layout/Catalogue.h"
#include "layout/Dispositions.h"
#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/MemoryWindow.h"
#include "platform/Regional.h"
#include "platform/SystemErrors.h"
#include "reports/Reports.h"

namespace doz::cli {

namespace {


void printLine(std::FILE* to, const std::string& utf8) { std::fprintf(to, "%s\n", utf8.c_str()); }

// A window message (Windows-1252) as the last line of stderr.
void printMessage(const std::string& cp1252) { printLine(stderr, ansiToUtf8(cp1252)); }

void printDeclined(const MemoryWindow& window) {
    if (window.questions().empty()) {
        printLine(stderr, "Operazione annullata");
        return;
    }
    printLine(stderr, "Operazione annullata: risposta No alla domanda");
    printMessage(window.questions().back().text);
}

// A layout field whose position does not follow the previous field stops the
// command with only the position text, the window's message: the line before
// it names the layout file, the record and the field, where the layout
// table still stands on that field.
void printLayoutPlace(TfmPzExport_Banche& form, const std::string& message) {
    try {
        FormState& state = form.state();
        Table& layout = state.cdsTraccCorrente;
        if (!layout.active() || layout.isEmpty() || layout.eof() || layout.fieldByName("Pos").asText() != message) return;
        const std::string file = state.workingFile(state.cdsTracciati.fieldByName("CodTracciato").asText() + ".Xml");
        printMessage("Tracciato " + file + ", record " + layout.fieldByName("Record").asText() + ", campo " +
                     layout.fieldByName("FieldName").asText() + ": posizione non valida");
    } catch (const Error&) {
        // A layout without those columns: the message alone.
    }
}

// The exit status of the handler that ran last, with its message on stderr.
int outcomeStatus(TfmPzExport_Banche& form, const MemoryWindow& window) {
    const CommandOutcome& outcome = form.lastOutcome();
    auto shown = [&] { return window.errors().empty() ? outcome.message : window.errors().back(); };
    switch (outcome.kind) {
        case OutcomeKind::Ok:
            return kExitDone;
        case OutcomeKind::Declined:
            printDeclined(window);
            return kExitDeclined;
        case OutcomeKind::Assertion:
            printLayoutPlace(form, shown());
            printMessage(shown());
            return kExitValidation;
        case OutcomeKind::Validation:
            // Where the build stopped, then the message alone: the last line is the check's own text.
            if (!outcome.place.empty()) printMessage(outcome.place);
            printMessage(outcome.message);
            return kExitValidation;
        case OutcomeKind::Failure:
            break;
    }
    printMessage(shown());
    return kExitFailure;
}

// The same classification for work run outside the window's handlers.
int exceptionStatus(std::exception_ptr error, const MemoryWindow& window) {
    try {
        std::rethrow_exception(error);
    } catch (const SilentAbort&) {
        printDeclined(window);
        return kExitDeclined;
    } catch (const EPztBanca& e) {
        printMessage(e.what());
        return kExitValidation;
    } catch (const AssertionFailure& e) {
        printMessage(e.what());
        return kExitValidation;
    } catch (const std::exception& e) {
        printMessage(exceptionText(e));
        return kExitFailure;
    }
}

FormPaths pathsFor(const Arguments& args) {
    FormPaths paths = FormPaths::defaults();
    if (args.mainFolder) paths.mainFolder = *args.mainFolder;
    if (args.layouts) {
        paths.workingFolder = *args.layouts;
        while (paths.workingFolder.size() > 1 && paths.workingFolder.back() == '/') paths.workingFolder.pop_back();
    }
    paths.dispositionsArg = args.file;
    if (args.xsdDir) paths.schemaFolder = *args.xsdDir;
    return paths;
}

// Selects the bank in cbBanche as the user would: the first item equal to the
// name. A name the catalogue does not list is a usage error naming the banks.
void selectBank(MemoryWindow& window, const std::string& utf8Name) {
    const std::string name = utf8ToAnsi(utf8Name);
    const std::vector<std::string> items = window.items("cbBanche");
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i] == name) {
            window.setSelectedIndex("cbBanche", static_cast<int>(i));
            return;
        }
    std::string message = "banca non presente nel catalogo: " + utf8Name;
    if (items.empty()) {
        message += " (il catalogo non elenca banche)";
    } else {
        message += "\nbanche disponibili:";
        for (const std::string& item : items) message += "\n  " + ansiToUtf8(item);
    }
    throw UsageError(message);
}

// A header value to fill: the control "ed"/"de" + field and its value.
struct HeaderValue {
    std::string control;
    bool isDate = false;
    std::string text;  // Windows-1252
    DaySerial date = 0;
};

// The header controls: edits of the top panel whose names begin with "ed" or "de".
std::vector<ComponentInfo> headerControls(const WindowPort& window) {
    std::vector<ComponentInfo> out;
    for (const ComponentInfo& c : window.components()) {
        const std::string_view prefix = std::string_view(c.name).substr(0, 2);
        if (isEditKind(c.kind) && c.parent == "pnlTesta" && (prefix == "ed" || prefix == "de")) out.push_back(c);
    }
    return out;
}

std::vector<HeaderValue> resolveHeaderValues(const WindowPort& window, const Arguments& args) {
    const std::vector<ComponentInfo> controls = headerControls(window);
    std::vector<HeaderValue> out;
    for (const auto& [field, value] : args.sets) {
        const ComponentInfo* found = nullptr;
        for (const ComponentInfo& c : controls)
            if (sameName(std::string_view(c.name).substr(2), field)) {
                found = &c;
                break;
            }
        if (!found) {
            std::string message = "--set: campo di testata sconosciuto: " + field + "\ncampi ammessi:";
            for (const ComponentInfo& c : controls) message += " " + c.name.substr(2);
            throw UsageError(message);
        }
        HeaderValue h;
        h.control = found->name;
        h.isDate = found->kind == ComponentKind::DateEdit;
        if (h.isDate) {
            if (!value.empty() && !parseIsoDate(value, h.date))
                throw UsageError("--set " + field + ": data non valida '" + value + "' (serve AAAA-MM-GG, o vuota)");
        } else {
            bool narrowed = false;
            h.text = utf8ToAnsi(value, &narrowed);
            // Said as the check says it of the dispositions' texts.
            if (narrowed)
                printLine(stderr, "--set " + field + ": caratteri non rappresentabili nel file, trascritti in lettere latine: \"" +
                                      ansiToUtf8(shownValue(h.text)) + "\"");
        }
        out.push_back(std::move(h));
    }
    return out;
}

void applyHeaderValues(MemoryWindow& window, const std::vector<HeaderValue>& values) {
    for (const HeaderValue& h : values) {
        if (h.isDate) {
            window.setDate(h.control, h.date);
            continue;
        }
        window.typeText(h.control, h.text);
        // The edit takes only as many characters as it allows; a batch run must not cut silently.
        const std::string kept = window.text(h.control);
        if (kept != h.text)
            throw UsageError("--set " + h.control.substr(2) + ": valore troppo lungo (al massimo " +
                             std::to_string(kept.size()) + " caratteri)");
    }
}

void setRegionalSettings(const Arguments& args) {
    regional() = args.regional ? Regional::forLocale(*args.regional) : Regional::fromEnvironment();
}

// check: the reload of the OK command, then every field of every disposition
// through the same checks, each failure printed; nothing is written.
int runCheck(TfmPzExport_Banche& form, const MemoryWindow& window) {
    FormState& state = form.state();
    CheckSink sink;
    try {
        CheckDispositions(state, sink);
    } catch (...) {
        return exceptionStatus(std::current_exception(), window);
    }
    for (const CheckFinding& finding : sink.findings()) printLine(stdout, ansiToUtf8(FormatFinding(finding)));
    printLine(stdout, ansiToUtf8(FormatFindingCounts(sink)));
    return sink.count(FindingKind::Error) == 0 ? kExitDone : kExitValidation;
}

// The window's start-up, as every command has it: nothing when it went
// well, else the exit status of its failure.
std::optional<int> startUp(const Arguments& args, MemoryWindow& window, TfmPzExport_Banche& form) {
    form.FormCreate();
    if (form.lastOutcome().kind != OutcomeKind::Ok) return outcomeStatus(form, window);
    // The start-up selects the asked bank in place of the saved one or the
    // ABI's: a bank the command does not use is never loaded (its layout files
    // may be missing), and the asked one is loaded, its rules run once for the
    // header controls they show (without the dispositions: reloadWithoutRows).
    // The header values are not filled in yet; every command below reloads the
    // dispositions with them.
    form.chooseBankAtStart(utf8ToAnsi(args.bank));
    // The header is what the arguments give, never the last produced file's.
    form.restoreLastFileAtStart(false);
    form.FormShow();
    if (form.lastOutcome().kind != OutcomeKind::Ok) return outcomeStatus(form, window);
    // Selected and loaded by the start-up when the catalogue lists it; a name
    // it does not list is a usage error naming the banks.
    selectBank(window, args.bank);
    return std::nullopt;
}

// The window command itself; the window and the form belong to the caller.
int runWindowCommandOn(const Arguments& args, const std::vector<HeaderValue>& headerValues, MemoryWindow& window,
                       TfmPzExport_Banche& form) {
    form.state().reloadWithoutRows = true;  // the command reloads with the header values
    if (const std::optional<int> failed = startUp(args, window, form)) return *failed;

    applyHeaderValues(window, headerValues);
    if (!args.output.empty()) window.setText("cbBancaFile", args.output);
    if (args.all) {
        window.setChecked("chEscludiMPG", false);
        form.chEscludiMPGClick();
        if (form.lastOutcome().kind != OutcomeKind::Ok) return outcomeStatus(form, window);
    }

    form.state().reloadWithoutRows = false;
    form.state().dropRawAfterReload = true;
    form.state().answersAtOnce = true;
    switch (args.command) {
        case Command::Export: form.Button2Click(); break;
        case Command::Check: return runCheck(form, window);
        case Command::Distinta: form.Button3Click(); break;
        case Command::Brogliaccio: form.Button1Click(); break;
        default: throw UsageError("sottocomando non valido qui: " + args.commandName);
    }
    // What the window would show in an information box (a missing schema, say).
    for (const std::string& message : window.messages()) printMessage(message);
    const int status = outcomeStatus(form, window);
    if (status == kExitDone) {
        // A log that could not be written does not fail the export; it is said.
        if (args.command == Command::Export && !form.state().logFailure.empty())
            printLine(stderr, "Log non scritto: " + ansiToUtf8(form.state().logFailure));
        if (args.command == Command::Export) printLine(stdout, "File prodotto: " + args.output);
        for (const std::string& path : window.openedPaths()) printLine(stdout, "Report: " + path);
    }
    return status;
}

}  // namespace

int runWindowCommand(const Arguments& args, Leaving leaving) {
    setRegionalSettings(args);
    MemoryWindow window;
    const bool yes = args.yes;
    // What follows a produced file (its folder, its reports) is for the window's user only.
    window.setQuestionPolicy([yes](const std::string& question) {
        if (question.starts_with(TfmPzExport_Banche::kProducedQuestion) ||
            question == TfmPzExport_Banche::kReportsQuestion)
            return false;
        return yes;
    });
    const std::vector<HeaderValue> headerValues = resolveHeaderValues(window, args);

    TfmPzExport_Banche form(window, pathsFor(args));
    const int status = runWindowCommandOn(args, headerValues, window, form);
    if (leaving == Leaving::AtOnce) leaveProcess(status);
    return status;
}

void leaveProcess(int status) {
    // Nothing is left to write: the bank file, the log and the reports are
    // closed by the handlers that wrote them, and Banca.ini is saved at every
    // change. What remains is freeing the tables (millions of small blocks with
    // 100,000 dispositions), which the system does at once when the process ends.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

int runLog(const Arguments& args) {
    MemoryWindow window;
    FormPaths paths = pathsFor(args);
    paths.withoutDispositions = true;
    TfmPzExport_Banche form(window, paths);
    if (const std::optional<int> failed = startUp(args, window, form)) return *failed;
    FormState& state = form.state();
    window.setText("cbBancaFile", args.output);
    form.buLogClick();
    const int status = outcomeStatus(form, window);
    if (status == kExitDone) printLine(stdout, "Log: " + LogFolder(state) + extractFileName(args.output));
    return status;
}

}  // namespace doz::cli

#include "PztFExport_Banche.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>

#include "CheckList.h"
#include "bankfile/BankFileWriter.h"
#include "bankfile/EPztBanca.h"
#include "layout/Catalogue.h"
#include "layout/Dispositions.h"
#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/Regional.h"
#include "platform/SystemErrors.h"
#include "publish/Publish.h"
#include "register/History.h"
#include "register/Sqlite.h"
#include "reports/Reports.h"
#include "XmlBankFile.h"

#ifndef DOZ_VERSION
#define DOZ_VERSION ""
#endif

namespace doz {

namespace {

// The folders asked for at a start without the folder argument.
const std::string kDispositionsDialogTitle = "Cartella di Disposizioni.cds";
const std::string kLayoutsDialogTitle = "Cartella dei tracciati (Tracciati.xml)";
const std::string kNoDispositionsText = "non contiene Disposizioni.cds.";
const std::string kNoLayoutsText = "non contiene Tracciati.xml.";
const std::string kDispositionsNeedText =
    "Per creare il file per la banca il programma legge Disposizioni.cds, le disposizioni del mese "
    "preparate dalle retribuzioni: serve la cartella che lo contiene.";
const std::string kLayoutsNeedText =
    "Per creare il file per la banca il programma legge i tracciati delle banche: serve la cartella "
    "che contiene Tracciati.xml e i file dei tracciati.";

// The header values of the last produced file kept beside the settings: the
// support name and the dates (each "UltimoFile_" + the field).
const char* const kLastFileEdits[] = {"edNOME_SUPPORTO"};
const char* const kLastFileDates[] = {"deData_Creazione", "deData_Disposizione", "deData_Valuta", "deDATA_SCADENZA"};

// The proposed bank file's extension.
constexpr std::string_view kFixedWidthExtension = ".Txt";
constexpr std::string_view kXmlExtension = ".xml";

// Puts the wait cursor on and takes it off however the command ends.
class WaitCursor {
public:
    explicit WaitCursor(WindowPort& w) : w_(w) { w_.setCursor(CursorShape::HourGlass); }
    ~WaitCursor() { w_.setCursor(CursorShape::Default); }

private:
    WindowPort& w_;
};

// Stops the grid's repainting from a table and resumes it however the command ends.
class SuspendedViews {
public:
    explicit SuspendedViews(Table& t) : t_(t) { t_.disableControls(); }
    ~SuspendedViews() { t_.enableControls(); }

private:
    Table& t_;
};

// The commands that work on the dispositions need a bank: without one they
// say so instead of failing on the closed table.
void requireBank(WindowPort& w) {
    if (w.selectedIndex("cbBanche") < 0) throw Error("Scegliere la banca.");
}

}  // namespace

FormPaths FormPaths::defaults() {
    FormPaths p;
    const std::string home = homeFolder();
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const std::string dataHome = (xdg && *xdg) ? std::string(xdg) : home + "/.local/share";
    p.mainFolder = dataHome + "/Ulmor/";
    p.bankFolder = home + "/Ulmordata/Banca";
    p.developerFile = home + "/pzt-retribuzioni/src/doz/PztExport_Banche";
    return p;
}

TfmPzExport_Banche::TfmPzExport_Banche(WindowPort& window, FormPaths paths) : state_(window) {
    state_.paths = std::move(paths);
    if (!state_.paths.mainFolder.empty() && state_.paths.mainFolder.back() != '/') state_.paths.mainFolder += '/';
}

TfmPzExport_Banche::~TfmPzExport_Banche() { FormDestroy(); }

template <class Command>
bool TfmPzExport_Banche::run(Command&& command) {
    lastOutcome_ = {};
    failurePlace_.clear();
    auto report = [&](OutcomeKind kind, const std::string& message) {
        lastOutcome_ = {kind, message, kind == OutcomeKind::Validation ? failurePlace_ : std::string()};
        if (kind == OutcomeKind::Declined) return;
        state_.window.showError(lastOutcome_.place.empty() ? message : lastOutcome_.place + ":\r\n" + message);
    };
    try {
        command();
        return true;
    } catch (const SilentAbort& e) {
        lastOutcome_ = {OutcomeKind::Declined, {}, {}};
    } catch (const EPztBanca& e) {
        report(OutcomeKind::Validation, e.what());
    } catch (const AssertionFailure& e) {
        report(OutcomeKind::Assertion, e.what());
    } catch (const std::bad_alloc&) {
        report(OutcomeKind::Failure, "Memoria insufficiente");
    } catch (const std::exception& e) {
        report(OutcomeKind::Failure, exceptionText(e));
    }
    return false;
}

// ---- lifecycle -------------------------------------------------------------------

void TfmPzExport_Banche::FormCreate() {
    run([&] {
        SetupDispositions(state_);
        const std::string settingsFolder = state_.paths.mainFolder + "usr/Pzt/doz/";
        // The settings object exists even when its folder cannot be made: the
        // window stays usable, reads no settings, and a later save reports its
        // own error.
        state_.settings = std::make_unique<IniFile>(settingsFolder + "Banca.ini");
        const bool developer = !state_.paths.developerFile.empty() && fileExists(state_.paths.developerFile);
        state_.window.setVisible("buLog", developer);
        state_.window.setEnabled("buLog", state_.window.isVisible("buLog"));
        forceDirectories(settingsFolder);
        if (auto placement = ParsePlacement(state_.settings->readString(kSettingsSection, kPlacementKey, "")))
            state_.window.setPlacement(*placement);
    });
}

void TfmPzExport_Banche::FormClose() {
    if (!state_.settings) return;
    // The window's place is a convenience: a settings file that cannot be
    // written was reported when it mattered.
    try {
        state_.settings->writeString(kSettingsSection, kPlacementKey, PlacementText(state_.window.placement()));
    } catch (const std::exception&) {
    }
}

std::string TfmPzExport_Banche::PlacementText(const WindowPlacement& p) {
    return std::to_string(p.x) + "," + std::to_string(p.y) + "," + std::to_string(p.width) + "," +
           std::to_string(p.height) + "," + (p.maximized ? "1" : "0");
}

std::optional<WindowPlacement> TfmPzExport_Banche::ParsePlacement(const std::string& text) {
    int values[5];
    std::size_t at = 0;
    for (int i = 0; i < 5; ++i) {
        const std::size_t end = std::min(text.find(',', at), text.size());
        const std::string part = text.substr(at, end - at);
        if (part.empty() || part.size() > 6 || part.find_first_not_of("-0123456789") != std::string::npos ||
            part.find('-', 1) != std::string::npos || part == "-")
            return std::nullopt;
        values[i] = std::stoi(part);
        if ((i == 4) != (end == text.size())) return std::nullopt;
        at = end + 1;
    }
    if (values[2] < 100 || values[3] < 100 || (values[4] != 0 && values[4] != 1)) return std::nullopt;
    return WindowPlacement{values[0], values[1], values[2], values[3], values[4] == 1};
}

void TfmPzExport_Banche::FormShow() {
    run([&] {
        WindowPort& w = state_.window;
        w.setText("", w.text("") + " v" + ProgramVersion());
        w.setDate("deDATA_SCADENZA", encodeDate(decodeDate(state_.today()).year, 12, 31));
        if (state_.paths.chooseFolders) ChooseFolders();
        LoadCatalogue(state_);
        doz::chEscludiMPGClick(state_);
        if (!state_.paths.withoutDispositions) {
            FoldRegisterJournalAside(state_);
            LoadDispositions(state_);
        }
        LoadSettings();
        w.setDate("deData_Creazione", state_.today());
        forceDirectories(state_.paths.bankFolder);
        w.setText("cbBancaFile", state_.paths.bankFolder + "/" + todayFileName());
        if (restoreLastFile_) RestoreLastFile();
    });
}

void TfmPzExport_Banche::RestoreLastFile() {
    WindowPort& w = state_.window;
    IniFile& ini = *state_.settings;
    const std::string source = ini.readString(kSettingsSection, kLastFileSourceKey, "");
    const std::string file = ini.readString(kSettingsSection, kLastFileKey, "");
    if (source.empty() || file.empty() || source != state_.dispositionsStamp.identity()) return;
    const std::string prefix = kLastFilePrefix;
    for (const char* edit : kLastFileEdits)
        w.setText(edit, ini.readString(kSettingsSection, prefix + (edit + 2), ""));
    for (const char* dateEdit : kLastFileDates) {
        DaySerial date = 0;
        if (parseIsoDate(ini.readString(kSettingsSection, prefix + (dateEdit + 2), ""), date)) w.setDate(dateEdit, date);
    }
    w.setText("cbBancaFile", file);
}

void TfmPzExport_Banche::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    state_.settings.reset();
}

// ---- handlers ----------------------------------------------------------------------

void TfmPzExport_Banche::Button2Click() {
    run([&] {
        WaitCursor cursor(state_.window);
        // The grid does not follow the build row by row: it is brought to the
        // row where the build stopped (or finished) once, when the views resume.
        SuspendedViews views(state_.cdsDisp);
        state_.confirmedWarnings.reset();
        requireBank(state_.window);
        OfferDispositionsReload(state_);
        ReloadDispositions(state_);
        try {
            CreateChosenBankFile(state_);
        } catch (const EPztBanca&) {
            failurePlace_ = OkFailurePlace(state_);  // the error box names the payee or the header value
            throw;
        }
        // The bank file is in place: settings that cannot be saved do not undo it.
        try {
            SaveSettings();
        } catch (const Error& e) {
            state_.window.showMessage("Impostazioni non salvate: " + std::string(e.what()));
        }
        AfterFileProduced();
    });
}

void TfmPzExport_Banche::AfterFileProduced() {
    WindowPort& w = state_.window;
    const std::string path = w.text("cbBancaFile");
    if (w.askYesNo(std::string(kProducedQuestion) + "\r\n" + path + "\r\nSi vuole aprire la cartella relativa ?")) {
        try {
            w.openWithDesktop(extractFilePath(path));
        } catch (...) {
            // Showing the folder is a courtesy; its failure is not reported.
        }
    }
    // The month's reports belong to this file: its name and header, the dispositions just written.
    if (w.askYesNo(kReportsQuestion)) {
        WriteDistinta(state_);
        WriteBrogliaccio(state_);
    }
    w.close();
}

void TfmPzExport_Banche::Button3Click() {
    run([&] {
        WaitCursor cursor(state_.window);
        SuspendedViews views(state_.cdsDisp);
        requireBank(state_.window);
        OfferDispositionsReload(state_);
        ReloadDispositions(state_);
        WriteDistinta(state_);
    });
}

void TfmPzExport_Banche::Button1Click() {
    run([&] {
        WaitCursor cursor(state_.window);
        SuspendedViews views(state_.cdsDisp);
        requireBank(state_.window);
        OfferDispositionsReload(state_);
        ReloadDispositions(state_);
        WriteBrogliaccio(state_);
    });
}

void TfmPzExport_Banche::btnControllaClick() {
    run([&] {
        CheckSink sink;
        {
            WaitCursor cursor(state_.window);
            SuspendedViews views(state_.cdsDisp);
            requireBank(state_.window);
            OfferDispositionsReload(state_);
            // The check walks every row; the grid stays on the row the user had.
            const int row = state_.cdsDisp.active() ? state_.cdsDisp.recNo() : -1;
            CheckDispositions(state_, sink);
            if (row >= 0) doz::SelectDisposition(state_, row + 1);
        }
        CollapseHeaderFindings(state_, sink);
        state_.window.showList(CheckFindingList(sink), [this](int number) { SelectDisposition(number); });
    });
}

// The register's messages name what went wrong ("il registro '...' ..."); the
// window says first what could not be done.
namespace {

template <typename Action>
auto fromRegister(const char* what, Action&& action) {
    try {
        return action();
    } catch (const RegisterError& e) {
        throw Error(std::string(what) + ": " + e.what());
    }
}

}  // namespace

void TfmPzExport_Banche::btnStoricoClick() {
    run([&] {
        const std::vector<HistoryRow> rows =
            fromRegister("Storico non disponibile", [&] { return ProducedFileRows(state_.paths.mainFolder); });
        state_.window.showList(ProducedFileList(rows), [this](int id) { ShowProducedFile(id); });
    });
}

void TfmPzExport_Banche::ShowProducedFile(std::int64_t id) {
    run([&] {
        auto details = std::make_shared<const ProducedFileDetails>(
            fromRegister("Storico non disponibile", [&] { return ProducedFileOf(state_.paths.mainFolder, id); }));
        state_.window.showList(ProducedFilePaymentList(*details),
                               [this, details](int) { SaveProducedFileAgain(details->file); });
    });
}

void TfmPzExport_Banche::SaveProducedFileAgain(const ProducedFile& file) {
    run([&] {
        WindowPort& w = state_.window;
        // Where it was produced, or the bank files' folder when that folder is gone.
        const std::string seed = directoryExists(extractFilePath(file.path))
                                     ? file.path
                                     : state_.paths.bankFolder + "/" + extractFileName(file.path);
        const std::optional<std::string> chosen = w.runSaveDialog(seed);
        if (!chosen) return;
        fromRegister("File non salvato", [&] { SaveKeptFileAgain(state_, file.id, *chosen); });
        w.showMessage("File salvato di nuovo, identico a quello prodotto:\r\n" + *chosen);
    });
}

void TfmPzExport_Banche::SelectDisposition(int number) {
    run([&] { doz::SelectDisposition(state_, number); });
}

void TfmPzExport_Banche::buLogClick() {
    run([&] {
        // The file logged is not replaced meanwhile, nor its log written by another.
        const BankFileTurns turns(state_);
        if (IsXmlBank(state_))
            WriteXmlFileLog(state_);
        else
            WriteFileLog(state_);
    });
}

void TfmPzExport_Banche::btnChiudiClick() {
    run([&] { state_.window.close(); });
}

void TfmPzExport_Banche::cbBancheClick() {
    run([&] {
        doz::cbBancheClick(state_);
        // The proposed name follows the kind of file the bank takes.
        WindowPort& w = state_.window;
        const std::string file = w.text("cbBancaFile");
        const bool xml = IsXmlBank(state_);
        const std::string_view from = xml ? kFixedWidthExtension : kXmlExtension;
        if (file.ends_with(from))
            w.setText("cbBancaFile", file.substr(0, file.size() - from.size()) +
                                         std::string(xml ? kXmlExtension : kFixedWidthExtension));
    });
}

void TfmPzExport_Banche::chEscludiMPGClick() {
    run([&] { doz::chEscludiMPGClick(state_); });
}

void TfmPzExport_Banche::edNOME_SUPPORTOExit() {
    run([&] {
        WindowPort& w = state_.window;
        w.setText("cbBancaFile", extractFilePath(w.text("cbBancaFile")) + SanitizeFileName(w.text("edNOME_SUPPORTO")) +
                                     todayFileName());
    });
}

void TfmPzExport_Banche::cbBancaFileButtonClick() {
    run([&] {
        WindowPort& w = state_.window;
        if (auto chosen = w.runSaveDialog(w.text("cbBancaFile"))) w.setText("cbBancaFile", *chosen);
    });
}

// ---- settings -------------------------------------------------------------------------

void TfmPzExport_Banche::LoadSettings() {
    WindowPort& w = state_.window;
    IniFile& ini = *state_.settings;
    w.setText("edMittente", ini.readString(kSettingsSection, "Mittente", ""));
    w.setText("edConto_Tesoreria", ini.readString(kSettingsSection, "Conto_Tesoreria", ""));
    w.setText("edCUC", ini.readString(kSettingsSection, "CUC", ""));
    std::string bank = ini.readString(kSettingsSection, "Banca", "");
    const bool dispositions = state_.cdsLeggi.active();
    w.setText("edCC_ORDINANTE",
              ini.readString(kSettingsSection, "CC_Ordinante",
                             dispositions ? state_.cdsLeggi.fieldByName("CC_ORDINANTE").asText() : std::string()));
    if (bank == "SanPaolo") bank = "SanPaolo - Enti24";
    if (bank.empty() && !bankAtStart_ && dispositions) {
        const std::string abi = state_.cdsLeggi.fieldByName("ABI_ORDINANTE").asText();
        if (state_.cdsTracciati.locate("ABI", {Value(abi)})) bank = state_.cdsTracciati.fieldByName("Banca").asText();
    }
    const auto items = w.items("cbBanche");
    int selected = -1;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (bankAtStart_ ? items[i] == *bankAtStart_ : sameTextNoCase(items[i], bank)) {
            selected = static_cast<int>(i);
            break;
        }
    w.setSelectedIndex("cbBanche", selected);
    if (w.selectedIndex("cbBanche") < 0) return;
    if (dispositions)
        doz::cbBancheClick(state_);
    else
        LoadBankLayouts(state_);
}

void TfmPzExport_Banche::SaveSettings() {
    WindowPort& w = state_.window;
    // One write for all the keys: a failure or a kill never leaves new and old settings mixed.
    const std::string sender = w.text("edMittente");
    const std::string treasury = w.text("edConto_Tesoreria");
    const std::string cuc = w.text("edCUC");
    const std::string ordering = w.text("edCC_ORDINANTE");
    const int selected = w.selectedIndex("cbBanche");
    const std::string bank = selected >= 0 ? w.items("cbBanche").at(static_cast<std::size_t>(selected)) : std::string();
    std::vector<std::pair<std::string_view, std::string_view>> values = {
        {"Mittente", sender}, {"Conto_Tesoreria", treasury}, {"CUC", cuc}, {"CC_Ordinante", ordering}};
    if (selected >= 0) values.emplace_back("Banca", bank);
    // The header of the file just produced, with the dispositions it was made from.
    const std::string file = w.text("cbBancaFile");
    const std::string source = state_.dispositionsStamp.identity();
    std::vector<std::pair<std::string, std::string>> last;
    const std::string prefix = kLastFilePrefix;
    for (const char* edit : kLastFileEdits) last.emplace_back(prefix + (edit + 2), w.text(edit));
    for (const char* dateEdit : kLastFileDates) {
        DaySerial date = 0;
        try {
            date = w.date(dateEdit);
        } catch (const Error&) {
            // A date the bank does not use may hold any text: kept as no date.
        }
        last.emplace_back(prefix + (dateEdit + 2), date != 0 ? isoDate(date) : std::string());
    }
    values.emplace_back(kLastFileKey, file);
    values.emplace_back(kLastFileSourceKey, source);
    for (const auto& [key, value] : last) values.emplace_back(key, value);
    state_.settings->writeStrings(kSettingsSection, values);
}

namespace {

// Runs the folder dialog until the user picks a folder that holds `needed`
// (a folder without it is refused with `refusal`) or cancels. A cancel takes
// `kept` when there is one; else the program says what it needs and asks
// whether to choose again (No: nothing).
std::optional<std::string> chooseFolderHolding(WindowPort& w, const std::string& title, std::string initial,
                                               const std::string& needed, const std::string& refusal,
                                               const std::string& need, const std::string& kept) {
    for (;;) {
        if (const auto chosen = w.runFolderDialog(title, initial)) {
            if (fileExists(*chosen + "/" + needed)) return chosen;
            w.showError("La cartella " + *chosen + " " + refusal);
            initial = *chosen;
            continue;
        }
        if (!kept.empty()) return kept;
        if (!w.askYesNo(need + "\r\nScegliere la cartella ?")) return std::nullopt;
    }
}

}  // namespace

// Without the folder argument: the dispositions folder is asked for (opened on
// the last one chosen), and the layouts folder where the working folder has no
// catalogue and none was kept. Cancelling with nothing usable kept: the
// program says what it needs; declined again, the window closes.
void TfmPzExport_Banche::ChooseFolders() {
    WindowPort& w = state_.window;
    IniFile& ini = *state_.settings;
    // Remembering a folder is a convenience: a settings folder that cannot be
    // written was reported when the window was created.
    auto remember = [&ini](const char* key, const std::string& folder) {
        try {
            ini.writeString(kSettingsSection, key, folder);
        } catch (const IoError&) {
        }
    };
    auto giveUp = [&w] {
        w.close();
        throw SilentAbort();
    };
    const std::string saved = ini.readString(kSettingsSection, kDispositionsFolderKey, "");
    const bool savedUsable = !saved.empty() && fileExists(saved + "/Disposizioni.cds");
    const auto dispositions =
        chooseFolderHolding(w, kDispositionsDialogTitle, saved.empty() ? homeFolder() : saved, "Disposizioni.cds",
                            kNoDispositionsText, kDispositionsNeedText, savedUsable ? saved : std::string());
    if (!dispositions) giveUp();
    state_.paths.dispositionsArg = *dispositions;
    if (*dispositions != saved) remember(kDispositionsFolderKey, *dispositions);

    if (fileExists(state_.workingFile("Tracciati.xml"))) return;
    std::string layouts = ini.readString(kSettingsSection, kLayoutsFolderKey, "");
    if (layouts.empty() || !fileExists(layouts + "/Tracciati.xml")) {
        const auto chosen = chooseFolderHolding(w, kLayoutsDialogTitle, layouts.empty() ? homeFolder() : layouts,
                                                "Tracciati.xml", kNoLayoutsText, kLayoutsNeedText, {});
        if (!chosen) giveUp();
        layouts = *chosen;
        remember(kLayoutsFolderKey, layouts);
    }
    state_.paths.workingFolder = layouts;
}

std::string TfmPzExport_Banche::SanitizeFileName(const std::string& text) {
    std::string out = text;
    for (char bad : std::string_view("/\\:*?\"<>|")) std::erase(out, bad);
    return out;
}

std::string TfmPzExport_Banche::CaptionVersion(const std::string& fileVersion) {
    if (std::count(fileVersion.begin(), fileVersion.end(), '.') >= 3) return fileVersion.substr(0, fileVersion.rfind('.'));
    return fileVersion;
}

std::string TfmPzExport_Banche::ProgramVersion() { return CaptionVersion(DOZ_VERSION); }

std::string TfmPzExport_Banche::todayFileName() {
    return formatDatePattern("yyyymmdd", state_.today(), regional().dateSeparator) +
           std::string(IsXmlBank(state_) ? kXmlExtension : kFixedWidthExtension);
}

}  // namespace doz

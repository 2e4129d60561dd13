// The export window's logic: its state and every handler, toolkit-free. It
// reaches the screen only through the WindowPort it is given, so the Qt window,
// the tests and the batch command all run this same code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "FormState.h"

namespace doz {

struct ProducedFile;

// How the last handler ended; the common error report fills it.
enum class OutcomeKind {
    Ok,
    Validation,  // EPztBanca
    Assertion,   // internal consistency of the data files
    Declined,    // a question answered No (silent abort)
    Failure,     // any other error (data, input/output)
};

struct CommandOutcome {
    OutcomeKind kind = OutcomeKind::Ok;
    std::string message;  // the error's text (empty when declined)
    // Where a failed OK stopped (OkFailurePlace), shown above the message; empty for none.
    std::string place;
};

class TfmPzExport_Banche {
public:
    TfmPzExport_Banche(WindowPort& window, FormPaths paths);
    ~TfmPzExport_Banche();
    TfmPzExport_Banche(const TfmPzExport_Banche&) = delete;
    TfmPzExport_Banche& operator=(const TfmPzExport_Banche&) = delete;

    FormState& state() { return state_; }
    const CommandOutcome& lastOutcome() const { return lastOutcome_; }

    // ---- lifecycle ---------------------------------------------------------------
    void FormCreate();
    void FormShow();
    // The bank the start-up selects in place of the saved one or the one of
    // the dispositions' ABI (the batch command's --bank): the item equal to
    // this name, or none when the list has no such item.
    void chooseBankAtStart(std::string name) { bankAtStart_ = std::move(name); }
    // The window is closing (by whatever way): its place and size are kept in
    // Banca.ini for the next start (nothing else is saved here).
    void FormClose();
    void FormDestroy();
    // Whether the start-up brings back the header of the last produced file
    // (on by default; the batch command takes its header from its arguments).
    void restoreLastFileAtStart(bool on) { restoreLastFile_ = on; }

    // ---- event handlers ------------------------------------------------------------
    void Button2Click();   // OK
    void Button3Click();   // Distinta
    void Button1Click();   // Brogliaccio
    void btnControllaClick();  // Controlla: every failure and notice in a list, nothing written
    // Storico: the files produced, newest first, as `history` lists them; a
    // file picked shows its payments, whose list saves the file again.
    void btnStoricoClick();
    void buLogClick();     // Log
    void btnChiudiClick(); // Chiudi, Esc
    void cbBancheClick();
    void chEscludiMPGClick();
    void edNOME_SUPPORTOExit();  // leaving edNOME_SUPPORTO or edCC_ORDINANTE
    void cbBancaFileButtonClick();
    // A row picked in the list of Controlla: that disposition becomes the current one.
    void SelectDisposition(int number);

    // ---- settings and names ----------------------------------------------------------
    void LoadSettings();
    void SaveSettings();
    static std::string SanitizeFileName(const std::string& text);
    // The caption's version: the file version without its last part when it has
    // three or more dots ("2.0.14.0" -> "2.0.14"), else whole.
    static std::string ProgramVersion();
    static std::string CaptionVersion(const std::string& fileVersion);

    static constexpr const char* kSettingsSection = "Dati";
    static constexpr const char* kDispositionsFolderKey = "Cartella_Disposizioni";
    static constexpr const char* kLayoutsFolderKey = "Cartella_Tracciati";
    // After a produced file: the folder, then the reports of that file.
    static constexpr const char* kProducedQuestion = "File prodotto con successo:";
    static constexpr const char* kReportsQuestion = "Scrivere ora la Distinta e il Brogliaccio di questo file ?";
    static constexpr const char* kPlacementKey = "Finestra";  // "x,y,width,height,maximized"
    // The last produced bank file: its path, the Disposizioni.cds it was made
    // from (FileStamp::identity) and the header values not kept otherwise.
    static constexpr const char* kLastFileKey = "UltimoFile";
    static constexpr const char* kLastFileSourceKey = "UltimoFile_Disposizioni";
    static constexpr const char* kLastFilePrefix = "UltimoFile_";

    // The text form of a placement in Banca.ini, and back (nothing for a text
    // that is not five whole numbers with a size of at least 100 by 100).
    static std::string PlacementText(const WindowPlacement& p);
    static std::optional<WindowPlacement> ParsePlacement(const std::string& text);

private:
    // The common error report: runs a command, shows its error through the
    // window (the silent abort shows nothing) and records the outcome. True
    // when the command ended without error.
    template <class Command>
    bool run(Command&& command);

    std::string todayFileName();  // ".xml" for an XML bank
    // The start-up's last step: when the dispositions are the very file the
    // last bank file was produced from, its support name, dates and file name
    // come back (the month's reports and log then match that file).
    void RestoreLastFile();
    // The end of a successful OK: the file named, its folder offered, then its
    // two reports; the window closes. A No stops nothing.
    void AfterFileProduced();
    // A file of the Storico picked: its payments in the list.
    void ShowProducedFile(std::int64_t id);
    // The save dialog, seeded with the name the file was produced under, then
    // its kept copy written there (SaveKeptFileAgain).
    void SaveProducedFileAgain(const ProducedFile& file);
    // Started without the folder argument: asks for the dispositions folder and,
    // where needed, the layouts folder (FormPaths::chooseFolders).
    void ChooseFolders();

    FormState state_;
    CommandOutcome lastOutcome_;
    bool destroyed_ = false;
    std::optional<std::string> bankAtStart_;
    std::string failurePlace_;  // set by a command that knows where it stopped
    bool restoreLastFile_ = true;
};

}  // namespace doz

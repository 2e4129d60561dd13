// The start-up sequence of the export window, driven through the in-memory
// window: catalogue, exclusion, dispositions, saved settings and bank,
// creation date and proposed bank-file name.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "PztFExport_Banche.h"
#include "platform/Dates.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/MemoryWindow.h"
#include "support/BankFolder.h"

namespace doz {
namespace {

using testing::BankFolder;
using testing::RuleRow;

std::string todayStamp() { return formatDatePattern("yyyymmdd", today(), '/'); }

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override { folder.writeStandardBanks(); }

    std::string iniPath() const { return folder.paths().mainFolder + "usr/Pzt/doz/Banca.ini"; }
    void saveSetting(const char* key, const std::string& value) {
        forceDirectories(folder.paths().mainFolder + "usr/Pzt/doz");
        IniFile(iniPath()).writeString("Dati", key, value);
    }

    // Creates and shows the window.
    TfmPzExport_Banche& start() {
        form = std::make_unique<TfmPzExport_Banche>(window, folder.paths());
        form->FormCreate();
        EXPECT_EQ(form->lastOutcome().kind, OutcomeKind::Ok) << form->lastOutcome().message;
        form->FormShow();
        return *form;
    }
    std::string selectedBank() {
        const int i = window.selectedIndex("cbBanche");
        return i < 0 ? std::string("<none>") : window.items("cbBanche").at(static_cast<std::size_t>(i));
    }
    FormState& state() { return form->state(); }

    BankFolder folder;
    MemoryWindow window;
    std::unique_ptr<TfmPzExport_Banche> form;
};

TEST_F(StartupTest, FirstRunPicksTheBankByTheOrderingAbi) {
    folder.writeDispositions({{"Rossi", 1, "02008", "CC-FIRST"}, {"Bianchi", 1, "01025", "CC-SECOND"}});
    start();
    ASSERT_EQ(form->lastOutcome().kind, OutcomeKind::Ok) << form->lastOutcome().message;
    EXPECT_TRUE(window.errors().empty());
    EXPECT_EQ(window.items("cbBanche"), (std::vector<std::string>{"SanPaolo - Enti24", "Unicredit", "Banca Etica"}));
    EXPECT_EQ(selectedBank(), "Unicredit");
    EXPECT_EQ(state().cdsTracciati.fieldByName("CodTracciato").asText(), "CBI_UC");
    EXPECT_EQ(window.text("edCC_ORDINANTE"), "CC-FIRST");
    EXPECT_EQ(window.text("edMittente"), "");
    EXPECT_TRUE(state().cdsDisp.active());
    EXPECT_EQ(window.text("laDisp"), "2");
    // Reading the settings writes nothing.
    EXPECT_FALSE(fileExists(iniPath()));
}

TEST_F(StartupTest, SavedSettingsFillTheHeaderAndOldSanPaolo) {
    folder.writeTwelveDispositions();
    saveSetting("Banca", "SanPaolo");
    saveSetting("Mittente", "SIA42");
    saveSetting("Conto_Tesoreria", "1234567");
    saveSetting("CC_Ordinante", "SAVED-CC");
    start();
    EXPECT_EQ(selectedBank(), "SanPaolo - Enti24");
    EXPECT_EQ(state().cdsTracciati.fieldByName("CodTracciato").asText(), "CBI_SP");
    EXPECT_EQ(window.text("edMittente"), "SIA42");
    EXPECT_EQ(window.text("edCC_ORDINANTE"), "SAVED-CC");
    // No rule of this bank reads the treasury account: hidden, value kept.
    EXPECT_FALSE(window.isVisible("edConto_Tesoreria"));
    EXPECT_FALSE(window.isVisible("Label10"));
    EXPECT_EQ(window.text("edConto_Tesoreria"), "1234567");
    // The header values went into the dispositions.
    state().cdsDisp.first();
    EXPECT_EQ(state().cdsDisp.fieldByName("Mittente").asText(), "SIA42");
    EXPECT_EQ(state().cdsDisp.fieldByName("CC_ORDINANTE").asText(), "SAVED-CC");
    EXPECT_EQ(state().cdsDisp.fieldByName("DATA_CREAZIONE").asDate(), 0);  // the date is set after the reload
}

TEST_F(StartupTest, SavedBankMatchesTheListWithoutLetterCase) {
    folder.writeTwelveDispositions();
    saveSetting("Banca", "BANCA ETICA");
    start();
    EXPECT_EQ(form->lastOutcome().kind, OutcomeKind::Ok) << form->lastOutcome().message;
    EXPECT_EQ(selectedBank(), "Banca Etica");
    EXPECT_EQ(state().cdsTracciati.fieldByName("CodTracciato").asText(), "ETICA");
}

// Accented capitals fold as well: a name saved in capitals finds its bank.
TEST_F(StartupTest, SavedBankMatchesAccentedNamesWithoutLetterCase) {
    folder.writeCatalogue({{"Unicredit", "CBI_UC", "02008", "14-15"}, {"Cr\xE9" "dit \xC9tudiant", "ETICA", "05018", ""}});
    folder.writeTwelveDispositions();
    saveSetting("Banca", "CR\xC9" "DIT \xC9TUDIANT");
    start();
    EXPECT_EQ(selectedBank(), "Cr\xE9" "dit \xC9tudiant");
    EXPECT_EQ(state().cdsTracciati.fieldByName("CodTracciato").asText(), "ETICA");
}

TEST_F(StartupTest, SavedBankNotInTheCatalogueSelectsNothing) {
    folder.writeTwelveDispositions();
    saveSetting("Banca", "Banca Sconosciuta");
    start();
    EXPECT_EQ(form->lastOutcome().kind, OutcomeKind::Ok) << form->lastOutcome().message;
    EXPECT_TRUE(window.errors().empty());
    EXPECT_EQ(selectedBank(), "<none>");
    EXPECT_FALSE(state().cdsDisp.active());
    EXPECT_FALSE(state().cdsTraccCorrente.active());
    EXPECT_EQ(window.text("laDisp"), "0");
    // The header stays as the window resource has it, and start-up goes on.
    EXPECT_TRUE(window.isVisible("deData_Disposizione"));
    EXPECT_EQ(window.date("deData_Creazione"), today());
    EXPECT_EQ(window.text("cbBancaFile"), folder.paths().bankFolder + "/" + todayStamp() + ".Txt");
}

TEST_F(StartupTest, NoAbiMatchSelectsNothing) {
    folder.writeDispositions({{"Rossi", 1, "99999", "CC"}});
    start();
    EXPECT_EQ(form->lastOutcome().kind, OutcomeKind::Ok);
    EXPECT_EQ(selectedBank(), "<none>");
    EXPECT_FALSE(state().cdsDisp.active());
}

TEST_F(StartupTest, CountFollowsTheExclusionBoxWithoutReload) {
    folder.writeTwelveDispositions();
    start();
    ASSERT_EQ(selectedBank(), "Unicredit");
    EXPECT_TRUE(window.isChecked("chEscludiMPG"));
    EXPECT_EQ(window.text("laDisp"), "9");

    window.setText("edMittente", "LATER");
    window.setChecked("chEscludiMPG", false);
    form->chEscludiMPGClick();
    EXPECT_EQ(window.text("laDisp"), "12");
    state().cdsDisp.first();
    EXPECT_EQ(state().cdsDisp.fieldByName("Mittente").asText(), "");  // no reload happened

    window.setChecked("chEscludiMPG", true);
    form->chEscludiMPGClick();
    EXPECT_EQ(window.text("laDisp"), "9");
    EXPECT_TRUE(window.errors().empty());
}

TEST_F(StartupTest, CaptionDatesAndProposedFileName) {
    folder.writeTwelveDispositions();
    start();
    EXPECT_EQ(window.text(""), "Creazione file per la banca v2.0.14");
    EXPECT_EQ(window.date("deDATA_SCADENZA"), encodeDate(decodeDate(today()).year, 12, 31));
    EXPECT_EQ(window.date("deData_Creazione"), today());
    EXPECT_TRUE(directoryExists(folder.paths().bankFolder));
    EXPECT_EQ(window.text("cbBancaFile"), folder.paths().bankFolder + "/" + todayStamp() + ".Txt");
    EXPECT_TRUE(directoryExists(folder.paths().mainFolder + "usr/Pzt/doz"));
    EXPECT_FALSE(window.isVisible("buLog"));
}

TEST_F(StartupTest, SupportNameGivesTheBankFileName) {
    folder.writeTwelveDispositions();
    start();
    window.setText("edNOME_SUPPORTO", "A/B:C");
    form->edNOME_SUPPORTOExit();
    EXPECT_EQ(window.text("cbBancaFile"), folder.paths().bankFolder + "/ABC" + todayStamp() + ".Txt");

    // Leaving the account rebuilds the name too; a typed file part is replaced, the folder stays.
    window.setText("cbBancaFile", "/elsewhere/mine.txt");
    window.setText("edNOME_SUPPORTO", "");
    form->edNOME_SUPPORTOExit();
    EXPECT_EQ(window.text("cbBancaFile"), "/elsewhere/" + todayStamp() + ".Txt");
}

TEST_F(StartupTest, MissingCatalogueStopsTheSequence) {
    std::filesystem::remove(folder.work("Tracciati.xml"));
    folder.writeTwelveDispositions();
    saveSetting("Mittente", "SIA42");
    start();
    EXPECT_EQ(form->lastOutcome().kind, OutcomeKind::Failure);
    ASSERT_EQ(window.errors().size(), 1u);
    // In Italian, naming the folder searched.
    EXPECT_NE(window.errors()[0].find("file o cartella inesistente"), std::string::npos) << window.errors()[0];
    EXPECT_NE(window.errors()[0].find("'" + folder.path("work") + "')"), std::string::npos) << window.errors()[0];
    EXPECT_FALSE(state().cdsLeggi.active());
    EXPECT_EQ(window.text("edMittente"), "");
    EXPECT_EQ(window.date("deData_Creazione"), 0);
    EXPECT_EQ(window.text("cbBancaFile"), "");
    // The steps before it ran.
    EXPECT_EQ(window.date("deDATA_SCADENZA"), encodeDate(decodeDate(today()).year, 12, 31));
}

TEST_F(StartupTest, MissingDispositionsStopBeforeTheSettings) {
    saveSetting("Mittente", "SIA42");
    start();
    EXPECT_EQ(form->lastOutcome().kind, OutcomeKind::Failure);
    EXPECT_EQ(window.errors().size(), 1u);
    EXPECT_EQ(window.items("cbBanche").size(), 3u);
    EXPECT_EQ(window.text("laDisp"), "0");
    EXPECT_EQ(window.text("edMittente"), "");
    EXPECT_EQ(selectedBank(), "<none>");
}

TEST_F(StartupTest, BrokenRulesOfTheSavedBankAreReportedAsAssertion) {
    folder.writeTwelveDispositions();
    folder.writeRules("ETICA", {{"Mittente", "D", {}, "", ""}});
    saveSetting("Banca", "Banca Etica");
    start();
    EXPECT_EQ(form->lastOutcome().kind, OutcomeKind::Assertion);
    EXPECT_EQ(window.errors(), std::vector<std::string>{"Assertion failure"});
    EXPECT_EQ(selectedBank(), "Banca Etica");
    EXPECT_FALSE(state().cdsDisp.active());
    EXPECT_EQ(window.date("deData_Creazione"), 0);

    // Picking another bank by hand works.
    window.setSelectedIndex("cbBanche", 1);
    form->cbBancheClick();
    EXPECT_EQ(form->lastOutcome().kind, OutcomeKind::Ok) << form->lastOutcome().message;
    EXPECT_EQ(window.text("laDisp"), "9");
}

TEST_F(StartupTest, RulesSeeTheHeaderAsItStandsAtEachReload) {
    folder.writeTwelveDispositions();
    saveSetting("Banca", "Unicredit");
    start();
    state().cdsDisp.first();
    EXPECT_EQ(state().cdsDisp.fieldByName("DATA_CREAZIONE").asDate(), 0);
    // Choosing the bank again reloads with today's creation date now in the header.
    form->cbBancheClick();
    state().cdsDisp.first();
    EXPECT_EQ(state().cdsDisp.fieldByName("DATA_CREAZIONE").asDate(), today());
    EXPECT_EQ(state().cdsDisp.fieldByName("DATA_VALUTA").asDate(), 0);
}

// A main folder that cannot be made: the error is shown, the window still
// starts and works without saved settings, and saving reports its own error.
TEST_F(StartupTest, UnwritableMainFolderKeepsTheWindowUsable) {
    folder.writeTwelveDispositions();
    FormPaths paths = folder.paths();
    paths.mainFolder = folder.path("blocker") + "/Ulmor/";
    writeFileAtomically(folder.path("blocker"), "a file where a folder should be");
    form = std::make_unique<TfmPzExport_Banche>(window, paths);
    form->FormCreate();
    EXPECT_EQ(form->lastOutcome().kind, OutcomeKind::Failure);
    ASSERT_EQ(window.errors().size(), 1u);
    EXPECT_NE(window.errors()[0].find("blocker"), std::string::npos) << window.errors()[0];
    form->FormShow();
    EXPECT_EQ(form->lastOutcome().kind, OutcomeKind::Ok) << form->lastOutcome().message;
    EXPECT_EQ(selectedBank(), "Unicredit");
    EXPECT_EQ(window.text("laDisp"), "9");
    EXPECT_THROW(form->SaveSettings(), IoError);
}

}  // namespace
}  // namespace doz

// pzt-bankfile export, distinta, brogliaccio and log, run as a child process
// on small data folders.
#include <gtest/gtest.h>

#include "cli/CliSupport.h"

namespace cli_test {
namespace {

class BatchTest : public ::testing::Test {
protected:
    TempDir home;
    BankFolders folders = writeBankFolders(home.path());
    std::string mainFolder = home.str("main");
    std::string bankFile = home.str("out/STIPENDI.txt");

    void SetUp() override { fs::create_directories(home.path() / "out"); }

    // export/distinta/brogliaccio of "Banca Prova" with the fixture folders.
    std::vector<std::string> windowArgs(const std::string& command, std::vector<std::string> more = {}) const {
        std::vector<std::string> a = {command,   folders.dispositions, "--bank", "Banca Prova", "--output",
                                      bankFile,  "--layouts",          folders.layouts, "--main-folder", mainFolder};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }
    RunResult run(const std::vector<std::string>& args, std::vector<std::string> env = {}) const {
        return runCli(args, home.str(), {}, env);
    }
    static std::vector<std::string> headerSets() {
        return {"--set", "nome_supporto=STIPENDI", "--set", "DATA_CREAZIONE=2024-06-27"};
    }
};

TEST_F(BatchTest, ExportWritesTheBankFileFromHeaderValues) {
    const RunResult r = run(windowArgs("export", headerSets()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(bankFile),
              " PCSTIPENDI  270624\r\n"
              " 1000000010000150000Rossi Mario         \r\n"
              " 1000000020000099950Bianchi Lucia       \r\n"
              " EF00000020000000002499500000004\r\n");
    EXPECT_NE(r.out.find(bankFile), std::string::npos);
    // The window's OK also logs the file and saves the settings.
    EXPECT_TRUE(fs::exists(mainFolder + "/var/log/Pzt/doz/STIPENDI.txt"));
    EXPECT_NE(readFile(mainFolder + "/usr/Pzt/doz/Banca.ini").find("Banca Prova"), std::string::npos);
}

TEST_F(BatchTest, AllIncludesDispositionsWithoutPaymentModeAsWindows1252) {
    const RunResult r = run(windowArgs("export", {"--all", "--set", "NOME_SUPPORTO=Citt\u00e0\xFF", "--set",
                                                  "Data_Creazione="}));
    ASSERT_EQ(r.status, 0) << r.err;
    // A byte that is not UTF-8 becomes '?', and that is said.
    EXPECT_NE(r.err.find("--set NOME_SUPPORTO: caratteri non rappresentabili nel file, trascritti in lettere latine: "
                         "\"Citt\u00e0?\""),
              std::string::npos)
        << r.err;
    const std::string content = readFile(bankFile);
    EXPECT_EQ(content.substr(0, 21), " PCCitt\xE0?    000000\r\n");
    EXPECT_NE(content.find(" 1000000030000001000Nicol\xF2 Ferr\xE0        \r\n"), std::string::npos) << content;
    EXPECT_NE(content.find(" EF0000003000000000250950"), std::string::npos) << content;
}

TEST_F(BatchTest, ValidationErrorIsTheLastLineOfStderr) {
    writeFile(bankFile, "old");
    const RunResult r = run(windowArgs("export", {"--yes"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.lastErrorLine(), "Campo obbligatorio: NOME_SUPPORTO");
    // The line before says where, as the window's box does: here a header value, by its caption.
    EXPECT_NE(r.err.find("Campo \"Nome supporto\" della testata\n"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(bankFile), "old");
    EXPECT_FALSE(fs::exists(mainFolder + "/usr/Pzt/doz/Banca.ini"));
}

// What the window offers after a produced file (its folder, its reports) a
// batch run declines, --yes or not; the window brings back the last produced
// file's header, a batch run takes its header from its arguments alone.
TEST_F(BatchTest, TheHeaderIsOnlyWhatTheArgumentsGive) {
    std::vector<std::string> more = headerSets();
    more.push_back("--yes");
    const RunResult first = run(windowArgs("export", more));
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out.find("Report:"), std::string::npos) << first.out;
    EXPECT_FALSE(fs::exists(mainFolder + "/var/log/Pzt/doz/stp"));
    const RunResult r = run(windowArgs("export", {"--yes"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.lastErrorLine(), "Campo obbligatorio: NOME_SUPPORTO");
}

TEST_F(BatchTest, OverwriteQuestionNeedsYes) {
    writeFile(bankFile, "old");
    const RunResult declined = run(windowArgs("export", headerSets()));
    EXPECT_EQ(declined.status, 3);
    EXPECT_EQ(declined.lastErrorLine(), "Il file esiste gi\u00e0. Sostituirlo ?");
    EXPECT_EQ(readFile(bankFile), "old");

    std::vector<std::string> more = headerSets();
    more.push_back("--yes");
    const RunResult accepted = run(windowArgs("export", more));
    ASSERT_EQ(accepted.status, 0) << accepted.err;
    EXPECT_EQ(readFile(bankFile).substr(0, 19), " PCSTIPENDI  270624");
}

TEST_F(BatchTest, StartUpAndDataFailuresExitWithFour) {
    std::vector<std::string> args = windowArgs("export", headerSets());
    args[1] = home.str("no-such-folder");
    const RunResult missing = run(args);
    EXPECT_EQ(missing.status, 4);
    EXPECT_NE(missing.lastErrorLine().find("Disposizioni.cds"), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(bankFile));

    // The second bank of the catalogue has no layout files; its name is
    // given in UTF-8 and matched against the catalogue's Windows-1252 text.
    args = windowArgs("export", headerSets());
    args[3] = "Banca Citt\u00e0";
    const RunResult noLayout = run(args);
    EXPECT_EQ(noLayout.status, 4);
    EXPECT_NE(noLayout.lastErrorLine().find("CITTA.Xml"), std::string::npos) << noLayout.err;
    EXPECT_FALSE(fs::exists(bankFile));
}

// The start-up selects the saved bank (or the dispositions' ABI) and reloads;
// when --bank names that bank it is not chosen a second time. The OK command's
// own reload must still use the header values of this run, not the ones the
// start-up saw.
TEST_F(BatchTest, BankAlreadySelectedAtStartUpUsesThisRunsHeaderValues) {
    const std::string expected = " PCSTIPENDI  270624\r\n"
                                 " 1000000010000150000Rossi Mario         \r\n"
                                 " 1000000020000099950Bianchi Lucia       \r\n"
                                 " EF00000020000000002499500000004\r\n";
    // No saved bank: the ABI of the dispositions preselects Banca Prova.
    ASSERT_EQ(run(windowArgs("export", headerSets())).status, 0);
    ASSERT_EQ(readFile(bankFile), expected);
    const std::string log = readFile(mainFolder + "/var/log/Pzt/doz/STIPENDI.txt");

    // Saved bank, other header values: the file follows the values of this run.
    RunResult r = run(windowArgs("export", {"--yes", "--set", "NOME_SUPPORTO=TREDICES", "--set",
                                            "DATA_CREAZIONE=2024-12-02"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(bankFile).substr(0, 21), " PCTREDICES  021224\r\n");

    // A saved bank the catalogue does not list leaves nothing selected at
    // start-up; --bank then loads the layouts itself.
    writeFile(mainFolder + "/usr/Pzt/doz/Banca.ini", "[Dati]\r\nBanca=Nessuna\r\n");
    std::vector<std::string> more = headerSets();
    more.push_back("--yes");
    r = run(windowArgs("export", more));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(bankFile), expected);
    EXPECT_EQ(readFile(mainFolder + "/var/log/Pzt/doz/STIPENDI.txt"), log);
    EXPECT_NE(readFile(mainFolder + "/usr/Pzt/doz/Banca.ini").find("Banca Prova"), std::string::npos);
}

// With --bank, the start-up does not load the saved bank: its missing layout
// files cannot stop an export of another, complete bank.
TEST_F(BatchTest, AskedBankIsExportedWhateverTheSavedBankLacks) {
    fs::create_directories(mainFolder + "/usr/Pzt/doz");
    writeFile(mainFolder + "/usr/Pzt/doz/Banca.ini", "[Dati]\r\nBanca=Banca Citt\xE0\r\n");
    const RunResult r = run(windowArgs("export", headerSets()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(bankFile).substr(0, 21), " PCSTIPENDI  270624\r\n");
}

TEST_F(BatchTest, InconsistentRulesAreAnAssertionFailure) {
    // A date rule for Mittente looks for a date edit "deMittente", which the window lacks.
    doz::PacketContent rules;
    rules.fields = {textField("FieldName", 30), textField("ColType", 5), textField("ValOut", 20),
                    textField("Condition", 100)};
    rules.rows = {{doz::Value("Mittente"), doz::Value("D"), doz::Value(), doz::Value()}};
    doz::writePacketFile(folders.layouts + "/PROVA_X.Xml", rules, doz::PacketFormat::Xml);

    const RunResult r = run(windowArgs("export", headerSets()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.lastErrorLine(), "Assertion failure");
    EXPECT_FALSE(fs::exists(bankFile));
}

TEST_F(BatchTest, UsageErrors) {
    EXPECT_EQ(run({"frobnicate"}).status, 2);
    EXPECT_EQ(run({}).status, 2);
    EXPECT_EQ(run({"export", folders.dispositions, "--output", bankFile}).status, 2);  // no --bank
    EXPECT_EQ(run({"export", "--bank", "Banca Prova", "--output", bankFile}).status, 2);  // no folder
    EXPECT_EQ(run(windowArgs("export", {"--frob"})).status, 2);
    EXPECT_EQ(run(windowArgs("export", {"--set", "NOME_SUPPORTO"})).status, 2);
    EXPECT_EQ(run(windowArgs("export", {"--set", "Data_Valuta=31/12/2024"})).status, 2);
    EXPECT_EQ(run({"log", folders.dispositions, "--bank", "Banca Prova", "--output", bankFile}).status, 2);
    EXPECT_EQ(run({"log", "--bank", "Banca Prova", "--output", bankFile, "--yes"}).status, 2);

    const RunResult unknownField = run(windowArgs("export", {"--set", "IBAN=IT00"}));
    EXPECT_EQ(unknownField.status, 2);
    // The message is the last line, after the fields it lists.
    EXPECT_EQ(unknownField.lastErrorLine(), "pzt-bankfile: --set: campo di testata sconosciuto: IBAN");
    EXPECT_NE(unknownField.err.find("IBAN"), std::string::npos);
    EXPECT_NE(unknownField.err.find("NOME_SUPPORTO"), std::string::npos) << "lists the fields it accepts";

    const RunResult tooLong = run(windowArgs("export", {"--set", "Mittente=12345678901"}));  // 10 at most
    EXPECT_EQ(tooLong.status, 2);
    EXPECT_FALSE(fs::exists(bankFile));

    std::vector<std::string> args = windowArgs("export", headerSets());
    args[3] = "banca prova";  // the catalogue name must match exactly
    const RunResult unknownBank = run(args);
    EXPECT_EQ(unknownBank.status, 2);
    EXPECT_NE(unknownBank.err.find("Banca Prova"), std::string::npos) << unknownBank.err;
    EXPECT_NE(unknownBank.err.find("Banca Citt\u00e0"), std::string::npos) << unknownBank.err;
    EXPECT_FALSE(fs::exists(bankFile));
}

TEST_F(BatchTest, HelpDescribesEverySubcommandAndOption) {
    const RunResult general = run({"--help"});
    ASSERT_EQ(general.status, 0);
    for (const char* word : {"dump", "export", "distinta", "brogliaccio", "log", "--bank", "--output", "--layouts",
                             "--main-folder", "--regional", "--set", "--all", "--yes"})
        EXPECT_NE(general.out.find(word), std::string::npos) << word;
    for (const char* command : {"dump", "export", "distinta", "brogliaccio", "log"}) {
        const RunResult r = run({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_NE(r.out.find(std::string("pzt-bankfile ") + command), std::string::npos) << command;
    }
}

TEST_F(BatchTest, ReportsGoToTheReportFolderUnderTheMainFolder) {
    const RunResult distinta = run(windowArgs("distinta", {"--regional", "it_IT"}), {"LC_ALL=C"});
    ASSERT_EQ(distinta.status, 0) << distinta.err;
    const std::string reportFolder = mainFolder + "/var/log/Pzt/doz/stp/";
    const std::string summary = readFile(reportFolder + "DISTINTA_STIPENDI.txt");
    EXPECT_NE(summary.find("1.500,00"), std::string::npos) << "Italian separators without a system locale:\n"
                                                           << summary;
    EXPECT_NE(summary.find("\r\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(bankFile)) << "the reports never write the bank file";

    const RunResult listing = run(windowArgs("brogliaccio"));
    ASSERT_EQ(listing.status, 0) << listing.err;
    const std::string draft = readFile(reportFolder + "BROGLIACCIO_STIPENDI.txt");
    EXPECT_NE(draft.find("Rossi Mario"), std::string::npos) << draft;
    EXPECT_EQ(draft.find("Nicol"), std::string::npos) << "excluded without --all";

    const RunResult all = run(windowArgs("brogliaccio", {"--all"}));
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_NE(readFile(reportFolder + "BROGLIACCIO_STIPENDI.txt").find("Nicol\xF2"), std::string::npos);
}

TEST_F(BatchTest, ReportsDefaultToTheDataHomeMainFolder) {
    std::vector<std::string> args = windowArgs("distinta");
    args.resize(args.size() - 2);  // no --main-folder
    const RunResult r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(home.path() / "xdg/Ulmor/var/log/Pzt/doz/stp/DISTINTA_STIPENDI.txt"));
}

TEST_F(BatchTest, LogSlicesABankFileByTheBankLayout) {
    writeFile(bankFile, " PCSTIPENDI  270624\r\n EF00000020000000002499500000004\r\n");
    // Without --layouts the catalogue is read from the current folder.
    const RunResult r = runCli({"log", "--bank", "Banca Prova", "--output", bankFile, "--main-folder", mainFolder},
                               home.str(), folders.layouts);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(mainFolder + "/var/log/Pzt/doz/STIPENDI.txt"),
              "=\" \"\r\n=\"PC\"\r\nNOME_SUPPORTO=\"STIPENDI  \"\r\nDATA_CREAZIONE=\"270624\"\r\n"
              "=\" \"\r\n=\"EF\"\r\nPROGRESSIVO=\"0000002\"\r\nTOT_IMP_POS=\"000000000249950\"\r\n"
              "TOT_RECORD=\"0000004\"\r\n");

    const RunResult missing = run({"log", "--bank", "Banca Prova", "--output", home.str("out/none.txt"),
                                   "--layouts", folders.layouts, "--main-folder", mainFolder});
    EXPECT_EQ(missing.status, 4);
    EXPECT_NE(missing.lastErrorLine().find("none.txt"), std::string::npos) << missing.err;

    const RunResult unknown = run({"log", "--bank", "Nessuna", "--output", bankFile, "--layouts", folders.layouts,
                                   "--main-folder", mainFolder});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("Banca Prova"), std::string::npos);
}

// The demonstration data: a bank file of the first demo bank, its log and both reports
// (DemoExportTest covers the export of every bank).
TEST_F(BatchTest, DemoDataLogAndReports) {
    const fs::path examples = fs::path(DOZ_SOURCE_DIR) / "examples";
    if (!fs::exists(examples / "Tracciati.xml") || !fs::exists(examples / "Disposizioni.cds"))
        GTEST_SKIP() << "no demo data in " << examples << " (tools/make-demo writes it)";
    const doz::PacketContent catalogue = doz::readPacketFile((examples / "Tracciati.xml").string());
    ASSERT_FALSE(catalogue.rows.empty());
    ASSERT_EQ(catalogue.fields.at(0).name, "Banca");
    const std::string bank = doz::ansiToUtf8(catalogue.rows.front().at(0).get<std::string>());
    const std::vector<std::string> common = {"--bank",      bank,       "--output",   bankFile,
                                             "--layouts",   examples.string(), "--main-folder", mainFolder};
    auto command = [&](std::vector<std::string> head, std::vector<std::string> tail) {
        head.insert(head.end(), common.begin(), common.end());
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };

    const RunResult exported =
        run(command({"export", examples.string()},
                    {"--regional", "it_IT", "--set", "Mittente=A1B2C", "--set", "NOME_SUPPORTO=STIPENDI", "--set",
                     "Conto_Tesoreria=1234567", "--set", "Data_Creazione=2026-12-07", "--set",
                     "Data_Disposizione=2026-12-09", "--set", "Data_Valuta=2026-12-09", "--set",
                     "DATA_SCADENZA=2026-12-31"}));
    ASSERT_EQ(exported.status, 0) << exported.err;
    const std::string logFile = mainFolder + "/var/log/Pzt/doz/STIPENDI.txt";
    const std::string logAfterExport = readFile(logFile);
    ASSERT_FALSE(logAfterExport.empty());

    // The log command gives the same log as the one the export wrote.
    fs::remove(logFile);
    const RunResult log = run(command({"log"}, {}));
    ASSERT_EQ(log.status, 0) << log.err;
    EXPECT_EQ(readFile(logFile), logAfterExport);

    for (const char* report : {"distinta", "brogliaccio"}) {
        const RunResult r = run(command({report, examples.string()}, {"--regional", "it_IT"}));
        ASSERT_EQ(r.status, 0) << report << ": " << r.err;
    }
    EXPECT_FALSE(readFile(mainFolder + "/var/log/Pzt/doz/stp/DISTINTA_STIPENDI.txt").empty());
    EXPECT_FALSE(readFile(mainFolder + "/var/log/Pzt/doz/stp/BROGLIACCIO_STIPENDI.txt").empty());
}

}  // namespace
}  // namespace cli_test

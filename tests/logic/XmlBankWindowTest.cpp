// The window's logic with the XML banks of examples/: the CUC edit shown by
// the transfer rules although the dispositions carry no CUC field, the
// proposed file name, the CUC kept in Banca.ini, and a failed OK and
// Controlla on a payroll of faulty dispositions; Storico, the produced files.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "PztFExport_Banche.h"
#include "platform/DataPacket.h"
#include "platform/IniFile.h"
#include "platform/MemoryWindow.h"
#include "platform/Regional.h"
#include "register/FileRegister.h"
#include "register/History.h"
#include "register/KeptCopy.h"
#include "support/ExecutionDate.h"
#include "support/TestFiles.h"

namespace doz {
namespace {

namespace fs = std::filesystem;

const std::string kExamples = std::string(DOZ_SOURCE_DIR) + "/examples";

class XmlBankWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kExamples + "/SEPA_CBI.Xml")) GTEST_SKIP() << "examples/ not generated";
        std::string pattern = (fs::temp_directory_path() / "pzt-xmlwin-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        if (!root.empty()) fs::remove_all(root, ec);
    }

    TfmPzExport_Banche& start(MemoryWindow& window, const std::string& dispositions = kExamples) {
        FormPaths p;
        p.mainFolder = root.string() + "/main/";
        p.bankFolder = root.string() + "/banca";
        p.workingFolder = kExamples;
        p.dispositionsArg = dispositions;
        forms.push_back(std::make_unique<TfmPzExport_Banche>(window, p));
        TfmPzExport_Banche& form = *forms.back();
        form.FormCreate();
        form.FormShow();
        EXPECT_EQ(form.lastOutcome().kind, OutcomeKind::Ok) << form.lastOutcome().message;
        return form;
    }
    void choose(MemoryWindow& window, TfmPzExport_Banche& form, const std::string& bank) {
        const auto items = window.items("cbBanche");
        const auto it = std::find(items.begin(), items.end(), bank);
        ASSERT_NE(it, items.end()) << bank;
        window.setSelectedIndex("cbBanche", static_cast<int>(it - items.begin()));
        form.cbBancheClick();
        ASSERT_EQ(form.lastOutcome().kind, OutcomeKind::Ok) << form.lastOutcome().message;
    }

    fs::path root;
    std::vector<std::unique_ptr<TfmPzExport_Banche>> forms;
};

TEST_F(XmlBankWindow, RulesShowTheCucAndTheNameFollowsTheKindOfFile) {
    MemoryWindow window;
    TfmPzExport_Banche& form = start(window);
    EXPECT_FALSE(window.isVisible("edCUC")) << "the fixed-width demo bank asks for no CUC";
    EXPECT_TRUE(window.text("cbBancaFile").ends_with(".Txt"));

    choose(window, form, "Banca Demo Nord - SEPA XML");
    EXPECT_TRUE(window.isVisible("edCUC"));
    EXPECT_TRUE(window.isVisible("laCUC"));
    EXPECT_FALSE(window.isVisible("edMittente"));
    EXPECT_EQ(window.text("laDisp"), "36") << "the dispositions reloaded without a CUC field";
    EXPECT_TRUE(window.text("cbBancaFile").ends_with(".xml")) << window.text("cbBancaFile");

    choose(window, form, "Banca Demo Nord");
    EXPECT_FALSE(window.isVisible("edCUC"));
    EXPECT_TRUE(window.text("cbBancaFile").ends_with(".Txt")) << window.text("cbBancaFile");
}

TEST_F(XmlBankWindow, CucIsKeptInTheSettings) {
    {
        MemoryWindow window;
        TfmPzExport_Banche& form = start(window);
        choose(window, form, "Banca Demo Nord - ISO 20022");
        window.setText("edCUC", "1A2B3C4D");
        form.SaveSettings();
        forms.pop_back();  // the form goes before its window
    }
    EXPECT_EQ(IniFile(root.string() + "/main/usr/Pzt/doz/Banca.ini").readString("Dati", "CUC", ""), "1A2B3C4D");
    MemoryWindow again;
    start(again);
    EXPECT_EQ(again.text("edCUC"), "1A2B3C4D");
    EXPECT_EQ(again.items("cbBanche").at(static_cast<std::size_t>(again.selectedIndex("cbBanche"))),
              "Banca Demo Nord - ISO 20022");
    EXPECT_TRUE(again.text("cbBancaFile").ends_with(".xml")) << "the saved XML bank proposes an XML file";
}

TEST_F(XmlBankWindow, TodayAndTheMomentOfCreationComeFromTheFormClock) {
    MemoryWindow window;
    window.setQuestionPolicy([](const std::string&) { return true; });
    TfmPzExport_Banche& form = start(window);
    choose(window, form, "Banca Demo Nord - ISO 20022");
    // Monday 7 December 2026, 09:30:15.
    form.state().clock = [] { return DateTimeMs{encodeDate(2026, 12, 7)} * kMsPerDay + (9 * 3600 + 30 * 60 + 15) * 1000; };
    window.setText("edCUC", "1A2B3C4D");
    window.setDate("deData_Creazione", encodeDate(2027, 6, 7));
    const std::string file = root.string() + "/STIPENDI.xml";
    window.setText("cbBancaFile", file);

    window.setDate("deData_Disposizione", encodeDate(2026, 12, 4));
    form.Button2Click();
    EXPECT_EQ(form.lastOutcome().kind, OutcomeKind::Validation);
    EXPECT_NE(form.lastOutcome().message.find("anteriore a oggi (07/12/2026)"), std::string::npos)
        << form.lastOutcome().message;
    EXPECT_FALSE(fs::exists(file));

    window.setDate("deData_Disposizione", encodeDate(2026, 12, 9));
    form.Button2Click();
    ASSERT_EQ(form.lastOutcome().kind, OutcomeKind::Ok) << form.lastOutcome().message;
    std::ifstream in(file);
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(xml.find("<CreDtTm>2026-12-07T09:30:15</CreDtTm>"), std::string::npos) << "not the typed date";
}

TEST_F(XmlBankWindow, FailedOkStandsOnItsDispositionAndControllaNotesLatinLetters) {
    // The XML banks' payroll, as an XML packet: the second payee's name with a
    // letter Windows-1252 lacks, the fifth one's IBAN check digits wrong.
    PacketContent payroll = readPacketFile(kExamples + "/sepa/Disposizioni.cds");
    const std::string folder = root.string() + "/disp";
    fs::create_directories(folder);
    writePacketFile(folder + "/Disposizioni.cds", payroll, PacketFormat::XmlUtf8);
    std::string packet = test_files::readFile(folder + "/Disposizioni.cds");
    const auto bianchi = packet.find("\"Bianchi Giulia\"");
    ASSERT_NE(bianchi, std::string::npos);
    packet.replace(bianchi, 16, "\"Bianchi \xC8\x98tefania\"");
    const auto ferrari = packet.find("Ferrari Niccol");
    const auto digits = packet.find("SACOMNUMCC=\"IT", ferrari) + 14;
    ASSERT_LT(digits, packet.size());
    std::swap(packet[digits], packet[digits + 1]);
    ASSERT_NE(packet[digits], packet[digits + 1]) << "equal check digits: choose another payee";
    test_files::writeFile(folder + "/Disposizioni.cds", packet);

    MemoryWindow window;
    TfmPzExport_Banche& form = start(window, folder);
    choose(window, form, "Banca Demo Nord - ISO 20022");
    window.setText("edCUC", "1A2B3C4D");
    const std::string execution = test_dates::FutureExecutionDate();
    window.setDate("deData_Disposizione", encodeDate(std::stoi(execution.substr(0, 4)), std::stoi(execution.substr(5, 2)),
                                                     std::stoi(execution.substr(8, 2))));
    window.setQuestionPolicy([](const std::string&) { return true; });
    form.Button2Click();
    ASSERT_EQ(form.lastOutcome().kind, OutcomeKind::Validation) << form.lastOutcome().message;
    // The whole IBAN is no longer the one of the Italian parts: the first error.
    EXPECT_EQ(form.lastOutcome().message.rfind("Disposizione 5 (Ferrari Niccol", 0), 0u) << form.lastOutcome().message;
    EXPECT_NE(form.lastOutcome().message.find("diverso da quello delle coordinate"), std::string::npos);
    EXPECT_EQ(form.state().cdsDisp.recNo(), 4) << "the grid stands on the disposition that failed";
    EXPECT_TRUE(window.questions().empty()) << "the checks come before the questions: " << window.questions()[0].text;

    form.btnControllaClick();
    ASSERT_EQ(window.lists().size(), 1u);
    bool noted = false;
    for (const auto& row : window.lists()[0].rows)
        noted = noted || (row[0] == "Nota" && row[1] == "2" && row[4] == "DESC_DESTINATARIO" &&
                          row[5].find("trascritti in lettere latine: \"Bianchi Stefania\"") != std::string::npos);
    EXPECT_TRUE(noted) << window.lists()[0].textForm;
}

// Storico lists what the register holds; a file picked shows its payments and
// is saved again, byte for byte, where the clerk says, and only after asking
// when that file exists.
TEST_F(XmlBankWindow, StoricoListsTheRegisterAndSavesAKeptFileAgain) {
    MemoryWindow window;
    window.setQuestionPolicy([](const std::string&) { return true; });
    TfmPzExport_Banche& form = start(window);
    form.btnStoricoClick();
    ASSERT_EQ(window.lists().size(), 1u);
    EXPECT_TRUE(window.lists()[0].rows.empty()) << "no register yet: an empty list, no error";
    EXPECT_TRUE(window.errors().empty());

    choose(window, form, "Banca Demo Nord - ISO 20022");
    window.setText("edCUC", "1A2B3C4D");
    window.setDate("deData_Disposizione", test_dates::FutureExecutionDay());
    const std::string produced = root.string() + "/STIPENDI.xml";
    window.setText("cbBancaFile", produced);
    form.Button2Click();
    ASSERT_EQ(form.lastOutcome().kind, OutcomeKind::Ok) << form.lastOutcome().message;

    const std::string main = root.string() + "/main/";
    const std::vector<HistoryRow> registered = ProducedFileRows(main);
    ASSERT_EQ(registered.size(), 1u);
    form.btnStoricoClick();
    ASSERT_EQ(window.lists().size(), 2u);
    const FindingList& files = window.lists()[1];
    ASSERT_EQ(files.rows.size(), 1u);
    EXPECT_EQ(files.rows[0], (std::vector<std::string>{"1", ShownMoment(registered[0].moment), "Banca Demo Nord - ISO 20022",
                                                       std::to_string(registered[0].count), formatCentsGrouped(registered[0].totalCents),
                                                       produced}));

    window.pickListRow(0);
    ASSERT_EQ(window.lists().size(), 3u);
    const FindingList& payments = window.lists()[2];
    EXPECT_EQ(payments.rows.size(), static_cast<std::size_t>(registered[0].count));
    ASSERT_FALSE(payments.action.empty());

    const std::string again = root.string() + "/di nuovo.xml";
    window.setSaveDialogAnswer(again);
    window.pressListAction();
    ASSERT_EQ(form.lastOutcome().kind, OutcomeKind::Ok) << form.lastOutcome().message;
    EXPECT_EQ(window.saveDialogRequests().back(), produced) << "the dialog proposes the name it had";
    EXPECT_TRUE(test_files::readFile(again) == test_files::readFile(produced)) << "not the bytes produced";

    // Onto a file that exists: asked first; No leaves it as it is.
    test_files::writeFile(again, "altro");
    window.setQuestionPolicy([](const std::string&) { return false; });
    window.pressListAction();
    EXPECT_EQ(window.questions().back().text, "Il file esiste gi\xE0. Sostituirlo ?");
    EXPECT_TRUE(test_files::readFile(again) == "altro") << "the file there was replaced";

    // A kept copy that is not the file's any more writes nothing and says so.
    for (const fs::directory_entry& copy : fs::directory_iterator(KeptCopyFolder(main)))
        test_files::writeFile(copy.path(), "guasta");
    window.setQuestionPolicy([](const std::string&) { return true; });
    window.pressListAction();
    EXPECT_EQ(form.lastOutcome().kind, OutcomeKind::Failure);
    EXPECT_TRUE(form.lastOutcome().message.starts_with("File non salvato: la copia")) << form.lastOutcome().message;
    EXPECT_TRUE(test_files::readFile(again) == "altro") << "the file there was replaced";
}

// The copy the register keeps of an XML file is made while the file is
// written ahead of the questions: a No leaves no copy behind, and a Yes keeps
// the very bytes saved.
TEST_F(XmlBankWindow, TheCopyOfAFileWrittenAheadLastsOnlyIfTheFileIsSaved) {
    MemoryWindow window;
    TfmPzExport_Banche& form = start(window);
    choose(window, form, "Banca Demo Nord - ISO 20022");
    window.setText("edCUC", "1A2B3C4D");
    window.setDate("deData_Disposizione", test_dates::FutureExecutionDay());
    const std::string produced = root.string() + "/STIPENDI.xml";
    window.setText("cbBancaFile", produced);
    const std::string main = root.string() + "/main/";
    auto copies = [&main] {
        return std::distance(fs::directory_iterator(KeptCopyFolder(main)), fs::directory_iterator());
    };
    window.setQuestionPolicy([](const std::string&) { return true; });
    form.Button2Click();
    ASSERT_EQ(form.lastOutcome().kind, OutcomeKind::Ok) << form.lastOutcome().message;
    ASSERT_EQ(copies(), 1);
    const std::string first = test_files::readFile(produced);

    // A new moment of creation, so new bytes: declined at the question on the file there.
    window.setQuestionPolicy([](const std::string& q) { return q != "Il file esiste gi\xE0. Sostituirlo ?"; });
    form.Button2Click();
    EXPECT_EQ(window.questions().back().text, "Il file esiste gi\xE0. Sostituirlo ?");
    EXPECT_EQ(copies(), 1) << "the declined file's copy was left behind";
    EXPECT_TRUE(test_files::readFile(produced) == first);

    window.setQuestionPolicy([](const std::string&) { return true; });
    form.Button2Click();
    ASSERT_EQ(form.lastOutcome().kind, OutcomeKind::Ok) << form.lastOutcome().message;
    EXPECT_EQ(copies(), 2);
    const std::vector<HistoryRow> registered = ProducedFileRows(main);
    ASSERT_EQ(registered.size(), 2u);
    const std::string again = root.string() + "/di nuovo.xml";
    RestoreKeptCopy(main, std::max(registered[0].id, registered[1].id), again);
    EXPECT_TRUE(test_files::readFile(again) == test_files::readFile(produced)) << "the copy is not the file saved";
}

// A register the window cannot read is said as the command says it, and the
// window goes on.
TEST_F(XmlBankWindow, StoricoSaysWhyTheRegisterCannotBeRead) {
    MemoryWindow window;
    TfmPzExport_Banche& form = start(window);
    MakeRegisterFolders(root.string() + "/main/", false);
    test_files::writeFile(RegisterPath(root.string() + "/main/"), std::string(4096, 'x'));
    std::string told;
    try {
        ProducedFileRows(root.string() + "/main/");
    } catch (const RegisterError& e) {
        told = e.what();
    }
    ASSERT_FALSE(told.empty());
    form.btnStoricoClick();
    EXPECT_EQ(form.lastOutcome().kind, OutcomeKind::Failure);
    ASSERT_EQ(window.errors().size(), 1u);
    EXPECT_EQ(window.errors()[0], "Storico non disponibile: " + told);
    EXPECT_TRUE(window.lists().empty());
}

}  // namespace
}  // namespace doz

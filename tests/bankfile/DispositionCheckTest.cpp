// The check run: every failing field of every disposition, in file order, with
// the OK command's messages; warnings listed, not asked; notices that never fail.
#include "bankfile/DispositionCheck.h"

#include "BankTestSupport.h"
#include "bankfile/BankFileWriter.h"
#include "bankfile/BankNotices.h"
#include "bankfile/EPztBanca.h"
#include "platform/Error.h"
#include "support/TestFiles.h"

namespace doz::testing {
namespace {

const char* const kCoordinates = "Abi/Cab/CC destinatario sono obbligatori per operazioni su CC.";
const char* const kAddress = "Indirizzo del destinatario obbligatorio per operazioni non su CC.";
const char* const kInternalAccount =
    "Num. C/C per \"CR Venezia\" deve essere di 12 cifre ed iniziare con \"1000\" o \"0740\"";

class DispositionCheckTest : public BankTest {
protected:
    // The dispositions, with the payee's name, CIN, IBAN parts and whole IBAN,
    // and the ordering party's branch and account besides the fields the rules read.
    void setCheckDispositions(const std::vector<Disposition>& rows) {
        std::vector<FieldDef> defs = dispositionFields();
        for (const char* n : {"DESC_DESTINATARIO", "CIN", "IBAN_STATO_DESTINATARIO", "IBAN_CKD_DESTINATARIO", "SACOMNUMCC",
                              "CAB_ORDINANTE", "CC_ORDINANTE"})
            defs.push_back(fieldDef(n));
        std::vector<Row> data;
        for (const Disposition& d : rows) {
            Row& row = data.emplace_back(defs.size());
            for (std::size_t i = 0; i < defs.size(); ++i)
                if (auto v = d.find(defs[i].name); v != d.end()) row[i] = convertToField(v->second, defs[i]);
        }
        form.cdsDisp.assign(std::move(defs), std::move(data));
    }

    std::vector<CheckFinding> check() {
        CheckSink sink;
        CheckAllDispositions(form, sink);
        return sink.findings();
    }

    // The OK command's build: the message it stops with, or "" when it passes.
    std::string okMessage() {
        BankFileText text;
        form.lineList = &text;
        std::string message;
        try {
            BuildRecords(form);
        } catch (const Error& e) {
            message = e.what();
        }
        form.lineList = nullptr;
        return message;
    }

    static std::vector<std::string> lines(const std::vector<CheckFinding>& findings) {
        std::vector<std::string> out;
        for (const CheckFinding& f : findings) out.push_back(FormatFinding(f));
        return out;
    }

    // Records 10 and 20 of an account-coordinates layout; PC and EF quote the
    // postal account of the first and last disposition, obligatory.
    void setCoordinatesLayout() {
        setCatalogue("CBI_5_02");
        setLayout({{"PC", "1-10", "CCP_DESTINATARIO", "AN", "", "O", " "},
                   {"10", "1-2", "", "F", "", "", "X"},
                   {"10", "3-7", "ABI_DESTINATARIO", "N", "", "C1", "0"},
                   {"10", "8-19", "CC_DESTINATARIO", "AN", "", "O", " "},
                   {"20", "1-2", "", "F", "", "", "Y"},
                   {"20", "3-22", "IND_DESTINATARIO", "AN", "", "C2", " "},
                   {"EF", "1-10", "CCP_DESTINATARIO", "AN", "", "O", " "}});
    }
};

Disposition payee(const char* name, int impgid, const char* abi, const char* account, const char* address) {
    return {{"DESC_DESTINATARIO", name},   {"IMPGID", impgid},          {"ABI_DESTINATARIO", abi},
            {"CAB_DESTINATARIO", "01600"}, {"CC_DESTINATARIO", account}, {"IND_DESTINATARIO", address},
            {"CAP_DESTINATARIO", "20100"}, {"COM_DESTINATARIO", "Milano"}};
}

TEST_F(DispositionCheckTest, EveryFailingFieldOfEveryDispositionInFileOrder) {
    setCoordinatesLayout();
    setCheckDispositions({payee("Verdi Anna", 3, "03069", "000012345678", "Via Roma 1"),
                          payee("Rossi Mario  ", 3, "", "000012345678", "Via Roma 2"),
                          payee("Neri Carlo", 1, "", "", ""),
                          payee("Bianchi Lucia", 3, "03069", "000012345678", "Via Po 3")});
    const std::vector<CheckFinding> findings = check();
    EXPECT_EQ(lines(findings),
              (std::vector<std::string>{
                  "Record PC, campo CCP_DESTINATARIO: Campo obbligatorio: CCP_DESTINATARIO",
                  "Disposizione 2 (Rossi Mario), record 10, campo ABI_DESTINATARIO: " + std::string(kCoordinates),
                  "Disposizione 3 (Neri Carlo), record 10, campo CC_DESTINATARIO: Campo obbligatorio: CC_DESTINATARIO",
                  "Disposizione 3 (Neri Carlo), record 20, campo IND_DESTINATARIO: " + std::string(kAddress),
                  "Record EF, campo CCP_DESTINATARIO: Campo obbligatorio: CCP_DESTINATARIO",
              }));
    for (const CheckFinding& f : findings) EXPECT_EQ(f.kind, FindingKind::Error);

    // The OK command stops at the first of them, with the same message.
    EXPECT_EQ(okMessage(), findings.front().message);
    // Nothing of the run stays behind in the window state.
    EXPECT_EQ(form.checkSink, nullptr);
    EXPECT_EQ(form.lineList, nullptr);
    EXPECT_TRUE(window.questions().empty());

    // Clean dispositions give nothing; the counts line reads zero.
    Disposition clean = payee("Verdi Anna", 3, "03069", "000012345678", "Via Roma 1");
    clean["CCP_DESTINATARIO"] = Value("1");
    setCheckDispositions({clean});
    CheckSink sink;
    CheckAllDispositions(form, sink);
    EXPECT_TRUE(sink.findings().empty());
    EXPECT_EQ(FormatFindingCounts(sink), "Errori: 0, avvisi: 0, note: 0");
    EXPECT_EQ(okMessage(), "");
}

TEST_F(DispositionCheckTest, AccountNumberWarningIsListedForEachDispositionAndNeverAsked) {
    setCatalogue("CBI_SEP2");
    setLayout({{"10", "1-12", "CC_DESTINATARIO", "AN", "", "C1", " "}});
    Disposition cash = payee("Neri Carlo", 1, "", "99", "Via Roma 1");
    cash["ABI_ORDINANTE"] = Value("06345");
    Disposition good = cash;
    good["DESC_DESTINATARIO"] = Value("Gialli Ugo");
    good["CC_DESTINATARIO"] = Value("100012345678");
    Disposition second = cash;
    second["DESC_DESTINATARIO"] = Value("Blu Ada");
    setCheckDispositions({cash, good, second});
    answer = false;

    CheckSink sink;
    CheckAllDispositions(form, sink);
    EXPECT_TRUE(window.questions().empty()) << "a check run asks nothing";
    EXPECT_TRUE(form.confirmedWarnings.none());
    EXPECT_EQ(sink.count(FindingKind::Error), 0u);
    EXPECT_EQ(lines(sink.findings()),
              (std::vector<std::string>{
                  "Avviso: disposizione 1 (Neri Carlo), record 10, campo CC_DESTINATARIO: " + std::string(kInternalAccount),
                  "Avviso: disposizione 3 (Blu Ada), record 10, campo CC_DESTINATARIO: " + std::string(kInternalAccount),
              }));
    EXPECT_EQ(FormatFindingCounts(sink), "Errori: 0, avvisi: 2, note: 0");

    // The OK command still asks, and a No ends it silently.
    BankFileText built;
    form.lineList = &built;
    EXPECT_THROW(BuildRecords(form), SilentAbort);
    form.lineList = nullptr;
    ASSERT_EQ(window.questions().size(), 1u);
    EXPECT_EQ(window.questions()[0].text, std::string(kInternalAccount) + "\r\nContinuare ?");
}

TEST_F(DispositionCheckTest, LayoutFaultsAreNotedAndTheRecordGoesOn) {
    // A gap before the second field, a field the dispositions lack, then a numeric field that fails.
    setLayout({{"10", "1-2", "", "F", "", "", "X"},
               {"10", "4-8", "CC_DESTINATARIO", "AN", "", "", " "},
               {"10", "9-12", "NO_SUCH_FIELD", "AN", "", "", " "},
               {"10", "13-15", "CAP_DESTINATARIO", "N", "", "", "0"},
               {"10", "16-17", "", "F", "", "", "Z"}});
    setCheckDispositions({{{"CAP_DESTINATARIO", "1A"}}});
    const std::vector<CheckFinding> findings = check();
    ASSERT_EQ(findings.size(), 3u);
    EXPECT_EQ(findings[0].field, "CC_DESTINATARIO");
    EXPECT_EQ(findings[0].message, "4-8");  // the start check's assertion names the position
    EXPECT_EQ(findings[1].field, "NO_SUCH_FIELD");
    EXPECT_NE(findings[1].message.find("NO_SUCH_FIELD"), std::string::npos);
    EXPECT_EQ(findings[2].message, "Campo numerico: CAP_DESTINATARIO");
    // Every field kept its place: none after the gap failed its start check
    // (three findings only), and the OK command stops at the first.
    EXPECT_EQ(okMessage(), "4-8");

    // A position that cannot be read leaves the rest of the record unplaced: one finding.
    setLayout({{"10", "1-2", "", "F", "", "", "X"},
               {"10", "x-8", "CC_DESTINATARIO", "AN", "", "", " "},
               {"10", "9-12", "NO_SUCH_FIELD", "AN", "", "", " "}});
    EXPECT_EQ(check().size(), 1u);
}

TEST_F(DispositionCheckTest, NonCbiCharactersInTextFieldsAreNoticesOnly) {
    setLayout({{"10", "1-20", "DESC_DESTINATARIO", "AN", "", "O", " "},
               {"10", "21-30", "IND_DESTINATARIO", "AN", "", "", " "},
               {"10", "31-35", "CAP_DESTINATARIO", "N", "", "", "0"}});
    setCheckDispositions({{{"DESC_DESTINATARIO", "Ferr\xE0 Nicol\xF2"}, {"IND_DESTINATARIO", "Via~Po\xE0"},
                           {"CAP_DESTINATARIO", "20100"}},
                          {{"DESC_DESTINATARIO", "D'Amico (sig.ra)"}, {"CAP_DESTINATARIO", "20100"}}});
    CheckSink sink;
    CheckAllDispositions(form, sink);
    EXPECT_EQ(sink.count(FindingKind::Error), 0u);
    EXPECT_EQ(lines(sink.findings()),
              (std::vector<std::string>{
                  "Nota: disposizione 1 (Ferr\xE0 Nicol\xF2), record 10, campo DESC_DESTINATARIO: caratteri fuori "
                  "dalla tabella CBI: \"\xE0\", \"\xF2\"",
                  "Nota: disposizione 1 (Ferr\xE0 Nicol\xF2), record 10, campo IND_DESTINATARIO: caratteri fuori "
                  "dalla tabella CBI: \"~\", \"\xE0\"",
              }));
    // The OK command is not touched by them.
    EXPECT_EQ(okMessage(), "");

    EXPECT_TRUE(IsCbiCharacter('a') && IsCbiCharacter('Z') && IsCbiCharacter('7') && IsCbiCharacter('\'') &&
                IsCbiCharacter(' '));
    for (const char c : std::string("~`^\\|{}[]\t\xE0\xE8\x80"))
        EXPECT_FALSE(IsCbiCharacter(c)) << static_cast<int>(static_cast<unsigned char>(c));
    EXPECT_EQ(NonCbiCharacters("a~b~\xE0"), "~\xE0");
}

TEST_F(DispositionCheckTest, ControlCharactersBecomeBlanksInTheFileAndNoticesInTheCheck) {
    // A CR LF in a text would split the record and start a line that looks like a record "10".
    setLayout({{"10", "1-2", "", "F", "", "", "10"},
               {"10", "3-22", "DESC_DESTINATARIO", "AN", "", "O", " "},
               {"10", "23-30", "IND_DESTINATARIO", "AN", "R", "", " "},
               {"10", "31-35", "CAP_DESTINATARIO", "N", "", "", "0"}});
    setCheckDispositions({{{"DESC_DESTINATARIO", "ST\r\n10XX"}, {"IND_DESTINATARIO", "a\tb\x1B\x7F\x07"},
                           {"CAP_DESTINATARIO", "20100"}},
                          {{"DESC_DESTINATARIO", "Rossi"}, {"CAP_DESTINATARIO", "20100"}}});
    BankFileText text;
    form.lineList = &text;
    BuildRecords(form);
    form.lineList = nullptr;
    EXPECT_EQ(text.lines(), (std::vector<std::string>{"10ST  10XX            a b     20100",
                                                      "10Rossi                       20100"}));

    EXPECT_EQ(lines(check()),
              (std::vector<std::string>{
                  "Nota: disposizione 1 (ST  10XX), record 10, campo DESC_DESTINATARIO: caratteri di controllo "
                  "scritti come spazi: codice 13, codice 10",
                  "Nota: disposizione 1 (ST  10XX), record 10, campo IND_DESTINATARIO: caratteri di controllo "
                  "scritti come spazi: codice 9, codice 27, codice 127, codice 7",
              }));
}

// A value longer than its field goes into the file cut, as before; the check
// names each one. Blanks at the end of a text and values that fit are no cut.
TEST_F(DispositionCheckTest, ValuesCutByTheFieldWidthAreNotices) {
    setLayout({{"10", "1-5", "DESC_DESTINATARIO", "AN", "", "", " "},
               {"10", "6-8", "IMPGID", "N", "", "", "0"},
               {"10", "9-13", "CAP_DESTINATARIO", "AN", "", "", " "}});
    setCheckDispositions({{{"DESC_DESTINATARIO", "Rossi"}, {"IMPGID", 12345}, {"CAP_DESTINATARIO", "201  "}},
                          {{"DESC_DESTINATARIO", "Bianchi"}, {"IMPGID", 7}, {"CAP_DESTINATARIO", "20100"}}});
    EXPECT_EQ(lines(check()),
              (std::vector<std::string>{
                  "Nota: disposizione 1 (Rossi), record 10, campo IMPGID: valore di 5 caratteri tagliato a 3: "
                  "'12345' diventa '123'",
                  "Nota: disposizione 2 (Bianchi), record 10, campo DESC_DESTINATARIO: valore di 7 caratteri "
                  "tagliato a 5: 'Bianchi' diventa 'Bianc'",
              }));
    EXPECT_EQ(okMessage(), "");
}

TEST_F(DispositionCheckTest, PayeeCinAndIbanAreWarningsTheOrderingIbanANotice) {
    setLayout({{"10", "1-2", "", "F", "", "", "X"}});
    auto withCoordinates = [](const char* name, const char* cin, const char* ckd) {
        Disposition d = {{"DESC_DESTINATARIO", name},  {"ABI_DESTINATARIO", "05428"}, {"CAB_DESTINATARIO", "11101"},
                         {"CC_DESTINATARIO", "123456"}, {"CIN", cin},                  {"ABI_ORDINANTE", "05428"},
                         {"CAB_ORDINANTE", "11101"},    {"CC_ORDINANTE", "000000123456"}};
        if (ckd) {
            d["IBAN_STATO_ORDINANTE"] = Value("IT");
            d["IBAN_CKD_ORDINANTE"] = Value(ckd);
            d["CIN_ORDINANTE"] = Value("X");
        }
        return d;
    };
    // The payee's IBAN: its parts with check digits, or whole; right (IT60) or wrong (IT61).
    Disposition parts = withCoordinates("Cinque", "X", nullptr), whole = withCoordinates("Sei", "X", nullptr);
    parts["IBAN_STATO_DESTINATARIO"] = Value("IT");
    parts["IBAN_CKD_DESTINATARIO"] = Value("61");
    whole["SACOMNUMCC"] = Value("IT61 X054 2811 1010 0000 0123 456");
    Disposition sound = parts;
    sound["DESC_DESTINATARIO"] = Value("Sette");
    sound["IBAN_CKD_DESTINATARIO"] = Value("60");
    sound["SACOMNUMCC"] = Value("IT60X0542811101000000123456");
    setCheckDispositions({withCoordinates("Uno", "X", "60"), withCoordinates("Due", "Y", "61"),
                          withCoordinates("Tre", "", nullptr), withCoordinates("Quattro", "x", "61"), parts, whole, sound});
    CheckSink sink;
    CheckAllDispositions(form, sink);
    EXPECT_EQ(sink.count(FindingKind::Error), 0u);
    EXPECT_EQ(lines(sink.findings()),
              (std::vector<std::string>{
                  "Avviso: disposizione 2 (Due), campo CIN: CIN Y non corrisponde ad ABI, CAB e conto del destinatario "
                  "(atteso X)",
                  "Nota: disposizione 2 (Due), campo IBAN_CKD_ORDINANTE: cifre di controllo 61 non corrispondenti "
                  "all'IBAN ordinante IT61X0542811101000000123456 (attese 60), in 2 disposizioni",
                  "Avviso: disposizione 5 (Cinque), campo IBAN_CKD_DESTINATARIO: cifre di controllo 61 non "
                  "corrispondenti all'IBAN del destinatario IT61X0542811101000000123456 (attese 60)",
                  "Avviso: disposizione 6 (Sei), campo SACOMNUMCC: IBAN \"IT61X0542811101000000123456\": cifre di "
                  "controllo errate",
              }));
    // The file is the layout's, and OK asks nothing of them.
    EXPECT_EQ(okMessage(), "");
    EXPECT_TRUE(window.questions().empty());

    // Without the ordering branch the IBAN cannot be rebuilt, and is not judged.
    std::vector<Disposition> noBranch = {withCoordinates("Uno", "X", "61")};
    noBranch[0]["CAB_ORDINANTE"] = Value("");
    setCheckDispositions(noBranch);
    EXPECT_TRUE(check().empty());
}

// Names read with letters Windows-1252 lacks are noted where they stand now in
// the dispositions; one replaced since is not.
TEST_F(DispositionCheckTest, TextsWrittenInLatinLettersAreNotedByDispositionAndField) {
    const std::string path = scratch() + "Disposizioni.cds";
    test_files::writeFile(path,
                          "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\">"
                          "<METADATA><FIELDS><FIELD attrname=\"DESC_DESTINATARIO\" fieldtype=\"string\" WIDTH=\"30\"/>"
                          "<FIELD attrname=\"COM_DESTINATARIO\" fieldtype=\"string\" WIDTH=\"30\"/></FIELDS><PARAMS/>"
                          "</METADATA><ROWDATA><ROW DESC_DESTINATARIO=\"Mario Rossi\" COM_DESTINATARIO=\"Citt\xC3\xA0\"/>"
                          "<ROW DESC_DESTINATARIO=\"\xC8\x98tefan Pop\" COM_DESTINATARIO=\"Bra\xC8\x99ov\"/>"
                          "<ROW DESC_DESTINATARIO=\"\xC5\x81ukasz\"/></ROWDATA></DATAPACKET>");
    form.cdsLeggi.loadFromFile(path);
    // The dispositions as the transfer rules leave them: the third payee renamed.
    setCheckDispositions({{{"IMPGID", 1}, {"DESC_DESTINATARIO", "Mario Rossi"}, {"COM_DESTINATARIO", "Citt\xE0"}},
                          {{"IMPGID", 1}, {"DESC_DESTINATARIO", "Stefan Pop"}, {"COM_DESTINATARIO", "Brasov"}},
                          {{"IMPGID", 1}, {"DESC_DESTINATARIO", "Lukasz Nowak"}}});

    EXPECT_EQ(lines(check()),
              (std::vector<std::string>{
                  "Nota: disposizione 2 (Stefan Pop), campo DESC_DESTINATARIO: caratteri non rappresentabili nel file, "
                  "trascritti in lettere latine: \"Stefan Pop\"",
                  "Nota: disposizione 2 (Stefan Pop), campo COM_DESTINATARIO: caratteri non rappresentabili nel file, "
                  "trascritti in lettere latine: \"Brasov\""}));
}

}  // namespace
}  // namespace doz::testing

// The two XML banks of examples/ through the batch command, on the payroll of
// examples/sepa/ (one payee paid in Germany): the documents they write, the
// question about payments that are no credit transfers, the schema's refusal,
// the check, and the element map read from the data files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>

#include "cli/CliSupport.h"
#include "platform/Files.h"
#include "sepa/XmlLog.h"
#include "support/ExecutionDate.h"

namespace cli_test {
namespace {

const std::string kSchemas = std::string(DOZ_SHARED_DIR) + "/fixtures/xsd";
const std::string kSepaPayroll = kExamples + "/sepa";
const char kCbiBank[] = "Banca Demo Nord - SEPA XML";
const char kIsoBank[] = "Banca Demo Nord - ISO 20022";

// Six of the 36 payments exported are cash (3) or cashier's cheques (3):
// 280130 + 343505 cents.
const char kLeftOutQuestion[] =
    "6 pagamenti (per cassa o con assegno) non sono bonifici e non saranno nel file (totale 6.236,35). Continuare ?";

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class XmlBank : public ::testing::Test {
protected:
    TempDir home;
    std::string output = home.str("STIPENDI.xml");

    void SetUp() override {
        if (!fs::exists(kSepaPayroll + "/Disposizioni.cds")) GTEST_SKIP() << "examples/ not generated (scripts/make-demo.sh)";
    }

    RunResult run(const std::string& command, const std::string& bank, std::map<std::string, std::string> header,
                  std::vector<std::string> more, const std::string& layouts = kExamples) {
        std::vector<std::string> args = {command,   kSepaPayroll, "--bank",      bank,
                                         "--layouts", layouts, "--main-folder", home.str("main"),
                                         "--regional", "it_IT"};
        if (command != "check") args.insert(args.end(), {"--output", output});
        header.try_emplace("CUC", "1A2B3C4D");
        for (const auto& [field, value] : headerFromToday()) header.try_emplace(field, value);
        appendDemoHeader(args, header);
        args.insert(args.end(), more.begin(), more.end());
        return runCli(args, home.str());
    }

    // xmllint's verdict on the document, independent of the program's own check.
    static void expectValid(const std::string& file, const std::string& xsd) {
        if (std::system("command -v xmllint >/dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint not installed";
        const std::string cmd = "xmllint --noout --schema '" + xsd + "' '" + file + "' 2>/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << file << " against " << xsd;
    }
};

TEST_F(XmlBank, EachDemoXmlBankWritesAValidDocumentWithoutCashOrCheques) {
    if (!fs::exists(kSchemas)) GTEST_SKIP() << "no schemas in " << kSchemas;
    struct Case {
        const char* bank;
        const char* xsd;
    };
    std::set<std::string> messageIds;
    for (const Case& c : {Case{kCbiBank, "CBIBdyPaymentRequest.00.04.01.xsd"}, Case{kIsoBank, "pain.001.001.09.xsd"}}) {
        SCOPED_TRACE(c.bank);
        fs::remove(output);
        const RunResult r = run("export", c.bank, {}, {"--yes", "--xsd-dir", kSchemas});
        ASSERT_EQ(r.status, 0) << r.err;
        expectValid(output, kSchemas + "/" + c.xsd);
        const std::string xml = readFile(output);
        // 37 dispositions with a payment mode, six of them cash or cheques. (The
        // interbank form puts a namespace prefix on the element names.)
        EXPECT_EQ(count(xml, "EndToEndId>"), 2 * 31);
        EXPECT_NE(xml.find("NbOfTxs>31<"), std::string::npos);
        EXPECT_NE(xml.find("Rossi Mario"), std::string::npos);
        EXPECT_EQ(xml.find("Colombo Andrea"), std::string::npos) << "a cash payment travelled";
        EXPECT_EQ(xml.find("De Luca Martina"), std::string::npos) << "a cheque travelled";
        EXPECT_EQ(xml.find("Lombardi Stefano"), std::string::npos) << "the exclusion filter was ignored";
        EXPECT_EQ(count(xml, "Cd>SALA<"), 31);
        // The payee paid in Germany: the whole IBAN, the address's country the account's.
        EXPECT_TRUE(std::regex_search(xml, std::regex("IBAN>DE[0-9]{20}<")));
        EXPECT_EQ(count(xml, "Ctry>DE<"), 1);
        EXPECT_EQ(count(xml, "Ctry>IT<"), 30 + 1) << "the Italian payees and the payer";
        EXPECT_NE(xml.find("TwnNm>06010 Montevario (PG)<"), std::string::npos) << "the payer's address";
        EXPECT_NE(xml.find("Id>1A2B3C4D<"), std::string::npos) << "the CUC";
        // The giroconto's account is at the ordering party's bank (ABI 03442).
        EXPECT_TRUE(std::regex_search(xml, std::regex("IBAN>IT[0-9]{2}[A-Z]0344238470000000662211<")));
        std::smatch id;
        ASSERT_TRUE(std::regex_search(xml, id, std::regex("MsgId>([^<]{1,35})<")));
        messageIds.insert(id[1]);
        const std::string log = readFile(home.str("main/var/log/Pzt/doz/STIPENDI.xml"));
        EXPECT_NE(log.find("=\"1A2B3C4D\""), std::string::npos) << "the log lists the elements";
    }
    EXPECT_EQ(messageIds.size(), 2u) << "every file has a message id of its own";
}

TEST_F(XmlBank, PaymentsThatAreNoTransfersAreAskedAboutFirst) {
    const RunResult no = run("export", kIsoBank, {}, {});
    EXPECT_EQ(no.status, 3) << no.err;
    EXPECT_EQ(no.lastErrorLine(), kLeftOutQuestion);
    EXPECT_FALSE(fs::exists(output));

    // The draft listing still shows every payment.
    const RunResult listing = run("brogliaccio", kIsoBank, {}, {});
    ASSERT_EQ(listing.status, 0) << listing.err;
    EXPECT_NE(readFile(home.str("main/var/log/Pzt/doz/stp/BROGLIACCIO_STIPENDI.xml")).find("Colombo"), std::string::npos);

    // check lists them as notes, one per payment.
    const RunResult check = run("check", kIsoBank, {}, {});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(count(check.out, "non \xC3\xA8 un bonifico e non sar\xC3\xA0 nel file"), 6) << check.out;
}

// The document is written ahead while the transfers are checked; where it
// cannot be, it is written after the questions, and fails there as before.
TEST_F(XmlBank, AFileThatCannotBeMadeFailsAfterTheQuestionsAsBefore) {
    output = home.str("manca/STIPENDI.xml");
    const RunResult no = run("export", kIsoBank, {}, {});
    EXPECT_EQ(no.status, 3) << no.err;
    EXPECT_EQ(no.lastErrorLine(), kLeftOutQuestion);
    const RunResult yes = run("export", kIsoBank, {}, {"--yes"});
    EXPECT_EQ(yes.status, 4) << yes.err;
    EXPECT_TRUE(yes.lastErrorLine().starts_with("Impossibile scrivere il file '" + output + "'")) << yes.err;
    EXPECT_FALSE(fs::exists(home.str("manca")));
}

TEST_F(XmlBank, CheckListsEveryFailureAndTheChangedTexts) {
    const RunResult r = run("check", kIsoBank, {{"CUC", ""}, {"Data_Disposizione", "2026-12-12"}}, {});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_GE(count(r.out, "\n"), 3);
    EXPECT_NE(r.out.find("CUC"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("DATA_DISPOSIZIONE"), std::string::npos) << "the Saturday execution date\n" << r.out;
    // "Ferrari Niccolò" travels as "Ferrari Niccolo": a note, not an error.
    EXPECT_TRUE(std::regex_search(r.out, std::regex("Nota: .*Ferrari Niccol"))) << r.out;
    EXPECT_NE(r.out.find("Errori: "), std::string::npos);
}

TEST_F(XmlBank, MissingInterbankSchemaIsToldOnceAndTheOwnChecksDecide) {
    fs::create_directories(home.str("empty"));
    const RunResult r = run("export", kCbiBank, {}, {"--yes", "--xsd-dir", home.str("empty")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count(r.err, "CBIBdyPaymentRequest.00.04.01.xsd non trovato"), 1) << r.err;
    EXPECT_TRUE(fs::exists(output));

    // The Log command logs an XML bank's file element by element.
    const std::string logFile = home.str("main/var/log/Pzt/doz/STIPENDI.xml");
    fs::remove(logFile);
    const RunResult log = runCli({"log", "--bank", kCbiBank, "--output", output, "--layouts", kExamples,
                                  "--main-folder", home.str("main")},
                                 home.str());
    EXPECT_EQ(log.status, 0) << log.err;
    EXPECT_EQ(count(readFile(logFile), "PmtId/EndToEndId=\""), 31);

    const RunResult check = run("check", kCbiBank, {}, {"--xsd-dir", home.str("empty")});
    EXPECT_NE(check.out.find("Nota: Schema CBIBdyPaymentRequest.00.04.01.xsd non trovato"), std::string::npos)
        << check.out;
}

TEST_F(XmlBank, DocumentTheSchemaRefusesLeavesTheOldFileAndLogUntouched) {
    if (!fs::exists(kSchemas + "/pain.001.001.09.xsd")) GTEST_SKIP() << "no schemas in " << kSchemas;
    // Stricter schemas: identifiers of five characters at most (refused in the
    // header, before any transfer), or no country but Italy (refused at the
    // payee paid in Germany, once the transfers before it are in the new file).
    struct Case {
        const char* type;
        const char* facet;
        const char* strict;
    };
    const std::string log = home.str("main/var/log/Pzt/doz/STIPENDI.xml");
    for (const Case& c : {Case{"name=\"Max35Text\"", "value=\"35\"", "value=\"5\""},
                          Case{"name=\"CountryCode\"", "value=\"[A-Z]{2,2}\"", "value=\"IT\""}}) {
        SCOPED_TRACE(c.type);
        std::string xsd = readFile(kSchemas + "/pain.001.001.09.xsd");
        const auto type = xsd.find(c.type);
        ASSERT_NE(type, std::string::npos);
        const auto facet = xsd.find(c.facet, type);
        ASSERT_NE(facet, std::string::npos);
        xsd.replace(facet, std::string(c.facet).size(), c.strict);
        fs::create_directories(home.str("strict"));
        writeFile(home.str("strict/pain.001.001.09.xsd"), xsd);
        writeFile(output, "old file");
        fs::create_directories(fs::path(log).parent_path());
        writeFile(log, "old log");

        const RunResult r = run("export", kIsoBank, {}, {"--yes", "--xsd-dir", home.str("strict")});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.lastErrorLine().find("Il file non rispetta lo schema pain.001.001.09.xsd: "), std::string::npos)
            << r.err;
        EXPECT_EQ(readFile(output), "old file");
        EXPECT_EQ(readFile(log), "old log");
        // Nothing of the new file or of its log's lines is left beside them.
        std::set<std::string> beside;
        for (const auto& entry : fs::directory_iterator(home.str())) beside.insert(entry.path().filename().string());
        EXPECT_EQ(beside.count("STIPENDI.xml"), 1u);
        EXPECT_EQ(std::count_if(beside.begin(), beside.end(), [](const std::string& n) { return n.starts_with("."); }), 0)
            << *beside.begin();
        EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(log).parent_path()), fs::directory_iterator()), 1);
    }
}

TEST_F(XmlBank, LogIsTheSavedFilesWhetherMadeByTheValidationOrReadBack) {
    // The first export makes the log folder once the file is saved and logs
    // the saved file read back; the next one takes the lines the schema's
    // validation made while the file was written.
    const std::string logFolder = home.str("main/var/log/Pzt/doz");
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        ASSERT_EQ(fs::exists(logFolder), pass > 0);
        const RunResult r = run("export", kIsoBank, {}, {"--yes"});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string expected = home.str("expected.log");
        {
            doz::TextFileWriter out(expected);
            doz::sepa::LogXmlContent(readFile(output), out);
            out.close();
        }
        EXPECT_EQ(readFile(logFolder + "/STIPENDI.xml"), readFile(expected));
        EXPECT_EQ(std::distance(fs::directory_iterator(logFolder), fs::directory_iterator()), 1) << "the log alone";
    }
}

TEST_F(XmlBank, ElementMapComesFromTheBankLayoutFile) {
    // A pension payroll: the same bank, its layout file saying PENS; the
    // amounts in euro (IMPORTO_EURO, a float field) instead of cents.
    const std::string layouts = home.str("layouts");
    fs::copy(kExamples, layouts);
    auto setRow = [&](const char* element, const char* field, const char* constant) {
        doz::PacketContent layout = doz::readPacketFile(layouts + "/SEPA_ISO.Xml");
        for (doz::Row& row : layout.rows)
            if (row[1].get<std::string>() == element) {
                row[2] = *field ? doz::Value(field) : doz::Value();
                row[3] = *constant ? doz::Value(constant) : doz::Value();
            }
        doz::writePacketFile(layouts + "/SEPA_ISO.Xml", layout, doz::PacketFormat::Xml);
    };
    const RunResult cents = run("export", kIsoBank, {}, {"--yes"}, layouts);
    ASSERT_EQ(cents.status, 0) << cents.err;
    std::smatch sum;
    const std::string centsXml = readFile(output);
    ASSERT_TRUE(std::regex_search(centsXml, sum, std::regex("<CtrlSum>[0-9.]+</CtrlSum>")));
    // Created when written: today.
    EXPECT_NE(centsXml.find("<CreDtTm>" + doz::isoDate(doz::today()) + "T"), std::string::npos);

    setRow("PmtTpInf/CtgyPurp/Cd", "", "PENS");
    setRow("Amt/InstdAmt", "IMPORTO_EURO", "");
    const RunResult r = run("export", kIsoBank, {}, {"--yes"}, layouts);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string xml = readFile(output);
    EXPECT_EQ(count(xml, "<Cd>PENS</Cd>"), 31);
    EXPECT_EQ(xml.find("SALA"), std::string::npos);
    EXPECT_NE(xml.find(sum.str()), std::string::npos) << "euro taken exactly as the same cents";

    // A header value says nothing of the unit: refused, naming element and value.
    setRow("Amt/InstdAmt", "CUC", "");
    const RunResult header = run("export", kIsoBank, {}, {"--yes"}, layouts);
    EXPECT_EQ(header.status, 4) << header.err;  // a data file at fault, as any layout that cannot be read
    EXPECT_NE(header.lastErrorLine().find("Ord 150, elemento \"Amt/InstdAmt\": l'importo viene dal valore di testata "
                                          "'CUC' (\"1A2B3C4D\")"),
              std::string::npos)
        << header.err;
}

}  // namespace
}  // namespace cli_test

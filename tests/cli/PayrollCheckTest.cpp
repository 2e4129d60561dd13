// The payroll checks through pzt-bankfile: the same payee paid twice and an
// execution date already past, for an XML bank (asked, or stopping, in
// export) and for a fixed-width bank (listed by check; export keeps its exit
// statuses); the same payroll produced again and an account changed since the
// last file, asked by both.
#include <gtest/gtest.h>

#include "cli/CliSupport.h"
#include "register/FileRegister.h"

namespace cli_test {
namespace {

const char kXmlBank[] = "Banca Demo Nord - ISO 20022";
const char kFixedWidthBank[] = "Banca Demo Nord";

// A working day a week or more ago that no holiday closes.
std::string pastExecution() {
    doz::DaySerial day = doz::today() - 7;
    while (!doz::IsSettlementDay(day) || doz::ItalianHoliday(day)) --day;
    return doz::isoDate(day);
}

class PayrollCheck : public ::testing::Test {
protected:
    TempDir home;
    std::string dispositions = home.str("disp");

    // The demo's dispositions without cash payments and cheques (no other
    // question comes first), the first bank transfer given twice.
    void SetUp() override {
        if (!fs::exists(kExamples + "/SEPA_ISO.Xml")) GTEST_SKIP() << "examples/ not generated (scripts/make-demo.sh)";
        disp = doz::readPacketFile(kExamples + "/Disposizioni.cds");
        std::size_t kind = 0, mode = 0;
        for (std::size_t i = 0; i < disp.fields.size(); ++i) {
            if (disp.fields[i].name == "IMPGID") kind = i;
            if (disp.fields[i].name == "MODALITA_PAGAMENTO") mode = i;
        }
        std::vector<doz::Row> rows;
        for (const doz::Row& row : disp.rows) {
            const std::int64_t k = row[kind].get<std::int64_t>();
            if (k == 1 || k == 4) continue;
            rows.push_back(row);
            if (k == 3 && !row[mode].isNull() && rows.size() == 1) rows.push_back(row);
        }
        ASSERT_EQ(rows[0], rows[1]) << "a bank transfer with a payment mode comes first";
        disp.rows = std::move(rows);
        fs::create_directories(dispositions);
        doz::writePacketFile(dispositions + "/Disposizioni.cds", disp, doz::PacketFormat::Binary);
    }

    // The third payee moves to another account (an IBAN and its Italian parts).
    void changeThirdAccount() {
        const std::map<std::string, std::string> account = {{"SACOMNUMCC", "IT60X0542811101000000123456"},
                                                            {"ABI_DESTINATARIO", "05428"},
                                                            {"CAB_DESTINATARIO", "11101"},
                                                            {"CC_DESTINATARIO", "000000123456"},
                                                            {"CIN", "X"}};
        for (std::size_t i = 0; i < disp.fields.size(); ++i)
            if (const auto it = account.find(disp.fields[i].name); it != account.end())
                disp.rows[2][i] = doz::Value(it->second);
        doz::writePacketFile(dispositions + "/Disposizioni.cds", disp, doz::PacketFormat::Binary);
    }

    RunResult run(const std::string& command, const std::string& bank, std::map<std::string, std::string> header,
                  std::vector<std::string> more = {}) {
        std::vector<std::string> args = {command,     dispositions,     "--bank",     bank,   "--layouts",
                                         kExamples,   "--main-folder",  home.str("main"), "--regional", "it_IT",
                                         "--output",  output(bank)};
        header.try_emplace("CUC", "1A2B3C4D");
        for (const auto& [field, value] : headerFromToday()) header.try_emplace(field, value);
        appendDemoHeader(args, header);
        args.insert(args.end(), more.begin(), more.end());
        return runCli(args, home.str());
    }
    std::string output(const std::string& bank) const {
        return home.str(bank == kXmlBank ? "STIPENDI.xml" : "STIPENDI.Txt");
    }

    doz::PacketContent disp;
};

TEST_F(PayrollCheck, XmlBankAsksAboutThePayeePaidTwiceAndStopsAtAPastExecutionDate) {
    const RunResult declined = run("export", kXmlBank, {});
    EXPECT_EQ(declined.status, 3) << declined.err;
    EXPECT_NE(declined.err.find("Controlli dei pagamenti: 2 avvisi"), std::string::npos) << declined.err;
    EXPECT_NE(declined.err.find("Avviso: disposizione 2 "), std::string::npos) << declined.err;
    EXPECT_NE(declined.err.find("stesso codice beneficiario"), std::string::npos) << declined.err;
    EXPECT_FALSE(fs::exists(output(kXmlBank)));

    const RunResult accepted = run("export", kXmlBank, {}, {"--yes"});
    EXPECT_EQ(accepted.status, 0) << accepted.err;
    EXPECT_TRUE(fs::exists(output(kXmlBank)));
    fs::remove(output(kXmlBank));

    // The same payments again: the register names the file already produced.
    const RunResult again = run("export", kXmlBank, {});
    EXPECT_EQ(again.status, 3) << again.err;
    EXPECT_NE(again.err.find("gli stessi pagamenti sono gi\u00e0 stati prodotti per questa banca: file \"" +
                             output(kXmlBank) + "\" del "),
              std::string::npos)
        << again.err;

    const RunResult past = run("export", kXmlBank, {{"Data_Disposizione", pastExecution()}}, {"--yes"});
    EXPECT_EQ(past.status, 1) << past.err;
    EXPECT_NE(past.lastErrorLine().find("anteriore a oggi"), std::string::npos) << past.err;
    EXPECT_FALSE(fs::exists(output(kXmlBank)));
    // The payments written to the register during the walk went with each No and each error.
    const std::vector<doz::ProducedFile> files = doz::FileRegister(home.str("main"), doz::FileRegister::Open::Existing).files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(doz::FileRegister(home.str("main"), doz::FileRegister::Open::Existing).payments(files[0].id).size(),
              static_cast<std::size_t>(files[0].count));
}

TEST_F(PayrollCheck, FixedWidthBankListsThemInCheckAndExportsAsBefore) {
    doz::DaySerial execution = 0;
    ASSERT_TRUE(doz::parseIsoDate(pastExecution(), execution));
    const std::map<std::string, std::string> past = {{"Data_Creazione", doz::isoDate(execution - 7)},
                                                     {"Data_Disposizione", doz::isoDate(execution)},
                                                     {"Data_Valuta", doz::isoDate(execution)}};
    const RunResult check = run("check", kFixedWidthBank, past);
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_NE(check.out.find("Avviso: disposizione 2 "), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("stesso codice beneficiario"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("anteriore a oggi"), std::string::npos) << check.out;

    const RunResult exported = run("export", kFixedWidthBank, past);
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_TRUE(fs::exists(output(kFixedWidthBank)));
}

TEST_F(PayrollCheck, FixedWidthBankAsksAboutTheRegisterOnly) {
    const RunResult first = run("export", kFixedWidthBank, {});
    ASSERT_EQ(first.status, 0) << first.err;
    fs::remove(output(kFixedWidthBank));

    const RunResult again = run("export", kFixedWidthBank, {});
    EXPECT_EQ(again.status, 3) << again.err;
    EXPECT_NE(again.err.find("gli stessi pagamenti sono gi\u00e0 stati prodotti"), std::string::npos) << again.err;
    EXPECT_EQ(again.err.find("stesso codice beneficiario"), std::string::npos) << "listed by check only\n" << again.err;
    EXPECT_FALSE(fs::exists(output(kFixedWidthBank)));

    changeThirdAccount();
    const RunResult moved = run("export", kFixedWidthBank, {});
    EXPECT_EQ(moved.status, 3) << moved.err;
    EXPECT_NE(moved.err.find("Avviso: disposizione 3 (Bianchi Giulia): conto diverso da quello dell'ultimo "
                             "pagamento: prima IT38Z0876538470000000456123, ora IT60X0542811101000000123456"),
              std::string::npos)
        << moved.err;
    // Each No left the register as it was.
    EXPECT_EQ(doz::FileRegister(home.str("main"), doz::FileRegister::Open::Existing).files().size(), 1u);
    EXPECT_EQ(run("export", kFixedWidthBank, {}, {"--yes"}).status, 0);
    EXPECT_EQ(doz::FileRegister(home.str("main"), doz::FileRegister::Open::Existing).files().size(), 2u);

    const RunResult check = run("check", kFixedWidthBank, {});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_NE(check.out.find("Nota: confronto con l'ultimo file"), std::string::npos) << check.out;
}

}  // namespace
}  // namespace cli_test

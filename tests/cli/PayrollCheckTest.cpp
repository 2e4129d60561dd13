// The payroll checks through pzt-bankfile: the same payee paid twice and an
// execution date already past, for an XML bank (asked, or stopping, in
// export) and for a fixed-width bank (listed by check; export keeps its exit
// statuses).
#include <gtest/gtest.h>

#include "cli/CliSupport.h"

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
        doz::PacketContent disp = doz::readPacketFile(kExamples + "/Disposizioni.cds");
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

    const RunResult past = run("export", kXmlBank, {{"Data_Disposizione", pastExecution()}}, {"--yes"});
    EXPECT_EQ(past.status, 1) << past.err;
    EXPECT_NE(past.lastErrorLine().find("anteriore a oggi"), std::string::npos) << past.err;
    EXPECT_FALSE(fs::exists(output(kXmlBank)));
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

}  // namespace
}  // namespace cli_test

// The demonstration data of examples/ exported for every bank of its catalogue
// with the header values examples/README.md documents, and the checks of each
// layout code reached through those files.
#include <gtest/gtest.h>

#include <map>

#include "cli/CliSupport.h"

namespace cli_test {
namespace {

class DemoExport : public ::testing::Test {
protected:
    TempDir home;
    std::string bankFile = home.str("bank.txt");

    void SetUp() override {
        if (!fs::exists(kExamples + "/Tracciati.xml")) GTEST_SKIP() << "examples/ not generated (scripts/make-demo.sh)";
        // The fixed-width banks: those whose Formato (fifth column, when present) is empty.
        for (const doz::Row& row : doz::readPacketFile(kExamples + "/Tracciati.xml").rows)
            if (row.size() < 5 || row[4].isNull())
                banks.emplace_back(doz::ansiToUtf8(row[0].get<std::string>()), row[1].get<std::string>());
    }

    RunResult exportBank(const std::string& bank, std::map<std::string, std::string> changes = {},
                         std::vector<std::string> more = {}) {
        fs::remove(bankFile);
        std::vector<std::string> args = {"export",    kExamples,   "--bank",        bank,
                                         "--output",  bankFile,    "--layouts",     kExamples,
                                         "--main-folder", home.str("main"), "--regional", "it_IT"};
        appendDemoHeader(args, changes);
        args.insert(args.end(), more.begin(), more.end());
        return runCli(args, home.str());
    }
    std::string bankWithCode(const std::string& code) const {
        for (const auto& [name, c] : banks)
            if (c == code) return name;
        ADD_FAILURE() << "no demo bank for " << code;
        return {};
    }

    std::vector<std::pair<std::string, std::string>> banks;  // display name (UTF-8), layout code
};

TEST_F(DemoExport, EveryDemoBankExportsCleanlyWithTheDocumentedHeader) {
    ASSERT_GE(banks.size(), 7u);
    for (const auto& [bank, code] : banks) {
        SCOPED_TRACE(bank);
        const RunResult r = exportBank(bank);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string content = readFile(bankFile);
        std::vector<std::string> lines;
        for (std::size_t at = 0; at < content.size();) {
            const auto end = content.find("\r\n", at);
            ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
            lines.push_back(content.substr(at, end - at));
            at = end + 2;
        }
        ASSERT_GE(lines.size(), 3u);
        for (const std::string& line : lines) EXPECT_EQ(line.size(), 120u) << line;
        EXPECT_EQ(lines.front().substr(1, 2), "PC");
        const std::string& footer = lines.back();
        EXPECT_EQ(footer.substr(1, 2), "EF");
        EXPECT_EQ(std::stoi(footer.substr(82, 7)), static_cast<int>(lines.size())) << "TOT_RECORD";
        EXPECT_EQ(std::stoi(footer.substr(45, 7)), 36) << "dispositions with a payment mode";
        EXPECT_EQ(footer.substr(3, 5), "A1B2C");
    }
}

TEST_F(DemoExport, DispositionsWithoutPaymentModeStopEveryExport) {
    for (const auto& [bank, code] : banks) {
        SCOPED_TRACE(bank);
        const RunResult r = exportBank(bank, {}, {"--all"});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_FALSE(fs::exists(bankFile));
    }
}

TEST_F(DemoExport, LayoutSpecificChecksGuardTheHeaderDates) {
    struct Case {
        const char* code;
        std::map<std::string, std::string> header;
        std::string message;  // UTF-8
    };
    const std::vector<Case> cases = {
        {"CBI_SEP", {{"Data_Disposizione", "2026-12-08"}},
         "Data di esecuzione deve essere almeno 2 gg lavorativi dopo la data di creazione"},
        {"CBI_SEP2", {{"DATA_SCADENZA", "2026-12-23"}},
         "Data scadenza bonifici in circolarit\u00e0 (per cassa) deve essere compresa tra 15 e 360 gg dopo la data "
         "di esecuzione"},
        {"CBI_SEP2", {{"Data_Disposizione", ""}}, "Campo obbligatorio: DATA_DISPOSIZIONE"},
        {"CBI_MARCA", {{"Data_Valuta", ""}}, "Data valuta obbligatoria per i pagamenti su conto corrente."},
        {"DELTA_SIOPE", {{"Conto_Tesoreria", ""}}, "Campo obbligatorio: Conto_Tesoreria"},
        {"CBI_5_02", {{"Mittente", ""}}, "Campo obbligatorio: Mittente"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const RunResult r = exportBank(bankWithCode(c.code), c.header);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.lastErrorLine(), c.message);
    }
    // The expiry limit itself passes: 15 days after the execution date.
    EXPECT_EQ(exportBank(bankWithCode("CBI_SEP2"), {{"DATA_SCADENZA", "2026-12-24"}}).status, 0);
}

}  // namespace
}  // namespace cli_test

// pzt-bankfile check on the demonstration data of examples/: every problem of
// the month listed at once, nothing written, the exit status telling whether
// an export would pass.
#include <gtest/gtest.h>

#include <map>

#include "cli/CliSupport.h"

namespace cli_test {
namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = text.find('\n', at);
        out.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return out;
}

bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

class CheckCommand : public ::testing::Test {
protected:
    TempDir home;
    std::string bankFile = home.str("bank.txt");
    std::string mainFolder = home.str("main");

    void SetUp() override {
        if (!fs::exists(kExamples + "/Tracciati.xml")) GTEST_SKIP() << "examples/ not generated (scripts/make-demo.sh)";
        // The fixed-width banks (no Formato); the XML banks' check is in XmlBankTest.cpp.
        for (const doz::Row& row : doz::readPacketFile(kExamples + "/Tracciati.xml").rows)
            if (row.size() < 5 || row[4].isNull()) banks.push_back(doz::ansiToUtf8(row[0].get<std::string>()));
    }

    // export writes bankFile; check is given no --output (it needs none).
    RunResult run(const std::string& command, const std::string& bank, std::map<std::string, std::string> changes = {},
                  std::vector<std::string> more = {}) {
        std::vector<std::string> args = {command,   kExamples,     "--bank",   bank,   "--layouts",
                                         kExamples, "--main-folder", mainFolder, "--regional", "it_IT"};
        if (command == "export") args.insert(args.end(), {"--output", bankFile});
        for (const auto& [field, value] : headerFromToday()) changes.try_emplace(field, value);
        appendDemoHeader(args, changes);
        args.insert(args.end(), more.begin(), more.end());
        return runCli(args, home.str());
    }

    std::vector<std::string> banks;
};

TEST_F(CheckCommand, CleanDemoDataPassesForEveryBankAndWritesNothing) {
    ASSERT_GE(banks.size(), 7u);
    for (const std::string& bank : banks) {
        SCOPED_TRACE(bank);
        const RunResult r = run("check", bank, {}, {"--output", bankFile});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::vector<std::string> out = splitLines(r.out);
        ASSERT_FALSE(out.empty());
        EXPECT_TRUE(startsWith(out.back(), "Errori: 0, avvisi: 0, note: ")) << out.back();
        // Only notices: the accented town and payee names of the demo, never a
        // CIN or IBAN of it; and that no file of the bank was produced before.
        ASSERT_GE(out.size(), 2u);
        EXPECT_TRUE(startsWith(out[out.size() - 2], "Nota: primo file di questa banca")) << out[out.size() - 2];
        for (std::size_t i = 0; i + 2 < out.size(); ++i) {
            EXPECT_TRUE(startsWith(out[i], "Nota: disposizione ")) << out[i];
            EXPECT_NE(out[i].find("tabella CBI"), std::string::npos) << out[i];
        }
        EXPECT_NE(r.out.find("campo COM_DESTINATARIO: carattere fuori dalla tabella CBI: \"\u00e0\""),
                  std::string::npos)
            << "Citt\u00e0 di Castello, shown in UTF-8";
        EXPECT_FALSE(fs::exists(bankFile));
        EXPECT_FALSE(fs::exists(mainFolder + "/var/log/Pzt/doz/bank.txt"));
        EXPECT_FALSE(fs::exists(mainFolder + "/usr/Pzt/doz/Banca.ini")) << "no settings saved";
    }
}

TEST_F(CheckCommand, ListsEveryFailingDispositionWithTheExportMessage) {
    // Ten days of expiry fail every cash payment; with --all the payments
    // without a payment mode are checked too.
    const std::map<std::string, std::string> changes = {{"DATA_SCADENZA", doz::isoDate(test_dates::FutureExecutionDay() + 10)}};
    const std::string bank = "Banca Popolare Demo";
    const RunResult exported = run("export", bank, changes, {"--all"});
    ASSERT_EQ(exported.status, 1) << exported.err;

    const RunResult r = run("check", bank, changes, {"--all"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    std::vector<std::string> errors;
    int lastNumber = 0;
    for (const std::string& line : splitLines(r.out)) {
        if (!startsWith(line, "Disposizione ")) continue;
        errors.push_back(line);
        const int number = std::stoi(line.substr(13));
        EXPECT_GE(number, lastNumber) << "in the order of the file";
        lastNumber = number;
    }
    ASSERT_GE(errors.size(), 3u) << r.out;
    // The first failure is the one export stops with, with the same message.
    EXPECT_EQ(errors.front().substr(errors.front().find(": ") + 2), exported.lastErrorLine());
    const std::string expiry = "campo DATA_SCADENZA: Data scadenza bonifici in circolarit\u00e0";
    int expiries = 0;
    for (const std::string& e : errors) expiries += e.find(expiry) != std::string::npos;
    EXPECT_GE(expiries, 2) << "more than one cash payment is listed";
    // The last line counts the lines above it.
    const std::vector<std::string> out = splitLines(r.out);
    EXPECT_TRUE(startsWith(out.back(), "Errori: " + std::to_string(errors.size()) + ", avvisi: 0, note: "))
        << out.back();
    EXPECT_FALSE(fs::exists(bankFile));

    // The export is unchanged by the check: still the documented clean file without --all.
    EXPECT_EQ(run("export", bank).status, 0);
    EXPECT_TRUE(fs::exists(bankFile));
}

TEST_F(CheckCommand, UsageHelpAndStartUpFailures) {
    EXPECT_EQ(runCli({"check", kExamples, "--layouts", kExamples}, home.str()).status, 2) << "no --bank";
    EXPECT_EQ(runCli({"check", "--bank", "Banca Demo Nord"}, home.str()).status, 2) << "no folder";
    EXPECT_EQ(run("check", "Banca Sconosciuta").status, 2);
    // Dispositions that cannot be read end the run as they end an export.
    EXPECT_EQ(runCli({"check", home.str("nowhere"), "--bank", "Banca Demo Nord", "--layouts", kExamples},
                     home.str()).status,
              4);

    EXPECT_NE(runCli({"--help"}, home.str()).out.find("  check CARTELLA"), std::string::npos);
    const RunResult help = runCli({"check", "--help"}, home.str());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Errori: N, avvisi: N, note: N"), std::string::npos);
}

}  // namespace
}  // namespace cli_test

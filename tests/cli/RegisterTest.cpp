// The register of produced files through the batch command: both kinds of
// bank file recorded, `history` and its kept copies, concurrent exports, and
// a register that cannot be written or read, which never undoes the file.
#include <gtest/gtest.h>

#include <thread>

#include "cli/CliSupport.h"
#include "register/FileRegister.h"

namespace cli_test {
namespace {

const char kBank[] = "Banca Demo Nord";
const char kIsoBank[] = "Banca Demo Nord - ISO 20022";

class Register : public ::testing::Test {
protected:
    TempDir home;
    std::string main = home.str("main");

    void SetUp() override {
        if (!fs::exists(kExamples + "/SEPA_ISO.Xml")) GTEST_SKIP() << "examples/ not generated (scripts/make-demo.sh)";
    }
    RunResult exportTo(const std::string& bank, const std::string& output, const std::string& homeDir = {}) {
        std::vector<std::string> args = {"export",        kExamples, "--bank",   bank,  "--layouts", kExamples,
                                         "--main-folder", main,      "--output", output, "--yes"};
        appendDemoHeader(args, {{"CUC", "1A2B3C4D"}});
        return runCli(args, homeDir.empty() ? home.str() : homeDir);
    }
    RunResult history(std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"history", "--main-folder", main};
        args.insert(args.end(), more.begin(), more.end());
        return runCli(args, home.str());
    }
    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
};

TEST_F(Register, BothKindsOfFileAreRecordedAndKeptByteForByte) {
    ASSERT_EQ(exportTo(kBank, home.str("STIPENDI.Txt")).status, 0);
    const RunResult xml = exportTo(kIsoBank, home.str("STIPENDI.xml"));
    ASSERT_EQ(xml.status, 0) << xml.err;
    EXPECT_EQ(xml.err.find("Registro"), std::string::npos) << xml.err;

    const RunResult list = history();
    ASSERT_EQ(list.status, 0) << list.err;
    const std::vector<std::string> rows = lines(list.out);
    ASSERT_EQ(rows.size(), 2u) << list.out;
    // Newest first: number, moment, bank, file, payments, total. The XML file
    // holds the 30 credit transfers, the fixed-width one all 36 payments.
    EXPECT_NE(rows[0].find("2\t"), std::string::npos);
    EXPECT_NE(rows[0].find(std::string("\t") + kIsoBank + "\t" + home.str("STIPENDI.xml") + "\t30\t52924.35"),
              std::string::npos) << rows[0];
    EXPECT_NE(rows[1].find(std::string("\t") + kBank + "\t" + home.str("STIPENDI.Txt") + "\t36\t59160.70"),
              std::string::npos) << rows[1];
    const RunResult one = history({"--bank", kBank});
    EXPECT_EQ(lines(one.out).size(), 1u) << one.out;

    const RunResult shown = history({"--show", "2"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("Formato: pain.001.001.09"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("MsgId: PZT"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("Data esecuzione: 2026-12-09"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("1\t000107\tRossi Mario\tRSSMRA68D12G478F\tIT76A0344203000000001234567\t1854.32\t"),
              std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.find("Colombo Andrea"), std::string::npos) << "a cash payment is not in the XML file";

    // Both files written back whole, the same bytes; an existing file only with --yes.
    for (const auto& [id, original] : {std::pair{"1", "STIPENDI.Txt"}, std::pair{"2", "STIPENDI.xml"}}) {
        const RunResult again = history({"--file", id, home.str("again")});
        ASSERT_EQ(again.status, 0) << again.err;
        EXPECT_TRUE(readFile(home.str("again")) == readFile(home.str(original))) << original;
        EXPECT_EQ(history({"--file", id, home.str("again")}).status, 3);
        EXPECT_EQ(history({"--file", id, home.str("again"), "--yes"}).status, 0);
        fs::remove(home.str("again"));
    }
    // A kept copy altered since: refused, nothing written.
    const fs::path copies = doz::KeptCopyFolder(main + "/");
    for (const auto& entry : fs::directory_iterator(copies)) {
        std::string bytes = readFile(entry.path());
        bytes[bytes.size() / 2] ^= 0x20;
        writeFile(entry.path(), bytes);
    }
    const RunResult refused = history({"--file", "1", home.str("again")});
    EXPECT_EQ(refused.status, 4);
    EXPECT_NE(refused.lastErrorLine().find("danneggiata o non \xC3\xA8 quella del file numero 1: nessun file scritto"),
              std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(home.str("again")));
    EXPECT_EQ(history({"--show", "9"}).status, 4);
}

TEST_F(Register, ConcurrentExportsWaitForEachOtherAndBothAreRecorded) {
    TempDir other;
    for (int round = 0; round < 2; ++round) {
        RunResult a, b;
        std::thread first([&] { a = exportTo(kBank, home.str("A" + std::to_string(round) + ".Txt")); });
        std::thread second([&] { b = exportTo(kIsoBank, other.str("B" + std::to_string(round) + ".xml"), other.str()); });
        first.join();
        second.join();
        EXPECT_EQ(a.status, 0) << a.err;
        EXPECT_EQ(b.status, 0) << b.err;
        EXPECT_EQ(a.err.find("Registro"), std::string::npos) << a.err;
        EXPECT_EQ(b.err.find("Registro"), std::string::npos) << b.err;
    }
    const RunResult list = history();
    EXPECT_EQ(lines(list.out).size(), 4u) << list.out << list.err;
}

TEST_F(Register, ARegisterThatCannotBeWrittenOrReadNeverUndoesTheFile) {
    // A failed export records nothing.
    std::vector<std::string> refused = {"export", kExamples, "--bank", kBank, "--layouts", kExamples,
                                        "--main-folder", main, "--output", home.str("X.Txt")};
    appendDemoHeader(refused, {{"Data_Disposizione", ""}});
    EXPECT_NE(runCli(refused, home.str()).status, 0);
    const RunResult none = history();
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, "");

    // Where the register's folder should be there is a file.
    fs::create_directories(main + "/var/lib/Pzt");
    writeFile(main + "/var/lib/Pzt/doz", "not a folder");
    RunResult r = exportTo(kBank, home.str("S.Txt"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("File prodotto"), std::string::npos);
    EXPECT_TRUE(fs::exists(home.str("S.Txt")));
    EXPECT_NE(r.err.find("Registro non aggiornato: "), std::string::npos) << r.err;
    fs::remove(main + "/var/lib/Pzt/doz");

    // A damaged register: the same, and history says why.
    fs::create_directories(doz::RegisterFolder(main + "/"));
    writeFile(doz::RegisterPath(main + "/"), std::string(4096, '\x07') + "not a register");
    r = exportTo(kIsoBank, home.str("S.xml"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(home.str("S.xml")));
    EXPECT_NE(r.err.find("Registro non aggiornato: il registro '" + main + "/var/lib/Pzt/doz/Registro.sqlite' \xC3\xA8 "
                         "danneggiato o non \xC3\xA8 un registro"),
              std::string::npos) << r.err;
    const RunResult list = history();
    EXPECT_EQ(list.status, 4);
    EXPECT_NE(list.lastErrorLine().find("danneggiato"), std::string::npos) << list.err;

    // A register of a newer program is left as it is.
    fs::remove(doz::RegisterPath(main + "/"));
    ASSERT_EQ(exportTo(kBank, home.str("S.Txt")).status, 0);
    doz::SqliteDatabase(doz::RegisterPath(main + "/"), doz::SqliteDatabase::Mode::ReadWrite).execute("PRAGMA user_version = 7");
    r = exportTo(kBank, home.str("S.Txt"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("versione pi\xC3\xB9 recente del programma (schema 7"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace cli_test

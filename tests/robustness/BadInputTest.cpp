// Malformed input and failing disks given to the batch command on a copy of
// the demonstration data: every case must end with a message naming the file
// or the field, a failure exit status, and every file the command had written
// before (bank file, Banca.ini, reports, log) exactly as it was, with no
// temporary file left behind. docs/robustness.md lists the same cases.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <utility>

#include "platform/DataPacket.h"
#include "robustness/RobustnessSupport.h"

namespace robustness {
namespace {

using doz::FieldDef;
using doz::FieldType;
using doz::PacketContent;
using doz::PacketFormat;
using doz::Value;

RunOptions capped(rlim_t bytes) {
    RunOptions o;
    o.fileSizeCap = bytes;
    return o;
}
RunOptions unprivileged() {
    RunOptions o;
    o.unprivileged = true;
    return o;
}

class BadInput : public ::testing::Test {
protected:
    DemoWorkspace ws;
    Snapshot before;

    void SetUp() override {
        if (!fs::exists(kExamples + "/Tracciati.xml")) GTEST_SKIP() << "examples/ not generated (scripts/make-demo.sh)";
        if (!fs::exists(kCli)) GTEST_SKIP() << "pzt-bankfile not built";
        // A previous good run: the bank file, the settings, both reports and the log exist.
        for (const char* command : {"export", "distinta", "brogliaccio"}) {
            const RunResult r = ws.run(ws.args(command));
            ASSERT_EQ(r.status, 0) << command << ": " << r.err;
        }
        before = ws.keptFiles();
        ASSERT_TRUE(before.count("out/STIPENDI.Txt"));
        ASSERT_TRUE(before.count("main/usr/Pzt/doz/Banca.ini"));
        ASSERT_TRUE(before.count("main/var/log/Pzt/doz/stp/DISTINTA_STIPENDI.Txt"));
        ASSERT_TRUE(before.count("main/var/log/Pzt/doz/stp/BROGLIACCIO_STIPENDI.Txt"));
    }

    // Runs the command and checks that it failed cleanly: a normal exit with a
    // failure status, a last stderr line mentioning every needle, and nothing
    // of what was there before changed. Returns the message.
    std::string expectCleanFailure(const std::string& command, std::initializer_list<std::string> needles,
                                   const RunOptions& options = {}, const std::string& output = {}) {
        const RunResult r = ws.run(ws.args(command, output), options);
        EXPECT_FALSE(r.timedOut) << "the command hung";
        EXPECT_EQ(r.signal, 0) << "the command crashed: " << r.err;
        EXPECT_TRUE(r.status == 1 || r.status == 4) << "status " << r.status << ": " << r.err;
        const std::string message = r.lastErrorLine();
        if (std::getenv("DOZ_PRINT_MESSAGES"))
            std::printf("MESSAGE [%s] %s: %s\n", ::testing::UnitTest::GetInstance()->current_test_info()->name(),
                        command.c_str(), message.c_str());
        for (const std::string& needle : needles) EXPECT_NE(message.find(needle), std::string::npos) << message;
        // Reports of the sanitizer build (which exits with status 1 on an error of its own).
        EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
        const Snapshot after = ws.keptFiles();
        EXPECT_EQ(after.size(), before.size()) << "files added or removed";
        for (const auto& [name, bytes] : before) {
            const auto it = after.find(name);
            EXPECT_TRUE(it != after.end() && it->second == bytes) << name << " changed";
        }
        return message;
    }
    void expectEveryCommandFailsCleanly(std::initializer_list<std::string> needles, const RunOptions& options = {}) {
        for (const char* command : {"export", "distinta", "brogliaccio"}) {
            SCOPED_TRACE(command);
            expectCleanFailure(command, needles, options);
        }
    }

    std::string dispositions() const { return ws.str("disp/Disposizioni.cds"); }
    std::string layout() const { return ws.str("work/CBI_5_02.Xml"); }
    std::string rules() const { return ws.str("work/CBI_5_02_X.Xml"); }

    // Rewrites a packet after `change` has altered its content.
    template <class Change>
    void rewrite(const std::string& path, Change change, PacketFormat format) {
        PacketContent c = doz::readPacketFile(path);
        change(c);
        doz::writePacketFile(path, c, format);
    }
    static int column(const PacketContent& c, const std::string& name) {
        for (std::size_t i = 0; i < c.fields.size(); ++i)
            if (c.fields[i].name == name) return static_cast<int>(i);
        throw std::runtime_error("no column " + name);
    }
    static void dropColumn(PacketContent& c, const std::string& name) {
        const int i = column(c, name);
        c.fields.erase(c.fields.begin() + i);
        for (doz::Row& row : c.rows) row.erase(row.begin() + i);
        std::erase_if(c.params, [](const doz::PacketParam& p) { return p.name == "DEFAULT_ORDER" || p.name == "PRIMARY_KEY"; });
    }
    // Changes a column to text, each value written as `text(old)`.
    template <class Text>
    static void retypeAsText(PacketContent& c, const std::string& name, Text text) {
        const int i = column(c, name);
        c.fields[i].type = FieldType::String;
        c.fields[i].size = 20;
        c.fields[i].subtype.clear();
        for (doz::Row& row : c.rows) row[i] = Value(text(row[i]));
        std::erase_if(c.params, [](const doz::PacketParam& p) { return p.name == "DEFAULT_ORDER" || p.name == "PRIMARY_KEY"; });
    }
};

// ---- packets that are cut or damaged ------------------------------------------------

TEST_F(BadInput, TruncatedDispositionsNameTheFile) {
    const std::string whole = readFile(dispositions());
    for (std::size_t length : {std::size_t{0}, std::size_t{3}, std::size_t{40}, whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(length);
        writeFile(dispositions(), whole.substr(0, length));
        expectEveryCommandFailsCleanly({"Disposizioni.cds"});
    }
}

TEST_F(BadInput, CorruptedDispositionsNameTheFile) {
    const std::string whole = readFile(dispositions());
    // A field count, a length and a type word out of any sensible range.
    for (std::size_t at : {std::size_t{8}, std::size_t{12}, std::size_t{24}}) {
        SCOPED_TRACE(at);
        std::string damaged = whole;
        for (std::size_t k = at; k < at + 4; ++k) damaged[k] = '\xFF';
        writeFile(dispositions(), damaged);
        expectCleanFailure("export", {"Disposizioni.cds"});
    }
}

TEST_F(BadInput, TruncatedOrDamagedLayoutsNameTheFile) {
    const std::string layoutXml = readFile(layout());
    writeFile(layout(), layoutXml.substr(0, layoutXml.size() / 2));
    expectCleanFailure("export", {"CBI_5_02.Xml"});
    writeFile(layout(), layoutXml);

    const std::string catalogue = readFile(ws.path("work/Tracciati.xml"));
    std::string damaged = catalogue;
    damaged.replace(damaged.find("<ROWDATA"), 8, "<ROWDATA><ROW x=\"");
    writeFile(ws.path("work/Tracciati.xml"), damaged);
    expectEveryCommandFailsCleanly({"Tracciati.xml"});
}

// ---- wrong field types and missing columns -------------------------------------------

TEST_F(BadInput, DispositionAmountsAsTextNameTheField) {
    const std::string whole = readFile(dispositions());
    const auto asWords = [](const Value&) { return std::string("molti"); };
    rewrite(dispositions(), [&](PacketContent& c) { retypeAsText(c, "IMPORTO", asWords); }, PacketFormat::Binary);
    expectCleanFailure("export", {"IMPORTO"});
    writeFile(dispositions(), whole);
    rewrite(dispositions(), [&](PacketContent& c) { retypeAsText(c, "IMPORTO_EURO", asWords); }, PacketFormat::Binary);
    expectCleanFailure("distinta", {"'molti'", "IMPORTO_EURO"});
}

TEST_F(BadInput, MissingDispositionColumnsNameTheField) {
    const std::string whole = readFile(dispositions());
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"IMPORTO", {"export"}},
        {"IMPORTO_EURO", {"distinta", "brogliaccio"}},
        {"DESC_DESTINATARIO", {"export", "brogliaccio"}},
        {"MODALITA_PAGAMENTO", {"export", "distinta", "brogliaccio"}},
    };
    for (const auto& [name, commands] : cases) {
        writeFile(dispositions(), whole);
        rewrite(dispositions(), [&](PacketContent& c) { dropColumn(c, name); }, PacketFormat::Binary);
        for (const std::string& command : commands) {
            SCOPED_TRACE(name + " " + command);
            expectCleanFailure(command, {name});
        }
    }
}

TEST_F(BadInput, LayoutWithoutPosOrWithPosAsNumberNamesIt) {
    const std::string whole = readFile(layout());
    rewrite(layout(), [](PacketContent& c) { dropColumn(c, "Pos"); }, PacketFormat::Xml);
    expectCleanFailure("export", {"Pos"});
    writeFile(layout(), whole);
    rewrite(layout(),
            [](PacketContent& c) {
                const int i = column(c, "Pos");
                c.fields[i].type = FieldType::Int32;
                c.fields[i].size = 0;
                for (doz::Row& row : c.rows) row[i] = Value(12);
            },
            PacketFormat::Xml);
    expectCleanFailure("export", {"posizione '12'"});
}

TEST_F(BadInput, PosThatDoesNotParseNamesTheTextAndTheField) {
    for (const char* pos : {"4-x", "", "12", "a-b-c"}) {
        SCOPED_TRACE(pos);
        std::string fieldName;
        rewrite(layout(),
                [&](PacketContent& c) {
                    c.rows.at(3)[column(c, "Pos")] = Value(std::string(pos));
                    fieldName = c.rows.at(3)[column(c, "FieldName")].get<std::string>();
                },
                PacketFormat::Xml);
        ASSERT_FALSE(fieldName.empty());
        expectCleanFailure("export", {"posizione '" + std::string(pos) + "'", "campo " + fieldName + " del tracciato"});
    }
}

TEST_F(BadInput, TransferRuleConditionThatDoesNotParseNamesTheFilter) {
    rewrite(rules(), [](PacketContent& c) { c.rows.at(0)[column(c, "Condition")] = Value(std::string("MODALITA_PAGAMENTO = = 1")); },
            PacketFormat::Xml);
    expectEveryCommandFailsCleanly({"MODALITA_PAGAMENTO = = 1"});
}

// ---- folders and disks ------------------------------------------------------------------

TEST_F(BadInput, MissingDispositionsFolderNamesIt) {
    fs::rename(ws.path("disp"), ws.path("gone"));
    expectEveryCommandFailsCleanly({"Disposizioni.cds"});
}

TEST_F(BadInput, BankFilePathThatIsAFolderNamesIt) {
    fs::create_directories(ws.path("out/cartella"));
    before = ws.keptFiles();
    expectCleanFailure("export", {ws.str("out/cartella")}, {}, ws.str("out/cartella"));
}

// OK saves the settings after the bank file. Once the bank file is in place
// the export has produced it: settings that cannot be saved are told by name,
// and the log is the new file's.
TEST_F(BadInput, SettingsFileThatIsAFolderIsToldAndTheExportStands) {
    fs::remove(ws.settingsFile());
    fs::create_directories(ws.settingsFile());
    fs::remove(ws.bankFile());
    const RunResult r = ws.run(ws.args("export"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("File prodotto: " + ws.bankFile()), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Impostazioni non salvate: Impossibile leggere il file \"" + ws.settingsFile() + "\""),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readFile(ws.bankFile()), before.at("out/STIPENDI.Txt"));
    EXPECT_EQ(readFile(ws.str("main/var/log/Pzt/doz/STIPENDI.Txt")), before.at("main/var/log/Pzt/doz/STIPENDI.Txt"));
}

TEST_F(BadInput, PipesInPlaceOfFilesAreRefusedWithoutWaiting) {
    fs::remove(dispositions());
    ASSERT_EQ(::mkfifo(dispositions().c_str(), 0666), 0);
    expectEveryCommandFailsCleanly({"Disposizioni.cds", "non \xC3\xA8 un file regolare"});
    fs::remove(dispositions());
    fs::copy_file(kExamples + "/Disposizioni.cds", dispositions());
    fs::remove(ws.settingsFile());
    ASSERT_EQ(::mkfifo(ws.settingsFile().c_str(), 0666), 0);
    // Saved after the bank file, which stands.
    const RunResult r = ws.run(ws.args("export"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Impostazioni non salvate: Impossibile leggere il file \"" + ws.settingsFile() +
                         "\": non \xC3\xA8 un file regolare"),
              std::string::npos)
        << r.err;
}

TEST_F(BadInput, FullDiskKeepsEveryFileWhole) {
    // The bank file is a few kilobytes, the reports a few hundred bytes: capped
    // below that, every write runs out of room part way.
    expectCleanFailure("export", {"STIPENDI.Txt"}, capped(1000));
    for (const char* command : {"distinta", "brogliaccio"}) {
        SCOPED_TRACE(command);
        expectCleanFailure(command, {"STIPENDI.Txt"}, capped(100));
    }
}

TEST_F(BadInput, ALogThatCannotBeWrittenWholeIsNeitherKeptCutNorLeftOld) {
    const std::string log = "main/var/log/Pzt/doz/STIPENDI.Txt";
    const std::size_t bankSize = before.at("out/STIPENDI.Txt").size();
    ASSERT_GT(before.at(log).size(), bankSize + 1000);
    // Room for the bank file and the settings, not for the log: the export is
    // done and says so, the log that belonged to the old bank file is gone.
    const RunResult r = ws.run(ws.args("export"), capped(bankSize + 500));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("File prodotto"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Log non scritto: Impossibile scrivere il file"), std::string::npos) << r.err;
    Snapshot after = ws.keptFiles();
    EXPECT_EQ(after.at("out/STIPENDI.Txt"), before.at("out/STIPENDI.Txt"));
    EXPECT_EQ(after.count(log), 0u);
    EXPECT_EQ(after.size(), before.size() - 1) << "a temporary file was left";

    // Killed at that same moment (SIGXFSZ): the log is the old one or none, never empty or cut.
    writeFile(ws.str(log), before.at(log));
    const RunResult killed = ws.run(ws.args("export"), [&] {
        RunOptions o = capped(bankSize + 500);
        o.capKills = true;
        return o;
    }());
    EXPECT_EQ(killed.signal, SIGXFSZ) << killed.err;
    after = ws.keptFiles();
    // Killed in its turn: its lock files stay until the next write in their folders.
    EXPECT_EQ(std::erase_if(after, [](const auto& file) { return file.first.ends_with(".pzt-lock"); }), 2u);
    EXPECT_TRUE(after.count(log) == 0 || after.at(log) == before.at(log));
    EXPECT_EQ(after.size(), before.size() - (after.count(log) ? 0 : 1)) << "a temporary file was left";
    EXPECT_EQ(after.at("out/STIPENDI.Txt"), before.at("out/STIPENDI.Txt"));

    // The log command writes the log whole or leaves the old one.
    writeFile(ws.str(log), "old log\r\n");
    const std::vector<std::string> logArgs = {"log", "--bank", kBank, "--output", ws.bankFile(), "--layouts",
                                              ws.str("work"), "--main-folder", ws.str("main")};
    const RunResult cut = ws.run(logArgs, capped(bankSize));
    EXPECT_EQ(cut.status, 4) << cut.err;
    EXPECT_NE(cut.lastErrorLine().find("STIPENDI.Txt"), std::string::npos) << cut.err;
    EXPECT_EQ(readFile(ws.str(log)), "old log\r\n");
    EXPECT_EQ(ws.keptFiles().size(), before.size()) << "a temporary file was left";
    ASSERT_EQ(ws.run(logArgs).status, 0);
    EXPECT_EQ(readFile(ws.str(log)), before.at(log));
}

TEST_F(BadInput, SettingsAreSavedInOneWrite) {
    // Room for the settings with one key changed, not with all four: saving
    // them one key at a time would leave the new sender with the old bank.
    const std::string old = "[Dati]\r\nMittente=X\r\nConto_Tesoreria=X\r\nCC_Ordinante=X\r\nBanca=X\r\n;";
    const std::size_t cap = before.at("main/var/log/Pzt/doz/STIPENDI.Txt").size() + 1000;
    const std::string settings = old + std::string(cap - 6 - old.size(), '-') + "\r\n";
    writeFile(ws.settingsFile(), settings);
    before = ws.keptFiles();
    const RunResult r = ws.run(ws.args("export"), capped(cap));
    EXPECT_EQ(r.status, 0) << r.err;  // the bank file stands
    EXPECT_NE(r.err.find("Impostazioni non salvate: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Banca.ini"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(ws.settingsFile()), settings);
}

TEST_F(BadInput, ImpossiblePositionNamesLayoutRecordAndFieldBeforeTheWindowsMessage) {
    std::string fieldName, record;
    rewrite(layout(),
            [&](PacketContent& c) {
                c.fields[column(c, "Pos")].size = 20;
                c.rows.at(3)[column(c, "Pos")] = Value(std::string("1-2000000000"));
                fieldName = c.rows.at(3)[column(c, "FieldName")].get<std::string>();
                record = c.rows.at(3)[column(c, "Record")].get<std::string>();
            },
            PacketFormat::Xml);
    const RunResult r = ws.run(ws.args("export"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.lastErrorLine(), "1-2000000000");
    EXPECT_NE(r.err.find("Tracciato " + layout() + ", record " + record + ", campo " + fieldName +
                         ": posizione non valida\n1-2000000000"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ws.keptFiles(), before);
}

TEST_F(BadInput, AHugeValueIsNotRepeatedWholeInTheMessage) {
    // Written by hand: the reader takes an attribute longer than its declared width.
    std::string xml = readFile(layout());
    const std::size_t at = xml.find("Pos=\"4-8\"");
    ASSERT_NE(at, std::string::npos);
    xml.replace(at, 9, "Pos=\"" + std::string(20 << 20, '7') + "\"");
    writeFile(layout(), xml);
    const std::string message = expectCleanFailure("export", {"posizione '777"});
    EXPECT_LT(message.size(), 600u) << message;
}

class BadInputPermissions : public BadInput {
protected:
    void SetUp() override {
        if (!permissionsApply()) GTEST_SKIP() << "running as root without the means to act as " << kUnprivilegedUser;
        BadInput::SetUp();
        if (::geteuid() != 0 || IsSkipped()) return;
        // The test folders and the command must be within the unprivileged user's reach.
        if (!reachableByNobody(ws.str("disp"), R_OK | X_OK))
            GTEST_SKIP() << kUnprivilegedUser << " cannot reach the test folder " << ws.str();
        if (unprivilegedCli().empty())
            GTEST_SKIP() << kUnprivilegedUser << " can run neither " << kCli << " nor a copy of it under /tmp";
    }
};

TEST_F(BadInputPermissions, UnreadableDispositionsFolderNamesTheFile) {
    ::chmod(ws.path("disp").c_str(), 0);
    for (const char* command : {"export", "distinta", "brogliaccio"}) {
        SCOPED_TRACE(command);
        expectCleanFailure(command, {"Disposizioni.cds"}, unprivileged());
    }
}

TEST_F(BadInputPermissions, ReadOnlyOutputFoldersNameTheFile) {
    ::chmod(ws.path("out").c_str(), 0555);
    expectCleanFailure("export", {ws.bankFile()}, unprivileged());
    ::chmod(ws.path("out").c_str(), 0777);
    ::chmod(ws.reportFolder().c_str(), 0555);
    for (const char* command : {"distinta", "brogliaccio"}) {
        SCOPED_TRACE(command);
        expectCleanFailure(command, {"STIPENDI.Txt"}, unprivileged());
    }
}

}  // namespace
}  // namespace robustness

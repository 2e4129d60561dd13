// The record sequence, the running totals, and the bank file written whole or
// not at all, with its questions, log and folder.
#include "bankfile/BankFileWriter.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "BankTestSupport.h"
#include "bankfile/EPztBanca.h"
#include "platform/Error.h"
#include "publish/Publish.h"
#include "reports/Reports.h"
#include "support/TestFiles.h"

namespace doz::testing {
namespace {

namespace fs = std::filesystem;

const char* const kReplace = "Il file esiste gi\xE0. Sostituirlo ?";

// Every record type of the file with the same fields: its code (a filler of two
// characters), PROGRESSIVO, TOT_IMP_POS (blank filling, so an empty total shows)
// and TOT_RECORD.
std::vector<LayoutRow> totalsLayout(const std::vector<std::string>& types) {
    std::vector<LayoutRow> rows;
    for (const std::string& t : types) {
        rows.push_back({t, "1-2", "", "F", "", "", t});
        rows.push_back({t, "3-7", "PROGRESSIVO", "N", "F", "F", "0"});
        rows.push_back({t, "8-17", "TOT_IMP_POS", "N", "F", "F", ""});
        rows.push_back({t, "18-22", "TOT_RECORD", "N", "F", "O", "0"});
    }
    return rows;
}

const std::vector<std::string> kAllTypes = {"PC", "10", "16", "17", "20", "30", "35", "40", "50", "65", "70", "EF"};

std::string line(const char* type, int progressive, const char* total, int records) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%05d%10s%05d", type, progressive, total, records);
    return buf;
}

using test_files::readFile;
using test_files::writeFile;


std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class BankFileWriterTest : public BankTest {
protected:
    std::vector<std::string> build() {
        BankFileText text;
        form.lineList = &text;
        BuildRecords(form);
        form.lineList = nullptr;
        // The buffer is the file: every record ends with CR LF, and they are counted.
        EXPECT_EQ(text.content.size() >= 2 ? text.content.substr(text.content.size() - 2) : text.content,
                  text.lineCount ? "\r\n" : "");
        const std::vector<std::string> lines = text.lines();
        EXPECT_EQ(lines.size(), text.lineCount);
        return lines;
    }

    static std::vector<std::string> codes(const std::vector<std::string>& lines) {
        std::vector<std::string> out;
        for (const std::string& l : lines) out.push_back(l.substr(0, 2));
        return out;
    }

    // The bank file goes into the scratch folder; the log under its own main folder.
    std::string useBankFile(const std::string& name = "20240301.Txt") {
        form.paths.mainFolder = scratch() + "main/";
        fs::create_directory(scratch() + "banca");
        const std::string path = scratch() + "banca/" + name;
        window.setText("cbBancaFile", path);
        return path;
    }

    // True when CreateBankFile fails with IoError; any other ending is false.
    bool createFailsWithIoError() {
        try {
            CreateBankFile(form);
        } catch (const IoError&) {
            return true;
        } catch (...) {
        }
        return false;
    }

    static std::vector<Disposition> threeCashPayments() {
        return {{{"IMPGID", 1}, {"IMPORTO", 100}}, {{"IMPGID", 1}, {"IMPORTO", 250}}, {{"IMPGID", 1}, {"IMPORTO", 5}}};
    }
};

TEST_F(BankFileWriterTest, TotalsSeenByEveryRecord) {
    setLayout(totalsLayout({"PC", "10", "70", "EF"}));
    setDispositions(threeCashPayments());
    const std::vector<std::string> expected = {
        line("PC", 0, "", 1),        line("10", 1, "", 2),        line("70", 1, "", 3),
        line("10", 2, "100", 4),     line("70", 2, "100", 5),     line("10", 3, "350", 6),
        line("70", 3, "350", 7),     line("EF", 3, "355", 8),
    };
    EXPECT_EQ(build(), expected);
    // The last record stays in the current line, the walk on the last disposition.
    EXPECT_EQ(form.currentLine, expected.back());
    EXPECT_EQ(form.cdsDisp.recNo(), 2);
    EXPECT_EQ(form.cdsTraccCorrente.filter(), "Record='EF'");
    // The totals row is never posted.
    EXPECT_EQ(form.cdsTot.state(), TableState::Insert);
    EXPECT_EQ(form.cdsTot.fieldByName("TOT_RECORD").asInteger(), 8);

    // A second build starts again from nothing.
    setDispositions({});
    EXPECT_EQ(build(), (std::vector<std::string>{line("PC", 0, "", 1), line("EF", 0, "", 2)}));
}

TEST_F(BankFileWriterTest, OptionalRecordsFollowPaymentKindAndIban) {
    setLayout(totalsLayout(kAllTypes));
    const Disposition iban = {{"CIN_ORDINANTE", " "}, {"IBAN_STATO_ORDINANTE", "IT"}, {"IBAN_CKD_ORDINANTE", "60"}};
    auto kind = [](Disposition d, int impgid) {
        d["IMPGID"] = impgid;
        return d;
    };
    setDispositions({kind({}, 1), kind({}, 3), kind({}, 5), kind({}, 2), kind(iban, 4),
                     kind({{"CIN_ORDINANTE", "X"}, {"IBAN_STATO_ORDINANTE", "IT"}}, 0)});
    const std::vector<std::string> common = {"20", "30"};
    const std::vector<std::string> tail = {"40", "50", "65", "70"};
    std::vector<std::string> expected = {"PC"};
    auto group = [&](bool with16, bool with17, bool with35) {
        expected.push_back("10");
        if (with16) expected.push_back("16");
        if (with17) expected.push_back("17");
        expected.insert(expected.end(), common.begin(), common.end());
        if (with35) expected.push_back("35");
        expected.insert(expected.end(), tail.begin(), tail.end());
    };
    group(false, false, false);  // cash
    group(false, true, false);   // bank account
    group(false, true, false);   // postal account
    group(false, false, true);   // 2
    group(true, false, true);    // 4, with the ordering IBAN (a blank CIN counts)
    group(false, false, false);  // one IBAN part missing
    expected.push_back("EF");
    const std::vector<std::string> lines = build();
    EXPECT_EQ(codes(lines), expected);
    EXPECT_EQ(lines.back(), line("EF", 6, "0", static_cast<int>(expected.size())));
}

TEST_F(BankFileWriterTest, RecordTypesWithoutLayoutRowsAreNeitherWrittenNorCounted) {
    setLayout(totalsLayout({"PC", "10", "16", "20", "EF"}));
    setDispositions({{{"IMPGID", 3}, {"IMPORTO", 7}}});
    const std::vector<std::string> lines = build();
    EXPECT_EQ(lines, (std::vector<std::string>{line("PC", 0, "", 1), line("10", 1, "", 2), line("20", 1, "", 3),
                                               line("EF", 1, "7", 4)}));

    // A layout with no header or footer at all gives only disposition lines.
    setLayout(totalsLayout({"10"}));
    EXPECT_EQ(build(), (std::vector<std::string>{line("10", 1, "", 1)}));
    // A record type with a quote in it: the quote is doubled in the filter.
    setLayout(totalsLayout({"PC", "1'", "EF"}));
    EXPECT_EQ(codes(build()), (std::vector<std::string>{"PC", "EF"}));
    BankFileText more;
    form.lineList = &more;
    WriteRecord(form, "1'");
    form.lineList = nullptr;
    EXPECT_EQ(form.cdsTraccCorrente.filter(), "Record='1'''");
    EXPECT_EQ(more.content, line("1'", 1, "7", 3) + "\r\n");
    EXPECT_EQ(more.lineCount, 1u);
}

TEST_F(BankFileWriterTest, TotalsGoBeyond32BitsAndAreRefusedOnlyWhereTheirFieldIsTooNarrow) {
    setLayout(totalsLayout({"PC", "10", "EF"}));
    setDispositions({{{"IMPGID", 1}, {"IMPORTO", 2147483000}}, {{"IMPGID", 1}, {"IMPORTO", 647}}});
    EXPECT_EQ(build().back(), line("EF", 2, "2147483647", 4));

    // One cent more still fits the footer's ten characters.
    setDispositions({{{"IMPGID", 1}, {"IMPORTO", 2147483647}}, {{"IMPGID", 1}, {"IMPORTO", 1}}});
    EXPECT_EQ(build().back(), line("EF", 2, "2147483648", 4));

    // A total wider than its field stops the file, naming field and total, rather than losing digits.
    setDispositions({{{"IMPGID", 1}, {"IMPORTO", 2147483647}}, {{"IMPGID", 1}, {"IMPORTO", 2147483647}},
                     {{"IMPGID", 1}, {"IMPORTO", 2147483647}}, {{"IMPGID", 1}, {"IMPORTO", 2147483647}},
                     {{"IMPGID", 1}, {"IMPORTO", 2147483647}}});
    try {
        build();
        FAIL() << "a total wider than its field must refuse the file";
    } catch (const EPztBanca& e) {
        EXPECT_STREQ(e.what(),
                     "Il totale TOT_IMP_POS (10737418235) non entra nel campo di 10 caratteri: impossibile creare il "
                     "file.");
    }
    EXPECT_EQ(form.currentLine, "EF00005");
}

// A disposition without IMPGID fails where the record sequence first needs it:
// after its "10" record, so a fault of that record is the one reported.
TEST_F(BankFileWriterTest, MissingPaymentModeFailsAfterTheFirstRecord) {
    std::vector<LayoutRow> layout = totalsLayout({"PC", "10", "17", "EF"});
    layout.insert(layout.begin() + 8, {"10", "23-30", "NOMINATIVO", "AN", "", "O", " "});
    setLayout(layout);
    std::vector<FieldDef> defs = dispositionFields();
    defs.erase(defs.begin());  // IMPGID
    ASSERT_EQ(defs.front().name, "IMPORTO");
    form.cdsDisp.assign(defs, {Row(defs.size())});
    EXPECT_THROW(build(), EPztBanca);  // NOMINATIVO of record 10 is mandatory and empty

    Row named(defs.size());
    named[static_cast<std::size_t>(form.cdsDisp.fieldIndex("NOMINATIVO"))] = Value("ROSSI");
    form.cdsDisp.assign(defs, {named});
    try {
        build();
        FAIL() << "a disposition without IMPGID cannot be written";
    } catch (const DataError& e) {
        EXPECT_NE(std::string(e.what()).find("IMPGID"), std::string::npos) << e.what();
    }
    EXPECT_EQ(form.currentLine.substr(0, 2), "10");
}

// A large payroll: its total passes 2^31 cents and the footer quotes it to the cent.
TEST_F(BankFileWriterTest, AHundredThousandSalariesGiveTheExactTotal) {
    std::vector<LayoutRow> layout = {{"PC", "1-2", "", "F", "", "", "PC"},
                                     {"10", "1-2", "", "F", "", "", "10"},
                                     {"10", "3-9", "PROGRESSIVO", "N", "F", "F", "0"},
                                     {"EF", "1-2", "", "F", "", "", "EF"}};
    layout.push_back({"EF", "3-9", "PROGRESSIVO", "N", "F", "F", "0"});
    layout.push_back({"EF", "10-24", "TOT_IMP_POS", "N", "F", "F", "0"});
    layout.push_back({"EF", "25-31", "TOT_RECORD", "N", "F", "F", "0"});
    setLayout(layout);

    const std::vector<FieldDef> defs = dispositionFields();
    std::vector<Row> rows;
    rows.reserve(100000);
    std::int64_t sum = 0;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 100000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const std::int64_t cents = 50000 + static_cast<std::int64_t>(seed % 350001);  // 500 to 4,000 euro
        sum += cents;
        Row row(defs.size());
        row[0] = Value(std::int64_t{1});
        row[1] = Value(cents);
        rows.push_back(std::move(row));
    }
    ASSERT_GT(sum, std::int64_t{1} << 31);
    form.cdsDisp.assign(defs, std::move(rows));

    const std::vector<std::string> lines = build();
    ASSERT_EQ(lines.size(), 100002u);
    char footer[40];
    std::snprintf(footer, sizeof footer, "EF0100000%015lld0100002", static_cast<long long>(sum));
    EXPECT_EQ(lines.back(), footer);
}

TEST_F(BankFileWriterTest, TheFileHoldsEveryLineEndedByCrLf) {
    const std::string path = useBankFile();
    setLayout(totalsLayout({"PC", "10", "70", "EF"}));
    setDispositions(threeCashPayments());
    answer = true;
    CreateBankFile(form);

    const std::string content = readFile(path);
    ASSERT_GE(content.size(), 2u);
    EXPECT_EQ(content.substr(content.size() - 2), "\r\n");
    const std::string ef = line("EF", 3, "355", 8);
    EXPECT_EQ(content.substr(content.size() - ef.size() - 2), ef + "\r\n");
    std::size_t crlf = 0;
    for (std::size_t p = content.find("\r\n"); p != std::string::npos; p = content.find("\r\n", p + 2)) ++crlf;
    EXPECT_EQ(crlf, 8u);  // TOT_RECORD quoted in EF
    EXPECT_EQ(content.find('\n'), content.find("\r\n") + 1);
    EXPECT_EQ(content.size(), 8u * (22 + 2));
    EXPECT_EQ(folderEntries(scratch() + "banca"), std::vector<std::string>{"20240301.Txt"});

    // The log was written; what follows a produced file (folder, reports,
    // closing) is the window's and was not done here.
    EXPECT_TRUE(fs::exists(scratch() + "main/var/log/Pzt/doz/20240301.Txt"));
    EXPECT_TRUE(window.questions().empty());
    EXPECT_TRUE(window.openedPaths().empty());
    EXPECT_FALSE(window.closed());
    EXPECT_EQ(form.lineList, nullptr);
}

TEST_F(BankFileWriterTest, ReplacingAskedFirstAndNoTouchesNothing) {
    const std::string path = useBankFile();
    writeFile(path, "old content\r\n");
    setLayout(totalsLayout({"PC", "EF"}));

    answer = false;
    EXPECT_THROW(CreateBankFile(form), SilentAbort);
    EXPECT_EQ(readFile(path), "old content\r\n");
    ASSERT_EQ(window.questions().size(), 1u);
    EXPECT_EQ(window.questions()[0].text, kReplace);
    EXPECT_FALSE(form.cdsTot.active());  // nothing was built
    EXPECT_FALSE(window.closed());

    // Yes replaces.
    window.setQuestionPolicy([](const std::string& q) { return q == kReplace; });
    CreateBankFile(form);
    EXPECT_EQ(readFile(path), line("PC", 0, "", 1) + "\r\n" + line("EF", 0, "", 2) + "\r\n");
    EXPECT_EQ(window.questions().size(), 2u);
}

TEST_F(BankFileWriterTest, AnotherWriterOfTheSameFileIsWaitedForAndNamed) {
    const std::string path = useBankFile();
    writeFile(path, "old content\r\n");
    setLayout(totalsLayout({"PC", "EF"}));
    answer = true;
    form.writerTurnWait = std::chrono::milliseconds(100);
    {
        const WriterTurn other(path);
        try {
            CreateBankFile(form);
            FAIL() << "written while another writer had it";
        } catch (const IoError& e) {
            EXPECT_EQ(std::string(e.what()), "Impossibile scrivere il file '" + path + "': in scrittura da un altro processo");
        }
        EXPECT_EQ(readFile(path), "old content\r\n");
    }
    CreateBankFile(form);  // its turn now
    EXPECT_EQ(readFile(path), line("PC", 0, "", 1) + "\r\n" + line("EF", 0, "", 2) + "\r\n");

    // The turns of the file and of its log last from the first write to the log's end.
    const std::string logPath = FileLogPath(form);
    auto taken = [](const std::string& file) {
        try {
            const WriterTurn other(file, std::chrono::milliseconds(0));
            return false;
        } catch (const IoError&) {
            return true;
        }
    };
    bool whileWritten = false, whileLogged = false;
    ProduceBankFile(
        form,
        [&](ReplacementFile& file) {
            whileWritten = taken(path) && taken(logPath);
            file.write("PC\r\n");
        },
        [&](int, const std::string&, TextFileWriter& log) {
            whileLogged = taken(path) && taken(logPath);
            log.writeLine("Record=\"PC\"");
        },
        RegisterEntry{});
    EXPECT_TRUE(whileWritten);
    EXPECT_TRUE(whileLogged);
    EXPECT_FALSE(taken(path) || taken(logPath));  // given back
    EXPECT_EQ(readFile(logPath), "Record=\"PC\"\r\n");
}

// Once the bank file is in place it is produced: a failed flush of its folder
// afterwards is told, and the log is the new file's.
TEST_F(BankFileWriterTest, AFolderThatCannotBeFlushedAfterTheRenameIsToldNotFailed) {
    const std::string path = useBankFile();
    setLayout(totalsLayout({"PC", "EF"}));
    answer = true;
    failFolderFlushes(EIO, 1);
    CreateBankFile(form);
    failFolderFlushes(0, 0);
    const std::string content = line("PC", 0, "", 1) + "\r\n" + line("EF", 0, "", 2) + "\r\n";
    EXPECT_EQ(readFile(path), content);
    EXPECT_EQ(window.messages(), std::vector<std::string>{"File '" + path +
                                                          "' scritto, ma la cartella non \xE8 stata registrata su disco: "
                                                          "errore di lettura o scrittura sul disco"});
    EXPECT_TRUE(form.logFailure.empty()) << form.logFailure;
    EXPECT_FALSE(readFile(FileLogPath(form)).empty());
}

TEST_F(BankFileWriterTest, AFailureInTheLastRecordLeavesTheOldFileAlone) {
    const std::string path = useBankFile();
    writeFile(path, "old content\r\n");
    std::vector<LayoutRow> layout = totalsLayout({"PC", "10", "70", "EF"});
    layout.push_back({"70", "23-30", "NOMINATIVO", "AN", "", "O", ""});
    setLayout(layout);
    setDispositions({{{"IMPGID", 1}, {"NOMINATIVO", "Rossi"}},
                     {{"IMPGID", 1}, {"NOMINATIVO", "Bianchi"}},
                     {{"IMPGID", 1}, {"NOMINATIVO", "  "}}});
    answer = true;
    try {
        CreateBankFile(form);
        FAIL() << "the blank name must stop the build";
    } catch (const EPztBanca& e) {
        EXPECT_STREQ(e.what(), "Campo obbligatorio: NOMINATIVO");
    }
    EXPECT_EQ(readFile(path), "old content\r\n");
    EXPECT_EQ(folderEntries(scratch() + "banca"), std::vector<std::string>{"20240301.Txt"});
    EXPECT_FALSE(fs::exists(scratch() + "main"));  // no log
    EXPECT_EQ(window.questions().size(), 1u);      // only the replace question
    EXPECT_FALSE(window.closed());
    EXPECT_EQ(form.cdsDisp.recNo(), 2);  // on the disposition that failed
    EXPECT_EQ(form.lineList, nullptr);
}

TEST_F(BankFileWriterTest, AFileThatCannotBeWrittenLeavesNothingBehind) {
    setLayout(totalsLayout({"PC", "EF"}));
    answer = true;

    // The bank file's folder is a regular file.
    form.paths.mainFolder = scratch() + "main/";
    writeFile(scratch() + "notafolder", "x");
    window.setText("cbBancaFile", scratch() + "notafolder/bank.txt");
    EXPECT_THROW(CreateBankFile(form), IoError);
    EXPECT_EQ(folderEntries(scratch()), std::vector<std::string>{"notafolder"});
    EXPECT_EQ(readFile(scratch() + "notafolder"), "x");

    // The bank file's path is a folder.
    fs::create_directory(scratch() + "afolder");
    window.setText("cbBancaFile", scratch() + "afolder");
    try {
        CreateBankFile(form);
        FAIL() << "a folder is no bank file";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("cartella"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::is_empty(scratch() + "afolder"));
    EXPECT_TRUE(window.questions().empty());
    EXPECT_FALSE(window.closed());
}

TEST_F(BankFileWriterTest, AReadOnlyFolderLeavesNoPartialFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "running as root: folder permissions do not stop writes";
    const std::string path = useBankFile();
    writeFile(path, "old content\r\n");
    setLayout(totalsLayout({"PC", "EF"}));
    answer = true;
    fs::permissions(scratch() + "banca", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(CreateBankFile(form), IoError);
    fs::permissions(scratch() + "banca", fs::perms::owner_all);
    EXPECT_EQ(readFile(path), "old content\r\n");
    EXPECT_EQ(folderEntries(scratch() + "banca"), std::vector<std::string>{"20240301.Txt"});
    EXPECT_FALSE(window.closed());
}

TEST_F(BankFileWriterTest, AWriteThatFailsMidwayKeepsTheOldFile) {
    // A file-size limit below the new content makes the write itself fail, for
    // root too: the temporary file is created and then cannot be filled.
    const std::string path = useBankFile();
    writeFile(path, "old content\r\n");
    setLayout(totalsLayout({"PC", "EF"}));
    answer = true;

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 30;  // the file needs 48 bytes
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ioError = createFailsWithIoError();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(ioError);
    EXPECT_EQ(readFile(path), "old content\r\n");
    EXPECT_EQ(folderEntries(scratch() + "banca"), std::vector<std::string>{"20240301.Txt"});
    EXPECT_EQ(window.questions().size(), 1u);
    EXPECT_FALSE(window.closed());
}

TEST_F(BankFileWriterTest, ALogThatFailsIsIgnored) {
    setLayout(totalsLayout({"PC", "EF"}));
    answer = true;
    // The main folder lies under a regular file: the log cannot be written.
    writeFile(scratch() + "blocker", "x");
    form.paths.mainFolder = scratch() + "blocker/main/";

    const fs::path before = fs::current_path();
    fs::current_path(scratch());
    window.setText("cbBancaFile", "bank.txt");
    try {
        CreateBankFile(form);
    } catch (...) {
        fs::current_path(before);
        throw;
    }
    fs::current_path(before);
    EXPECT_EQ(readFile(scratch() + "bank.txt"), line("PC", 0, "", 1) + "\r\n" + line("EF", 0, "", 2) + "\r\n");
    EXPECT_FALSE(form.logFailure.empty());
}

TEST_F(BankFileWriterTest, TheLogWrittenAlongTheSaveAppearsOnlyForASavedFile) {
    const std::string path = useBankFile();
    const std::string logFolder = scratch() + "main/var/log/Pzt/doz/";
    fs::create_directories(logFolder);
    writeFile(logFolder + "20240301.Txt", "old log\r\n");
    writeFile(path, "old content\r\n");
    setLayout(totalsLayout({"PC", "10", "70", "EF"}));
    setDispositions(threeCashPayments());
    answer = true;

    // The save fails (the bank file's folder is missing), the log would not: the old log stays.
    window.setText("cbBancaFile", scratch() + "missing/20240301.Txt");
    const bool ioError = createFailsWithIoError();
    window.setText("cbBancaFile", path);
    EXPECT_TRUE(ioError);
    EXPECT_EQ(readFile(path), "old content\r\n");
    EXPECT_EQ(readFile(logFolder + "20240301.Txt"), "old log\r\n");
    EXPECT_EQ(folderEntries(logFolder), std::vector<std::string>{"20240301.Txt"});

    // Saved: the log is the one the Log button writes from the file on disk.
    CreateBankFile(form);
    const std::string logged = readFile(logFolder + "20240301.Txt");
    EXPECT_NE(logged.find("=\""), std::string::npos) << logged;
    WriteFileLog(form);
    EXPECT_EQ(readFile(logFolder + "20240301.Txt"), logged);
    EXPECT_EQ(folderEntries(logFolder), std::vector<std::string>{"20240301.Txt"});

    // A bank file saved over its own log is the bank file, not logged.
    window.setText("cbBancaFile", logFolder + "20240301.Txt");
    CreateBankFile(form);
    EXPECT_EQ(readFile(logFolder + "20240301.Txt"), readFile(path));
    EXPECT_EQ(folderEntries(logFolder), std::vector<std::string>{"20240301.Txt"});
}

}  // namespace
}  // namespace doz::testing

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string_view>

#include "ReportFixture.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "reports/Reports.h"

namespace doz {
namespace {

using testing::crlf;
using testing::field;
using testing::readFile;
using testing::writeFile;

class FileLogTest : public testing::ReportFixture {
protected:
    void SetUp() override {
        ReportFixture::SetUp();
        setCatalogue(Value("2-3"));
        // File order differs from the layout order on purpose: the walk follows Ord.
        setLayout({
            {"10", 5, "2-3", "TIPO_10"},
            {"PC", 1, "1-1", "FILLER_PC"},
            {"PC", 2, "2-3", "TIPO_PC"},
            {"PC", 3, "4-8", "MITTENTE"},
            {"10", 4, "1-1", "FILLER_10"},
            {"10", 6, "4-13", "NOME"},
            {"O'", 7, "1-3", "QUOTE"},
        });
        bankFolder = root + "/bank/";
        std::filesystem::create_directories(bankFolder);
        bankPath = bankFolder + "ABC.Txt";
        window.setText("cbBancaFile", bankPath);
    }

    struct LayoutRow {
        std::string record;
        int ord;
        std::string pos;
        std::string fieldName;
    };

    void setCatalogue(const Value& posTipoRecord) {
        form.cdsTracciati.assign({field("Banca"), field("CodTracciato"), field("ABI"),
                                  field("PosTipoRecord")},
                                 {{Value("Banca Uno"), Value("UNO"), Value("01000"), posTipoRecord}});
        form.cdsTracciati.first();
    }

    void setLayout(const std::vector<LayoutRow>& list) {
        std::vector<Row> rows;
        for (const LayoutRow& r : list) rows.push_back({Value(r.record), Value(r.ord), Value(r.pos), Value(r.fieldName)});
        Table& t = form.cdsTraccCorrente;
        t.assign({field("Record", FieldType::String, 2), field("Ord", FieldType::Int32),
                  field("Pos", FieldType::String, 10), field("FieldName", FieldType::String, 40)},
                 std::move(rows));
        t.setIndexFieldNames("Ord");
    }

    std::string logPath() const { return form.paths.mainFolder + "var/log/Pzt/doz/ABC.Txt"; }

    // What a log leaves behind: its text, the error, the current line and
    // where the layout table stands.
    struct Outcome {
        std::string log;
        std::string error;
        std::string currentLine;
        bool filtered = false;
        std::string filter;
        bool eof = false;
        std::string fieldName;  // of the layout row under the cursor

        bool operator==(const Outcome&) const = default;
        friend void PrintTo(const Outcome& o, std::ostream* os) {
            *os << "{log \"" << o.log << "\", error \"" << o.error << "\", line \"" << o.currentLine << "\", filter "
                << (o.filtered ? "on \"" : "off \"") << o.filter << "\", " << (o.eof ? "eof" : "on " + o.fieldName) << "}";
        }
    };

    // Runs a log from the same state each time and records its outcome; the
    // log text is read from `path` once the log has ended, well or not.
    template <class Log>
    Outcome outcomeOf(Log&& log, const std::string& path) {
        Table& layout = form.cdsTraccCorrente;
        layout.setFilter("");
        layout.setFiltered(false);
        layout.first();
        form.currentLine = "before";
        Outcome o;
        try {
            log();
        } catch (const ConvertError& e) {
            o.error = std::string("ConvertError: ") + e.what();
        } catch (const Error& e) {
            o.error = std::string("Error: ") + e.what();
        }
        o.log = readFile(path);
        o.currentLine = form.currentLine;
        o.filtered = layout.filtered();
        o.filter = layout.filter();
        o.eof = layout.eof();
        if (!o.eof) o.fieldName = layout.fieldByName("FieldName").asText();
        return o;
    }

    // The bank file holding `content`, logged reading `block` bytes at a time.
    Outcome fromFile(const std::string& content, std::size_t block) {
        writeFile(bankPath, content);
        return outcomeOf([&] { WriteFileLog(form, block); }, logPath());
    }

    // `content` logged from memory (a failed log is closed by the writer's destructor).
    Outcome fromMemory(const std::string& content) {
        const std::string path = root + "/memory.log";
        return outcomeOf(
            [&] {
                TextFileWriter out(path);
                LogFileContent(form, content, out);
                out.close();
            },
            path);
    }

    std::string bankFolder;
    std::string bankPath;
};

TEST_F(FileLogTest, EveryLineIsLoggedByItsRecordType) {
    writeFile(bankPath, " PC12345\r\n 10ROSSI \"X\" \r\n 10BI\n ZZ999\r\nXO'");
    WriteFileLog(form);

    EXPECT_EQ(readFile(logPath()), crlf({
                                       "FILLER_PC=\" \"",
                                       "TIPO_PC=\"PC\"",
                                       "MITTENTE=\"12345\"",
                                       "FILLER_10=\" \"",
                                       "TIPO_10=\"10\"",
                                       "NOME=\"ROSSI \"X\" \"",  // quotes and the trailing blank stay as they are
                                       "FILLER_10=\" \"",
                                       "TIPO_10=\"10\"",
                                       "NOME=\"BI\"",  // cut short by the end of the line
                                       // " ZZ999" matches no layout row and writes nothing
                                       "QUOTE=\"XO'\"",  // a record type holding a quote
                                   }));
    // The current line and the filter are those of the last line logged.
    EXPECT_EQ(form.currentLine, "XO'");
    EXPECT_TRUE(form.cdsTraccCorrente.filtered());
    EXPECT_EQ(form.cdsTraccCorrente.filter(), "Record='O'''");
    EXPECT_TRUE(window.openedPaths().empty());  // the log is not shown
}

TEST_F(FileLogTest, LineTooShortForTheRecordTypeIsLoggedAgainstEveryRow) {
    // An empty line and a one-character line hold no record type; " 1" holds the
    // type "1", which no layout row has.
    writeFile(bankPath, "\r\nP\r\n 1\r\n");
    WriteFileLog(form);
    EXPECT_EQ(readFile(logPath()), crlf({
                                       "FILLER_PC=\"\"",
                                       "TIPO_PC=\"\"",
                                       "MITTENTE=\"\"",
                                       "FILLER_10=\"\"",
                                       "TIPO_10=\"\"",
                                       "NOME=\"\"",
                                       "QUOTE=\"\"",
                                       "FILLER_PC=\"P\"",
                                       "TIPO_PC=\"\"",
                                       "MITTENTE=\"\"",
                                       "FILLER_10=\"P\"",
                                       "TIPO_10=\"\"",
                                       "NOME=\"\"",
                                       "QUOTE=\"P\"",
                                   }));
    EXPECT_EQ(form.currentLine, " 1");
}

TEST_F(FileLogTest, CatalogueRowWithoutPosTipoRecordLogsAgainstEveryRow) {
    setCatalogue(Value());
    form.cdsTraccCorrente.setFilter("Record='PC'");
    form.cdsTraccCorrente.setFiltered(true);
    writeFile(bankPath, " 10ROSSI");
    WriteFileLog(form);
    EXPECT_EQ(readFile(logPath()), crlf({
                                       "FILLER_PC=\" \"",
                                       "TIPO_PC=\"10\"",
                                       "MITTENTE=\"ROSSI\"",
                                       "FILLER_10=\" \"",
                                       "TIPO_10=\"10\"",
                                       "NOME=\"ROSSI\"",
                                       "QUOTE=\" 10\"",
                                   }));
    // The filter is switched off; its text stays.
    EXPECT_FALSE(form.cdsTraccCorrente.filtered());
    EXPECT_EQ(form.cdsTraccCorrente.filter(), "Record='PC'");
}

TEST_F(FileLogTest, EmptyBankFileGivesAnEmptyLog) {
    writeFile(bankPath, "");
    WriteFileLog(form);
    ASSERT_TRUE(std::filesystem::exists(logPath()));
    EXPECT_EQ(readFile(logPath()), "");
}

TEST_F(FileLogTest, LoggingAgainOverwritesTheLog) {
    writeFile(bankPath, " PC12345\r\n 10A\r\n");
    WriteFileLog(form);
    writeFile(bankPath, " 10B\r\n");
    WriteFileLog(form);
    EXPECT_EQ(readFile(logPath()), crlf({"FILLER_10=\" \"", "TIPO_10=\"10\"", "NOME=\"B\""}));
}

// A log is written whole or not at all: a failure leaves the old log as it was.
TEST_F(FileLogTest, MissingBankFileFailsAndLeavesTheOldLog) {
    std::filesystem::create_directories(LogFolder(form));
    writeFile(logPath(), "old log\r\n");
    EXPECT_THROW(WriteFileLog(form), IoError);
    EXPECT_EQ(readFile(logPath()), "old log\r\n");
}

TEST_F(FileLogTest, BadPosStopsTheLogAndLeavesTheOldOne) {
    setLayout({{"PC", 1, "1-3", "TIPO_PC"}, {"10", 2, "1-3", "TIPO_10"}, {"10", 3, "4-", "NOME"}});
    writeFile(bankPath, " PC\r\n 10ROSSI\r\n PC\r\n");
    std::filesystem::create_directories(LogFolder(form));
    writeFile(logPath(), "old log\r\n");
    EXPECT_THROW(WriteFileLog(form), ConvertError);
    EXPECT_EQ(readFile(logPath()), "old log\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(LogFolder(form)), {}), 1);
    EXPECT_EQ(form.currentLine, " 10ROSSI");
}

TEST_F(FileLogTest, BadPosTipoRecordIsAConversionError) {
    setCatalogue(Value("2"));
    writeFile(bankPath, " PC12345\r\n");
    EXPECT_THROW(WriteFileLog(form), ConvertError);
    EXPECT_EQ(readFile(logPath()), "");
}

// A bank file kept in the log folder is the log file itself: it is left as it
// is and not logged, whichever way its name is written.
TEST_F(FileLogTest, BankFileInsideTheLogFolderIsLeftIntact) {
    const std::string content = " PC12345\r\n 10ROSSI\r\n";
    const std::string folder = LogFolder(form);
    EXPECT_EQ(folder, form.paths.mainFolder + "var/log/Pzt/doz/");
    std::filesystem::create_directories(folder);
    writeFile(folder + "ABC.Txt", content);

    window.setText("cbBancaFile", folder + "ABC.Txt");
    EXPECT_NO_THROW(WriteFileLog(form));
    EXPECT_EQ(readFile(folder + "ABC.Txt"), content);

    window.setText("cbBancaFile", folder + "stp/../ABC.Txt");
    std::filesystem::create_directories(folder + "stp");
    EXPECT_NO_THROW(WriteFileLog(form));
    EXPECT_EQ(readFile(folder + "ABC.Txt"), content);

    // Through a link from another folder with the same file name.
    std::filesystem::create_symlink(folder + "ABC.Txt", bankPath);
    window.setText("cbBancaFile", bankPath);
    EXPECT_NO_THROW(WriteFileLog(form));
    EXPECT_EQ(readFile(folder + "ABC.Txt"), content);
}

TEST_F(FileLogTest, SameNameInAnotherFolderIsLogged) {
    const std::string folder = LogFolder(form);
    std::filesystem::create_directories(folder);
    writeFile(folder + "ABC.Txt", "previous log");
    writeFile(bankPath, " 10X\r\n");
    WriteFileLog(form);
    EXPECT_EQ(readFile(logPath()), crlf({"FILLER_10=\" \"", "TIPO_10=\"10\"", "NOME=\"X\""}));
    EXPECT_EQ(readFile(bankPath), " 10X\r\n");
}

// Reading the file in blocks and logging it from memory see the same lines,
// whatever ends they have.
TEST_F(FileLogTest, LineEndsGiveTheSameLogFromFileAndFromMemory) {
    const std::string expected = crlf({"FILLER_10=\" \"", "TIPO_10=\"10\"", "NOME=\"AB\"",  //
                                       "FILLER_10=\" \"", "TIPO_10=\"10\"", "NOME=\"CD\""});
    for (const std::string content : {" 10AB\r\n 10CD\r\n", " 10AB\n 10CD\n", " 10AB\r\n 10CD", " 10AB\n 10CD\r"}) {
        SCOPED_TRACE(content);
        const Outcome file = fromFile(content, 1 << 20);
        EXPECT_EQ(file.log, expected);
        EXPECT_EQ(file.error, "");
        EXPECT_EQ(file.currentLine, " 10CD");
        EXPECT_EQ(fromMemory(content), file);
    }

    // Only the CR right before a line's end is dropped.
    const std::string withCr = " 10A\rB\r\r\n";
    EXPECT_EQ(fromFile(withCr, 1 << 20).log, crlf({"FILLER_10=\" \"", "TIPO_10=\"10\"", "NOME=\"A\rB\r\""}));
    EXPECT_EQ(fromMemory(withCr), fromFile(withCr, 1 << 20));

    // Nothing to log: the catalogue row is not even read, the current line stays.
    setCatalogue(Value("2"));
    const Outcome nothing = fromMemory("");
    EXPECT_EQ(nothing.log, "");
    EXPECT_EQ(nothing.error, "");
    EXPECT_EQ(nothing.currentLine, "before");
    EXPECT_EQ(fromFile("", 1 << 20), nothing);
    const Outcome badTypePos = fromMemory(" 10AB");
    EXPECT_EQ(badTypePos.log, "");
    EXPECT_EQ(badTypePos.error.rfind("ConvertError: ", 0), 0u) << badTypePos.error;
    EXPECT_EQ(badTypePos.currentLine, " 10AB");
    EXPECT_EQ(fromFile(" 10AB", 1 << 20), badTypePos);
}

// Every way of cutting the file into blocks: a line split anywhere, a CR in one
// block and its LF in the next, lines longer than a block.
TEST_F(FileLogTest, LinesRunningOverReadBlocksAreLoggedWhole) {
    const std::string content = " PC12345\r\n 10ROSSI MARIO BIANCHI VERDI\r\n\r\n 10BI\n ZZ999\r\nXO'\r";
    const Outcome whole = fromMemory(content);
    ASSERT_EQ(whole.error, "");
    EXPECT_EQ(whole.currentLine, "XO'");
    EXPECT_EQ(whole.filter, "Record='O'''");
    EXPECT_TRUE(whole.eof);
    for (std::size_t block = 1; block <= content.size() + 1; ++block) {
        SCOPED_TRACE(block);
        EXPECT_EQ(fromFile(content, block), whole);
    }
}

// A position that does not parse: the lines before it are in the log, the
// failing line is the current one and the layout stands on the failing row.
TEST_F(FileLogTest, BadPosFailsAlikeFromFileFromMemoryAndInAnyBlocks) {
    setLayout({{"PC", 1, "1-3", "TIPO_PC"}, {"10", 2, "1-3", "TIPO_10"}, {"10", 3, "4-", "NOME"}, {"10", 4, "1-1", "DOPO"}});
    const std::string content = " PC\r\n PC\n 10ROSSI\r\n PC\r\n";
    const Outcome whole = fromMemory(content);
    EXPECT_EQ(whole.log, "");  // a log that failed is not written
    EXPECT_EQ(whole.error.rfind("ConvertError: ", 0), 0u) << whole.error;
    EXPECT_EQ(whole.currentLine, " 10ROSSI");
    EXPECT_TRUE(whole.filtered);
    EXPECT_EQ(whole.filter, "Record='10'");
    EXPECT_EQ(whole.fieldName, "NOME");
    for (std::size_t block = 1; block <= content.size() + 1; ++block) {
        SCOPED_TRACE(block);
        EXPECT_EQ(fromFile(content, block), whole);
    }
}

// A file of several default read blocks and a log of several write blocks,
// checked against a log built here line by line.
TEST_F(FileLogTest, FileLargerThanAReadBlockIsLoggedInFull) {
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string content;
    std::string expected;
    for (int i = 0; content.size() < 3 * (std::size_t{1} << 20); ++i) {
        const std::string name = std::to_string(i) + letters.substr(0, static_cast<std::size_t>(i % 20));
        content += " 10" + name + (i % 3 == 0 ? "\n" : "\r\n");
        expected += "FILLER_10=\" \"\r\nTIPO_10=\"10\"\r\nNOME=\"" + name.substr(0, 10) + "\"\r\n";
    }
    content += " PC7";
    expected += "FILLER_PC=\" \"\r\nTIPO_PC=\"PC\"\r\nMITTENTE=\"7\"\r\n";

    writeFile(bankPath, content);
    WriteFileLog(form);
    EXPECT_TRUE(readFile(logPath()) == expected);  // not printed: megabytes
    EXPECT_EQ(form.currentLine, " PC7");
    const Outcome memory = fromMemory(content);
    EXPECT_EQ(memory.error, "");
    EXPECT_TRUE(memory.log == expected);
}

TEST_F(FileLogTest, LineSliceCutsThePositionFromTheCurrentLine) {
    form.currentLine = "ABCDEFGH";
    EXPECT_EQ(LineSlice(form, "1-3"), "ABC");
    EXPECT_EQ(LineSlice(form, "8-8"), "H");
    EXPECT_EQ(LineSlice(form, "6-10"), "FGH");      // fewer when the line ends first
    EXPECT_EQ(LineSlice(form, "9-10"), "");         // line shorter than the start
    EXPECT_EQ(LineSlice(form, "0-2"), "ABC");       // start 0 counts as 1, length 3 kept
    EXPECT_EQ(LineSlice(form, "5-4"), "");          // length zero
    EXPECT_EQ(LineSlice(form, "5-2"), "");          // negative length
    EXPECT_EQ(LineSlice(form, "2-3-99"), "BC");     // pieces after the second ignored
    EXPECT_THROW(LineSlice(form, "3"), ConvertError);
    EXPECT_THROW(LineSlice(form, "-3"), ConvertError);
    EXPECT_THROW(LineSlice(form, "a-3"), ConvertError);
}

}  // namespace
}  // namespace doz

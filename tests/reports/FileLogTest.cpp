#include <gtest/gtest.h>

#include <filesystem>

#include "ReportFixture.h"
#include "platform/Error.h"
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

TEST_F(FileLogTest, MissingBankFileLeavesAnEmptyLogAndFails) {
    EXPECT_THROW(WriteFileLog(form), IoError);
    ASSERT_TRUE(std::filesystem::exists(logPath()));
    EXPECT_EQ(readFile(logPath()), "");
}

TEST_F(FileLogTest, BadPosStopsTheLogAndKeepsTheLinesWritten) {
    setLayout({{"PC", 1, "1-3", "TIPO_PC"}, {"10", 2, "1-3", "TIPO_10"}, {"10", 3, "4-", "NOME"}});
    writeFile(bankPath, " PC\r\n 10ROSSI\r\n PC\r\n");
    EXPECT_THROW(WriteFileLog(form), ConvertError);
    EXPECT_EQ(readFile(logPath()), crlf({"TIPO_PC=\" PC\"", "TIPO_10=\" 10\""}));
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

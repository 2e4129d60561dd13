#include <gtest/gtest.h>

#include <cmath>
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

struct Disp {
    int impgid;
    std::string abiOrdinante;
    std::string abiDestinatario;
    std::string modalita;
    double euro;
};

class DistintaTest : public testing::ReportFixture {
protected:
    void SetUp() override {
        ReportFixture::SetUp();
        window.setText("cbBancaFile", "/x/ABC.Txt");
        window.setDate("deData_Disposizione", encodeDate(2024, 3, 15));
    }

    void setDispositions(const std::vector<Disp>& list, const std::string& mese = "3",
                         const std::string& esercizio = "2024") {
        std::vector<Row> rows;
        for (const Disp& d : list)
            rows.push_back({Value(d.impgid), Value(d.abiOrdinante), Value(d.abiDestinatario), Value(d.modalita),
                            Value(d.euro), Value(mese), Value(esercizio)});
        form.cdsDisp.assign({field("IMPGID", FieldType::Int32),
                             field("ABI_ORDINANTE", FieldType::String, 5),
                             field("ABI_DESTINATARIO", FieldType::String, 5),
                             field("DESC_MOD_PAGAMENTO", FieldType::String, 50),
                             field("IMPORTO_EURO", FieldType::Float),
                             field("MESE", FieldType::String, 2),
                             field("ESERCIZIO", FieldType::String, 4)},
                            std::move(rows));
    }

    std::string reportPath() const { return form.paths.mainFolder + "var/log/Pzt/doz/stp/DISTINTA_ABC.Txt"; }

    // The summary rows as "IMPGID|ABI|Modalita|Importo".
    std::vector<std::string> summaryRows() {
        std::vector<std::string> out;
        Table& t = form.cdsDistinta;
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.fieldByName("IMPGID").asText() + "|" + t.fieldByName("ABI").asText() + "|" +
                          t.fieldByName("Modalita").asText() + "|" + t.fieldByName("Importo").asText());
        return out;
    }
};

TEST_F(DistintaTest, NoDispositionsGivesHeadAndZeroTotal) {
    setDispositions({}, "", "");
    WriteDistinta(form);

    EXPECT_EQ(readFile(reportPath()), crlf({
                                          "DISTINTA FILE BANCHE",
                                          "",
                                          "PERIODO DI RIFERIMENTO MESE E ANNO:              /",
                                          "DATA ESECUZIONE PAGAMENTO:              15/03/2024",
                                          "TOTALE DISTINTA:                               ,00",
                                      }));
    ASSERT_EQ(window.openedPaths().size(), 1u);
    EXPECT_EQ(window.openedPaths()[0], reportPath());
    EXPECT_TRUE(form.cdsDistinta.isEmpty());
}

// A bank whose rules ask no execution date leaves the date control empty: the
// date line stays blank rather than showing the zero date as a payment date.
TEST_F(DistintaTest, ANonFiniteAmountIsRefusedNamingFieldAndDisposition) {
    setDispositions({{1, "", "", "CONTANTI", 10}, {1, "", "", "CONTANTI", std::nan("")}});
    try {
        WriteDistinta(form);
        ADD_FAILURE() << "a summary of NaN";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "Valore non valido per un importo: IMPORTO_EURO della disposizione 2");
    }
}

TEST_F(DistintaTest, EmptyExecutionDateLeavesTheDateBlank) {
    window.setDate("deData_Disposizione", 0);
    setDispositions({{1, "", "", "Contanti", 10.0}});
    WriteDistinta(form);

    const std::string report = readFile(reportPath());
    EXPECT_NE(report.find("DATA ESECUZIONE PAGAMENTO:" + std::string(35 - 26 + 15, ' ') + "\r\n"), std::string::npos)
        << report;
    EXPECT_EQ(report.find("1899"), std::string::npos);
}

// Transfers group by ordering bank when both codes are equal (IMPGID 5 counts
// as 3), otherwise into one "other banks" line; other groups are labelled with
// the first description met. New groups go in ahead of the row last found or
// placed, which fixes the order of the lines.
TEST_F(DistintaTest, GroupsAndTheirOrder) {
    setDispositions({
        {3, "03069", "03069", "Bonifico", 100.10},
        {5, "03069", "03069", "Bonifico", 50.0},       // joins the first line
        {5, "03069", "01005", "Bonifico", 20.0},       // other banks
        {1, "", "", "Assegno circolare", 30.0},
        {3, "05034", "05034", "Bonifico", 10.0},       // a second same-bank line
        {3, "", "", "Bonifico", 5.0},                  // empty codes: same bank, key ""
        {3, "03069", "02008", "Bonifico", 1.25},       // other banks again
        {2, "03069", "03069", "contanti", 7.0},        // placed before "other banks"
        {1, "03069", "03069", "Vaglia postale", 0.40}, // keeps "ASSEGNO CIRCOLARE"
    });
    WriteDistinta(form);

    EXPECT_EQ(summaryRows(), (std::vector<std::string>{
                                 "3||BONIFICO STESSA BANCA|5",
                                 "3|05034|BONIFICO STESSA BANCA|10",
                                 "1|0|ASSEGNO CIRCOLARE|30,4",
                                 "2|0|CONTANTI|7",
                                 "3|0|BONIFICO ALTRE BANCHE|21,25",
                                 "3|03069|BONIFICO STESSA BANCA|150,1",
                             }));
    EXPECT_EQ(readFile(reportPath()), crlf({
                                          "DISTINTA FILE BANCHE",
                                          "",
                                          "PERIODO DI RIFERIMENTO MESE E ANNO:         3/2024",
                                          "DATA ESECUZIONE PAGAMENTO:              15/03/2024",
                                          "BONIFICO STESSA BANCA:                        5,00",
                                          "BONIFICO STESSA BANCA:                       10,00",
                                          "ASSEGNO CIRCOLARE:                           30,40",
                                          "CONTANTI:                                     7,00",
                                          "BONIFICO ALTRE BANCHE:                       21,25",
                                          "BONIFICO STESSA BANCA:                      150,10",
                                          "TOTALE DISTINTA:                            223,75",
                                      }));
    // The walk leaves the dispositions on their first row.
    EXPECT_EQ(form.cdsDisp.recNo(), 0);
    EXPECT_FALSE(form.cdsDisp.eof());
}

TEST_F(DistintaTest, BuildSummaryTotalsInTenThousandthsAndLeavesDispositionsAtTheEnd) {
    setDispositions({{3, "1", "2", "", 0.1}, {3, "1", "2", "", 0.2}, {3, "1", "2", "", 0.00005}});
    std::int64_t total = -1;
    BuildSummary(form, total);
    // Each amount is rounded to four decimals before it is added.
    EXPECT_EQ(total, 1'000 + 2'000 + 1);
    EXPECT_TRUE(form.cdsDisp.eof());
    EXPECT_EQ(form.cdsDistinta.recordCount(), 1);
}

TEST_F(DistintaTest, LongDescriptionIsCutAndOnlyPlainLettersAreUpperCased) {
    // Longer than 30, lower case, with an a-grave (cp1252 0xE0) inside the first 30.
    setDispositions({{7, "", "", "pagamento gi\xE0 disposto allo sportello bancario", 1234567.5}});
    WriteDistinta(form);

    const std::string label = "PAGAMENTO GI\xE0 DISPOSTO ALLO SP:";  // 30 characters and the colon
    ASSERT_EQ(label.size(), 31u);
    EXPECT_EQ(form.cdsDistinta.fieldByName("Modalita").asText(), label.substr(0, 30));
    EXPECT_EQ(readFile(reportPath()), crlf({
                                          "DISTINTA FILE BANCHE",
                                          "",
                                          "PERIODO DI RIFERIMENTO MESE E ANNO:         3/2024",
                                          "DATA ESECUZIONE PAGAMENTO:              15/03/2024",
                                          label + "    " + "   1.234.567,50",
                                          "TOTALE DISTINTA:                      1.234.567,50",
                                      }));
}

TEST_F(DistintaTest, AmountLongerThanTheColumnIsPrintedWhole) {
    setDispositions({{2, "", "", "x", 1234567890123.45}});
    WriteDistinta(form);
    const std::string text = readFile(reportPath());
    EXPECT_NE(text.find("X:" + std::string(33, ' ') + "1.234.567.890.123,45\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("TOTALE DISTINTA:" + std::string(19, ' ') + "1.234.567.890.123,45\r\n"), std::string::npos)
        << text;
}

TEST_F(DistintaTest, PeriodComesFromTheFirstDispositionAsHeld) {
    setDispositions({{2, "", "", "x", 1}}, "03", "2025");
    WriteDistinta(form);
    EXPECT_NE(readFile(reportPath()).find("ANNO:        03/2025\r\n"), std::string::npos);
}

TEST_F(DistintaTest, SeparatorsFollowTheRegionalSetting) {
    regional() = Regional::forLocale("C");  // point, comma, hyphen
    setDispositions({{2, "", "", "x", 1234.5}});
    WriteDistinta(form);
    const std::string text = readFile(reportPath());
    EXPECT_NE(text.find("PAGAMENTO:              15-03-2024\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("X:" + std::string(33, ' ') + "       1,234.50\r\n"), std::string::npos) << text;
}

TEST_F(DistintaTest, ReportIsOverwrittenAndNamedAfterTheBankFile) {
    setDispositions({{2, "", "", "x", 1}, {4, "", "", "y", 2}});
    WriteDistinta(form);
    const std::string first = readFile(reportPath());
    setDispositions({{2, "", "", "x", 1}});
    WriteDistinta(form);
    const std::string second = readFile(reportPath());
    EXPECT_LT(second.size(), first.size());
    EXPECT_EQ(second.find("Y:"), std::string::npos);
    EXPECT_EQ(window.openedPaths(), (std::vector<std::string>{reportPath(), reportPath()}));
}

TEST_F(DistintaTest, UnreadableAmountStopsBeforeTheFileIsTouched) {
    form.cdsDisp.assign({field("IMPGID", FieldType::String, 5), field("ABI_ORDINANTE"),
                         field("ABI_DESTINATARIO"), field("DESC_MOD_PAGAMENTO"),
                         field("IMPORTO_EURO"), field("MESE"), field("ESERCIZIO")},
                        {{Value("3"), Value("1"), Value("1"), Value(""), Value("dieci"), Value("1"), Value("2024")}});
    std::filesystem::create_directories(form.paths.mainFolder + "var/log/Pzt/doz/stp");
    writeFile(reportPath(), "old");
    EXPECT_THROW(WriteDistinta(form), ConvertError);
    EXPECT_EQ(readFile(reportPath()), "old");
    EXPECT_TRUE(window.openedPaths().empty());
}

TEST_F(DistintaTest, FolderThatCannotBeCreatedIsAnIoErrorAndNothingIsOpened) {
    setDispositions({{2, "", "", "x", 1}});
    std::filesystem::create_directories(form.paths.mainFolder + "var/log/Pzt");
    writeFile(form.paths.mainFolder + "var/log/Pzt/doz", "a file in the way");
    EXPECT_THROW(WriteDistinta(form), IoError);
    EXPECT_TRUE(window.openedPaths().empty());
}

}  // namespace
}  // namespace doz

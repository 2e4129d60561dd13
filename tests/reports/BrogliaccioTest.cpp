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

struct Payee {
    std::string name;
    double euro;
    std::string mode;
    std::string abi;
    std::string cab;
    std::string account;
};

const char* const kHead[] = {
    "BROGLIACCIO FILE BANCHE",
    "",
    "NOMINATIVO                    IMPORTO COORDINATE BANCARIE",
};

class BrogliaccioTest : public testing::ReportFixture {
protected:
    void SetUp() override {
        ReportFixture::SetUp();
        window.setText("cbBancaFile", "/x/ABC.Txt");
    }

    void setDispositions(const std::vector<Payee>& list) {
        std::vector<Row> rows;
        for (const Payee& p : list)
            rows.push_back({Value(p.name), Value(p.euro), Value(p.mode), Value(p.abi), Value(p.cab), Value(p.account)});
        form.cdsDisp.assign({field("DESC_DESTINATARIO", FieldType::String, 60),
                             field("IMPORTO_EURO", FieldType::Float),
                             field("DESC_MOD_PAGAMENTO", FieldType::String, 50),
                             field("ABI_DESTINATARIO", FieldType::String, 10),
                             field("CAB_DESTINATARIO", FieldType::String, 10),
                             field("SACOMNUMCC", FieldType::String, 30)},
                            std::move(rows));
    }

    std::string listingPath() const { return form.paths.mainFolder + "var/log/Pzt/doz/stp/BROGLIACCIO_ABC.Txt"; }

    static std::string withHead(std::vector<std::string> lines) {
        lines.insert(lines.begin(), std::begin(kHead), std::end(kHead));
        return crlf(lines);
    }
};

TEST_F(BrogliaccioTest, NoDispositionsGivesTheHeadLinesOnly) {
    setDispositions({});
    WriteBrogliaccio(form);
    EXPECT_EQ(readFile(listingPath()), withHead({}));
    EXPECT_EQ(window.openedPaths(), std::vector<std::string>{listingPath()});
}

TEST_F(BrogliaccioTest, ColumnsCutFillAndMoveAfterALongAmount) {
    setDispositions({
        {"ROSSI MARIO", 1234.5, "BONIFICO", "03069", "12345", "000012345678"},
        // Name cut to 30; an amount of 10 characters moves the rest right by 3.
        {"BIANCHI ANNA MARIA DETTA LA MAESTRA", 1234567.89, "ASSEGNO CIRCOLARE NON TRASF.", "", "", ""},
        // Empty codes: the slash stays in column 60 between blanks.
        {"VERDI LUCA", 12, "CONTANTI", "", "", ""},
        // Codes and account longer than their columns are cut.
        {"NERI", 0.5, "BONIFICO", "0306912", "1234567", "IT0012345678901"},
    });
    WriteBrogliaccio(form);

    const std::vector<std::string> lines = {
        "ROSSI MARIO                    1234,5 BONIFICO        03069/12345 000012345678",
        "BIANCHI ANNA MARIA DETTA LA MA1234567,89 ASSEGNO CIRCOLA      /                  ",
        "VERDI LUCA                         12 CONTANTI             /                  ",
        "NERI                              0,5 BONIFICO        03069/123456IT0012345678",
    };
    EXPECT_EQ(readFile(listingPath()), withHead(lines));
    EXPECT_EQ(lines[0].size(), 78u);
    EXPECT_EQ(lines[0][59], '/');
    EXPECT_EQ(lines[1].size(), 81u);
    EXPECT_EQ(lines[2][59], '/');
    EXPECT_EQ(form.cdsDisp.recNo(), 0);
    EXPECT_FALSE(form.cdsDisp.eof());
}

TEST_F(BrogliaccioTest, ControlCharactersAreBlankedAndANonFiniteAmountIsRefusedByNumber) {
    setDispositions({{"ROSSI\r\nMARIO\t", 1, "BONIFICO\x7F", "1", "2", "3"}});
    WriteBrogliaccio(form);
    EXPECT_EQ(readFile(listingPath()),
              withHead({"ROSSI  MARIO                        1 BONIFICO        1    /2     3           "}));

    for (const double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        setDispositions({{"A", 1, "M", "1", "2", "3"}, {"BIANCHI", bad, "M", "1", "2", "3"}});
        try {
            WriteBrogliaccio(form);
            ADD_FAILURE() << "printed " << bad;
        } catch (const ConvertError& e) {
            EXPECT_STREQ(e.what(), "Valore non valido per un importo: IMPORTO_EURO della disposizione 2 (BIANCHI)");
        }
        // The listing already written stays as it was.
        EXPECT_NE(readFile(listingPath()).find("ROSSI  MARIO"), std::string::npos);
    }
}

TEST_F(BrogliaccioTest, ColumnTextReadsTheCurrentDisposition) {
    setDispositions({{"A", 1, "M", "1", "2", "3"}, {"SECONDO", 2.25, "M", "1", "2", "3"}});
    form.cdsDisp.next();
    EXPECT_EQ(ColumnText(form, "desc_destinatario", 10, false), "SECONDO   ");
    EXPECT_EQ(ColumnText(form, "IMPORTO_EURO", 7, true), "   2,25");
    EXPECT_EQ(ColumnText(form, "DESC_DESTINATARIO", 3, false), "SEC");
    EXPECT_EQ(ColumnText(form, "DESC_DESTINATARIO", 3, true), "SECONDO");
    EXPECT_THROW(ColumnText(form, "NON_ESISTE", 3, false), DataError);
}

TEST_F(BrogliaccioTest, ListingIsOverwrittenBesideTheSummary) {
    setDispositions({{"A", 1, "M", "1", "2", "3"}, {"B", 1, "M", "1", "2", "3"}});
    WriteBrogliaccio(form);
    setDispositions({{"C", 1, "M", "1", "2", "3"}});
    WriteBrogliaccio(form);
    const std::string text = readFile(listingPath());
    EXPECT_EQ(text.find("\r\nA "), std::string::npos);
    EXPECT_NE(text.find("\r\nC "), std::string::npos);
    EXPECT_EQ(ReportFolder(form), form.paths.mainFolder + "var/log/Pzt/doz/stp/");
    EXPECT_EQ(window.openedPaths().size(), 2u);
}

TEST_F(BrogliaccioTest, FileThatCannotBeCreatedIsAnIoErrorAndNothingIsOpened) {
    setDispositions({{"A", 1, "M", "1", "2", "3"}});
    std::filesystem::create_directories(listingPath());
    EXPECT_THROW(WriteBrogliaccio(form), IoError);
    EXPECT_TRUE(window.openedPaths().empty());
}

}  // namespace
}  // namespace doz

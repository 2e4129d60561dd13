#include "layout/Catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layout/Dispositions.h"
#include "platform/Error.h"
#include "platform/MemoryWindow.h"
#include "support/BankFolder.h"

namespace doz {
namespace {

using testing::BankFolder;

// ---- field positions -------------------------------------------------------------------

TEST(ParsePos, GivesStartAndLength) {
    EXPECT_EQ(ParsePos("1-1").start, 1);
    EXPECT_EQ(ParsePos("1-1").length, 1);
    EXPECT_EQ(ParsePos("12-20").start, 12);
    EXPECT_EQ(ParsePos("12-20").length, 9);
    EXPECT_EQ(ParsePos("1-120").length, 120);
}

TEST(ParsePos, IgnoresPiecesAfterTheSecond) {
    const FieldPosition p = ParsePos("12-20-99");
    EXPECT_EQ(p.start, 12);
    EXPECT_EQ(p.length, 9);
    EXPECT_EQ(ParsePos("12-20-").length, 9);
}

TEST(ParsePos, ReversedRangeGivesZeroOrNegativeLength) {
    EXPECT_EQ(ParsePos("5-5").length, 1);
    EXPECT_EQ(ParsePos("5-4").length, 0);
    EXPECT_EQ(ParsePos("10-3").length, -6);
}

TEST(ParsePos, EmptyOrNonNumericPiecesFail) {
    for (const char* bad : {"5", "5-", "-5", "", "-", "a-3", "3-b", "1.5-3", "3-4x", "--"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(ParsePos(bad), ConvertError);
    }
}

TEST(ParsePos, ConversionErrorNamesThePiece) {
    try {
        ParsePos("7-x9");
        FAIL() << "no error";
    } catch (const ConvertError& e) {
        EXPECT_NE(std::string(e.what()).find("'x9'"), std::string::npos) << e.what();
    }
}

// ---- catalogue and bank selection -----------------------------------------------------

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.paths = folder.paths();
        SetupDispositions(state);
        chEscludiMPGClick(state);  // as at start-up: the box is ticked
        folder.writeTwelveDispositions();
    }

    void selectItem(int index) { window.setSelectedIndex("cbBanche", index); }
    std::string currentCode() { return state.cdsTracciati.fieldByName("CodTracciato").asText(); }
    // The Pos values of the record layout as walked.
    std::vector<std::string> layoutPositions() {
        std::vector<std::string> out;
        for (state.cdsTraccCorrente.first(); !state.cdsTraccCorrente.eof(); state.cdsTraccCorrente.next())
            out.push_back(state.cdsTraccCorrente.fieldByName("Pos").asText());
        return out;
    }

    BankFolder folder;
    MemoryWindow window;
    FormState state{window};
};

TEST_F(CatalogueTest, ListsEveryBankInFileOrderDuplicatesAndEmptyNamesIncluded) {
    folder.writeCatalogue({{"Unicredit", "A", "1", ""},
                           {"Banca Etica", "B", "2", ""},
                           {"", "C", "3", ""},
                           {"Unicredit", "D", "4", ""},
                           {"abete", "E", "5", ""}});
    LoadCatalogue(state);
    EXPECT_EQ(window.items("cbBanche"),
              (std::vector<std::string>{"Unicredit", "Banca Etica", "", "Unicredit", "abete"}));
    EXPECT_EQ(window.selectedIndex("cbBanche"), -1);
}

TEST_F(CatalogueTest, EmptyCatalogueGivesEmptyListAndNoError) {
    folder.writeCatalogue({});
    LoadCatalogue(state);
    EXPECT_TRUE(window.items("cbBanche").empty());
}

TEST_F(CatalogueTest, MissingCatalogueOrBancaColumnIsADataLayerError) {
    EXPECT_THROW(LoadCatalogue(state), Error);

    PacketContent c;
    c.fields = {BankFolder::text("Nome", 20), BankFolder::text("CodTracciato", 20)};
    c.rows = {{"Unicredit", "CBI_UC"}};
    writePacketFile(folder.work("Tracciati.xml"), c, PacketFormat::Xml);
    EXPECT_THROW(LoadCatalogue(state), DataError);
}

TEST_F(CatalogueTest, SameBankTwiceLoadsTheLayoutOfTheFirstRow) {
    folder.writeCatalogue({{"Unicredit", "FIRST", "1", ""}, {"Banca Etica", "MIDDLE", "2", ""}, {"Unicredit", "SECOND", "3", ""}});
    folder.writeLayout("FIRST", {{"PC", 1, "1-10", "Mittente", "AN"}});
    folder.writeLayout("MIDDLE", {{"PC", 1, "1-20", "Mittente", "AN"}});
    folder.writeLayout("SECOND", {{"PC", 1, "1-30", "Mittente", "AN"}});
    for (const char* code : {"FIRST", "MIDDLE", "SECOND"}) folder.writeRules(code, BankFolder::standardRules());
    LoadDispositions(state);
    LoadCatalogue(state);
    ASSERT_EQ(window.items("cbBanche").size(), 3u);

    selectItem(2);
    cbBancheClick(state);
    EXPECT_EQ(currentCode(), "FIRST");
    EXPECT_EQ(layoutPositions(), std::vector<std::string>{"1-10"});

    selectItem(1);
    cbBancheClick(state);
    EXPECT_EQ(currentCode(), "MIDDLE");
    EXPECT_EQ(layoutPositions(), std::vector<std::string>{"1-20"});
}

TEST_F(CatalogueTest, SelectionLoadsLayoutInOrdOrderAndReloadsDispositions) {
    folder.writeCatalogue({{"Banca SEPA", "CBI_SEP", "03069", "1-2"}});
    folder.writeLayout("CBI_SEP", {{"PC", 30, "14-20", "DATA_CREAZIONE", "D"},
                                   {"PC", 10, "1-3", "", "F"},
                                   {"PC", 20, "4-13", "Mittente", "AN"},
                                   {"EF", 5, "1-3", "", "F"}});
    folder.writeRules("CBI_SEP", {{"Mittente", "AN", {}, "", ""}});
    LoadDispositions(state);
    LoadCatalogue(state);
    window.setText("edMittente", "SIA01");
    selectItem(0);
    cbBancheClick(state);

    // Walked by Ord, not in file order.
    std::vector<std::string> walked;
    for (state.cdsTraccCorrente.first(); !state.cdsTraccCorrente.eof(); state.cdsTraccCorrente.next())
        walked.push_back(state.cdsTraccCorrente.fieldByName("Record").asText() + " " +
                         state.cdsTraccCorrente.fieldByName("Pos").asText());
    EXPECT_EQ(walked, (std::vector<std::string>{"EF 1-3", "PC 1-3", "PC 4-13", "PC 14-20"}));
    ASSERT_TRUE(state.cdsTrasfCorrente.active());
    EXPECT_EQ(state.cdsTrasfCorrente.recordCount(), 1);
    // The catalogue row stays on the chosen bank.
    EXPECT_EQ(state.cdsTracciati.fieldByName("PosTipoRecord").asText(), "1-2");
    // The dispositions went through the rules.
    ASSERT_TRUE(state.cdsDisp.active());
    EXPECT_EQ(state.cdsDisp.fieldByName("Mittente").asText(), "SIA01");
    EXPECT_EQ(window.text("laDisp"), "9");
}

TEST_F(CatalogueTest, NameLocatedExactlyAndCaseSensitively) {
    folder.writeStandardBanks();
    LoadDispositions(state);
    LoadCatalogue(state);
    // A name that differs only in letter case is not the catalogue's name.
    window.addItem("cbBanche", "unicredit");
    selectItem(3);
    EXPECT_THROW(
        {
            try {
                cbBancheClick(state);
            } catch (const AssertionFailure& e) {
                EXPECT_STREQ(e.what(), "Assertion failure");
                throw;
            }
        },
        AssertionFailure);
    EXPECT_FALSE(state.cdsTraccCorrente.active());
    EXPECT_FALSE(state.cdsTrasfCorrente.active());
    EXPECT_FALSE(state.cdsDisp.active());

    // A prefix of a name is no match either.
    window.addItem("cbBanche", "Uni");
    selectItem(4);
    EXPECT_THROW(cbBancheClick(state), AssertionFailure);
}

TEST_F(CatalogueTest, MissingRuleFileStopsBeforeTheReload) {
    folder.writeCatalogue({{"Unicredit", "CBI_UC", "02008", ""}});
    folder.writeSimpleLayout("CBI_UC");
    LoadDispositions(state);
    LoadCatalogue(state);
    selectItem(0);
    EXPECT_THROW(cbBancheClick(state), Error);
    EXPECT_TRUE(state.cdsTraccCorrente.active());
    EXPECT_FALSE(state.cdsDisp.active());
    // The header controls were not touched: no reload ran.
    EXPECT_TRUE(window.isVisible("edMittente"));
    EXPECT_TRUE(window.isVisible("deData_Valuta"));
}

TEST_F(CatalogueTest, FilesAreReadFromTheWorkingFolderWithTheCodeUnchanged) {
    folder.writeCatalogue({{"Banca SEPA", "CBI_SEP", "03069", ""}});
    // Only the exact spelling CBI_SEP.Xml / CBI_SEP_X.Xml is found.
    folder.writeSimpleLayout("CBI_SEP");
    folder.writeRules("CBI_SEP", BankFolder::standardRules());
    LoadDispositions(state);
    LoadCatalogue(state);
    selectItem(0);
    cbBancheClick(state);
    EXPECT_TRUE(state.cdsDisp.active());

    std::filesystem::rename(folder.work("CBI_SEP_X.Xml"), folder.work("CBI_SEP_X.xml"));
    EXPECT_THROW(cbBancheClick(state), Error);
}

}  // namespace
}  // namespace doz

#include "layout/Dispositions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layout/Catalogue.h"
#include "platform/Error.h"
#include "platform/MemoryWindow.h"
#include "support/BankFolder.h"

namespace doz {
namespace {

using testing::BankFolder;
using testing::RuleRow;

const std::vector<std::string> kHeaderControls = {"edMittente",       "edNOME_SUPPORTO",     "edCC_ORDINANTE",
                                                   "edConto_Tesoreria", "deData_Creazione",   "deData_Disposizione",
                                                   "deData_Valuta",    "deDATA_SCADENZA"};

class TransferRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.paths = folder.paths();
        SetupDispositions(state);
        chEscludiMPGClick(state);  // as at start-up: the box is ticked
        folder.writeCatalogue({{"Test", "T", "02008", ""}});
        folder.writeSimpleLayout("T");
    }

    // Loads the twelve standard dispositions (unless others were written) and
    // selects the one bank with these rules.
    void chooseBank(const std::vector<RuleRow>& rules, bool withFieldOut = true) {
        folder.writeRules("T", rules, withFieldOut);
        if (!dispositionsWritten) folder.writeTwelveDispositions();
        LoadDispositions(state);
        LoadCatalogue(state);
        window.setSelectedIndex("cbBanche", 0);
        cbBancheClick(state);
    }

    // A field of every row of cdsDisp, whatever the filter, as text.
    std::vector<std::string> column(const char* name) {
        const int i = state.cdsDisp.fieldIndex(name);
        EXPECT_GE(i, 0) << name;
        std::vector<std::string> out;
        for (const Row& r : state.cdsDisp.allRows()) out.push_back(valueToText(r.at(static_cast<std::size_t>(i))));
        return out;
    }
    std::vector<Value> rawColumn(const char* name) {
        const int i = state.cdsDisp.fieldIndex(name);
        std::vector<Value> out;
        for (const Row& r : state.cdsDisp.allRows()) out.push_back(r.at(static_cast<std::size_t>(i)));
        return out;
    }
    std::vector<std::string> visibleHeaderControls() {
        std::vector<std::string> out;
        for (const std::string& c : kHeaderControls)
            if (window.isVisible(c)) out.push_back(c);
        return out;
    }

    BankFolder folder;
    MemoryWindow window;
    FormState state{window};
    bool dispositionsWritten = false;
};

TEST_F(TransferRulesTest, RulesReachEveryDispositionAndTheFilterOnlyHidesAfterwards) {
    window.setText("edMittente", "SIA99");
    chooseBank({{"Mittente", "AN", {}, "", ""}});
    EXPECT_EQ(column("Mittente"), std::vector<std::string>(12, "SIA99"));
    EXPECT_EQ(window.text("laDisp"), "9");
    // The raw rows stay as read.
    state.cdsLeggi.first();
    EXPECT_EQ(state.cdsLeggi.fieldByName("Mittente").asText(), "OLD");
}

TEST_F(TransferRulesTest, ExclusionSwitchesWithoutReload) {
    window.setText("edMittente", "FIRST");
    chooseBank({{"Mittente", "AN", {}, "", ""}});
    EXPECT_EQ(window.text("laDisp"), "9");

    window.setText("edMittente", "SECOND");
    window.setChecked("chEscludiMPG", false);
    chEscludiMPGClick(state);
    EXPECT_EQ(window.text("laDisp"), "12");
    EXPECT_EQ(state.cdsDisp.recordCount(), 12);
    // Rows shown again carry the values of the last reload.
    EXPECT_EQ(column("Mittente"), std::vector<std::string>(12, "FIRST"));

    window.setChecked("chEscludiMPG", true);
    chEscludiMPGClick(state);
    EXPECT_EQ(window.text("laDisp"), "9");

    // A value typed after the reload arrives at the next one.
    ReloadDispositions(state);
    EXPECT_EQ(column("Mittente"), std::vector<std::string>(12, "SECOND"));
}

TEST_F(TransferRulesTest, ExclusionOnClosedDispositionsCountsZero) {
    EXPECT_NO_THROW(chEscludiMPGClick(state));
    EXPECT_EQ(window.text("laDisp"), "0");
    EXPECT_TRUE(state.cdsDisp.filtered());
    window.setChecked("chEscludiMPG", false);
    EXPECT_NO_THROW(chEscludiMPGClick(state));
    EXPECT_FALSE(state.cdsDisp.filtered());
}

TEST_F(TransferRulesTest, LaterRuleWinsWhereBothSelect) {
    window.setText("edMittente", "TYPED");
    chooseBank({{"Mittente", "AN", {}, "", ""}, {"Mittente", "K", "GIRO", "MODALITA_PAGAMENTO = 0", ""}});
    const auto m = column("Mittente");
    for (int i = 1; i <= 12; ++i) {
        SCOPED_TRACE(i);
        const bool giro = i % 4 != 0 && i % 2 == 0;
        EXPECT_EQ(m[static_cast<std::size_t>(i - 1)], giro ? "GIRO" : "TYPED");
    }
}

// A rule that writes the field its own condition tests: the next rule with the
// same condition selects the rows as they stand after it, not those it selected.
TEST_F(TransferRulesTest, EachRuleSelectsOnTheRowsAsTheyStand) {
    chooseBank({{"Mittente", "K", "FIRST", "Mittente = 'OLD'", ""}, {"Mittente", "K", "SECOND", "Mittente = 'OLD'", ""}});
    EXPECT_EQ(column("Mittente"), std::vector<std::string>(12, "FIRST"));
}

// Runs of rules without condition or copy are applied in one walk over the
// rows; the rows, the errors and the controls shown must be those of the
// rule-by-rule order.
TEST_F(TransferRulesTest, RunsOfPlainRulesMatchTheRuleByRuleOrder) {
    window.setText("edMittente", "SIA01");
    window.setText("edNOME_SUPPORTO", "FIRST");
    chooseBank({{"Mittente", "AN", {}, "", ""},
                {"NOME_SUPPORTO", "AN", {}, "", ""},
                {"CAUSALE", "K", "IGNORED", "", "Mittente"},
                {"Mittente", "K", "GIRO", "MODALITA_PAGAMENTO = 0", ""},
                {"Conto_Tesoreria", "K", "T1", "", ""},
                {"Conto_Tesoreria", "K", "T2", "", ""},
                {"NOME_SUPPORTO", "K", "LAST", "Mittente = 'GIRO'", ""}});
    const auto mittente = column("Mittente");
    const auto supporto = column("NOME_SUPPORTO");
    for (int i = 1; i <= 12; ++i) {
        SCOPED_TRACE(i);
        const std::size_t at = static_cast<std::size_t>(i - 1);
        const bool giro = i % 4 != 0 && i % 2 == 0;
        EXPECT_EQ(mittente[at], giro ? "GIRO" : "SIA01");
        EXPECT_EQ(supporto[at], giro ? "LAST" : "FIRST");
    }
    EXPECT_EQ(column("CAUSALE"), std::vector<std::string>(12, "SIA01"));
    EXPECT_EQ(column("Conto_Tesoreria"), std::vector<std::string>(12, "T2"));

    // A value that does not fit stops at its rule: the later rule's control stays hidden.
    EXPECT_THROW(chooseBank({{"Mittente", "AN", {}, "", ""},
                             {"IMPORTO", "K", "abc", "", ""},
                             {"NOME_SUPPORTO", "AN", {}, "", ""}}),
                 ConvertError);
    EXPECT_FALSE(state.cdsDisp.active());
    EXPECT_EQ(visibleHeaderControls(), std::vector<std::string>{"edMittente"});
}

TEST_F(TransferRulesTest, FieldOutCopiesAnotherFieldAndStillShowsTheControl) {
    window.setText("edNOME_SUPPORTO", "IGNORED");
    chooseBank({{"NOME_SUPPORTO", "AN", {}, "", "DESC_DESTINATARIO"},
                {"Conto_Tesoreria", "K", "CONST", "", "IMPORTO"},
                {"CAUSALE", "K", "X", "", "DATA_SCADENZA"}});
    const auto names = column("NOME_SUPPORTO");
    EXPECT_EQ(names.front(), "Payee 1");
    EXPECT_EQ(names.back(), "Payee 12");
    EXPECT_TRUE(window.isVisible("edNOME_SUPPORTO"));
    EXPECT_TRUE(window.isVisible("laNuomeSupporto"));
    // Converted to the target's type; ValOut not looked at.
    EXPECT_EQ(column("Conto_Tesoreria").front(), "100001");
    // A null source gives a null target.
    for (const Value& v : rawColumn("CAUSALE")) EXPECT_TRUE(v.isNull());
}

TEST_F(TransferRulesTest, EmptyFieldOutOrNoFieldOutColumnUsesColType) {
    window.setText("edMittente", "SIA01");
    chooseBank({{"Mittente", "AN", {}, "", ""}}, true);
    EXPECT_EQ(column("Mittente").front(), "SIA01");

    chooseBank({{"Mittente", "AN", {}, "", ""}, {"CAUSALE", "K", "48000", "", ""}}, false);
    EXPECT_EQ(column("Mittente").front(), "SIA01");
    EXPECT_EQ(column("CAUSALE").back(), "48000");
}

TEST_F(TransferRulesTest, NullValOutClearsRequiredFieldsAndShowsNoControl) {
    // The file declares every field required; the after-open hook clears that.
    chooseBank({{"CC_ORDINANTE", "K", {}, "", ""}, {"IMPGID", "K", {}, "", ""}});
    for (const Value& v : rawColumn("CC_ORDINANTE")) EXPECT_TRUE(v.isNull());
    for (const Value& v : rawColumn("IMPGID")) EXPECT_TRUE(v.isNull());
    for (const FieldDef& f : state.cdsLeggi.fieldDefs()) EXPECT_FALSE(f.required) << f.name;
    EXPECT_TRUE(visibleHeaderControls().empty());
    EXPECT_FALSE(window.isVisible("Label11"));
}

TEST_F(TransferRulesTest, ValOutConvertsToTheTargetType) {
    // The row without a payment mode gets one, so it is no longer excluded.
    chooseBank({{"MODALITA_PAGAMENTO", "K", "7", "DESC_DESTINATARIO = 'Payee 4'", ""}});
    EXPECT_EQ(column("MODALITA_PAGAMENTO")[3], "7");
    EXPECT_EQ(rawColumn("MODALITA_PAGAMENTO")[3], Value(7));
    EXPECT_EQ(window.text("laDisp"), "10");
}

TEST_F(TransferRulesTest, BadConversionLeavesDispositionsClosed) {
    window.setText("laDisp", "untouched");
    EXPECT_THROW(chooseBank({{"IMPORTO", "K", "abc", "", ""}}), ConvertError);
    EXPECT_FALSE(state.cdsDisp.active());
    EXPECT_EQ(window.text("laDisp"), "untouched");

    // Text from an edit that is not a number, copied on into a numeric field.
    window.setText("edMittente", "12x");
    EXPECT_THROW(chooseBank({{"Mittente", "AN", {}, "", ""}, {"IMPORTO", "K", "5", "", "Mittente"}}), ConvertError);
    EXPECT_FALSE(state.cdsDisp.active());
}

TEST_F(TransferRulesTest, RuleForAControlThatDoesNotExistIsAnAssertion) {
    // The window has edMittente, but no date edit deMittente.
    try {
        chooseBank({{"NOME_SUPPORTO", "AN", {}, "", ""}, {"Mittente", "D", {}, "", ""}});
        FAIL() << "no error";
    } catch (const AssertionFailure& e) {
        EXPECT_STREQ(e.what(), "Assertion failure");
    }
    EXPECT_FALSE(state.cdsDisp.active());
    // The controls handled before the failure keep their state.
    EXPECT_EQ(visibleHeaderControls(), std::vector<std::string>{"edNOME_SUPPORTO"});

    // An "AN" rule looks for "ed" + the name: there is no edData_Valuta.
    EXPECT_THROW(chooseBank({{"Data_Valuta", "AN", {}, "", ""}}), AssertionFailure);
    // A constant rule needs no control.
    EXPECT_NO_THROW(chooseBank({{"Mittente", "K", "X", "", ""}}));
}

TEST_F(TransferRulesTest, LookUpsIgnoreLetterCase) {
    window.setDate("deData_Valuta", encodeDate(2024, 3, 27));
    window.setText("edCC_ORDINANTE", "CC77");
    chooseBank({{"DATA_VALUTA", "D", {}, "", ""}, {"cc_ordinante", "AN", {}, "", ""}});
    EXPECT_EQ(visibleHeaderControls(), (std::vector<std::string>{"edCC_ORDINANTE", "deData_Valuta"}));
    state.cdsDisp.first();
    EXPECT_EQ(state.cdsDisp.fieldByName("DATA_VALUTA").asDate(), encodeDate(2024, 3, 27));
    EXPECT_EQ(state.cdsDisp.fieldByName("CC_ORDINANTE").asText(), "CC77");
}

TEST_F(TransferRulesTest, EmptyDateEditWritesTheZeroDate) {
    window.setDate("deData_Valuta", 0);
    chooseBank({{"DATA_VALUTA", "D", {}, "", ""}, {"DATA_SCADENZA", "D", {}, "", ""}});
    // The file had 45000 in DATA_VALUTA; the empty control replaces it.
    for (int i = 0; i < 12; ++i) {
        const Value v = rawColumn("DATA_VALUTA")[static_cast<std::size_t>(i)];
        EXPECT_EQ(v, Value(Date{0}));
    }
    state.cdsDisp.first();
    EXPECT_EQ(state.cdsDisp.fieldByName("DATA_VALUTA").asDate(), 0);
    EXPECT_EQ(state.cdsDisp.fieldByName("DATA_SCADENZA").asDate(), 0);
}

TEST_F(TransferRulesTest, ConditionSelectingNothingStillShowsItsControl) {
    window.setText("edConto_Tesoreria", "T1");
    chooseBank({{"Conto_Tesoreria", "AN", {}, "DESC_DESTINATARIO = 'Nobody'", ""},
                // A field the dispositions do not have is harmless while no row is selected.
                {"NO_SUCH_FIELD", "K", "1", "IMPGID = 99", ""}});
    EXPECT_TRUE(window.isVisible("edConto_Tesoreria"));
    EXPECT_TRUE(window.isVisible("Label10"));
    for (const Value& v : rawColumn("Conto_Tesoreria")) EXPECT_TRUE(v.isNull());

    EXPECT_THROW(chooseBank({{"NO_SUCH_FIELD", "K", "1", "IMPGID = 3", ""}}), DataError);
    EXPECT_FALSE(state.cdsDisp.active());
}

TEST_F(TransferRulesTest, InvalidConditionIsAFilterError) {
    EXPECT_THROW(chooseBank({{"Mittente", "K", "X", "IMPGID = = 3", ""}}), DataError);
    EXPECT_FALSE(state.cdsDisp.active());
}

TEST_F(TransferRulesTest, HeaderControlsFollowTheRulesAndHiddenOnesKeepTheirValue) {
    window.setText("edConto_Tesoreria", "T1");
    window.setDate("deDATA_SCADENZA", encodeDate(2024, 12, 31));
    chooseBank(BankFolder::standardRules());
    EXPECT_EQ(visibleHeaderControls(), (std::vector<std::string>{"edMittente", "edNOME_SUPPORTO", "edCC_ORDINANTE",
                                                                 "deData_Creazione", "deData_Valuta"}));
    EXPECT_FALSE(window.isVisible("Label10"));
    EXPECT_FALSE(window.isVisible("Label5"));
    EXPECT_FALSE(window.isVisible("Label8"));
    EXPECT_TRUE(window.isVisible("Label2"));
    EXPECT_TRUE(window.isVisible("Label6"));
    // Not header controls, and labels without a focus control, are left alone.
    EXPECT_TRUE(window.isVisible("cbBancaFile"));
    EXPECT_TRUE(window.isVisible("cbBanche"));
    EXPECT_TRUE(window.isVisible("Label1"));
    EXPECT_TRUE(window.isVisible("Label7"));
    // Hidden controls keep what they hold.
    EXPECT_EQ(window.text("edConto_Tesoreria"), "T1");
    EXPECT_EQ(window.date("deDATA_SCADENZA"), encodeDate(2024, 12, 31));
}

TEST_F(TransferRulesTest, NoRowsStillShowsTheRuleControls) {
    folder.writeDispositions({});
    dispositionsWritten = true;
    chooseBank({{"Mittente", "AN", {}, "", ""}, {"DATA_VALUTA", "D", {}, "", ""}});
    EXPECT_TRUE(state.cdsDisp.active());
    EXPECT_EQ(window.text("laDisp"), "0");
    EXPECT_EQ(visibleHeaderControls(), (std::vector<std::string>{"edMittente", "deData_Valuta"}));
    window.setChecked("chEscludiMPG", false);
    chEscludiMPGClick(state);
    EXPECT_EQ(window.text("laDisp"), "0");
}

TEST_F(TransferRulesTest, ReloadWithoutABankHidesHeaderAndFailsOnTheClosedRules) {
    folder.writeTwelveDispositions();
    LoadDispositions(state);
    EXPECT_THROW(ReloadDispositions(state), DataError);
    EXPECT_FALSE(state.cdsDisp.active());
    EXPECT_TRUE(visibleHeaderControls().empty());
    EXPECT_FALSE(window.isVisible("Label2"));
    EXPECT_FALSE(window.isVisible("Label8"));
}

TEST_F(TransferRulesTest, MissingDispositionsFileIsAnError) {
    EXPECT_THROW(LoadDispositions(state), Error);
    EXPECT_FALSE(state.cdsLeggi.active());
}

TEST_F(TransferRulesTest, TrailingSeparatorInTheArgumentIsHarmless) {
    folder.writeTwelveDispositions();
    state.paths.dispositionsArg += "/";
    LoadDispositions(state);
    EXPECT_EQ(state.cdsLeggi.recordCount(), 12);
}

}  // namespace
}  // namespace doz

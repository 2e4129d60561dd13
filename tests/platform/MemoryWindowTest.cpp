#include "platform/MemoryWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace doz {
namespace {

using K = ComponentKind;

struct Expected {
    const char* name;
    ComponentKind kind;
    const char* parent;
    const char* focusControl;
    const char* caption;  // nullptr: no caption to check (edits, lists, dates, grid)
};

// The export window as its tables describe it, in creation order.
const std::vector<Expected>& exportWindow() {
    static const std::vector<Expected> table = {
        {"pnlTesta", K::Panel, "", "", nullptr},
        {"cbBanche", K::List, "pnlTesta", "", nullptr},
        {"edMittente", K::Edit, "pnlTesta", "", ""},
        {"edNOME_SUPPORTO", K::Edit, "pnlTesta", "", ""},
        {"edCC_ORDINANTE", K::Edit, "pnlTesta", "", ""},
        {"edConto_Tesoreria", K::Edit, "pnlTesta", "", ""},
        {"edCUC", K::Edit, "pnlTesta", "", ""},
        {"deData_Creazione", K::DateEdit, "pnlTesta", "", nullptr},
        {"deData_Disposizione", K::DateEdit, "pnlTesta", "", nullptr},
        {"deData_Valuta", K::DateEdit, "pnlTesta", "", nullptr},
        {"deDATA_SCADENZA", K::DateEdit, "pnlTesta", "", nullptr},
        {"cbBancaFile", K::BrowseEdit, "pnlTesta", "", ""},
        {"Label1", K::Label, "pnlTesta", "", "Banca"},
        {"Label2", K::Label, "pnlTesta", "edMittente", "Codice SIA"},
        {"laNuomeSupporto", K::Label, "pnlTesta", "edNOME_SUPPORTO", "Nome supporto"},
        {"Label11", K::Label, "pnlTesta", "edCC_ORDINANTE", "CC ordinante"},
        {"Label10", K::Label, "pnlTesta", "edConto_Tesoreria", "Conto tesoreria"},
        {"laCUC", K::Label, "pnlTesta", "edCUC", "Codice CUC"},
        {"Label3", K::Label, "pnlTesta", "deData_Creazione", "Data creazione"},
        {"Label5", K::Label, "pnlTesta", "deData_Disposizione", "Esecuzione disposizione"},
        {"Label6", K::Label, "pnlTesta", "deData_Valuta", "Valuta"},
        {"Label8", K::Label, "pnlTesta", "deDATA_SCADENZA", "Scadenza"},
        {"Label7", K::Label, "pnlTesta", "", "File export"},
        {"Panel1", K::Panel, "", "", nullptr},
        {"Button2", K::Button, "Panel1", "", "OK"},
        {"btnChiudi", K::Button, "Panel1", "", "Chiudi"},
        {"chEscludiMPG", K::CheckBox, "Panel1", "", "Escludi dipendenti con modalit\xE0 di pagamento non accettate"},
        {"Button1", K::Button, "Panel1", "", "Brogliaccio"},
        {"Button3", K::Button, "Panel1", "", "Distinta"},
        {"btnControlla", K::Button, "Panel1", "", "Controlla"},
        {"buLog", K::Button, "Panel1", "", "Log"},
        {"btnStorico", K::Button, "Panel1", "", "Storico"},
        {"Label9", K::Label, "Panel1", "", "Totale disposizioni"},
        {"laDisp", K::Label, "Panel1", "", "0"},
        {"dbgDisp", K::Grid, "", "", nullptr},
    };
    return table;
}

// ---- the components ---------------------------------------------------------------------

TEST(MemoryWindowComponents, MatchTheWindowTablesInCreationOrder) {
    MemoryWindow w;
    const std::vector<ComponentInfo> all = w.components();
    const auto& expected = exportWindow();
    ASSERT_EQ(all.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(all[i].name, expected[i].name);
        EXPECT_EQ(all[i].kind, expected[i].kind);
        EXPECT_EQ(all[i].parent, expected[i].parent);
        EXPECT_EQ(all[i].focusControl, expected[i].focusControl);
        if (expected[i].caption) {
            EXPECT_EQ(w.text(expected[i].name), expected[i].caption);
        }
    }
    EXPECT_EQ(w.text(""), "Creazione file per la banca");
}

TEST(MemoryWindowComponents, HeaderControlRuleSelectsExactlyTheNineHeaderControls) {
    // The transfer logic hides every edit-kind control of the top panel whose
    // name starts with "ed" or "de"; that must be the header controls and no other.
    MemoryWindow w;
    std::vector<std::string> hidden;
    for (const ComponentInfo& c : w.components()) {
        const std::string prefix = c.name.substr(0, 2);
        if (isEditKind(c.kind) && c.parent == "pnlTesta" && (prefix == "ed" || prefix == "de")) hidden.push_back(c.name);
    }
    EXPECT_EQ(hidden, (std::vector<std::string>{"edMittente", "edNOME_SUPPORTO", "edCC_ORDINANTE",
                                                "edConto_Tesoreria", "edCUC", "deData_Creazione", "deData_Disposizione",
                                                "deData_Valuta", "deDATA_SCADENZA"}));

    // Every focus control names a component on the label's own panel.
    for (const ComponentInfo& c : w.components()) {
        if (c.focusControl.empty()) continue;
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.kind, K::Label);
        auto target = w.findComponent(c.focusControl);
        ASSERT_TRUE(target.has_value());
        EXPECT_EQ(target->parent, c.parent);
    }
}

TEST(MemoryWindowComponents, StartUpState) {
    MemoryWindow w;
    for (const ComponentInfo& c : w.components()) {
        SCOPED_TRACE(c.name);
        const bool isLog = c.name == "buLog";
        EXPECT_EQ(w.isVisible(c.name), !isLog);
        EXPECT_EQ(w.isEnabled(c.name), !isLog);
        if (c.kind == K::DateEdit) {
            EXPECT_EQ(w.date(c.name), 0);
        }
    }
    EXPECT_TRUE(w.isChecked("chEscludiMPG"));
    EXPECT_TRUE(w.items("cbBanche").empty());
    EXPECT_EQ(w.selectedIndex("cbBanche"), -1);
    EXPECT_EQ(w.text("cbBancaFile"), "");
    EXPECT_FALSE(w.closed());
    EXPECT_EQ(w.cursor(), CursorShape::Default);
}

// ---- names ---------------------------------------------------------------------------------

TEST(MemoryWindowNames, LookUpIgnoresLetterCaseAndReportsTheExactName) {
    MemoryWindow w;
    auto found = w.findComponent("EDnome_supporto");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->name, "edNOME_SUPPORTO");
    EXPECT_EQ(found->kind, K::Edit);

    w.setText("EDMITTENTE", "ABC");
    EXPECT_EQ(w.text("edMittente"), "ABC");
    w.setVisible("dedata_scadenza", false);
    EXPECT_FALSE(w.isVisible("deDATA_SCADENZA"));
    w.setDate("DEDATA_CREAZIONE", 45000);
    EXPECT_EQ(w.date("deData_Creazione"), 45000);

    EXPECT_FALSE(w.findComponent("edNOME").has_value());
    EXPECT_FALSE(w.findComponent("").has_value());
    EXPECT_FALSE(w.findComponent("edNOME_SUPPORTO ").has_value());
}

TEST(MemoryWindowNames, UnknownNameRaisesAssertionFailureEverywhere) {
    MemoryWindow w;
    const std::string bad = "edMITTENTI";
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"isVisible", [&] { w.isVisible(bad); }},
        {"setVisible", [&] { w.setVisible(bad, true); }},
        {"isEnabled", [&] { w.isEnabled(bad); }},
        {"setEnabled", [&] { w.setEnabled(bad, true); }},
        {"text", [&] { w.text(bad); }},
        {"setText", [&] { w.setText(bad, "x"); }},
        {"date", [&] { w.date(bad); }},
        {"setDate", [&] { w.setDate(bad, 1); }},
        {"items", [&] { w.items(bad); }},
        {"addItem", [&] { w.addItem(bad, "x"); }},
        {"selectedIndex", [&] { w.selectedIndex(bad); }},
        {"setSelectedIndex", [&] { w.setSelectedIndex(bad, 0); }},
        {"isChecked", [&] { w.isChecked(bad); }},
        {"setChecked", [&] { w.setChecked(bad, true); }},
    };
    for (const auto& [what, call] : calls) {
        SCOPED_TRACE(what);
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const AssertionFailure& e) {
            EXPECT_STREQ(e.what(), "Assertion failure");
        }
    }
    // "" names the caption for texts only.
    EXPECT_THROW(w.isVisible(""), AssertionFailure);
}

TEST(MemoryWindowNames, ValueOfTheWrongKindRaisesAssertionFailure) {
    MemoryWindow w;
    EXPECT_THROW(w.date("edMittente"), AssertionFailure);
    EXPECT_THROW(w.setDate("cbBancaFile", 1), AssertionFailure);
    EXPECT_THROW(w.text("deData_Valuta"), AssertionFailure);
    EXPECT_THROW(w.setText("cbBanche", "x"), AssertionFailure);
    EXPECT_THROW(w.items("edMittente"), AssertionFailure);
    EXPECT_THROW(w.isChecked("Button2"), AssertionFailure);
    EXPECT_THROW(w.text("dbgDisp"), AssertionFailure);
}

// ---- values ----------------------------------------------------------------------------------

// The limits restrict typing only: a text the program sets is kept whole.
TEST(MemoryWindowValues, EditsTakeNoMoreTypedThanTheirLimit) {
    MemoryWindow w;
    const std::string longText = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const std::vector<std::pair<const char*, std::size_t>> limits = {
        {"edMittente", 10}, {"edNOME_SUPPORTO", 20}, {"edCC_ORDINANTE", 20}, {"edConto_Tesoreria", 7}};
    for (const auto& [name, limit] : limits) {
        SCOPED_TRACE(name);
        w.typeText(name, longText);
        EXPECT_EQ(w.text(name), longText.substr(0, limit));
        w.setText(name, longText);
        EXPECT_EQ(w.text(name), longText);
        w.typeText(name, "12");
        EXPECT_EQ(w.text(name), "12");
    }
    // Limits count bytes of the 8-bit text.
    w.typeText("edConto_Tesoreria", "\xE0\xE8\xEC\xF2\xF9\xE9\xE7\xC0");
    EXPECT_EQ(w.text("edConto_Tesoreria"), "\xE0\xE8\xEC\xF2\xF9\xE9\xE7");

    // The file path, labels and the caption have no limit.
    const std::string path = "C:\\Ulmordata\\Banca\\" + longText + longText + ".Txt";
    w.setText("cbBancaFile", path);
    EXPECT_EQ(w.text("cbBancaFile"), path);
    w.setText("laDisp", "1234567890123");
    EXPECT_EQ(w.text("laDisp"), "1234567890123");
    w.setText("", "Creazione file per la banca v2.0.14");
    EXPECT_EQ(w.text(""), "Creazione file per la banca v2.0.14");
}

TEST(MemoryWindowValues, DateEditsHoldADaySerialWithZeroAsEmpty) {
    MemoryWindow w;
    w.setDate("deDATA_SCADENZA", encodeDate(2024, 12, 31));
    EXPECT_EQ(w.date("deDATA_SCADENZA"), encodeDate(2024, 12, 31));
    EXPECT_EQ(w.date("deData_Valuta"), 0);  // others untouched
    w.setDate("deDATA_SCADENZA", 0);
    EXPECT_EQ(w.date("deDATA_SCADENZA"), 0);
}

TEST(MemoryWindowValues, ListItemsAndSelection) {
    MemoryWindow w;
    for (const char* bank : {"BANCA A", "Banca B", "BANCA C"}) w.addItem("cbBanche", bank);
    const auto items = w.items("cbBanche");
    ASSERT_EQ(items, (std::vector<std::string>{"BANCA A", "Banca B", "BANCA C"}));
    EXPECT_EQ(w.selectedIndex("cbBanche"), -1);  // adding selects nothing

    // Finding an item by its text, as the start-up restores the saved bank.
    auto pos = std::find(items.begin(), items.end(), "Banca B");
    w.setSelectedIndex("cbBanche", static_cast<int>(pos - items.begin()));
    EXPECT_EQ(w.selectedIndex("cbBanche"), 1);

    w.addItem("cbBanche", "BANCA D");
    EXPECT_EQ(w.selectedIndex("cbBanche"), 1);  // the selection stays on its item
    w.setSelectedIndex("cbBanche", 3);
    EXPECT_EQ(w.selectedIndex("cbBanche"), 3);

    // An index outside the items clears the selection.
    w.setSelectedIndex("cbBanche", 4);
    EXPECT_EQ(w.selectedIndex("cbBanche"), -1);
    w.setSelectedIndex("cbBanche", 0);
    w.setSelectedIndex("cbBanche", -5);
    EXPECT_EQ(w.selectedIndex("cbBanche"), -1);
}

// ---- the stand-in user -------------------------------------------------------------------

TEST(MemoryWindowUser, QuestionsFollowThePolicyAndAreLogged) {
    MemoryWindow w;
    EXPECT_FALSE(w.askYesNo("Sovrascrivere il file?"));  // default: No

    w.setQuestionPolicy([](const std::string& q) { return q.find("Continuare") != std::string::npos; });
    EXPECT_TRUE(w.askYesNo("Avviso 3. Continuare?"));
    EXPECT_FALSE(w.askYesNo("Sovrascrivere il file?"));

    w.setQuestionPolicy(nullptr);  // an empty policy answers No again
    EXPECT_FALSE(w.askYesNo("Avviso 3. Continuare?"));

    const auto& log = w.questions();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].text, "Sovrascrivere il file?");
    EXPECT_FALSE(log[0].answer);
    EXPECT_EQ(log[1].text, "Avviso 3. Continuare?");
    EXPECT_TRUE(log[1].answer);
    EXPECT_FALSE(log[2].answer);
    EXPECT_FALSE(log[3].answer);
}

TEST(MemoryWindowUser, DialogsErrorsCursorCloseAndDesktopAreRecorded) {
    MemoryWindow w;
    w.showError("primo");
    w.showError("secondo");
    EXPECT_EQ(w.errors(), (std::vector<std::string>{"primo", "secondo"}));

    EXPECT_EQ(w.runSaveDialog("20240131.Txt"), std::nullopt);  // cancelled unless scripted
    w.setSaveDialogAnswer(std::string("C:\\Banca\\scelto.Txt"));
    EXPECT_EQ(w.runSaveDialog("SUPP20240131.Txt"), std::optional<std::string>("C:\\Banca\\scelto.Txt"));
    EXPECT_EQ(w.saveDialogRequests(), (std::vector<std::string>{"20240131.Txt", "SUPP20240131.Txt"}));

    w.setCursor(CursorShape::HourGlass);
    EXPECT_EQ(w.cursor(), CursorShape::HourGlass);
    w.setCursor(CursorShape::Default);
    EXPECT_EQ(w.cursor(), CursorShape::Default);
    EXPECT_EQ(w.cursorHistory(), (std::vector<CursorShape>{CursorShape::HourGlass, CursorShape::Default}));

    w.close();
    EXPECT_TRUE(w.closed());
    w.close();
    EXPECT_EQ(w.closeCount(), 2);

    w.openWithDesktop("C:\\Ulmordata\\Banca\\");
    EXPECT_EQ(w.openedPaths(), (std::vector<std::string>{"C:\\Ulmordata\\Banca\\"}));
}

}  // namespace
}  // namespace doz

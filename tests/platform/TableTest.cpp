#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/Regional.h"
#include "platform/Table.h"

using namespace doz;

namespace {

std::vector<FieldDef> people() {
    return {
        {"NAME", FieldType::String, 10},
        {"AGE", FieldType::Int32},
        {"BORN", FieldType::Date},
        {"PAY", FieldType::Currency},
    };
}

Row person(const char* name, Value age, Value born = {}, Value pay = {}) {
    return {Value(name), std::move(age), std::move(born), std::move(pay)};
}

std::vector<std::string> walkNames(Table& t) {
    std::vector<std::string> out;
    for (t.first(); !t.eof(); t.next()) out.push_back(t.fieldByName("name").asText());
    return out;
}

class TableTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = regional();
        regional() = Regional::italian();
        t.assign(people(), {person("Rossi", 40), person("Bianchi", Value()), person("Verdi", 25), person("rossi", 31)});
    }
    void TearDown() override { regional() = saved_; }
    Regional saved_;
    Table t{"cdsTest"};
};

}  // namespace

TEST_F(TableTest, FieldsAreFoundWithoutRegardToCaseAndUnknownOnesAreNamed) {
    EXPECT_EQ(t.fieldByName("nAmE").name(), "NAME");
    EXPECT_FALSE(t.findField("SURNAME").has_value());
    try {
        t.fieldByName("SURNAME");
        FAIL() << "no error";
    } catch (const DataError& e) {
        EXPECT_EQ(std::string(e.what()), "cdsTest: campo 'SURNAME' non trovato");
    }
}

TEST_F(TableTest, NullsReadAsEmptyZeroAndTheZeroDate) {
    t.next();  // Bianchi: AGE, BORN and PAY are null
    EXPECT_TRUE(t.fieldByName("AGE").isNull());
    EXPECT_EQ(t.fieldByName("AGE").asInteger(), 0);
    EXPECT_EQ(t.fieldByName("AGE").asText(), "");
    EXPECT_EQ(t.fieldByName("BORN").asDate(), 0);
    EXPECT_EQ(t.fieldByName("PAY").asCurrency(), 0);
}

TEST_F(TableTest, AWalkEndsOnTheLastRowAndAnEmptyTableReadsNull) {
    EXPECT_EQ(walkNames(t), (std::vector<std::string>{"Rossi", "Bianchi", "Verdi", "rossi"}));
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.fieldByName("NAME").asText(), "rossi");  // the cursor stays on the last row

    Table empty("cdsEmpty");
    empty.assign(people(), {});
    empty.first();
    EXPECT_TRUE(empty.eof());
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_TRUE(empty.fieldByName("NAME").isNull());
}

TEST_F(TableTest, ClosedTablesRefuseWalksAndReads) {
    t.close();
    EXPECT_THROW(t.first(), DataError);
    EXPECT_THROW(t.fieldByName("NAME").asText(), DataError);
    EXPECT_EQ(t.viewCount(), 0);
    // A closed table without a provider cannot open by itself.
    EXPECT_THROW(t.open(), DataError);
}

TEST_F(TableTest, FilterDecidesWalkCountAndEmptinessButRemovesNoRow) {
    t.setFilter("AGE IS NOT NULL");
    EXPECT_EQ(t.recordCount(), 4);  // text set, switch still off
    t.setFiltered(true);
    EXPECT_EQ(t.recordCount(), 3);
    EXPECT_EQ(walkNames(t), (std::vector<std::string>{"Rossi", "Verdi", "rossi"}));
    t.setFilter("AGE > 100");
    EXPECT_TRUE(t.isEmpty());
    EXPECT_EQ(t.allRows().size(), 4u);
    t.setFiltered(false);
    EXPECT_EQ(t.recordCount(), 4);
}

TEST_F(TableTest, AFilterThatDoesNotParseIsAnErrorAndKeepsTheOldOne) {
    t.setFilter("AGE > 30");
    t.setFiltered(true);
    EXPECT_THROW(t.setFilter("AGE >"), DataError);
    EXPECT_EQ(t.filter(), "AGE > 30");
    EXPECT_EQ(t.recordCount(), 2);
}

TEST_F(TableTest, FilterTextSetWhileClosedAppliesWhenOpened) {
    Table c("cdsLater");
    c.setFilter("AGE IS NOT NULL");
    c.setFiltered(true);  // closed: nothing to parse against yet
    c.assign(people(), {person("A", 1), person("B", Value())});
    EXPECT_EQ(c.recordCount(), 1);
}

TEST_F(TableTest, LocateIsExactAndCaseSensitiveOverSeveralFields) {
    EXPECT_TRUE(t.locate("NAME", {Value("rossi")}));
    EXPECT_EQ(t.fieldByName("AGE").asInteger(), 31);
    EXPECT_FALSE(t.locate("NAME", {Value("ROSSI")}));
    EXPECT_FALSE(t.locate("NAME", {Value("Ross")}));
    EXPECT_EQ(t.fieldByName("AGE").asInteger(), 31);  // a miss leaves the cursor where it was
    EXPECT_TRUE(t.locate("NAME;AGE", {Value("Rossi"), Value(40)}));
    EXPECT_FALSE(t.locate("NAME;AGE", {Value("Rossi"), Value(31)}));
    EXPECT_TRUE(t.locate("AGE", {Value("25")}));  // converted to the field's type
    EXPECT_EQ(t.fieldByName("NAME").asText(), "Verdi");
}

TEST_F(TableTest, InsertGoesBeforeTheCurrentRowAndAppendAtTheEnd) {
    t.locate("NAME", {Value("Verdi")});
    t.insert();
    t.fieldByName("NAME").setText("Neri");
    t.post();
    EXPECT_EQ(t.fieldByName("NAME").asText(), "Neri");  // the new row is current
    t.insert();
    t.fieldByName("NAME").setText("Gialli");
    t.post();
    t.append();
    t.fieldByName("NAME").setText("Ultimo");
    t.post();
    EXPECT_EQ(walkNames(t), (std::vector<std::string>{"Rossi", "Bianchi", "Gialli", "Neri", "Verdi", "rossi", "Ultimo"}));
}

TEST_F(TableTest, EditsArePostedOnMovesAndRequiredFieldsRefuseNull) {
    t.edit();
    t.fieldByName("AGE").setInteger(41);
    t.next();  // posts
    t.first();
    EXPECT_EQ(t.fieldByName("AGE").asInteger(), 41);

    t.fieldByName("AGE").setRequired(true);
    t.edit();
    t.fieldByName("AGE").clear();
    EXPECT_THROW(t.post(), DataError);
    t.cancel();
    EXPECT_EQ(t.fieldByName("AGE").asInteger(), 41);
    EXPECT_THROW(t.fieldByName("AGE").setInteger(1), DataError);  // not in edit
}

TEST_F(TableTest, WritesConvertToTheFieldTypeAndCutDeclaredText) {
    t.edit();
    t.fieldByName("NAME").setText("Abcdefghijklmnop");
    t.fieldByName("AGE").setText(" 12 ");
    t.fieldByName("BORN").setText("31/12/1999");
    t.fieldByName("PAY").setText("1234,5");
    EXPECT_THROW(t.fieldByName("AGE").setText("12a"), ConvertError);
    EXPECT_THROW(t.fieldByName("BORN").setText("31/02/1999"), ConvertError);
    t.post();
    EXPECT_EQ(t.fieldByName("NAME").asText(), "Abcdefghij");
    EXPECT_EQ(t.fieldByName("AGE").asInteger(), 12);
    EXPECT_EQ(t.fieldByName("BORN").asText(), "31/12/1999");
    EXPECT_EQ(t.fieldByName("PAY").asCurrency(), 12345000);
    EXPECT_EQ(t.fieldByName("PAY").asText(), "1234,5");
    // A text that is not a whole number read as an integer is a conversion error.
    EXPECT_THROW(t.fieldByName("NAME").asInteger(), ConvertError);
}

TEST_F(TableTest, IndexFieldOrdersTheWalkAndKeepsTies) {
    Table layout("cdsLayout");
    layout.setIndexFieldNames("Ord");
    layout.assign({{"Ord", FieldType::Int32}, {"Pos", FieldType::String, 10}},
                  {{Value(3), Value("c")}, {Value(1), Value("a")}, {Value(2), Value("b1")}, {Value(2), Value("b2")}});
    std::vector<std::string> seen;
    for (layout.first(); !layout.eof(); layout.next()) seen.push_back(layout.fieldByName("Pos").asText());
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b1", "b2", "c"}));
}

TEST_F(TableTest, ProviderCopiesRowsThroughTheCallbackWithoutTouchingTheSource) {
    Provider p("dspTest");
    p.setDataSet(&t);
    p.onGetData = [](Table& copy) {
        copy.setFilter("AGE IS NULL");
        copy.setFiltered(true);
        for (copy.first(); !copy.eof(); copy.next()) {
            copy.edit();
            copy.fieldByName("AGE").setInteger(99);
            copy.post();
        }
    };
    Table target("cdsTarget");
    target.setProvider(&p);
    target.open();
    EXPECT_EQ(target.recordCount(), 4);  // every row, whatever filter the callback left
    ASSERT_TRUE(target.locate("NAME", {Value("Bianchi")}));
    EXPECT_EQ(target.fieldByName("AGE").asInteger(), 99);
    ASSERT_TRUE(t.locate("NAME", {Value("Bianchi")}));
    EXPECT_TRUE(t.fieldByName("AGE").isNull());
}

TEST_F(TableTest, AFeedOfFieldsOnlyThenALastFeedThatMovesTheRows) {
    Provider p("dspTest");
    p.setDataSet(&t);
    // Fed the fields only first: the copy's rules run on no row, the source keeps its rows.
    p.fieldsOnly = true;
    int seen = -1;
    p.onGetData = [&seen](Table& working) { seen = working.recordCount(); };
    Table fields("cdsFields");
    fields.setProvider(&p);
    fields.open();
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(fields.fieldCount(), 4);
    EXPECT_EQ(fields.recordCount(), 0);
    EXPECT_EQ(t.recordCount(), 4);
    p.fieldsOnly = false;
    p.onGetData = nullptr;

    p.lastFeed = true;
    Table target("cdsTarget");
    target.setProvider(&p);
    target.open();
    EXPECT_EQ(target.recordCount(), 4);
    EXPECT_FALSE(target.allRows()[0].shared());
    EXPECT_TRUE(t.active());
    EXPECT_EQ(t.recordCount(), 0);
    EXPECT_EQ(t.fieldCount(), 4);
    // A copy fed again from the released source would be empty: refused instead.
    target.close();
    p.lastFeed = false;
    EXPECT_THROW(target.open(), DataError);
    t.assign(people(), {person("Neri", 30)});  // loaded again: it feeds
    target.open();
    EXPECT_EQ(target.recordCount(), 1);
}

TEST_F(TableTest, AfterOpenRunsOnEveryOpening) {
    int calls = 0;
    Table c("cdsHook");
    c.afterOpen = [&](Table& table) {
        ++calls;
        for (int i = 0; i < table.fieldCount(); ++i) table.field(i).setRequired(false);
    };
    auto defs = people();
    defs[0].required = true;
    c.assign(defs, {});
    c.close();
    c.assign(defs, {});
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(c.fieldDefs()[0].required);
}

TEST_F(TableTest, ViewsAreToldOfChangesUnlessSuspended) {
    struct Counter : TableObserver {
        int changed = 0, moved = 0;
        void tableChanged(const Table&) override { ++changed; }
        void currentRowChanged(const Table&) override { ++moved; }
    } counter;
    t.addObserver(&counter);
    t.disableControls();
    for (t.first(); !t.eof(); t.next()) {
    }
    EXPECT_EQ(counter.moved, 0);
    t.enableControls();
    EXPECT_EQ(counter.changed, 1);
    EXPECT_EQ(counter.moved, 1);
    t.removeObserver(&counter);
}

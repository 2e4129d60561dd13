// An edited row changes in place; cancel puts back every value it had.
#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/Table.h"

using namespace doz;

TEST(TableEdit, CancelRestoresEveryFieldWrittenOnceOrMoreAndPostKeepsThem) {
    Table t("cdsEdit");
    t.assign({{"NAME", FieldType::String, 10}, {"AGE", FieldType::Int32}},
             {{Value("Rossi"), Value(40)}, {Value("Verdi"), Value()}});
    t.next();
    t.edit();
    t.fieldByName("AGE").setInteger(1);
    t.fieldByName("AGE").setInteger(2);
    t.fieldByName("NAME").setText("Bianchi");
    EXPECT_EQ(t.fieldByName("NAME").asText(), "Bianchi");
    t.cancel();
    EXPECT_EQ(t.state(), TableState::Browse);
    EXPECT_EQ(t.allRows()[1], (Row{Value("Verdi"), Value()}));

    t.edit();
    t.fieldByName("AGE").setInteger(3);
    t.post();
    t.cancel();  // nothing left to undo
    EXPECT_EQ(t.allRows()[1], (Row{Value("Verdi"), Value(3)}));
    EXPECT_EQ(t.allRows()[0], (Row{Value("Rossi"), Value(40)}));

    // A post refused for a required field keeps the edit open; cancel then restores.
    t.fieldByName("NAME").setRequired(true);
    t.edit();
    t.fieldByName("NAME").clear();
    EXPECT_THROW(t.post(), DataError);
    EXPECT_EQ(t.state(), TableState::Edit);
    t.cancel();
    EXPECT_EQ(t.fieldByName("NAME").asText(), "Verdi");
}

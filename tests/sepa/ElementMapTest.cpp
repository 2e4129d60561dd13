// An XML bank's layout file refused where it is wrong, and the total of the
// payments left out of the request.
#include <gtest/gtest.h>

#include <array>
#include <limits>

#include "platform/Error.h"
#include "platform/Regional.h"
#include "sepa/FromDispositions.h"

using namespace doz;
using namespace doz::sepa;

namespace {

using LayoutRows = std::vector<std::array<const char*, 3>>;  // Element, FieldName, ValOut; Ord 10, 20, ...

FieldDef def(const char* name, FieldType type = FieldType::String) {
    FieldDef d;
    d.name = name;
    d.type = type;
    return d;
}

// The message the layout is refused with, or "" when it is taken.
std::string refusal(const LayoutRows& rows) {
    std::vector<Row> data;
    int ord = 0;
    for (const auto& [element, field, constant] : rows)
        data.push_back(Row{Value(std::int64_t{ord += 10}), Value(element), *field ? Value(field) : Value(),
                           *constant ? Value(constant) : Value()});
    Table layout;
    layout.assign({def("Ord", FieldType::Int32), def("Element"), def("FieldName"), def("ValOut")}, std::move(data));
    try {
        ElementMap().readLayout(layout, "SEPA_T.Xml");
    } catch (const DataError& e) {
        return e.what();
    }
    return {};
}

}  // namespace

TEST(ElementMapLayout, EachWrongRowIsRefusedNamingFileOrdAndElement) {
    struct Case {
        LayoutRows rows;
        const char* where;
        const char* why;
    };
    const Case cases[] = {
        {{{"Cdtr/PstlAdr/Nickname", "COM_DESTINATARIO", ""}}, "Ord 10, elemento \"Cdtr/PstlAdr/Nickname\"", "sconosciuto"},
        {{{"Cdtr/Nm", "DESC_DESTINATARIO", ""}, {"Cdtr/Id/PrvtId/Othr/Id", "CF_DESTINATARIO", ""}},
         "Ord 20, elemento \"Cdtr/Id/PrvtId/Othr/Id\"", "non scritto dal programma"},
        {{{"RmtInf/UStrd", "DESC_CAUSALE", ""}}, "Ord 10, elemento \"RmtInf/UStrd\"", "(forse \"RmtInf/Ustrd\"?)"},
        {{{"Cdtr/Nm", "DESC_DESTINATARIO", ""}, {"Cdtr/Nm", "COM_DESTINATARIO", ""}}, "Ord 20, elemento \"Cdtr/Nm\"",
         "gi\xE0 mappato dalla riga Ord 10"},
        {{{"Cdtr/PstlAdr/Ctry", "", "IT"}}, "Ord 10, elemento \"Cdtr/PstlAdr/Ctry\"", "il paese non \xE8 una costante"},
        {{{"Amt/InstdAmt", "", "100"}}, "Ord 10, elemento \"Amt/InstdAmt\"", "non da una costante"},
        {{{"CreDtTm", "DATA_CREAZIONE", ""}}, "Ord 10, elemento \"CreDtTm\"", "il momento in cui il file viene scritto"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        const std::string message = refusal(c.rows);
        EXPECT_EQ(message.rfind("Tracciato XML SEPA_T.Xml, " + std::string(c.where) + ": ", 0), 0u) << message;
        EXPECT_NE(message.find(c.why), std::string::npos) << message;
    }
    EXPECT_EQ(refusal({{"Cdtr/Nm", "DESC_DESTINATARIO", ""}, {"Cdtr/PstlAdr/Ctry", "", ""}}), "");
}

TEST(LeftOut, TotalsAreRangeChecked) {
    const std::int64_t half = std::numeric_limits<std::int64_t>::max() / 2 + 1;
    LeftOut leftOut;
    leftOut.add({1, "Rossi Mario", "Pagamento per cassa", half});
    try {
        leftOut.add({2, "Bianchi Anna", "Assegno circolare", half});
        ADD_FAILURE() << "a total past 64 bits was taken";
    } catch (const DataError& e) {
        EXPECT_EQ(std::string(e.what()), "Totale dei pagamenti per cassa o con assegno oltre il limite del programma.");
    }
    // Within 64 bits, but too large to be shown as ten-thousandths.
    EXPECT_THROW(LeftOutQuestion(leftOut), DataError);
    const Regional saved = regional();
    regional() = Regional::italian();
    EXPECT_EQ(GroupedCents(623635, "Totale"), "6.236,35");
    regional() = saved;
}

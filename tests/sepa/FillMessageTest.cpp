// Filling the request from an XML bank's layout file and the dispositions:
// the layout refused where it is wrong, the amount's unit, the whole IBAN and
// its parts, the totals of what is left out.
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <map>

#include "FormState.h"
#include "payments/Iban.h"
#include "platform/Error.h"
#include "platform/MemoryWindow.h"
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

void fillLayout(Table& table, const LayoutRows& rows) {
    std::vector<Row> data;
    int ord = 0;
    for (const auto& [element, field, constant] : rows)
        data.push_back(Row{Value(std::int64_t{ord += 10}), Value(element), *field ? Value(field) : Value(),
                           *constant ? Value(constant) : Value()});
    table.assign({def("Ord", FieldType::Int32), def("Element"), def("FieldName"), def("ValOut")}, std::move(data));
}

// The message the layout refuses with, or "" when it takes it.
std::string refusal(const LayoutRows& rows) {
    Table layout;
    fillLayout(layout, rows);
    try {
        ElementMap().readLayout(layout, "SEPA_T.Xml");
    } catch (const DataError& e) {
        return e.what();
    }
    return {};
}

const std::string kPayeeIban = BuildItalianIban("IT", "", "03069", "09606", "100077");

class FillMessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.cdsTracciati.assign({def("Banca"), def("CodTracciato"), def("ABI"), def("PosTipoRecord"), def("Formato")},
                                 {Row{Value("Banca XML"), Value("SEPA_T"), Value("03442"), Value(), Value("pain.001.001.09")}});
        form.cdsTracciati.first();
        window.setText("edCUC", "1A2B3C4D");
        setLayout({});
    }

    void setLayout(const LayoutRows& rows) { fillLayout(form.cdsTraccCorrente, rows); }

    // One disposition per map: every field the default element map reads, a
    // sound Italian payment unless the map says otherwise.
    void setDispositions(const std::vector<std::map<std::string, Value>>& rows) {
        std::vector<FieldDef> defs = {def("IMPGID", FieldType::Int32), def("IMPORTO", FieldType::Int64),
                                      def("IMPORTO_EURO", FieldType::Float), def("DATA_DISPOSIZIONE", FieldType::Date)};
        for (const char* text : {"DESC_ORDINANTE", "IND_ORDINANTE", "COM_ORDINANTE", "IBAN_STATO_ORDINANTE",
                                 "IBAN_CKD_ORDINANTE", "CIN_ORDINANTE", "ABI_ORDINANTE", "CAB_ORDINANTE", "CC_ORDINANTE",
                                 "COD_CLIENTE", "DESC_DESTINATARIO", "IND_DESTINATARIO", "CAP_DESTINATARIO",
                                 "COM_DESTINATARIO", "IBAN_STATO_DESTINATARIO", "IBAN_CKD_DESTINATARIO", "CIN",
                                 "ABI_DESTINATARIO", "CAB_DESTINATARIO", "CC_DESTINATARIO", "SACOMNUMCC", "DESC_CAUSALE"})
            defs.push_back(def(text));
        std::vector<Row> data;
        for (const auto& changes : rows) {
            std::map<std::string, Value> values = {
                {"IMPGID", Value(std::int64_t{3})},       {"IMPORTO", Value(std::int64_t{150050})},
                {"DESC_ORDINANTE", Value("Comune")},      {"IND_ORDINANTE", Value("Piazza Grande 1")},
                {"COM_ORDINANTE", Value("Villanova")},    {"ABI_ORDINANTE", Value("05428")},
                {"CAB_ORDINANTE", Value("11101")},        {"CC_ORDINANTE", Value("123456")},
                {"DESC_DESTINATARIO", Value("Rossi Mario")}, {"COM_DESTINATARIO", Value("Perugia")},
                {"ABI_DESTINATARIO", Value("03069")},     {"CAB_DESTINATARIO", Value("09606")},
                {"CC_DESTINATARIO", Value("100077")},     {"COD_CLIENTE", Value("M1")}};
            for (const auto& [name, value] : changes) values[name] = value;
            Row row(defs.size());
            for (std::size_t i = 0; i < defs.size(); ++i)
                if (const auto it = values.find(defs[i].name); it != values.end()) row[i] = it->second;
            data.push_back(std::move(row));
        }
        form.cdsDisp.assign(std::move(defs), std::move(data));
    }

    Message fill() { return FillMessage(form, Form::Pain001, leftOut); }

    MemoryWindow window;
    FormState form{window};
    LeftOut leftOut;
};

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

TEST_F(FillMessageTest, AmountUnitIsTheFieldsTypeAndEuroBecomeExactCents) {
    setLayout({{"Amt/InstdAmt", "IMPORTO_EURO", ""}});
    setDispositions({{{"IMPORTO_EURO", Value(1500.50)}}, {{"IMPORTO_EURO", Value(0.29)}}, {{"IMPORTO_EURO", Value(12.345)}}});
    const Message m = fill();
    ASSERT_EQ(m.transfers.size(), 3u);
    EXPECT_EQ(m.transfers[0].cents, 150050);
    EXPECT_EQ(m.transfers[1].cents, 29);  // 0.28999999999999998 as a double
    EXPECT_TRUE(m.transfers[0].faults.empty() && m.transfers[1].faults.empty());
    ASSERT_EQ(m.transfers[2].faults.size(), 1u);
    EXPECT_EQ(m.transfers[2].faults[0].path, "Amt/InstdAmt");
    EXPECT_NE(m.transfers[2].faults[0].message.find("12.345 euro con pi\xF9 di due decimali"), std::string::npos);

    // A text field or a header value says nothing of the unit: refused, naming element and value.
    setLayout({{"Amt/InstdAmt", "DESC_CAUSALE", ""}});
    EXPECT_THROW(fill(), DataError);
    setLayout({});  // the default: IMPORTO, in cents
    EXPECT_EQ(fill().transfers[2].cents, 150050);
    setLayout({{"Amt/InstdAmt", "CUC", ""}});
    try {
        fill();
        ADD_FAILURE() << "a header value was taken as an amount";
    } catch (const DataError& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("Tracciato XML ", 0), 0u) << message;
        EXPECT_NE(message.find("elemento \"Amt/InstdAmt\": l'importo viene dal valore di testata 'CUC' (\"1A2B3C4D\")"),
                  std::string::npos)
            << message;
    }
}

TEST_F(FillMessageTest, WholeIbanComesFirstAndMustAgreeWithTheParts) {
    setLayout({{"CdtrAcct/Id/IBAN", "SACOMNUMCC", ""}, {"Dbtr/PstlAdr/StrtNm", "IND_ORDINANTE", ""},
               {"Dbtr/PstlAdr/TwnNm", "COM_ORDINANTE", ""}});
    const std::string german = "DE" + IbanCheckDigits("DE", "500105170648489890").value() + "500105170648489890";
    const std::string otherItalian = BuildItalianIban("IT", "", "03069", "09606", "100078");
    const Value none;
    setDispositions({
        {{"SACOMNUMCC", Value(german)}, {"ABI_DESTINATARIO", none}, {"CAB_DESTINATARIO", none}, {"CC_DESTINATARIO", none}},
        {{"SACOMNUMCC", Value(kPayeeIban)}},
        {{"SACOMNUMCC", Value(otherItalian)}},
        {{"SACOMNUMCC", Value("000000100077")}},  // an account number, no IBAN: the parts decide
    });
    const Message m = fill();
    ASSERT_EQ(m.transfers.size(), 4u);
    EXPECT_EQ(m.transfers[0].creditorIban, german);
    EXPECT_EQ(m.transfers[0].creditorAddress.country, "DE") << "the country is the account's";
    EXPECT_EQ(m.transfers[1].creditorIban, kPayeeIban);
    EXPECT_EQ(m.transfers[1].creditorAddress.country, "IT");
    EXPECT_TRUE(m.transfers[0].faults.empty() && m.transfers[1].faults.empty() && m.transfers[3].faults.empty());
    EXPECT_EQ(m.transfers[2].creditorIban, otherItalian);
    ASSERT_EQ(m.transfers[2].faults.size(), 1u);
    EXPECT_EQ(m.transfers[2].faults[0].path, "CdtrAcct/Id/IBAN");
    EXPECT_NE(m.transfers[2].faults[0].message.find("diverso da quello delle coordinate " + kPayeeIban),
              std::string::npos)
        << m.transfers[2].faults[0].message;
    EXPECT_EQ(m.transfers[3].creditorIban, kPayeeIban);

    // The debtor's address from the ordering party's fields, its country the debtor IBAN's.
    EXPECT_EQ(m.debtorAddress.street, "Piazza Grande 1");
    EXPECT_EQ(m.debtorAddress.town, "Villanova");
    EXPECT_EQ(m.debtorAddress.country, "IT");
    // Created when filled: today, whatever the header says.
    const CivilDate today = decodeDate(doz::today());
    EXPECT_EQ(m.created.date.year * 10000 + m.created.date.month * 100 + m.created.date.day,
              today.year * 10000 + today.month * 100 + today.day);
}

TEST_F(FillMessageTest, TotalsOfWhatIsLeftOutAreRangeChecked) {
    const std::int64_t half = std::numeric_limits<std::int64_t>::max() / 2 + 1;
    setDispositions({{{"IMPGID", Value(std::int64_t{1})}, {"IMPORTO", Value(half)}},
                     {{"IMPGID", Value(std::int64_t{4})}, {"IMPORTO", Value(half)}}});
    try {
        fill();
        ADD_FAILURE() << "a total past 64 bits was taken";
    } catch (const DataError& e) {
        EXPECT_EQ(std::string(e.what()), "Totale dei pagamenti per cassa o con assegno oltre il limite del programma.");
    }
    // Within 64 bits, but too large to be shown as ten-thousandths.
    LeftOut large;
    large.payments.push_back({1, "Rossi Mario", "Pagamento per cassa", half});
    large.cents = half;
    EXPECT_THROW(LeftOutQuestion(large), DataError);
    const Regional saved = regional();
    regional() = Regional::italian();
    EXPECT_EQ(GroupedCents(623635, "Totale"), "6.236,35");
    regional() = saved;
}

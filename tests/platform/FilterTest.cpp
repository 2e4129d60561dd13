// The filter language of the in-memory tables: what each construct selects,
// how nulls and conversions behave, and how unreadable filters are reported.
#include "platform/Filter.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "platform/Error.h"
#include "platform/Regional.h"

namespace doz {
namespace {

FieldDef def(const char* name, FieldType type) {
    FieldDef d;
    d.name = name;
    d.type = type;
    return d;
}

const std::vector<FieldDef>& fields() {
    static const std::vector<FieldDef> f = {
        def("IMPGID", FieldType::Int32),           def("IMPORTO", FieldType::Int64),
        def("CIN", FieldType::String),             def("ABI_ORDINANTE", FieldType::String),
        def("ABI_DESTINATARIO", FieldType::String), def("DATA_VALUTA", FieldType::Date),
        def("ORA", FieldType::Time),               def("MOMENTO", FieldType::DateTime),
        def("PREZZO", FieldType::Currency),        def("QUOTA", FieldType::Bcd),
        def("PESO", FieldType::Float),             def("ATTIVO", FieldType::Boolean),
        def("Data Valuta", FieldType::Date),       def("MODALITA_PAGAMENTO", FieldType::Int32),
        def("Record", FieldType::String),          def("DOC", FieldType::Blob),
    };
    return f;
}

// A row with the named fields set and every other field null.
Row row(std::initializer_list<std::pair<const char*, Value>> values) {
    Row r(fields().size());
    for (const auto& [name, value] : values) {
        std::size_t i = 0;
        while (fields()[i].name != name) ++i;
        r[i] = value;
    }
    return r;
}

bool pass(const std::string& filter, const Row& r) { return compileFilter(filter, fields())->matches(r); }

// The message of the DataError a filter raises when compiled.
std::string compileError(const std::string& filter) {
    try {
        compileFilter(filter, fields());
    } catch (const DataError& e) {
        return e.what();
    }
    return "(nessun errore)";
}

std::string runError(const std::string& filter, const Row& r) {
    auto compiled = compileFilter(filter, fields());
    try {
        compiled->matches(r);
    } catch (const DataError& e) {
        return e.what();
    }
    return "(nessun errore)";
}

void expectBadFilter(const std::string& filter, int position, const std::string& problem) {
    SCOPED_TRACE(filter);
    const std::string msg = compileError(filter);
    EXPECT_EQ(msg.rfind("Filtro non valido \"" + filter + "\": ", 0), 0u) << msg;
    EXPECT_NE(msg.find(problem + " alla posizione " + std::to_string(position)), std::string::npos) << msg;
}

class FilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = regional();
        regional() = Regional::italian();
    }
    void TearDown() override { regional() = saved_; }
    Regional saved_;
};

TEST_F(FilterTest, SystemWrittenForms) {
    EXPECT_TRUE(pass("Record='PC'", row({{"Record", "PC"}})));
    EXPECT_FALSE(pass("Record='PC'", row({{"Record", "EF"}})));
    EXPECT_TRUE(pass("Record='D''X'", row({{"Record", "D'X"}})));
    EXPECT_TRUE(pass("MODALITA_PAGAMENTO IS NOT NULL", row({{"MODALITA_PAGAMENTO", 0}})));
    EXPECT_FALSE(pass("MODALITA_PAGAMENTO IS NOT NULL", row({})));
    EXPECT_TRUE(pass("IMPGID = 3", row({{"IMPGID", 3}})));
    EXPECT_FALSE(pass("IMPGID = 3", row({{"IMPGID", 4}})));
    EXPECT_TRUE(pass("ABI_ORDINANTE <> ABI_DESTINATARIO", row({{"ABI_ORDINANTE", "03069"}, {"ABI_DESTINATARIO", "02008"}})));
    EXPECT_FALSE(pass("ABI_ORDINANTE <> ABI_DESTINATARIO", row({{"ABI_ORDINANTE", "03069"}, {"ABI_DESTINATARIO", "03069"}})));
}

TEST_F(FilterTest, NumericComparisonsAcrossTypes) {
    const Row r = row({{"IMPGID", 5}, {"PREZZO", Currency{12'500}}, {"QUOTA", Decimal{"10.25"}}, {"PESO", 0.1}});
    for (const char* f : {"IMPGID = 5", "IMPGID <> 4", "IMPGID < 6", "IMPGID > 4", "IMPGID <= 5", "IMPGID >= 5",
                          "5 = IMPGID", "IMPGID = 5.0", "PREZZO = 1.25", "PREZZO > 1", "QUOTA = 10.25",
                          "QUOTA < IMPGID * 3", "PESO = 0.1", "PESO < PREZZO", "IMPGID = '5'"})
        EXPECT_TRUE(pass(f, r)) << f;
    for (const char* f : {"IMPGID <> 5", "IMPGID < 5", "IMPGID > 5", "IMPGID <= 4", "IMPGID >= 6", "PREZZO = 1.2",
                          "QUOTA = 10.2", "IMPGID = 5.5"})
        EXPECT_FALSE(pass(f, r)) << f;
    // Large integers stay exact.
    EXPECT_TRUE(pass("IMPORTO = 9007199254740993", row({{"IMPORTO", std::int64_t{9007199254740993}}})));
    EXPECT_FALSE(pass("IMPORTO = 9007199254740992", row({{"IMPORTO", std::int64_t{9007199254740993}}})));
}

TEST_F(FilterTest, TextComparisonIsExactAndCaseSensitive) {
    const Row r = row({{"CIN", "Roma"}});
    EXPECT_TRUE(pass("CIN = 'Roma'", r));
    EXPECT_FALSE(pass("CIN = 'ROMA'", r));
    EXPECT_FALSE(pass("CIN = 'Roma '", r));
    EXPECT_TRUE(pass("Upper(CIN) = 'ROMA'", r));
    EXPECT_TRUE(pass("CIN < 'Rome'", r));
    EXPECT_TRUE(pass("CIN > 'ROMA'", r));  // byte order: lower case after upper case
    EXPECT_TRUE(pass("'Roma' = 'Roma'", r));
    EXPECT_FALSE(pass("'Roma' = 'ROMA'", r));
}

TEST_F(FilterTest, NullSidesMakeEveryComparisonFalse) {
    const Row empty = row({});
    for (const char* f : {"IMPGID = 3", "IMPGID <> 3", "IMPGID < 3", "IMPGID >= 3", "CIN = 'A'", "CIN <> 'A'",
                          "CIN = '*'", "CIN LIKE '%'", "CIN NOT LIKE 'A%'", "IMPGID IN (1, 2)",
                          "IMPGID NOT IN (1, 2)", "IMPGID + 1 > 0", "Upper(CIN) <> 'X'", "3 = IMPGID",
                          "ABI_ORDINANTE <> ABI_DESTINATARIO"})
        EXPECT_FALSE(pass(f, empty)) << f;
    // NOT turns the false comparison round.
    EXPECT_TRUE(pass("not (CIN = 'A')", empty));
    EXPECT_TRUE(pass("IMPGID IS NULL", empty));
    EXPECT_FALSE(pass("IMPGID IS NOT NULL", empty));
}

TEST_F(FilterTest, BlankMeansNullOrEmptyText) {
    EXPECT_TRUE(pass("CIN = BLANK", row({})));
    EXPECT_TRUE(pass("CIN = BLANK", row({{"CIN", ""}})));
    EXPECT_FALSE(pass("CIN = BLANK", row({{"CIN", " "}})));
    EXPECT_TRUE(pass("CIN <> BLANK", row({{"CIN", "X"}})));
    EXPECT_FALSE(pass("CIN <> blank", row({{"CIN", ""}})));
    EXPECT_TRUE(pass("IMPGID = BLANK", row({})));
    EXPECT_FALSE(pass("IMPGID = BLANK", row({{"IMPGID", 0}})));
    EXPECT_TRUE(pass("DOC = BLANK", row({})));
}

TEST_F(FilterTest, LogicPrecedenceNotThenAndThenOr) {
    const Row r = row({{"IMPGID", 1}, {"CIN", "A"}});
    // or binds loosest: true or (false and false)
    EXPECT_TRUE(pass("IMPGID = 1 or IMPGID = 2 and CIN = 'B'", r));
    EXPECT_FALSE(pass("(IMPGID = 1 or IMPGID = 2) and CIN = 'B'", r));
    // not binds tighter than and: (not false) and true
    EXPECT_TRUE(pass("not IMPGID = 2 and CIN = 'A'", r));
    EXPECT_FALSE(pass("not (IMPGID = 1 and CIN = 'A')", r));
    EXPECT_TRUE(pass("not not IMPGID = 1", r));
    EXPECT_TRUE(pass("not (IMPGID = 2) and CIN IS NOT NULL", r));
    EXPECT_TRUE(pass("((IMPGID = 1))", r));
    EXPECT_TRUE(pass("ATTIVO and IMPGID = 1", row({{"ATTIVO", true}, {"IMPGID", 1}})));
    EXPECT_FALSE(pass("ATTIVO = false", row({{"ATTIVO", true}})));
    EXPECT_TRUE(pass("ATTIVO = 'True'", row({{"ATTIVO", true}})));
    // A long flat chain is not nesting.
    std::string chain = "IMPGID = 0";
    for (int i = 1; i < 1000; ++i) chain += " or IMPGID = " + std::to_string(i);
    EXPECT_TRUE(pass(chain, row({{"IMPGID", 999}})));
    EXPECT_FALSE(pass(chain, row({{"IMPGID", 1000}})));
}

TEST_F(FilterTest, NamesAndKeywordsIgnoreLetterCase) {
    const Row r = row({{"MODALITA_PAGAMENTO", 1}, {"CIN", "x"}, {"Data Valuta", Date{45000}}});
    EXPECT_TRUE(pass("modalita_pagamento is not null AND Cin = 'x'", r));
    EXPECT_TRUE(pass("[Modalita_Pagamento] Is Not Null", r));
    EXPECT_TRUE(pass("UPPER(cin) = 'X' And lower('Y') = 'y'", r));
    EXPECT_TRUE(pass("[Data Valuta] IS NOT NULL", r));
    EXPECT_TRUE(pass("[data valuta] = '2023-03-15'", r));
}

TEST_F(FilterTest, PartialComparisonWithStar) {
    const Row r = row({{"CIN", "03069"}});
    EXPECT_TRUE(pass("CIN = '03*'", r));
    EXPECT_TRUE(pass("'030*' = CIN", r));
    EXPECT_TRUE(pass("CIN = '*'", r));
    EXPECT_FALSE(pass("CIN = '04*'", r));
    EXPECT_FALSE(pass("CIN = '030690*'", r));
    EXPECT_TRUE(pass("CIN <> '03*'", r));  // only '=' compares partially
}

TEST_F(FilterTest, LikePatterns) {
    const Row r = row({{"CIN", "ROSSI MARIO"}, {"IMPGID", 305}});
    for (const char* f : {"CIN LIKE 'ROSSI%'", "CIN LIKE '%MARIO'", "CIN LIKE '%SI%AR%'", "CIN LIKE 'R_SSI MARIO'",
                          "CIN LIKE '%'", "CIN LIKE '___________'", "CIN NOT LIKE 'BIANCHI%'", "IMPGID LIKE '3%'"})
        EXPECT_TRUE(pass(f, r)) << f;
    for (const char* f : {"CIN LIKE 'ROSSI'", "CIN LIKE 'rossi%'", "CIN LIKE '__________'", "CIN LIKE '%X%'",
                          "CIN NOT LIKE '%MARIO'"})
        EXPECT_FALSE(pass(f, r)) << f;
    EXPECT_TRUE(pass("CIN LIKE '100%%'", row({{"CIN", "100%"}})));
    EXPECT_TRUE(pass("CIN LIKE '%a%a%a%a%a%a%b'", row({{"CIN", std::string(40, 'a') + "b"}})));
    EXPECT_FALSE(pass("CIN LIKE '%a%a%a%a%a%a%b'", row({{"CIN", std::string(400, 'a')}})));
}

TEST_F(FilterTest, InLists) {
    EXPECT_TRUE(pass("IMPGID IN (3, 5)", row({{"IMPGID", 5}})));
    EXPECT_FALSE(pass("IMPGID IN (3, 5)", row({{"IMPGID", 4}})));
    EXPECT_TRUE(pass("IMPGID not in (3, 5)", row({{"IMPGID", 4}})));
    EXPECT_TRUE(pass("CIN IN ('A', 'B')", row({{"CIN", "B"}})));
    EXPECT_FALSE(pass("CIN IN ('a', 'b')", row({{"CIN", "B"}})));
    EXPECT_TRUE(pass("IMPGID IN (IMPORTO, 2 + 2)", row({{"IMPGID", 4}})));
    EXPECT_TRUE(pass("DATA_VALUTA IN ('2024-01-01', '31/12/2023')", row({{"DATA_VALUTA", Date{encodeDate(2023, 12, 31)}}})));
}

TEST_F(FilterTest, TextFunctions) {
    const Row r = row({{"CIN", "  d'Annunzio  "}, {"ABI_ORDINANTE", "00123"}, {"Record", "caff\xE8"}});
    for (const char* f : {"Upper(CIN) = '  D''ANNUNZIO  '", "Lower(Trim(CIN)) = 'd''annunzio'",
                          "Trim(CIN) = 'd''Annunzio'", "TrimLeft(CIN) = 'd''Annunzio  '",
                          "TrimRight(CIN) = '  d''Annunzio'", "TrimLeft(ABI_ORDINANTE, '0') = '123'",
                          "Substring(ABI_ORDINANTE, 3) = '123'", "Substring(ABI_ORDINANTE, 2, 2) = '01'",
                          "Substring(ABI_ORDINANTE, 0, 2) = '00'", "Substring(ABI_ORDINANTE, 9) = ''",
                          "Substring(ABI_ORDINANTE, 4, 10) = '23'", "Substring(ABI_ORDINANTE, 1, -1) = ''",
                          "ABI_ORDINANTE + '-' + Trim(CIN) = '00123-d''Annunzio'",
                          "Substring(Upper(CIN), 3, 3) = 'D''A'", "Substring(ABI_ORDINANTE, '2', 1) = '0'"})
        EXPECT_TRUE(pass(f, r)) << f;
    // Windows-1252 letters change case too.
    EXPECT_TRUE(pass("Upper(Record) = 'CAFF\xC8'", r));
    EXPECT_TRUE(pass("Lower('\xC0\x8A') = '\xE0\x9A'", r));
    EXPECT_FALSE(pass("Substring(CIN, 1, 2) <> ''", row({})));
}

TEST_F(FilterTest, ArithmeticFollowsPrecedence) {
    const Row r = row({{"IMPORTO", std::int64_t{150'100}}, {"IMPGID", 3}, {"PREZZO", Currency{25'000}}});
    for (const char* f : {"IMPORTO / 100 > 1500", "IMPORTO / 100 = 1501", "IMPGID + 2 * 3 = 9", "(IMPGID + 2) * 3 = 15",
                          "IMPGID - 1 - 1 = 1", "12 / 2 / 3 = 2", "-IMPGID = -3", "- -IMPGID = 3", "+IMPGID = 3",
                          "IMPGID * -1 < 0", "PREZZO * 2 = 5", "PREZZO + 0.5 = 3", "IMPGID / 2 = 1.5",
                          "7 - IMPGID * 2 = 1", "9223372036854775807 + 1 > 9223372036854775807"})
        EXPECT_TRUE(pass(f, r)) << f;
    EXPECT_FALSE(pass("IMPGID + 2 * 3 = 15", r));
    const std::string msg = runError("IMPGID / (IMPGID - 3) > 1", r);
    EXPECT_NE(msg.find("divisione per zero"), std::string::npos) << msg;
}

TEST_F(FilterTest, TextFieldsComparedWithNumbersAreConverted) {
    EXPECT_TRUE(pass("CIN = 3", row({{"CIN", "3"}})));
    EXPECT_TRUE(pass("CIN = 3", row({{"CIN", " 3.00 "}})));
    EXPECT_TRUE(pass("CIN > 2.5", row({{"CIN", "2,75"}})));  // regional decimal separator
    EXPECT_TRUE(pass("CIN + 1 = 4", row({{"CIN", "3"}})));
    const std::string msg = runError("CIN = 3", row({{"CIN", "ABC"}}));
    EXPECT_EQ(msg, "Filtro \"CIN = 3\": il valore 'ABC' del campo CIN non \xE8 un numero");
    const std::string fromExpression = runError("Substring(CIN, 1, 2) < 10", row({{"CIN", "X1"}}));
    EXPECT_NE(fromExpression.find("'X1' di Substring(CIN, 1, 2)"), std::string::npos) << fromExpression;
    // The conversion error fails the filter rather than selecting nothing.
    EXPECT_THROW(pass("CIN = 3 or IMPGID IS NULL", row({{"CIN", ""}})), DataError);
}

TEST_F(FilterTest, EveryStoredKindEvaluates) {
    // Unsigned values above the signed range, BCD text with many digits, a
    // row shorter than the fields (its missing values are null).
    EXPECT_TRUE(pass("IMPORTO > 9223372036854775807", row({{"IMPORTO", std::uint64_t{18'000'000'000'000'000'000ULL}}})));
    EXPECT_TRUE(pass("QUOTA > 1000000000000000000000", row({{"QUOTA", Decimal{"123456789012345678901234.5"}}})));
    EXPECT_TRUE(pass("QUOTA = -0.00001", row({{"QUOTA", Decimal{"-0.00001"}}})));
    EXPECT_FALSE(pass("QUOTA = 0", row({{"QUOTA", Decimal{"-0.00001"}}})));
    const Row shortRow{Value(7)};
    EXPECT_TRUE(pass("IMPGID = 7 and CIN IS NULL and DATA_VALUTA = BLANK", shortRow));
    EXPECT_TRUE(pass("DOC IS NOT NULL", row({{"DOC", Bytes{1, 2}}})));
    EXPECT_TRUE(pass("ATTIVO = TRUE and not ATTIVO = false", row({{"ATTIVO", true}})));
    EXPECT_TRUE(pass("ATTIVO = 1", row({{"ATTIVO", true}})));
}

TEST_F(FilterTest, EvaluationErrorsNameTheFilter) {
    // Messages start with the filter text and name what could not be converted.
    const std::string date = runError("DATA_VALUTA = CIN", row({{"DATA_VALUTA", Date{1}}, {"CIN", "ieri"}}));
    EXPECT_EQ(date, "Filtro \"DATA_VALUTA = CIN\": il valore 'ieri' del campo CIN non \xE8 una data");
    const std::string flag = runError("ATTIVO = CIN", row({{"ATTIVO", true}, {"CIN", "forse"}}));
    EXPECT_NE(flag.find("'forse' del campo CIN non \xE8 un valore logico"), std::string::npos) << flag;
    const std::string literal = runError("'abc' IN (1, 2)", row({}));
    EXPECT_EQ(literal, "Filtro \"'abc' IN (1, 2)\": il testo 'abc' non \xE8 un numero");
    const std::string bcd = runError("QUOTA > 1", row({{"QUOTA", Decimal{"1.2.3"}}}));
    EXPECT_NE(bcd.find("'1.2.3' del campo QUOTA"), std::string::npos) << bcd;
    // The same filter keeps working on the next, convertible row.
    auto compiled = compileFilter("CIN > 10", fields());
    EXPECT_THROW(compiled->matches(row({{"CIN", "dieci"}})), DataError);
    EXPECT_TRUE(compiled->matches(row({{"CIN", "11"}})));
}

TEST_F(FilterTest, OneCompiledFilterServesManyRows) {
    // Computed texts (longer than any small-string buffer) compared against
    // several items, row after row.
    auto compiled = compileFilter("Upper(CIN) + '-' + Lower(CIN) IN ('ABCDEFGHIJKLMNOPQRSTUVWXYZ-abcdefghijklmnopqrstuvwxyz', "
                                  "'X-x') or Substring(Trim(CIN), 2, 30) = 'bcdefghijklmnopqrstuvwxyz0'",
                                  fields());
    const std::string letters = "abcdefghijklmnopqrstuvwxyz";
    int passed = 0;
    for (int i = 0; i < 300; ++i) {
        const std::string cin = i % 3 == 0 ? letters : i % 3 == 1 ? "x" : "  a" + letters.substr(1) + "0  ";
        passed += compiled->matches(row({{"CIN", cin}})) ? 1 : 0;
        passed -= compiled->matches(row({{"CIN", "y"}})) ? 1000 : 0;
    }
    EXPECT_EQ(passed, 300);
}

TEST_F(FilterTest, DatesAndTimes) {
    const DaySerial d = encodeDate(2024, 3, 15);
    const Row r = row({{"DATA_VALUTA", Date{d}},
                       {"MOMENTO", DateTime{static_cast<DateTimeMs>(d) * kMsPerDay + (14 * 3600 + 5 * 60 + 9) * 1000}},
                       {"ORA", Time{(8 * 60 + 30) * 60 * 1000}}});
    for (const char* f : {"DATA_VALUTA = '2024-03-15'", "DATA_VALUTA = '15/03/2024'", "DATA_VALUTA > '14/03/2024'",
                          "DATA_VALUTA < '2024-03-16'", "DATA_VALUTA + 1 = '16/03/2024'", "DATA_VALUTA - 15 = '2024-02-29'",
                          "1 + DATA_VALUTA > DATA_VALUTA", "Year(DATA_VALUTA) = 2024", "Month(DATA_VALUTA) = 3",
                          "Day(DATA_VALUTA) = 15", "Hour(MOMENTO) = 14", "Minute(MOMENTO) = 5", "Second(MOMENTO) = 9",
                          "Hour(ORA) = 8", "Minute(ORA) = 30", "ORA = '08:30'", "ORA < '08:30:01'",
                          "Date(MOMENTO) = DATA_VALUTA", "MOMENTO > DATA_VALUTA", "Time(MOMENTO) = '14:05:09'",
                          "MOMENTO = '2024-03-15 14:05:09'", "DATA_VALUTA - '2024-03-10' = 5",
                          "MOMENTO - DATA_VALUTA < 1", "Year('31/12/1999') = 1999", "GetDate > DATA_VALUTA",
                          "Date(GetDate()) <= GetDate", "Year(GetDate) >= 2024"})
        EXPECT_TRUE(pass(f, r)) << f;
    EXPECT_FALSE(pass("DATA_VALUTA = '2024-03-16'", r));
    EXPECT_FALSE(pass("Date(MOMENTO) <> DATA_VALUTA", r));
    const DaySerial now = today();
    EXPECT_TRUE(pass("Date(GetDate) = DATA_VALUTA", row({{"DATA_VALUTA", Date{now}}})) ||
                today() != now);  // midnight may pass in between
    // A literal that is no date is refused when the filter is read.
    expectBadFilter("DATA_VALUTA = '31/02/2024'", 15, "data non valida '31/02/2024'");
    expectBadFilter("ORA > '25:00'", 7, "ora non valida '25:00'");
}

TEST_F(FilterTest, MalformedFiltersNameTextAndPosition) {
    expectBadFilter("IMPGID = ", 10, "valore atteso");
    expectBadFilter("", 1, "valore atteso");
    expectBadFilter("(IMPGID = 3", 12, "')' attesa");
    expectBadFilter("IMPGID = 3)", 11, "')' senza '(' corrispondente");
    expectBadFilter("Upper(CIN = 'A'", 11, "')' attesa");
    expectBadFilter("CIN = 'ABC", 7, "testo non terminato");
    expectBadFilter("CIN = 'it''s", 7, "testo non terminato");
    expectBadFilter("[Data Valuta IS NULL", 1, "nome di campo senza ']'");
    expectBadFilter("NOPE = 1", 1, "campo sconosciuto 'NOPE'");
    expectBadFilter("IMPGID = 1 and [Nope] = 2", 16, "campo sconosciuto 'Nope'");
    expectBadFilter("Capitalize(CIN) = 'A'", 1, "funzione sconosciuta 'Capitalize'");
    expectBadFilter("IMPGID = 3 4", 12, "AND, OR o fine del filtro attesi");
    expectBadFilter("IMPGID = 3 and", 15, "valore atteso");
    expectBadFilter("and IMPGID = 3", 1, "valore atteso");
    expectBadFilter("IMPGID", 7, "operatore di confronto atteso");
    expectBadFilter("IMPGID and CIN = 'A'", 8, "operatore di confronto atteso");
    expectBadFilter("IMPGID IS 3", 11, "NULL atteso");
    expectBadFilter("IMPGID = 3 # 4", 12, "carattere non valido");
    expectBadFilter("IMPGID = 3x", 10, "numero non valido");
    expectBadFilter("IMPGID = 'tre'", 10, "numero non valido 'tre'");
    expectBadFilter("IMPGID IN ()", 12, "valore atteso");
    expectBadFilter("IMPGID IN (1, 2", 16, "',' o ')' attesa");
    expectBadFilter("Substring(CIN) = 'A'", 1, "numero di argomenti errato per Substring");
    expectBadFilter("Upper(IMPGID) = 'A'", 7, "argomento non valido per Upper");
    expectBadFilter("DOC = 'A'", 5, "valori non confrontabili");
    expectBadFilter("DATA_VALUTA + DATA_VALUTA > 1", 13, "operandi non validi per '+'");
    expectBadFilter("IMPGID < BLANK", 10, "BLANK ammesso solo con = o <>");
    expectBadFilter("IMPGID = []", 10, "nome di campo vuoto");
}

TEST_F(FilterTest, DeepNestingIsRefusedNotFatal) {
    const std::string open(100'000, '(');
    const std::string msg = compileError(open + "IMPGID = 1" + std::string(100'000, ')'));
    EXPECT_NE(msg.find("filtro troppo annidato"), std::string::npos) << msg.substr(0, 200);
    EXPECT_NE(compileError("IMPGID = " + std::string(50'000, '-') + "1").find("filtro troppo annidato"), std::string::npos);
    std::string nots;
    for (int i = 0; i < 20'000; ++i) nots += "not ";
    EXPECT_NE(compileError(nots + "IMPGID = 1").find("filtro troppo annidato"), std::string::npos);
    std::string sum = "IMPGID";
    for (int i = 0; i < 5'000; ++i) sum += " + 1";
    EXPECT_NE(compileError(sum + " > 0").find("filtro troppo annidato"), std::string::npos);
    // Moderate nesting is fine.
    EXPECT_TRUE(pass(std::string(50, '(') + "IMPGID = 1" + std::string(50, ')'), row({{"IMPGID", 1}})));
}

}  // namespace
}  // namespace doz

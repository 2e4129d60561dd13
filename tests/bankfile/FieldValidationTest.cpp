// The checks of a finished field: digits, mandatory fields, the address rule
// and the rule sets of each layout code, the one warning and its memory.
#include "bankfile/FieldValidation.h"

#include "BankTestSupport.h"
#include "platform/Error.h"

namespace doz::testing {
namespace {

const char* const kCoordinates = "Abi/Cab/CC destinatario sono obbligatori per operazioni su CC.";
const char* const kAddress = "Indirizzo del destinatario obbligatorio per operazioni non su CC.";
const char* const kPostalCode = "Cap del destinatario deve essere numerico.";
const char* const kQuestion =
    "Num. C/C per \"CR Venezia\" deve essere di 12 cifre ed iniziare con \"1000\" o \"0740\"\r\nContinuare ?";

class FieldValidationTest : public BankTest {
protected:
    // Validates `text` as a field of the given type and check code under the
    // current layout code; the message of the refusal, or "" when it passes.
    std::string check(const std::string& text, const std::string& colType, const std::string& required,
                      const std::string& fieldName = "CAMPO") {
        setLayout({{"10", "1-1", fieldName, colType, "", required, ""}});
        form.cdsTraccCorrente.first();
        try {
            ValidateField(form, text);
        } catch (const EPztBanca& e) {
            return e.what();
        }
        return "";
    }

    // The conditional rule of `required` under `layout` for one disposition.
    std::string rule(const std::string& layout, const std::string& required, const Disposition& d) {
        setCatalogue(layout);
        setDisposition(d);
        return check("x", "AN", required);
    }

    // A complete account payment to a bank account.
    static Disposition accountPayment() {
        return {{"IMPGID", 3},           {"ABI_DESTINATARIO", "03069"}, {"CAB_DESTINATARIO", "01600"},
                {"CC_DESTINATARIO", "123"}, {"IND_DESTINATARIO", "Via Roma 1"}, {"CAP_DESTINATARIO", "00100"},
                {"COM_DESTINATARIO", "Roma"}};
    }
    static Disposition with(Disposition d, const std::string& name, Value v) {
        d[name] = std::move(v);
        return d;
    }
};

TEST_F(FieldValidationTest, NumericFieldsAcceptDigitsBetweenBlanksOnly) {
    EXPECT_EQ(check(" 123 ", "N", "F"), "");
    EXPECT_EQ(check("     ", "N", "O", "IMPORTO"), "Campo obbligatorio: IMPORTO");
    EXPECT_EQ(check("1 23", "N", "F", "IMPORTO"), "Campo numerico: IMPORTO");
    EXPECT_EQ(check("-123", "NUM", "", "IMPORTO"), "Campo numerico: IMPORTO");
    EXPECT_EQ(check("1.234", "D8", "", "DATA"), "Campo numerico: DATA");
    // The regional decimal separator (a comma here) only in amounts, any number of times.
    EXPECT_EQ(check("0012,50", "E", "F"), "");
    EXPECT_EQ(check("1,2,3", "E", "F"), "");
    EXPECT_EQ(check("0012,50", "N", "F"), "Campo numerico: CAMPO");
    EXPECT_EQ(check("0012.50", "E", "F"), "Campo numerico: CAMPO");
    regional().decimalSeparator = '.';
    EXPECT_EQ(check("0012.50", "E", "F"), "");
    regional().decimalSeparator = ',';
    // Types that do not begin with D, E or N are not looked at.
    EXPECT_EQ(check("a-b", "/D", ""), "");
    EXPECT_EQ(check("a-b", "", ""), "");
    EXPECT_EQ(check("a-b", "n", ""), "");
    EXPECT_TRUE(IsNumericType("D"));
    EXPECT_TRUE(IsNumericType("EUR"));
    EXPECT_FALSE(IsNumericType("/D"));
    EXPECT_FALSE(IsNumericType(""));
    EXPECT_FALSE(IsNumericType("F"));
}

TEST_F(FieldValidationTest, RequiredCodes) {
    EXPECT_EQ(check(" \t ", "AN", "O", "NOMINATIVO"), "Campo obbligatorio: NOMINATIVO");
    EXPECT_EQ(check("00000", "N", "O"), "");
    EXPECT_EQ(check("     ", "AN", "F"), "");
    EXPECT_EQ(check("     ", "AN", "o"), "");
    EXPECT_EQ(check("     ", "AN", " O"), "");
    // A filler is never checked against its code, whatever it says.
    EXPECT_EQ(check("     ", "F", "O"), "");
    setDisposition({});
    EXPECT_EQ(check("     ", "F", "C2"), "");
}

TEST_F(FieldValidationTest, PayeeAddressUnderEveryLayout) {
    Disposition cash = with(accountPayment(), "IMPGID", 1);
    EXPECT_EQ(rule("ALTRO", "C2", cash), "");
    EXPECT_EQ(rule("CBI_SEP", "C2", cash), "");
    EXPECT_EQ(rule("ALTRO", "C2", with(cash, "IND_DESTINATARIO", " ")), kAddress);
    EXPECT_EQ(rule("ALTRO", "C2", with(cash, "COM_DESTINATARIO", Value())), kAddress);
    // A blank postal code fails the address test first.
    EXPECT_EQ(rule("ALTRO", "C2", with(cash, "CAP_DESTINATARIO", "")), kAddress);
    // Account payments need no address, but a postal code given must read as a number.
    Disposition account = with(with(accountPayment(), "IND_DESTINATARIO", ""), "CAP_DESTINATARIO", "");
    EXPECT_EQ(rule("ALTRO", "C2", account), "");
    for (const char* bad : {"00000", "0010A", "00100 ", "abc"})
        EXPECT_EQ(rule("ALTRO", "C2", with(account, "CAP_DESTINATARIO", bad)), kPostalCode) << bad;
    EXPECT_EQ(rule("ALTRO", "C2", with(account, "CAP_DESTINATARIO", "00010")), "");
    EXPECT_EQ(rule("ALTRO", "C2", with(account, "CAP_DESTINATARIO", " 30100")), "");
}

TEST_F(FieldValidationTest, AccountCoordinatesOfCbi502AndSetif) {
    for (const char* code : {"CBI_5_02", "SETIF"}) {
        EXPECT_EQ(rule(code, "C1", accountPayment()), "") << code;
        EXPECT_EQ(rule(code, "C1", with(accountPayment(), "ABI_DESTINATARIO", "00000")), kCoordinates) << code;
        EXPECT_EQ(rule(code, "C1", with(accountPayment(), "CAB_DESTINATARIO", "")), kCoordinates) << code;
        // A code with a letter in it is no missing code.
        EXPECT_EQ(rule(code, "C1", with(accountPayment(), "CAB_DESTINATARIO", "0160A")),
                  "Il CAB del destinatario deve contenere solo cifre: '0160A'.")
            << code;
        EXPECT_EQ(rule(code, "C1", with(accountPayment(), "ABI_DESTINATARIO", " O3069")),
                  "L'ABI del destinatario deve contenere solo cifre: 'O3069'.")
            << code;
        EXPECT_EQ(rule(code, "C1", with(with(accountPayment(), "IMPGID", 5), "CC_DESTINATARIO", "  ")), kCoordinates)
            << code;
        EXPECT_EQ(rule(code, "C1", {{"IMPGID", 1}}), "") << code;
        EXPECT_EQ(rule(code, "C3", with(accountPayment(), "ABI_DESTINATARIO", "")), "") << code;
    }
    // Codes are compared exactly; a layout without a rule set checks nothing on C1.
    EXPECT_EQ(rule("cbi_5_02", "C1", with(accountPayment(), "ABI_DESTINATARIO", "")), "");
    EXPECT_EQ(rule("ALTRO", "C1", with(accountPayment(), "ABI_DESTINATARIO", "")), "");
    EXPECT_EQ(rule("CBI_5_02", "c1", with(accountPayment(), "ABI_DESTINATARIO", "")), "");
}

TEST_F(FieldValidationTest, PaymentModesOfCbiSep) {
    const Disposition full = {{"MODALITA_PAGAMENTO", 1}, {"ABI_DESTINATARIO", "03069"},
                              {"CAB_DESTINATARIO", "01600"}, {"CC_DESTINATARIO", "123"}};
    EXPECT_EQ(rule("CBI_SEP", "C1", full), "");
    EXPECT_EQ(rule("CBI_SEP", "C1", with(full, "ABI_DESTINATARIO", "0")), kCoordinates);
    EXPECT_EQ(rule("CBI_SEP", "C1", with(full, "CC_DESTINATARIO", "")), kCoordinates);
    // Giroconto: no payee bank; spaces count as a bank given.
    const Disposition giro = with(with(full, "MODALITA_PAGAMENTO", 0), "ABI_DESTINATARIO", "");
    EXPECT_EQ(rule("CBI_SEP", "C1", giro), "");
    EXPECT_EQ(rule("CBI_SEP", "C1", with(giro, "CAB_DESTINATARIO", "x")),
              "Il CAB del destinatario deve contenere solo cifre: 'x'.");
    EXPECT_EQ(rule("CBI_SEP", "C1", with(giro, "CAB_DESTINATARIO", "")), kCoordinates);
    EXPECT_EQ(rule("CBI_SEP", "C1", with(giro, "ABI_DESTINATARIO", "     ")),
              "Errore non previsto. Modalit\xE0 pagamento giroconto e ABI destinario specificato");
    // A missing mode reads as giroconto; other modes are not checked.
    EXPECT_EQ(rule("CBI_SEP", "C1", with(full, "MODALITA_PAGAMENTO", Value())),
              "Errore non previsto. Modalit\xE0 pagamento giroconto e ABI destinario specificato");
    EXPECT_EQ(rule("CBI_SEP", "C1", {{"MODALITA_PAGAMENTO", 2}}), "");
    EXPECT_EQ(rule("CBI_SEP", "C1", {{"MODALITA_PAGAMENTO", -1}}), "");
    // The internal-account warning follows a giroconto of the ordering bank 06345.
    answer = false;
    EXPECT_THROW(rule("CBI_SEP", "C1", with(giro, "ABI_ORDINANTE", "06345")), SilentAbort);
    ASSERT_EQ(window.questions().size(), 1u);
    EXPECT_EQ(window.questions()[0].text, kQuestion);
}

TEST_F(FieldValidationTest, WorkingDayGapOfCbiSep) {
    const Value friday = date(2024, 3, 1);
    const std::string tooSoon = "Data di esecuzione deve essere almeno 2 gg lavorativi dopo la data di creazione";
    EXPECT_EQ(rule("CBI_SEP", "C4", {{"DATA_CREAZIONE", friday}, {"DATA_DISPOSIZIONE", date(2024, 3, 4)}}), tooSoon);
    EXPECT_EQ(rule("CBI_SEP", "C4", {{"DATA_CREAZIONE", friday}, {"DATA_DISPOSIZIONE", date(2024, 3, 5)}}), "");
    EXPECT_EQ(rule("CBI_SEP", "C4", {{"DATA_CREAZIONE", friday}, {"DATA_DISPOSIZIONE", friday}}), tooSoon);
    EXPECT_EQ(rule("CBI_SEP", "C4", {{"DATA_CREAZIONE", friday}, {"DATA_DISPOSIZIONE", date(2024, 2, 20)}}), tooSoon);
    EXPECT_EQ(rule("CBI_SEP", "C4", {{"DATA_CREAZIONE", friday}}), tooSoon);
    EXPECT_EQ(rule("CBI_5_02", "C4", {{"DATA_CREAZIONE", friday}}), "");

    // The week arithmetic against a day-by-day count, every start weekday, gaps up to three weeks.
    const DaySerial base = encodeDate(2024, 1, 1);
    for (DaySerial start = base; start < base + 7; ++start)
        for (int gap = -2; gap <= 21; ++gap) {
            int expected = 0;
            for (DaySerial d = start + 1; d <= start + gap; ++d) expected += dayOfTheWeek(d) <= 5;
            EXPECT_EQ(WorkingDaysBetween(start, start + gap), expected) << start << " +" << gap;
        }
}

TEST_F(FieldValidationTest, CashPaymentDatesOfCbiSep2) {
    const Value first = date(2024, 3, 1);
    const std::string outOfRange =
        "Data scadenza bonifici in circolarit\xE0 (per cassa) deve essere compresa tra 15 e 360 gg dopo la data di "
        "esecuzione";
    auto cash = [&](Value expiry) {
        return Disposition{{"IMPGID", 1}, {"DATA_DISPOSIZIONE", first}, {"DATA_SCADENZA", std::move(expiry)}};
    };
    const DaySerial exec = encodeDate(2024, 3, 1);
    EXPECT_EQ(rule("CBI_SEP2", "C3", cash(date(2024, 3, 16))), "");
    EXPECT_EQ(rule("CBI_SEP2", "C3", cash(date(2024, 3, 15))), outOfRange);
    EXPECT_EQ(rule("CBI_SEP2", "C3", cash(Value(Date{exec + 360}))), "");
    EXPECT_EQ(rule("CBI_SEP2", "C3", cash(Value(Date{exec + 361}))), outOfRange);
    EXPECT_EQ(rule("CBI_SEP2", "C3", cash(Value())), outOfRange);
    EXPECT_EQ(rule("CBI_SEP2", "C3", {{"IMPGID", 1}, {"DATA_SCADENZA", date(2024, 3, 16)}}),
              "Data esecuzione obbligatoria per i pagamenti per cassa");
    EXPECT_EQ(rule("CBI_SEP2", "C3", {{"IMPGID", 3}}), "");
    EXPECT_EQ(rule("CBI_SEP", "C3", {{"IMPGID", 1}}), "");
}

TEST_F(FieldValidationTest, InternalAccountWarningOfCbiSep2) {
    const Disposition cash = {{"IMPGID", 1}, {"ABI_ORDINANTE", "06345"}, {"CC_DESTINATARIO", "12345"}};
    // An account payment without a payee bank is an error, and no question is asked.
    EXPECT_EQ(rule("CBI_SEP2", "C1", with(with(cash, "IMPGID", 3), "CAB_DESTINATARIO", "01600")), kCoordinates);
    EXPECT_TRUE(window.questions().empty());

    for (const char* good : {"100012345678", "074000000000"})
        EXPECT_EQ(rule("CBI_SEP2", "C1", with(cash, "CC_DESTINATARIO", good)), "") << good;
    // Other ordering banks, or a payee bank given, are not asked about.
    EXPECT_EQ(rule("CBI_SEP2", "C1", with(cash, "ABI_ORDINANTE", "6345")), "");
    EXPECT_EQ(rule("CBI_SEP2", "C1", with(cash, "ABI_DESTINATARIO", " ")), "");
    EXPECT_TRUE(window.questions().empty());

    // Yes is remembered for the rest of the command.
    answer = true;
    for (const char* bad : {"12345", "1000123", "200012345678", "1000 2345678 "})
        EXPECT_EQ(rule("CBI_SEP2", "C1", with(cash, "CC_DESTINATARIO", bad)), "") << bad;
    ASSERT_EQ(window.questions().size(), 1u);
    EXPECT_EQ(window.questions()[0].text, kQuestion);
    EXPECT_TRUE(form.confirmedWarnings.test(1));
    EXPECT_EQ(form.confirmedWarnings.count(), 1u);

    // The next command starts without it; No stops silently.
    form.confirmedWarnings.reset();
    answer = false;
    EXPECT_THROW(rule("CBI_SEP2", "C1", cash), SilentAbort);
    EXPECT_THROW(rule("CBI_SEP2", "C1", cash), SilentAbort);
    EXPECT_EQ(window.questions().size(), 3u);
    EXPECT_FALSE(form.confirmedWarnings.test(1));
}

TEST_F(FieldValidationTest, WarningsAboveSevenAreAskedEveryTime) {
    answer = true;
    ConfirmWarning(form, 9, "Avviso");
    ConfirmWarning(form, 9, "Avviso");
    ConfirmWarning(form, 7, "Sette");
    ConfirmWarning(form, 7, "Sette");
    ASSERT_EQ(window.questions().size(), 3u);
    EXPECT_EQ(window.questions()[0].text, "Avviso\r\nContinuare ?");
    EXPECT_EQ(window.questions()[2].text, "Sette\r\nContinuare ?");
    EXPECT_EQ(form.confirmedWarnings.to_ulong(), 1ul << 7);
}

TEST_F(FieldValidationTest, ValueDateOfCbiMarcaAndPayeeAccountOfDeltaSiope) {
    const char* noValueDate = "Data valuta obbligatoria per i pagamenti su conto corrente.";
    EXPECT_EQ(rule("CBI_MARCA", "C1", {{"IMPGID", 3}}), noValueDate);
    EXPECT_EQ(rule("CBI_MARCA", "C1", {{"IMPGID", 5}, {"DATA_VALUTA", Value(Date{0})}}), noValueDate);
    EXPECT_EQ(rule("CBI_MARCA", "C1", {{"IMPGID", 5}, {"DATA_VALUTA", date(2024, 3, 1)}}), "");
    EXPECT_EQ(rule("CBI_MARCA", "C1", {{"IMPGID", 1}}), "");

    EXPECT_EQ(rule("DELTA_SIOPE", "C1", accountPayment()), "");
    EXPECT_EQ(rule("DELTA_SIOPE", "C1", with(accountPayment(), "CAB_DESTINATARIO", "00000")), kCoordinates);
    EXPECT_EQ(rule("DELTA_SIOPE", "C1", {{"IMPGID", 5}, {"CCP_DESTINATARIO", " "}}),
              "CC destinatario obbligatori per operazioni su CC postale.");
    EXPECT_EQ(rule("DELTA_SIOPE", "C1", {{"IMPGID", 5}, {"CCP_DESTINATARIO", "1234"}}), "");
    EXPECT_EQ(rule("DELTA_SIOPE", "C1", {{"IMPGID", 1}}), "");
}

TEST_F(FieldValidationTest, DispositionNumberReadsWholeNumbersOrZero) {
    auto number = [&](const char* text) {
        setDisposition({{"ABI_DESTINATARIO", text}});
        return DispositionNumber(form, "ABI_DESTINATARIO");
    };
    EXPECT_EQ(number(" 12"), 12);
    EXPECT_EQ(number("+5"), 5);
    EXPECT_EQ(number("-7"), -7);
    EXPECT_EQ(number("00100"), 100);
    EXPECT_EQ(number("2147483647"), 2147483647);
    EXPECT_EQ(number("-2147483648"), -2147483647 - 1);
    for (const char* zero : {"12a", "", "12 ", "1 2", "+", "-", " ", "2147483648", "-2147483649",
                             "99999999999999999999999"})
        EXPECT_EQ(number(zero), 0) << '"' << zero << '"';
    setDisposition({});
    EXPECT_EQ(DispositionNumber(form, "ABI_DESTINATARIO"), 0);
    EXPECT_THROW(DispositionNumber(form, "NO_SUCH_FIELD"), DataError);
}

}  // namespace
}  // namespace doz::testing

// The IBAN and CIN arithmetic and the checks an IBAN passes before it is sent.
#include <gtest/gtest.h>

#include "payments/Iban.h"

namespace doz {
namespace {

TEST(Iban, ItalianCinAndCheckDigits) {
    // The Italian example of the IBAN registry: IT60 X054 2811 1010 0000 0123 456.
    EXPECT_EQ(ItalianCin("05428", "11101", "000000123456"), 'X');
    EXPECT_EQ(ItalianCin(" 05428", "11101 ", "123456"), 'X') << "blanks ignored, account zero-filled";
    EXPECT_EQ(ItalianCin("05176", "21601", "cc0018273645"), 'P') << "letters weigh by the table, any case";
    EXPECT_NE(ItalianCin("05428", "11101", "000000123465"), 'X') << "two swapped digits change the letter";
    EXPECT_FALSE(ItalianCin("5428", "11101", "1").has_value());
    EXPECT_FALSE(ItalianCin("05428", "11101", "0000001234567").has_value());
    EXPECT_FALSE(ItalianCin("05428", "11101", "12-34").has_value());

    EXPECT_TRUE(IbanIsValid("IT60X0542811101000000123456"));
    EXPECT_TRUE(IbanIsValid("GB82 WEST 1234 5698 7654 32"));
    EXPECT_FALSE(IbanIsValid("IT61X0542811101000000123456"));
    EXPECT_FALSE(IbanIsValid("IT60X0542811101000000123465"));
    EXPECT_EQ(IbanCheckDigits("IT", "X0542811101000000123456"), "60");
    EXPECT_FALSE(IbanCheckDigits("I1", "X0542811101000000123456").has_value());
    EXPECT_FALSE(IbanCheckDigits("IT", "X05428-11101").has_value());
    EXPECT_EQ(IbanCheckDigits("it", "x0542811101000000123456"), "60") << "small letters weigh as capitals";
    EXPECT_FALSE(IbanIsValid("IT6 0")) << "too short once the blanks are gone";
}

TEST(Iban, ItalianIbanFromCoordinates) {
    EXPECT_EQ(BuildItalianIban("IT", "", "05428", "11101", "123456"), "IT60X0542811101000000123456");
    EXPECT_EQ(BuildItalianIban("it", "x", " 05428", "11101 ", "000000123456"), "IT60X0542811101000000123456");
    // A CIN given is kept even when wrong: the checks report it.
    EXPECT_EQ(IbanFault(BuildItalianIban("IT", "A", "05428", "11101", "123456")).has_value(), true);
    EXPECT_EQ(BuildItalianIban("IT", "", "5428", "11101", "123456"), "");
    EXPECT_EQ(BuildItalianIban("IT", "", "05428", "1110A", "123456"), "");
    EXPECT_EQ(BuildItalianIban("IT", "", "05428", "11101", "1234567890123"), "");
    EXPECT_EQ(BuildItalianIban("IT", "", "05428", "11101", "12-34"), "");
    EXPECT_EQ(BuildItalianIban("IT", "", "05428", "11101", ""), "");
}

TEST(Iban, FaultsOfFormCheckDigitsAndCin) {
    EXPECT_FALSE(IbanFault("IT60X0542811101000000123456"));
    EXPECT_FALSE(IbanFault("DE89370400440532013000"));
    EXPECT_FALSE(IbanFault("GB82WEST12345698765432"));

    const auto fault = [](const char* iban) { return IbanFault(iban).value_or("(nessuno)"); };
    EXPECT_EQ(fault(""), "IBAN mancante");
    EXPECT_NE(fault("IT60 X054 2811 1010 0000 0123 456").find("caratteri non ammessi"), std::string::npos);
    EXPECT_NE(fault("it60X0542811101000000123456").find("caratteri non ammessi"), std::string::npos);
    EXPECT_NE(fault("ZZ60X0542811101000000123456").find("paese \"ZZ\" sconosciuto"), std::string::npos);
    EXPECT_NE(fault("IT60X054281110100000012345").find("di 26 caratteri invece di 27"), std::string::npos);
    EXPECT_NE(fault("IT61X0542811101000000123456").find("cifre di controllo"), std::string::npos);
    EXPECT_NE(fault("DE88370400440532013000").find("cifre di controllo"), std::string::npos);
    // Check digits made over a wrong CIN: only the CIN tells.
    const std::string wrongCin = BuildItalianIban("IT", "A", "05428", "11101", "123456");
    EXPECT_NE(fault(wrongCin.c_str()).find("il CIN A non corrisponde ad ABI, CAB e conto (atteso X)"), std::string::npos);

    EXPECT_EQ(IbanAbi("IT60X0542811101000000123456"), "05428");
    EXPECT_EQ(IbanAbi("DE89370400440532013000"), "");
}

}  // namespace
}  // namespace doz

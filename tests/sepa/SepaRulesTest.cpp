// SEPA characters, IBANs and the settlement calendar.
#include <gtest/gtest.h>

#include "sepa/Calendar.h"
#include "sepa/SepaText.h"

using namespace doz::sepa;

TEST(SepaText, LettersTakeTheirLatinFormAndOtherSignsAFullStop) {
    // Windows-1252: à È ß ø Œ; & _ " and the euro sign are outside the set.
    EXPECT_EQ(ToSepaText("Citt\xE0 \xC8 Stra\xDF" "e N\xF8rg\xE5rd \x8Cuvre"), "Citta E Strasse Norgard OEuvre");
    EXPECT_EQ(ToSepaText("Rossi & Figli_srl \"Q\""), "Rossi . Figli.srl .Q.");
    EXPECT_EQ(ToSepaText("D'Amico (acc.) 1/2-3 ?:+,"), "D'Amico (acc.) 1/2-3 ?:+,");
    EXPECT_EQ(ToSepaText("riga\tdue"), "riga due");
}

TEST(SepaText, BlanksAroundGoAndTheTextIsCutToItsLength) {
    EXPECT_EQ(ToSepaText("   Rossi Mario     "), "Rossi Mario");
    EXPECT_EQ(ToSepaText("Stra\xDF" "e", 5), "Stras");
    // A cut that ends on a blank leaves no blank at the end.
    EXPECT_EQ(ToSepaText("Via Roma 1", 4), "Via");
    EXPECT_EQ(ToSepaText("      "), "");
}

TEST(Calendar, SettlementDaysAroundEasterAndTheFixedHolidays) {
    EXPECT_EQ(EasterSunday(2024).month * 100 + EasterSunday(2024).day, 331);
    EXPECT_EQ(EasterSunday(2026).month * 100 + EasterSunday(2026).day, 405);
    EXPECT_EQ(EasterSunday(2038).month * 100 + EasterSunday(2038).day, 425);

    EXPECT_TRUE(IsSettlementDay({2026, 4, 2}));    // Thursday before Easter
    EXPECT_FALSE(IsSettlementDay({2026, 4, 3}));   // Good Friday
    EXPECT_FALSE(IsSettlementDay({2026, 4, 6}));   // Easter Monday
    EXPECT_TRUE(IsSettlementDay({2026, 4, 7}));
    EXPECT_FALSE(IsSettlementDay({2027, 1, 1}));   // a Friday
    EXPECT_FALSE(IsSettlementDay({2026, 5, 1}));   // a Friday
    EXPECT_FALSE(IsSettlementDay({2026, 12, 25}));
    EXPECT_FALSE(IsSettlementDay({2025, 12, 26}));
    EXPECT_FALSE(IsSettlementDay({2026, 12, 12}));  // Saturday
    EXPECT_FALSE(IsSettlementDay({2026, 12, 13}));  // Sunday
    EXPECT_TRUE(IsSettlementDay({2026, 12, 28}));
    EXPECT_TRUE(IsSettlementDay({2026, 6, 2}));     // national holidays do not close the system
    EXPECT_FALSE(IsSettlementDay({2026, 2, 30}));
}

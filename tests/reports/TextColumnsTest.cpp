#include "reports/TextColumns.h"

#include <gtest/gtest.h>

#include "platform/Regional.h"

namespace doz {
namespace {

TEST(PadText, LeftAlignmentFillsAndCutsToTheExactWidth) {
    EXPECT_EQ(PadText("ABC", 6, false), "ABC   ");
    EXPECT_EQ(PadText("ABCDEFGH", 5, false), "ABCDE");
    EXPECT_EQ(PadText("", 3, false), "   ");
    EXPECT_EQ(PadText("ABC", 0, false), "");
}

TEST(PadText, RightAlignmentFillsInFrontAndNeverCuts) {
    EXPECT_EQ(PadText("12", 5, true), "   12");
    EXPECT_EQ(PadText("12345", 5, true), "12345");
    EXPECT_EQ(PadText("1234567", 5, true), "1234567");
    EXPECT_EQ(PadText("", 2, true), "  ");
}

TEST(PadText, LabelColumnIsThirtyFiveWide) {
    EXPECT_EQ(PadLabel("X:"), "X:" + std::string(33, ' '));
    // The period label has 36 characters: its trailing blank falls away.
    EXPECT_EQ(PadLabel("PERIODO DI RIFERIMENTO MESE E ANNO: "), "PERIODO DI RIFERIMENTO MESE E ANNO:");
}

class FormatAmountTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = regional();
        regional() = Regional::italian();
    }
    void TearDown() override { regional() = saved_; }

private:
    Regional saved_;
};

TEST_F(FormatAmountTest, GroupsThousandsWithTwoDecimalsRightAlignedInFifteen) {
    EXPECT_EQ(FormatAmount(12'345'675'000), "   1.234.567,50");
    EXPECT_EQ(FormatAmount(0), "            ,00");
    EXPECT_EQ(FormatAmount(5'000), "            ,50");
    EXPECT_EQ(FormatAmount(10'000'000), "       1.000,00");
    EXPECT_EQ(FormatAmount(-12'345'000), "      -1.234,50");
    // Two decimals, rounded half away from zero.
    EXPECT_EQ(FormatAmount(12'345), "           1,23");
    EXPECT_EQ(FormatAmount(12'350), "           1,24");
}

}  // namespace
}  // namespace doz

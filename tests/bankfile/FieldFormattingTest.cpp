// Fixed-width fields: widths, padding sides, cuts, fillers, dates, amounts,
// totals and the field-start check.
#include "bankfile/FieldFormatting.h"

#include "BankTestSupport.h"
#include "bankfile/EPztBanca.h"
#include "platform/Error.h"

namespace doz::testing {
namespace {

class FieldFormattingTest : public BankTest {
protected:
    // Formats one layout row for the current disposition, the line holding `before`.
    std::string format(const LayoutRow& row, const std::string& before = "") {
        setLayout({row});
        form.cdsTraccCorrente.first();
        form.currentLine = before;
        return FormatField(form);
    }

    std::string formatMessage(const LayoutRow& row) {
        try {
            format(row);
        } catch (const EPztBanca& e) {
            return e.what();
        }
        return "(passed)";
    }
};

TEST_F(FieldFormattingTest, TextIsPaddedOnTheSideOfItsTypeAndCutOnTheRight) {
    setDisposition({{"NOMINATIVO", "123"}, {"IMPORTO", 123}});
    EXPECT_EQ(format({"10", "1-5", "IMPORTO", "N", "", "F", "0"}), "00123");
    EXPECT_EQ(format({"10", "1-5", "NOMINATIVO", "A", "", "F", ""}), "123  ");
    // An empty filling pads with blanks, on the left for numeric types too.
    EXPECT_EQ(format({"10", "1-5", "IMPORTO", "N", "", "F", ""}), "  123");
    EXPECT_EQ(form.currentFieldLength, 5);

    setDisposition({{"NOMINATIVO", "ROSSI"}});
    EXPECT_EQ(format({"10", "1-3", "NOMINATIVO", "AN", "", "F", ""}), "ROS");
    EXPECT_EQ(format({"10", "1-3", "NOMINATIVO", "AN", "R", "F", ""}), "SSI");
    // "R" on a shorter value cuts nothing; the value is padded on its type's side.
    EXPECT_EQ(format({"10", "1-7", "NOMINATIVO", "AN", "R", "F", "*"}), "ROSSI**");
    setDisposition({{"NOMINATIVO", "123"}});
    EXPECT_EQ(format({"10", "1-7", "NOMINATIVO", "NX", "R", "F", "0"}), "0000123");
    EXPECT_EQ(format({"10", "1-2", "NOMINATIVO", "NX", "R", "F", "0"}), "23");
}

TEST_F(FieldFormattingTest, FillersRepeatTheirFillingWithoutLookingAtTheName) {
    EXPECT_EQ(format({"10", "1-4", "NO_SUCH_FIELD", "F", "", "O", "0"}), "0000");
    EXPECT_EQ(format({"10", "1-3", "", "F", "R", "", ""}), "   ");

    // A two-character filling: the filler repeats both and may overrun the field,
    // while a padded value uses the first character only.
    EXPECT_EQ(format({"10", "1-5", "X", "F", "", "", "ab"}), "ababab");
    setDisposition({{"NOMINATIVO", "x"}});
    EXPECT_EQ(format({"10", "1-4", "NOMINATIVO", "AN", "", "", "ab"}), "xaaa");

    setLayout({{"10", "1-5", "X", "F", "", "", "ab"}, {"10", "6-7", "X", "F", "", "", "0"}});
    form.currentLine.clear();
    form.cdsTraccCorrente.first();
    form.currentLine += FormatField(form);
    form.cdsTraccCorrente.next();
    try {
        FormatField(form);
        FAIL() << "the overrun filler should stop the next field";
    } catch (const AssertionFailure& e) {
        EXPECT_STREQ(e.what(), "6-7");
    }
}

TEST_F(FieldFormattingTest, DatesInTheirThreeFormsAndTheZeroDate) {
    setDisposition({{"DATA_DISPOSIZIONE", date(2024, 3, 1)}});
    EXPECT_EQ(format({"10", "1-6", "DATA_DISPOSIZIONE", "D", "", "F", "0"}), "010324");
    EXPECT_EQ(format({"10", "1-8", "DATA_DISPOSIZIONE", "D8", "", "F", "0"}), "20240301");
    EXPECT_EQ(format({"10", "1-10", "DATA_DISPOSIZIONE", "/D", "", "F", ""}), "2024/03/01");
    // Longer fields: "/D" is padded on the right, "D8" on the left.
    EXPECT_EQ(format({"10", "1-12", "DATA_DISPOSIZIONE", "/D", "", "F", "*"}), "2024/03/01**");
    EXPECT_EQ(format({"10", "1-10", "DATA_DISPOSIZIONE", "D8", "", "F", "0"}), "0020240301");

    // The date separator follows the regional settings.
    regional().dateSeparator = '-';
    EXPECT_EQ(format({"10", "1-10", "DATA_DISPOSIZIONE", "/D", "", "F", ""}), "2024-03-01");
    regional().dateSeparator = '/';

    // A missing date leaves only the filling; blanks still pass the digit check.
    setDisposition({});
    EXPECT_EQ(format({"10", "1-8", "DATA_DISPOSIZIONE", "D8", "", "F", "0"}), "00000000");
    EXPECT_EQ(format({"10", "1-8", "DATA_DISPOSIZIONE", "D8", "", "F", ""}), "        ");
    EXPECT_EQ(formatMessage({"10", "1-8", "DATA_DISPOSIZIONE", "D8", "", "O", ""}),
              "Campo obbligatorio: DATA_DISPOSIZIONE");
    EXPECT_EQ(format({"10", "1-8", "DATA_DISPOSIZIONE", "D8", "", "O", "0"}), "00000000");

    EXPECT_EQ(FormatLayoutDate("yyyymmdd", 0), "");
    EXPECT_EQ(FormatLayoutDate("ddmmyy", encodeDate(1999, 12, 31)), "311299");
}

TEST_F(FieldFormattingTest, AmountsHaveTwoDecimalsAndTheRegionalSeparator) {
    setDisposition({{"IMPORTO_EURO", 1234.5}});
    EXPECT_EQ(format({"10", "1-8", "IMPORTO_EURO", "E", "", "F", "0"}), "01234,50");
    setDisposition({{"IMPORTO_EURO", 0.125}});
    EXPECT_EQ(format({"10", "1-6", "IMPORTO_EURO", "E", "", "F", "0"}), "000,13");
    setDisposition({});
    EXPECT_EQ(format({"10", "1-6", "IMPORTO_EURO", "E", "", "F", " "}), "  0,00");

    // A negative amount is written with its sign, which the digit check refuses.
    setDisposition({{"IMPORTO_EURO", -3.5}});
    form.currentFieldLength = 8;
    setLayout({{"10", "1-8", "IMPORTO_EURO", "E", "", "F", "0"}});
    form.cdsTraccCorrente.first();
    EXPECT_EQ(FitField(form, "-3,50"), "000-3,50");
    EXPECT_EQ(formatMessage({"10", "1-8", "IMPORTO_EURO", "E", "", "F", "0"}), "Campo numerico: IMPORTO_EURO");
}

TEST_F(FieldFormattingTest, TotalsAreReadFromTheTotalsTable) {
    form.cdsTot.setFieldDefs({fieldDef("PROGRESSIVO", FieldType::Int32), fieldDef("TOT_IMP_POS", FieldType::Int32)});
    form.cdsTot.createDataSet();
    form.cdsTot.insert();
    // A total still null gives only filling; the disposition is not consulted.
    EXPECT_EQ(format({"PC", "1-5", "PROGRESSIVO", "N", "F", "F", "0"}), "00000");
    EXPECT_EQ(format({"PC", "1-5", "TOT_IMP_POS", "N", "F", "F", ""}), "     ");
    form.cdsTot.fieldByName("PROGRESSIVO").setInteger(2);
    EXPECT_EQ(format({"10", "1-5", "PROGRESSIVO", "N", "F", "F", "0"}), "00002");
    EXPECT_THROW(format({"10", "1-5", "NO_TOTAL", "N", "F", "F", "0"}), DataError);
}

TEST_F(FieldFormattingTest, FieldsMustStartWhereTheLineEnds) {
    setDisposition({{"NOMINATIVO", "ROSSI"}});
    EXPECT_EQ(format({"10", "10-12", "NOMINATIVO", "AN", "", "F", ""}, "123456789"), "ROS");
    try {
        format({"10", "11-15", "NOMINATIVO", "AN", "", "F", ""}, "123456789");
        FAIL() << "a gap before the field must stop the build";
    } catch (const AssertionFailure& e) {
        EXPECT_STREQ(e.what(), "11-15");
    }
    EXPECT_THROW(format({"10", "9-15", "NOMINATIVO", "AN", "", "F", ""}, "123456789"), AssertionFailure);
    // Fillers are checked too, and a Pos that is no position is the parser's error.
    EXPECT_THROW(format({"10", "2-3", "", "F", "", "", "0"}), AssertionFailure);
    EXPECT_THROW(format({"10", "1-", "NOMINATIVO", "AN", "", "F", ""}), ConvertError);
    EXPECT_THROW(format({"10", "1-3", "NO_SUCH_FIELD", "AN", "", "F", ""}), DataError);
}

}  // namespace
}  // namespace doz::testing

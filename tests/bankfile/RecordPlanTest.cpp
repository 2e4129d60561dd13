// A build reads each record type's layout rows once; what it writes and where
// it leaves the layout must not differ from a walk of the layout per record.
#include "bankfile/BankFileWriter.h"

#include "BankTestSupport.h"
#include "bankfile/EPztBanca.h"
#include "platform/Error.h"

namespace doz::testing {
namespace {

class RecordPlanTest : public BankTest {
protected:
    void SetUp() override {
        BankTest::SetUp();
        setLayout({
            {"PC", "1-2", "", "F", "", "", "PC"},
            {"PC", "3-7", "TOT_RECORD", "N", "F", "", "0"},
            {"10", "1-2", "", "F", "", "", "10"},
            {"10", "3-7", "PROGRESSIVO", "N", "F", "", "0"},
            {"10", "8-20", "IMPORTO", "N", "", "O", "0"},
            {"10", "21-25", "CAB_DESTINATARIO", "AN", "", "O", ""},
            {"10", "26-30", "FILLER", "F", "", "", ""},
            {"EF", "1-2", "", "F", "", "", "EF"},
            {"EF", "3-17", "TOT_IMP_POS", "N", "F", "", "0"},
        });
    }

    // Builds and returns the lines, or the message of the error that stopped it.
    std::vector<std::string> build(std::string* error = nullptr) {
        BankFileText text;
        form.lineList = &text;
        try {
            BuildRecords(form);
        } catch (const Error& e) {
            if (!error) throw;
            *error = e.what();
        }
        form.lineList = nullptr;
        return text.lines();
    }

    // The layout row the cursor stands on, and whether the walk went past it.
    std::string layoutPlace() {
        Table& layout = form.cdsTraccCorrente;
        return layout.filter() + " " + layout.fieldByName("Pos").asText() + (layout.eof() ? " eof" : "");
    }

    // The same record written by the row-by-row walk (outside a build).
    std::string placeAfterWalk(const std::string& type) {
        BankFileText text;
        form.lineList = &text;
        try {
            WriteRecord(form, type);
        } catch (const Error&) {
        }
        form.lineList = nullptr;
        return layoutPlace();
    }
};

TEST_F(RecordPlanTest, EveryRecordIsWrittenAndTheLayoutEndsPastTheFooter) {
    setDispositions({{{"IMPORTO", 125}, {"CAB_DESTINATARIO", "03000"}},
                     {{"IMPORTO", 7}, {"CAB_DESTINATARIO", "X"}}});
    const std::vector<std::string> lines = build();
    const std::vector<std::string> expected = {
        "PC00001",
        "10000010000000000125" "03000     ",
        "10000020000000000007" "X         ",
        "EF000000000000132",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(form.currentLine, expected.back());
    EXPECT_EQ(layoutPlace(), "Record='EF' 3-17 eof");
}

TEST_F(RecordPlanTest, AFailingFieldLeavesTheLayoutOnItsRowAsTheWalkDoes) {
    // The second disposition lacks the branch code: the build stops in its record 10.
    setDispositions({{{"IMPORTO", 125}, {"CAB_DESTINATARIO", "03000"}}, {{"IMPORTO", 7}}});
    std::string error;
    const std::vector<std::string> lines = build(&error);
    EXPECT_EQ(error, "Campo obbligatorio: CAB_DESTINATARIO");
    EXPECT_EQ(lines.size(), 2u);  // PC and the first record 10
    EXPECT_EQ(form.currentLine, "10000020000000000007");
    const std::string afterBuild = layoutPlace();
    EXPECT_EQ(afterBuild, "Record='10' 21-25");
    // The walk of the same record, the same disposition still current, stops on the same row.
    form.cdsTraccCorrente.setFiltered(false);
    EXPECT_EQ(placeAfterWalk("10"), afterBuild);

    // A refusal between records leaves the layout on the record type asked for
    // last: 70, which has no rows here.
    setDispositions({{{"IMPORTO", 2147483647}, {"CAB_DESTINATARIO", "03000"}},
                     {{"IMPORTO", 1}, {"CAB_DESTINATARIO", "03000"}}});
    EXPECT_THROW(build(), EPztBanca);
    EXPECT_EQ(layoutPlace(), "Record='70'  eof");
}

}  // namespace
}  // namespace doz::testing

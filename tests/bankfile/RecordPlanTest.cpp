// A build reads each record type's layout rows once; what it writes and where
// it leaves the layout must not differ from a walk of the layout per record.
#include "bankfile/BankFileWriter.h"

#include <algorithm>
#include <limits>
#include <ostream>

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

    // A refusal between records (a sum beyond 64 bits) leaves the layout on the
    // record type asked for last: 70, which has no rows here.
    std::vector<FieldDef> defs = dispositionFields();
    const auto amount = static_cast<std::size_t>(std::find_if(defs.begin(), defs.end(), [](const FieldDef& d) {
                                                     return d.name == "IMPORTO";
                                                 }) - defs.begin());
    const auto cab = static_cast<std::size_t>(std::find_if(defs.begin(), defs.end(), [](const FieldDef& d) {
                                                  return d.name == "CAB_DESTINATARIO";
                                              }) - defs.begin());
    defs[amount].type = FieldType::Int64;
    std::vector<Row> rows(2, Row(defs.size()));
    rows[0][amount] = Value(std::numeric_limits<std::int64_t>::max());
    rows[1][amount] = Value(1);
    for (Row& r : rows) r[cab] = Value("03000");
    form.cdsDisp.assign(defs, std::move(rows));
    EXPECT_THROW(build(), EPztBanca);
    EXPECT_EQ(layoutPlace(), "Record='70'  eof");
}

// ---- prepared rows against the row-by-row walk -------------------------------------------

// Removes one field from a table, keeping its rows.
void dropField(Table& table, const std::string& name) {
    const int at = table.fieldIndex(name);
    ASSERT_GE(at, 0) << name;
    std::vector<FieldDef> defs = table.fieldDefs();
    std::vector<Row> rows(table.allRows().begin(), table.allRows().end());
    defs.erase(defs.begin() + at);
    for (Row& row : rows) row.erase(row.begin() + at);
    table.assign(std::move(defs), std::move(rows));
}

// What a run ended with: the kind of error and its message, the lines written
// and the record left unfinished.
struct Outcome {
    std::string error;
    std::vector<std::string> lines;
    std::string currentLine;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    out << "error '" << o.error << "', current '" << o.currentLine << "', lines:";
    for (const std::string& l : o.lines) out << "\n  " << l;
    return out;
}

class PreparedRowTest : public BankTest {
protected:
    void SetUp() override {
        BankTest::SetUp();
        setCatalogue("CBI_5_02");
        setLayout({
            {"PC", "1-2", "", "F", "", "", "PC"},
            {"PC", "3-7", "TOT_RECORD", "N", "F", "F", "0"},
            {"PC", "8-10", "X", "F", "", "", "ab"},  // a two-character filling runs past its end
            {"PC", "12-13", "PROGRESSIVO", "N", "F", "", ""},  // still null: blanks
            {"10", "1-2", "", "F", "", "", "10"},
            {"10", "3-7", "PROGRESSIVO", "N", "F", "F", "0"},
            {"10", "8-20", "IMPORTO", "N", "", "O", "0"},
            {"10", "21-28", "NOMINATIVO", "AN", "R", "", "*"},
            {"10", "29-31", "NOMINATIVO", "AN", "", "F", ""},
            {"10", "32-37", "DATA_DISPOSIZIONE", "D", "", "F", ""},
            {"10", "38-45", "DATA_VALUTA", "D8", "", "F", "0"},
            {"10", "46-55", "DATA_SCADENZA", "/D", "", "F", ""},
            {"10", "56-65", "IMPORTO_EURO", "E", "", "F", "0"},
            {"10", "66-70", "CAB_DESTINATARIO", "N", "", "C1", "0"},
            {"10", "71-100", "IND_DESTINATARIO", "AN", "", "C2", ""},
            {"10", "101-105", "CAP_DESTINATARIO", "N", "", "", "0"},
            {"10", "106-110", "", "F", "", "", ""},
            {"17", "1-2", "", "F", "", "", "17"},
            {"17", "3-14", "CC_DESTINATARIO", "AN", "", "O", ""},
            {"EF", "1-2", "", "F", "", "", "EF"},
            {"EF", "3-17", "TOT_IMP_POS", "N", "F", "F", "0"},
            {"EF", "18-22", "TOT_RECORD", "N", "F", "O", "0"},
            {"EF", "23-27", "PROGRESSIVO", "N", "F", "F", "0"},
        });
        const Disposition account = {{"IMPGID", 3},
                                     {"MODALITA_PAGAMENTO", 1},
                                     {"IMPORTO", 125},
                                     {"NOMINATIVO", "ROSSI MARIO ANTONIO"},
                                     {"ABI_DESTINATARIO", "03069"},
                                     {"CAB_DESTINATARIO", "01234"},
                                     {"CC_DESTINATARIO", "000012345678"},
                                     {"CAP_DESTINATARIO", "30100"},
                                     {"DATA_DISPOSIZIONE", date(2026, 12, 9)},
                                     {"DATA_VALUTA", date(2026, 12, 9)},
                                     {"DATA_SCADENZA", date(2026, 12, 31)},
                                     {"IMPORTO_EURO", 1.25}};
        // Cash: the address is needed; a value date missing, another execution date.
        const Disposition cash = {{"IMPGID", 1},
                                  {"MODALITA_PAGAMENTO", 2},
                                  {"IMPORTO", 123456},
                                  {"NOMINATIVO", "BO"},
                                  {"IND_DESTINATARIO", "VIA ROMA 1"},
                                  {"CAP_DESTINATARIO", "30100"},
                                  {"COM_DESTINATARIO", "VENEZIA"},
                                  {"DATA_DISPOSIZIONE", date(2027, 1, 4)},
                                  {"DATA_SCADENZA", date(2027, 2, 1)},
                                  {"IMPORTO_EURO", 1234.5}};
        dispositions = {account, cash, account};
        setDispositions(dispositions);
    }

    Outcome run(bool prepared) {
        Outcome o;
        BankFileText text;
        form.lineList = &text;
        form.currentLine.clear();
        try {
            if (prepared) {
                BuildRecords(form);
            } else {
                // The same sequence record by record, each one walking the layout table.
                Table& tot = form.cdsTot;
                tot.close();
                tot.setFieldDefs({fieldDef("PROGRESSIVO", FieldType::Int32), fieldDef("TOT_IMP_POS", FieldType::Int32),
                                  fieldDef("TOT_RECORD", FieldType::Int32)});
                tot.createDataSet();
                tot.insert();
                WriteRecord(form, "PC");
                WriteDispositionRecords(form);
                WriteRecord(form, "EF");
            }
        } catch (const Error& e) {
            const char* kind = dynamic_cast<const EPztBanca*>(&e)          ? "EPztBanca"
                               : dynamic_cast<const AssertionFailure*>(&e) ? "AssertionFailure"
                               : dynamic_cast<const ConvertError*>(&e)     ? "ConvertError"
                               : dynamic_cast<const DataError*>(&e)        ? "DataError"
                                                                            : "Error";
            o.error = std::string(kind) + ": " + e.what();
        }
        form.lineList = nullptr;
        o.lines = text.lines();
        o.currentLine = form.currentLine;
        return o;
    }

    // The build and the walk end alike; returns the build's outcome.
    Outcome compare() {
        const Outcome walked = run(false);
        const Outcome built = run(true);
        EXPECT_EQ(built, walked);
        return built;
    }

    // Changes one layout row, found by record type and position.
    void changeLayoutRow(const std::string& record, const std::string& pos, const std::string& column,
                         const std::string& value) {
        Table& layout = form.cdsTraccCorrente;
        layout.setFiltered(false);
        ASSERT_TRUE(layout.locate("Record;Pos", {Value(record), Value(pos)})) << record << " " << pos;
        layout.edit();
        layout.fieldByName(column).setText(value);
        layout.post();
    }

    std::vector<Disposition> dispositions;
};

TEST_F(PreparedRowTest, EveryKindOfRowWritesWhatTheWalkWrites) {
    // Every layout code's rule set, and one without rules.
    for (const char* code : {"CBI_5_02", "CBI_SEP", "CBI_SEP2", "CBI_MARCA", "DELTA_SIOPE", "SETIF", "ALTRO"}) {
        SCOPED_TRACE(code);
        setCatalogue(code);
        const Outcome built = compare();
        EXPECT_EQ(built.error, "");
        ASSERT_EQ(built.lines.size(), 7u);  // PC, 10 17, 10, 10 17, EF
        EXPECT_EQ(built.lines[0], "PC00001abab  ");
        // Cut on the left, cut on the right, the dates, the amount.
        EXPECT_EQ(built.lines[1].substr(20, 45), " ANTONIOROS091226202612092026/12/310000001,25");
        // No value date, another execution date; a date seen before is written again.
        EXPECT_EQ(built.lines[3].substr(20, 45), "BO******BO 04012700000000" "2027/02/010001234,50");
        EXPECT_EQ(built.lines[4].substr(31, 14), built.lines[1].substr(31, 14));
        EXPECT_EQ(built.lines.back(), "EF000000000123706000070000" "3");
    }
}

TEST_F(PreparedRowTest, AFailureStopsAtTheSameFieldWithTheSameError) {
    // A mandatory field blank in the third disposition.
    changeLayoutRow("10", "29-31", "Required", "O");
    dispositions[2]["NOMINATIVO"] = "  ";
    setDispositions(dispositions);
    EXPECT_EQ(compare().error, "EPztBanca: Campo obbligatorio: NOMINATIVO");
    dispositions[2]["NOMINATIVO"] = "ROSSI";

    // The rule sets' checks: the account coordinates, the payee's address.
    dispositions[2]["CC_DESTINATARIO"] = "   ";
    setDispositions(dispositions);
    EXPECT_EQ(compare().error, "EPztBanca: Abi/Cab/CC destinatario sono obbligatori per operazioni su CC.");
    dispositions[2].erase("CC_DESTINATARIO");
    dispositions[1]["CAP_DESTINATARIO"] = "30I00";
    setDispositions(dispositions);
    EXPECT_EQ(compare().error, "EPztBanca: Cap del destinatario deve essere numerico.");
    dispositions[1]["CAP_DESTINATARIO"] = "30100";
    dispositions[1]["CAB_DESTINATARIO"] = "12A45";
    setDispositions(dispositions);
    EXPECT_EQ(compare().error, "EPztBanca: Campo numerico: CAB_DESTINATARIO");
    dispositions[1].erase("CAB_DESTINATARIO");

    // Fields the sequence, the rules or a total name, missing from their table.
    setDispositions(dispositions);
    dropField(form.cdsDisp, "COM_DESTINATARIO");  // read by the address rule of the cash payment only
    EXPECT_EQ(compare().error, "DataError: cdsDisp: campo 'COM_DESTINATARIO' non trovato");
    setDispositions(dispositions);
    dropField(form.cdsDisp, "IMPGID");
    EXPECT_EQ(compare().error, "DataError: cdsDisp: campo 'IMPGID' non trovato");
    setDispositions(dispositions);
    dropField(form.cdsDisp, "IMPORTO");  // written in record 10 before the total reads it
    EXPECT_EQ(compare().error, "DataError: cdsDisp: campo 'IMPORTO' non trovato");
    setDispositions(dispositions);
    form.cdsTracciati.assign({fieldDef("Banca")}, {Row{Value("Banca di prova")}});
    EXPECT_EQ(compare().error, "DataError: cdsTracciati: campo 'CodTracciato' non trovato");
    setCatalogue("CBI_5_02");
    changeLayoutRow("10", "3-7", "FieldName", "TOT_NESSUNO");
    EXPECT_EQ(compare().error, "DataError: cdsTot: campo 'TOT_NESSUNO' non trovato");
    changeLayoutRow("10", "3-7", "FieldName", "PROGRESSIVO");

    // A text that is no date, a field that does not start where the line ends,
    // a position that does not parse.
    changeLayoutRow("10", "29-31", "ColType", "D");
    EXPECT_EQ(compare().error.rfind("ConvertError: ", 0), 0u);
    changeLayoutRow("10", "29-31", "ColType", "AN");
    changeLayoutRow("10", "101-105", "Pos", "102-105");
    EXPECT_EQ(compare().error, "AssertionFailure: 102-105");
    changeLayoutRow("10", "102-105", "Pos", "101-x");
    EXPECT_EQ(compare().error.rfind("ConvertError: ", 0), 0u);
    changeLayoutRow("10", "101-x", "Pos", "101-105");

    // A layout without a column: fillers still pass, the first field that reads it fails.
    dropField(form.cdsTraccCorrente, "Required");
    EXPECT_EQ(compare().error, "DataError: cdsTraccCorrente: campo 'Required' non trovato");
}

}  // namespace
}  // namespace doz::testing

// The demonstration data in examples/ (written by tools/make-demo): every file
// loads, every layout tiles its records, every name a layout or a rule uses
// exists in the dispositions, and the dispositions satisfy the checks that do
// not depend on the header values.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/DataPacket.h"
#include "platform/Files.h"

using namespace doz;

namespace {

const std::string kExamples = std::string(DOZ_SOURCE_DIR) + "/examples/";

const std::vector<std::string> kCheckedCodes = {"CBI_5_02", "CBI_SEP", "CBI_SEP2", "CBI_MARCA", "DELTA_SIOPE", "SETIF"};

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// A loaded packet with access by column name (letter case ignored, as the tables do).
struct Sheet {
    PacketContent content;

    int column(const std::string& name) const {
        for (std::size_t i = 0; i < content.fields.size(); ++i)
            if (upper(content.fields[i].name) == upper(name)) return static_cast<int>(i);
        return -1;
    }
    bool has(const std::string& name) const { return column(name) >= 0; }
    const Value& at(const Row& row, const std::string& name) const {
        const int c = column(name);
        if (c < 0) throw std::runtime_error("no column " + name);
        return row[static_cast<std::size_t>(c)];
    }
    std::string text(const Row& row, const std::string& name) const {
        const Value& v = at(row, name);
        return v.is<std::string>() ? std::string(v.text()) : std::string();
    }
    long long integer(const Row& row, const std::string& name) const {
        const Value& v = at(row, name);
        return v.is<std::int64_t>() ? v.get<std::int64_t>() : 0;
    }
};

Sheet load(const std::string& name) { return Sheet{readPacketFile(kExamples + name)}; }

bool isDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}
bool isBlank(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) <= 32; });
}
bool isNonZeroNumber(const std::string& s) { return isDigits(s) && std::stoll(s) != 0; }

// The standard IBAN test: the first four characters moved to the end, letters
// as 10..35, the whole number modulo 97 is 1.
bool ibanIsValid(const std::string& iban) {
    if (iban.size() < 5) return false;
    const std::string moved = iban.substr(4) + iban.substr(0, 4);
    int rest = 0;
    for (char c : moved) {
        if (std::isdigit(static_cast<unsigned char>(c)))
            rest = (rest * 10 + (c - '0')) % 97;
        else if (c >= 'A' && c <= 'Z')
            rest = (rest * 100 + (c - 'A' + 10)) % 97;
        else
            return false;
    }
    return rest == 1;
}

class DemoData : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fileExists(kExamples + "Tracciati.xml")) GTEST_SKIP() << "examples/ not generated (scripts/make-demo.sh)";
        catalogue = load("Tracciati.xml");
        dispositions = load("Disposizioni.cds");
    }
    // The fixed-width banks; the XML banks (Formato not empty) have layouts of another shape.
    bool fixedWidth(const Row& r) const { return !catalogue.has("Formato") || catalogue.text(r, "Formato").empty(); }
    std::vector<std::string> codes() const {
        std::vector<std::string> out;
        for (const Row& r : catalogue.content.rows)
            if (fixedWidth(r)) out.push_back(catalogue.text(r, "CodTracciato"));
        return out;
    }
    Sheet catalogue, dispositions;
};

TEST_F(DemoData, CatalogueListsOneBankPerCheckedLayoutAndTheRenamedBank) {
    const auto& rows = catalogue.content.rows;
    ASSERT_GE(rows.size(), 7u);
    std::set<std::string> names, codesSeen;
    for (const Row& r : rows) {
        names.insert(catalogue.text(r, "Banca"));
        codesSeen.insert(catalogue.text(r, "CodTracciato"));
        EXPECT_TRUE(isDigits(catalogue.text(r, "ABI")) && catalogue.text(r, "ABI").size() == 5);
        if (fixedWidth(r)) {
            EXPECT_EQ(catalogue.text(r, "PosTipoRecord"), "2-3");
        }
    }
    EXPECT_EQ(names.size(), rows.size()) << "bank names must be distinct";
    EXPECT_TRUE(names.count("SanPaolo - Enti24"));
    for (const std::string& code : kCheckedCodes) {
        EXPECT_TRUE(codesSeen.count(code)) << code;
    }
    EXPECT_GT(codesSeen.size(), kCheckedCodes.size()) << "a layout code without checks of its own is missing";
    for (const std::string& code : codes()) {
        EXPECT_TRUE(fileExists(kExamples + code + ".Xml")) << code;
        EXPECT_TRUE(fileExists(kExamples + code + "_X.Xml")) << code;
    }
}

TEST_F(DemoData, EveryLayoutTilesItsRecordsAndNamesOnlyExistingFields) {
    const std::set<std::string> totals = {"PROGRESSIVO", "TOT_IMP_POS", "TOT_RECORD"};
    const std::set<std::string> recordCodes = {"PC", "10", "16", "17", "20", "30", "35", "40", "50", "65", "70", "EF"};
    for (const std::string& code : codes()) {
        SCOPED_TRACE(code);
        const Sheet layout = load(code + ".Xml");
        std::vector<Row> rows = layout.content.rows;
        std::stable_sort(rows.begin(), rows.end(),
                         [&](const Row& a, const Row& b) { return layout.integer(a, "Ord") < layout.integer(b, "Ord"); });
        std::map<std::string, int> nextStart;  // per record type
        for (const Row& r : rows) {
            const std::string record = layout.text(r, "Record");
            const std::string pos = layout.text(r, "Pos");
            const std::string name = layout.text(r, "FieldName");
            EXPECT_TRUE(recordCodes.count(record)) << record;
            const auto minus = pos.find('-');
            ASSERT_NE(minus, std::string::npos) << pos;
            const int start = std::stoi(pos.substr(0, minus)), end = std::stoi(pos.substr(minus + 1));
            int& expected = nextStart.try_emplace(record, 1).first->second;
            EXPECT_EQ(start, expected) << record << " " << pos << " " << name;
            EXPECT_GE(end, start) << record << " " << pos;
            expected = end + 1;

            if (start == 2 && end == 3) {  // where the catalogue says the record type stands
                EXPECT_EQ(layout.text(r, "ColType"), "F");
                EXPECT_EQ(layout.text(r, "FillingChar"), record);
            }
            const std::string colType = layout.text(r, "ColType");
            if (colType == "F") {
                EXPECT_LE(layout.text(r, "FillingChar").size(), static_cast<std::size_t>(end - start + 1));
            } else if (layout.text(r, "Extra") == "F") {
                EXPECT_TRUE(totals.count(name)) << name;
            } else {
                EXPECT_TRUE(dispositions.has(name)) << record << " " << name << " is not a disposition field";
            }
        }
        for (const auto& [record, next] : nextStart) {
            EXPECT_EQ(next, 121) << "record " << record << " length";
        }
        for (const char* always : {"PC", "10", "17", "20", "30", "40", "50", "70", "EF"})
            EXPECT_TRUE(nextStart.count(always)) << always;
    }
}

TEST_F(DemoData, ConditionalChecksSitOnTheFieldsTheirRuleSetsConcern) {
    // Required code -> fields it may stand on, for the codes whose rule set uses it.
    std::map<std::string, std::map<std::string, std::set<std::string>>> expected = {
        {"CBI_5_02", {{"C1", {"CC_DESTINATARIO"}}}},
        {"CBI_SEP", {{"C1", {"CC_DESTINATARIO"}}, {"C4", {"DATA_DISPOSIZIONE"}}}},
        {"CBI_SEP2", {{"C1", {"CC_DESTINATARIO"}}, {"C3", {"DATA_SCADENZA", "DATA_DISPOSIZIONE"}}}},
        {"CBI_MARCA", {{"C1", {"DATA_VALUTA"}}}},
        {"DELTA_SIOPE", {{"C1", {"CC_DESTINATARIO", "CCP_DESTINATARIO"}}}},
        {"SETIF", {{"C1", {"CC_DESTINATARIO"}}}},
    };
    for (const std::string& code : codes()) {
        SCOPED_TRACE(code);
        const Sheet layout = load(code + ".Xml");
        std::map<std::string, std::set<std::string>> found;
        for (const Row& r : layout.content.rows)
            if (layout.text(r, "Required").rfind("C", 0) == 0 && layout.text(r, "ColType") != "F")
                found[layout.text(r, "Required")].insert(layout.text(r, "FieldName"));
        EXPECT_EQ(found["C2"], std::set<std::string>{"IND_DESTINATARIO"});
        for (const auto& [req, fields] : expected[code]) {
            EXPECT_FALSE(found[req].empty()) << req << " missing";
            for (const std::string& f : found[req]) {
                EXPECT_TRUE(fields.count(f)) << req << " on " << f;
            }
        }
    }
}

TEST_F(DemoData, TransferRulesAddressHeaderControlsAndExistingFields) {
    const std::set<std::string> edits = {"MITTENTE", "NOME_SUPPORTO", "CC_ORDINANTE", "CONTO_TESORERIA"};
    const std::set<std::string> dates = {"DATA_CREAZIONE", "DATA_DISPOSIZIONE", "DATA_VALUTA", "DATA_SCADENZA"};
    std::set<std::string> headersUsed;
    bool sawCondition = false, sawFieldOut = false, sawFileWithoutFieldOut = false;
    for (const std::string& code : codes()) {
        SCOPED_TRACE(code);
        const Sheet rules = load(code + "_X.Xml");
        const Sheet layout = load(code + ".Xml");
        ASSERT_TRUE(rules.has("FieldName") && rules.has("ColType") && rules.has("ValOut") && rules.has("Condition"));
        sawFileWithoutFieldOut |= !rules.has("FieldOut");
        std::set<std::string> filled;
        for (const Row& r : rules.content.rows) {
            const std::string field = rules.text(r, "FieldName"), type = rules.text(r, "ColType");
            EXPECT_TRUE(dispositions.has(field)) << field;
            filled.insert(upper(field));
            if (type == "AN") {
                EXPECT_TRUE(edits.count(upper(field))) << "no edit ed" << field;
            }
            if (type == "D") {
                EXPECT_TRUE(dates.count(upper(field))) << "no date edit de" << field;
            }
            if (type == "AN" || type == "D") headersUsed.insert(upper(field));
            const std::string out = rules.has("FieldOut") ? rules.text(r, "FieldOut") : "";
            if (!out.empty()) {
                sawFieldOut = true;
                EXPECT_TRUE(dispositions.has(out)) << out;
                EXPECT_TRUE(type != "AN" && type != "D") << "a copy rule would look for a control ed/de" << field;
            }
            sawCondition |= !rules.text(r, "Condition").empty();
        }
        // A header value the layout writes must be filled by one of this bank's rules,
        // or its control stays hidden and the field empty.
        for (const Row& r : layout.content.rows) {
            const std::string name = upper(layout.text(r, "FieldName"));
            if (layout.text(r, "ColType") == "F") continue;
            if (edits.count(name) && name != "CC_ORDINANTE") {
                EXPECT_TRUE(filled.count(name)) << name;
            }
            if (dates.count(name)) {
                EXPECT_TRUE(filled.count(name)) << name;
            }
        }
    }
    EXPECT_EQ(headersUsed.size(), edits.size() + dates.size()) << "every header control is used by some bank";
    EXPECT_TRUE(sawCondition);
    EXPECT_TRUE(sawFieldOut);
    EXPECT_TRUE(sawFileWithoutFieldOut);
}

TEST_F(DemoData, DispositionsPassTheChecksThatDoNotDependOnTheHeader) {
    const auto& rows = dispositions.content.rows;
    ASSERT_GE(rows.size(), 30u);
    std::set<long long> kinds;
    int withoutMode = 0, withOrderingIban = 0;
    std::set<std::string> catalogueAbis;
    for (const Row& r : catalogue.content.rows) catalogueAbis.insert(catalogue.text(r, "ABI"));
    EXPECT_TRUE(catalogueAbis.count(dispositions.text(rows.front(), "ABI_ORDINANTE")))
        << "the first run would preselect no bank";

    for (const Row& r : rows) {
        const std::string who = dispositions.text(r, "DESC_DESTINATARIO");
        SCOPED_TRACE(who);
        const long long impgid = dispositions.integer(r, "IMPGID");
        kinds.insert(impgid);
        const bool hasMode = !dispositions.at(r, "MODALITA_PAGAMENTO").isNull();
        withoutMode += hasMode ? 0 : 1;
        withOrderingIban += dispositions.text(r, "CIN_ORDINANTE").empty() ? 0 : 1;

        const long long cents = dispositions.integer(r, "IMPORTO");
        EXPECT_GT(cents, 0);
        EXPECT_NEAR(dispositions.at(r, "IMPORTO_EURO").get<double>() * 100.0, static_cast<double>(cents), 0.001);
        EXPECT_EQ(dispositions.text(r, "CF_DESTINATARIO").size(), 16u);
        for (const char* numeric : {"CAUSALE", "ABI_ORDINANTE", "CAB_ORDINANTE", "MESE", "ESERCIZIO"})
            EXPECT_TRUE(isDigits(dispositions.text(r, numeric))) << numeric;
        for (const char* numeric : {"ABI_DESTINATARIO", "CAB_DESTINATARIO", "IBAN_CKD_DESTINATARIO", "IBAN_CKD_ORDINANTE"}) {
            const std::string v = dispositions.text(r, numeric);
            EXPECT_TRUE(v.empty() || isDigits(v)) << numeric << " " << v;
        }
        const std::string iban = dispositions.text(r, "SACOMNUMCC");
        if (!iban.empty()) {
            EXPECT_TRUE(ibanIsValid(iban)) << iban;
        }
        EXPECT_TRUE(isNonZeroNumber(dispositions.text(r, "CAP_DESTINATARIO")));
        if (!hasMode) continue;  // excluded from the bank file by default

        if (impgid == 3 || impgid == 5) {
            EXPECT_TRUE(isNonZeroNumber(dispositions.text(r, "ABI_DESTINATARIO")));
            EXPECT_TRUE(isNonZeroNumber(dispositions.text(r, "CAB_DESTINATARIO")));
            EXPECT_FALSE(isBlank(dispositions.text(r, "CC_DESTINATARIO")));
            EXPECT_EQ(dispositions.text(r, "IBAN_STATO_DESTINATARIO"), "IT");
        } else {
            for (const char* f : {"IND_DESTINATARIO", "COM_DESTINATARIO"})
                EXPECT_FALSE(isBlank(dispositions.text(r, f))) << f;
        }
        if (impgid == 5) {
            EXPECT_FALSE(isBlank(dispositions.text(r, "CCP_DESTINATARIO")));
        }
        const long long mode = dispositions.integer(r, "MODALITA_PAGAMENTO");
        if (mode == 0) {  // giroconto: no payee bank code, branch and account given
            EXPECT_TRUE(dispositions.text(r, "ABI_DESTINATARIO").empty());
            EXPECT_TRUE(isNonZeroNumber(dispositions.text(r, "CAB_DESTINATARIO")));
            EXPECT_FALSE(isBlank(dispositions.text(r, "CC_DESTINATARIO")));
            EXPECT_TRUE(impgid != 3 && impgid != 5) << "an account payment needs the payee bank code";
        }
        if (mode == 1) {
            EXPECT_TRUE(isNonZeroNumber(dispositions.text(r, "ABI_DESTINATARIO")));
        }
    }
    EXPECT_EQ(kinds, (std::set<long long>{1, 2, 3, 4, 5}));
    EXPECT_GT(withoutMode, 0);
    EXPECT_GT(withOrderingIban, 0);
    EXPECT_LT(withOrderingIban, static_cast<int>(rows.size()));
}

}  // namespace

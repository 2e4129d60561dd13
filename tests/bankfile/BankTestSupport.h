// Shared set-up of the bank-file tests: a window state with a record layout,
// dispositions and a catalogue row held in memory, Italian regional settings,
// and a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "FormState.h"
#include "platform/MemoryWindow.h"
#include "platform/Regional.h"
#include "platform/Table.h"

namespace doz::testing {

// One row of the record layout; Ord follows the order of the rows given.
struct LayoutRow {
    std::string record;
    std::string pos;
    std::string fieldName;
    std::string colType;
    std::string extra;
    std::string required;
    std::string fillingChar;
};

using Disposition = std::map<std::string, Value>;

inline FieldDef fieldDef(std::string name, FieldType type = FieldType::String) {
    FieldDef d;
    d.name = std::move(name);
    d.type = type;
    return d;
}

// Every disposition field the writer and the rules read, with its type.
inline std::vector<FieldDef> dispositionFields() {
    std::vector<FieldDef> defs;
    for (const char* n : {"IMPGID", "IMPORTO", "MODALITA_PAGAMENTO"}) defs.push_back(fieldDef(n, FieldType::Int32));
    defs.push_back(fieldDef("IMPORTO_EURO", FieldType::Float));
    for (const char* n : {"ABI_DESTINATARIO", "CAB_DESTINATARIO", "CC_DESTINATARIO", "CCP_DESTINATARIO",
                          "ABI_ORDINANTE", "IND_DESTINATARIO", "CAP_DESTINATARIO", "COM_DESTINATARIO",
                          "CIN_ORDINANTE", "IBAN_STATO_ORDINANTE", "IBAN_CKD_ORDINANTE", "NOMINATIVO"})
        defs.push_back(fieldDef(n));
    for (const char* n : {"DATA_CREAZIONE", "DATA_DISPOSIZIONE", "DATA_VALUTA", "DATA_SCADENZA"})
        defs.push_back(fieldDef(n, FieldType::Date));
    return defs;
}

inline Value date(int y, int m, int d) { return Value(Date{encodeDate(y, m, d)}); }

class BankTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedRegional_ = regional();
        regional() = Regional::italian();
        setCatalogue("ALTRO");
        setLayout({});
        setDispositions({});
        window.setQuestionPolicy([this](const std::string&) { return answer; });
    }

    void TearDown() override {
        regional() = savedRegional_;
        if (!scratch_.empty()) {
            std::error_code ec;
            std::filesystem::permissions(scratch_, std::filesystem::perms::owner_all, ec);
            std::filesystem::remove_all(scratch_, ec);
        }
    }

    void setLayout(const std::vector<LayoutRow>& rows) {
        std::vector<FieldDef> defs{fieldDef("Record"),  fieldDef("Ord", FieldType::Int32), fieldDef("Pos"),
                                   fieldDef("FieldName"), fieldDef("ColType"), fieldDef("Extra"),
                                   fieldDef("Required"),  fieldDef("FillingChar")};
        std::vector<Row> data;
        int ord = 1;
        for (const LayoutRow& r : rows)
            data.push_back(Row{Value(r.record), Value(ord++), Value(r.pos), Value(r.fieldName), Value(r.colType),
                               Value(r.extra), Value(r.required), Value(r.fillingChar)});
        form.cdsTraccCorrente.setFiltered(false);
        form.cdsTraccCorrente.setIndexFieldNames("Ord");
        form.cdsTraccCorrente.assign(std::move(defs), std::move(data));
    }

    void setDispositions(const std::vector<Disposition>& rows) {
        const std::vector<FieldDef> defs = dispositionFields();
        std::vector<Row> data;
        for (const Disposition& d : rows) {
            Row row(defs.size());
            for (const auto& [name, value] : d) {
                std::size_t i = 0;
                while (i < defs.size() && defs[i].name != name) ++i;
                if (i == defs.size()) ADD_FAILURE() << "no disposition field " << name;
                else row[i] = convertToField(value, defs[i]);
            }
            data.push_back(std::move(row));
        }
        form.cdsDisp.assign(defs, std::move(data));
    }

    // One disposition, current, for the rules.
    void setDisposition(const Disposition& d) { setDispositions({d}); }

    void setCatalogue(const std::string& codTracciato) {
        form.cdsTracciati.assign({fieldDef("Banca"), fieldDef("CodTracciato"), fieldDef("ABI"), fieldDef("PosTipoRecord")},
                                 {Row{Value("Banca di prova"), Value(codTracciato), Value("01234"), Value("1-2")}});
    }

    // A fresh folder for files, removed at the end of the test.
    const std::string& scratch() {
        if (scratch_.empty()) {
            std::string pattern = (std::filesystem::temp_directory_path() / "doz-bank-XXXXXX").string();
            if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
            scratch_ = pattern + "/";
        }
        return scratch_;
    }

    MemoryWindow window;
    FormState form{window};
    bool answer = true;  // the stand-in user's answer to every question

private:
    Regional savedRegional_;
    std::string scratch_;
};

}  // namespace doz::testing

// A throw-away set of folders and data files for driving the export window:
// a working folder with the catalogue, the layouts and the transfer rules, a
// dispositions folder, a main folder and a bank-file folder, all under one
// temporary folder removed at the end of the test.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "FormState.h"
#include "platform/DataPacket.h"
#include "platform/Value.h"

namespace doz::testing {

// One row of a transfer-rule file. valOut empty: null.
struct RuleRow {
    std::string fieldName;
    std::string colType;
    std::optional<std::string> valOut;
    std::string condition;
    std::string fieldOut;
};

// One disposition with the values the tests vary; the rest is derived.
struct DispositionRow {
    std::string payee;
    std::optional<int> paymentMode;  // nullopt: no accepted payment mode
    std::string abiOrdinante = "02008";
    std::string ccOrdinante = "000012345678";
};

class BankFolder {
public:
    BankFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "doz-layout-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        std::filesystem::create_directories(root_ / "work");
        std::filesystem::create_directories(root_ / "disp");
    }
    ~BankFolder() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    BankFolder(const BankFolder&) = delete;
    BankFolder& operator=(const BankFolder&) = delete;

    std::string path(const std::string& relative) const { return (root_ / relative).string(); }
    std::string work(const std::string& name) const { return path("work/" + name); }

    FormPaths paths() const {
        FormPaths p;
        p.mainFolder = path("main") + "/";
        p.bankFolder = path("Ulmordata/Banca");
        p.developerFile = path("no-developer-here");
        p.workingFolder = path("work");
        p.dispositionsArg = path("disp");
        return p;
    }

    // ---- the catalogue ------------------------------------------------------------
    struct CatalogueRow {
        std::string banca, codTracciato, abi, posTipoRecord;
    };
    void writeCatalogue(const std::vector<CatalogueRow>& rows) {
        PacketContent c;
        c.fields = {text("Banca", 40), text("CodTracciato", 20), text("ABI", 5), text("PosTipoRecord", 10)};
        for (const CatalogueRow& r : rows) c.rows.push_back({r.banca, r.codTracciato, r.abi, r.posTipoRecord});
        writePacketFile(work("Tracciati.xml"), c, PacketFormat::Xml);
    }
    void writeStandardCatalogue() {
        writeCatalogue({{"SanPaolo - Enti24", "CBI_SP", "01025", ""},
                        {"Unicredit", "CBI_UC", "02008", "14-15"},
                        {"Banca Etica", "ETICA", "05018", ""}});
    }

    // ---- a record layout: rows (Record, Ord, Pos, FieldName) in the order given ------
    struct LayoutRow {
        std::string record;
        int ord;
        std::string pos, fieldName, colType;
    };
    void writeLayout(const std::string& code, const std::vector<LayoutRow>& rows) {
        PacketContent c;
        c.fields = {text("Record", 2),  field("Ord", FieldType::Int32), text("Pos", 10),      text("FieldName", 40),
                    text("ColType", 4), text("Extra", 2),                  text("Required", 4), text("FillingChar", 1)};
        for (const LayoutRow& r : rows)
            c.rows.push_back({r.record, r.ord, r.pos, r.fieldName, r.colType, Value(), Value(), Value()});
        writePacketFile(work(code + ".Xml"), c, PacketFormat::Xml);
    }
    void writeSimpleLayout(const std::string& code) {
        writeLayout(code, {{"PC", 2, "4-13", "Mittente", "AN"}, {"PC", 1, "1-3", "", "F"}});
    }

    // ---- transfer rules -------------------------------------------------------------
    void writeRules(const std::string& code, const std::vector<RuleRow>& rules, bool withFieldOut = true) {
        PacketContent c;
        c.fields = {text("FieldName", 40), text("ColType", 4), text("ValOut", 40), text("Condition", 200)};
        if (withFieldOut) c.fields.push_back(text("FieldOut", 40));
        for (const RuleRow& r : rules) {
            Row row{r.fieldName, r.colType, r.valOut ? Value(*r.valOut) : Value(),
                    r.condition.empty() ? Value() : Value(r.condition)};
            if (withFieldOut) row.push_back(r.fieldOut.empty() ? Value() : Value(r.fieldOut));
            c.rows.push_back(std::move(row));
        }
        writePacketFile(work(code + "_X.Xml"), c, PacketFormat::Xml);
    }
    // The header values a typical bank asks for.
    static std::vector<RuleRow> standardRules() {
        return {{"Mittente", "AN", {}, "", ""},
                {"NOME_SUPPORTO", "AN", {}, "", ""},
                {"CC_ORDINANTE", "AN", {}, "", ""},
                {"DATA_CREAZIONE", "D", {}, "", ""},
                {"DATA_VALUTA", "D", {}, "", ""}};
    }
    // Catalogue, layouts and rules of the three standard banks.
    void writeStandardBanks() {
        writeStandardCatalogue();
        for (const char* code : {"CBI_SP", "CBI_UC", "ETICA"}) {
            writeSimpleLayout(code);
            writeRules(code, standardRules());
        }
    }

    // ---- dispositions ----------------------------------------------------------------
    static std::vector<FieldDef> dispositionFields() {
        return {field("IMPGID", FieldType::Int32),
                field("MODALITA_PAGAMENTO", FieldType::Int32),
                text("DESC_DESTINATARIO", 40),
                text("ABI_ORDINANTE", 5),
                text("CC_ORDINANTE", 20),
                text("Mittente", 10),
                text("NOME_SUPPORTO", 20),
                text("Conto_Tesoreria", 7),
                text("CAUSALE", 5),
                field("IMPORTO", FieldType::Int32),
                field("DATA_CREAZIONE", FieldType::Date),
                field("DATA_VALUTA", FieldType::Date),
                field("DATA_SCADENZA", FieldType::Date)};
    }
    void writeDispositions(const std::vector<DispositionRow>& rows) {
        PacketContent c;
        c.fields = dispositionFields();
        for (auto& f : c.fields) f.required = true;  // the payroll marks some fields required; the program clears them
        int n = 0;
        for (const DispositionRow& r : rows) {
            ++n;
            c.rows.push_back({3, r.paymentMode ? Value(*r.paymentMode) : Value(), r.payee, r.abiOrdinante,
                              r.ccOrdinante, Value("OLD"), Value(), Value(), Value("27000"), 100000 + n, Value(),
                              Value(Date{45000}), Value()});
        }
        writePacketFile(path("disp/Disposizioni.cds"), c, PacketFormat::Binary);
    }
    // Twelve payees; the 4th, 8th and 12th have no accepted payment mode.
    void writeTwelveDispositions() {
        std::vector<DispositionRow> rows;
        for (int i = 1; i <= 12; ++i)
            rows.push_back({"Payee " + std::to_string(i), i % 4 == 0 ? std::nullopt : std::optional<int>(i % 2)});
        writeDispositions(rows);
    }

    static FieldDef field(const char* name, FieldType type, int size = 0) {
        FieldDef f;
        f.name = name;
        f.type = type;
        f.size = size;
        return f;
    }
    static FieldDef text(const char* name, int size) { return field(name, FieldType::String, size); }

private:
    std::filesystem::path root_;
};

}  // namespace doz::testing

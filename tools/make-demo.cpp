// make-demo: writes the demonstration data of the examples folder.
//
//   make-demo [output-folder]        (default: examples)
//
// Files written, all as table data packets:
//   Tracciati.xml            the bank catalogue
//   <code>.Xml               the record layout of each bank
//   <code>_X.Xml             the transfer rules of each bank
//   Disposizioni.cds         about forty salary payments (binary packet)
//   sepa/Disposizioni.cds    the same payroll and one payee paid on a German
//                            account, for the XML banks (a fixed-width file
//                            cannot carry a foreign account)
//
// The output is deterministic: running the tool twice gives the same bytes.
// Everything below is tables; the few helpers compute what a payroll office
// would have on file anyway (fiscal codes, CIN and IBAN check digits).

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Ansi.h"
#include "platform/DataPacket.h"
#include "platform/Dates.h"
#include "platform/Files.h"
#include "platform/Value.h"
#include "payments/Iban.h"

using namespace doz;

namespace {

// ---------------------------------------------------------------------------
// Small helpers
// ---------------------------------------------------------------------------

FieldDef textField(const std::string& name, int size) {
    FieldDef f;
    f.name = name;
    f.type = FieldType::String;
    f.size = size;
    return f;
}

FieldDef typedField(const std::string& name, FieldType type) {
    FieldDef f;
    f.name = name;
    f.type = type;
    return f;
}

Value text(const std::string& s) { return s.empty() ? Value() : Value(s); }
Value ansi(const char* utf8) { return text(utf8ToAnsi(utf8)); }

void write(const std::string& folder, const std::string& name, const PacketContent& content, PacketFormat format) {
    writePacketFile(folder + name, content, format);
    std::printf("  %s (%zu rows)\n", name.c_str(), content.rows.size());
}

// ---------------------------------------------------------------------------
// The catalogue: one bank per layout code. The ordering party of the demo
// dispositions banks with "Banca Demo Nord", so a first run preselects it.
// ---------------------------------------------------------------------------

struct Bank {
    const char* name;  // display name (Banca)
    const char* code;  // layout code (CodTracciato)
    const char* abi;
    const char* format = "";  // Formato: empty for the fixed-width file, else the XML message
};

const std::vector<Bank> kBanks = {
    {"Banca Demo Nord", "CBI_5_02", "03442"},
    {"Cassa Rurale Demo", "CBI_SEP", "08765"},
    {"Banca Popolare Demo", "CBI_SEP2", "05176"},
    {"Credito Cooperativo Demo", "CBI_MARCA", "08327"},
    {"Banca Tesoriera Demo", "DELTA_SIOPE", "06890"},
    {"Banca Servizi Demo", "SETIF", "03958"},
    {"SanPaolo - Enti24", "CBI_STD", "03127"},
    // The ordering party's bank again, taking the salary batch as XML.
    {"Banca Demo Nord - SEPA XML", "SEPA_CBI", "03442", "CBIBdyPaymentRequest.00.04.01"},
    {"Banca Demo Nord - ISO 20022", "SEPA_ISO", "03442", "pain.001.001.09"},
};

const char* const kOrderingAbi = "03442";  // Banca Demo Nord

PacketContent catalogue() {
    PacketContent c;
    c.fields = {textField("Banca", 40), textField("CodTracciato", 20), textField("ABI", 5),
                textField("PosTipoRecord", 10), textField("Formato", 40)};
    for (const Bank& b : kBanks)
        c.rows.push_back({text(b.name), text(b.code), text(b.abi), text(*b.format ? "" : "2-3"), text(b.format)});
    return c;
}

bool isXml(const Bank& b) { return *b.format != '\0'; }

// ---------------------------------------------------------------------------
// XML banks: the layout file maps message elements to disposition fields
// (FieldName) or constants (ValOut). Most rows are the program's defaults,
// written out so that a payroll office sees what it may change; the whole
// IBAN (SACOMNUMCC, used when it holds one) and the ordering party's address
// are mapped here only. The countries of the addresses are their IBANs'.
// ---------------------------------------------------------------------------

PacketContent xmlLayoutPacket() {
    PacketContent c;
    c.fields = {typedField("Ord", FieldType::Int32), textField("Element", 60), textField("FieldName", 30),
                textField("ValOut", 40)};
    const std::vector<std::pair<const char*, const char*>> fields = {
        {"InitgPty/Nm", "DESC_ORDINANTE"},
        {"InitgPty/Id", "CUC"},
        {"ReqdExctnDt", "DATA_DISPOSIZIONE"},
        {"Dbtr/Nm", "DESC_ORDINANTE"},
        {"Dbtr/PstlAdr/StrtNm", "IND_ORDINANTE"},
        {"Dbtr/PstlAdr/TwnNm", "COM_ORDINANTE"},
        {"DbtrAcct/Id/IBAN.Stato", "IBAN_STATO_ORDINANTE"},
        {"DbtrAcct/Id/IBAN.Controllo", "IBAN_CKD_ORDINANTE"},
        {"DbtrAcct/Id/IBAN.CIN", "CIN_ORDINANTE"},
        {"DbtrAcct/Id/IBAN.ABI", "ABI_ORDINANTE"},
        {"DbtrAcct/Id/IBAN.CAB", "CAB_ORDINANTE"},
        {"DbtrAcct/Id/IBAN.Conto", "CC_ORDINANTE"},
        {"DbtrAgt/FinInstnId/ClrSysMmbId/MmbId", "ABI_ORDINANTE"},
        {"PmtId/EndToEndId", "COD_CLIENTE"},
        {"Amt/InstdAmt", "IMPORTO"},
        {"Cdtr/Nm", "DESC_DESTINATARIO"},
        {"Cdtr/PstlAdr/StrtNm", "IND_DESTINATARIO"},
        {"Cdtr/PstlAdr/PstCd", "CAP_DESTINATARIO"},
        {"Cdtr/PstlAdr/TwnNm", "COM_DESTINATARIO"},
        {"CdtrAcct/Id/IBAN", "SACOMNUMCC"},
        {"CdtrAcct/Id/IBAN.Stato", "IBAN_STATO_DESTINATARIO"},
        {"CdtrAcct/Id/IBAN.Controllo", "IBAN_CKD_DESTINATARIO"},
        {"CdtrAcct/Id/IBAN.CIN", "CIN"},
        {"CdtrAcct/Id/IBAN.ABI", "ABI_DESTINATARIO"},
        {"CdtrAcct/Id/IBAN.CAB", "CAB_DESTINATARIO"},
        {"CdtrAcct/Id/IBAN.Conto", "CC_DESTINATARIO"},
        {"RmtInf/Ustrd", "DESC_CAUSALE"},
    };
    const std::vector<std::pair<const char*, const char*>> constants = {
        {"PmtTpInf/CtgyPurp/Cd", "SALA"},
    };
    int ord = 0;
    for (const auto& [element, field] : fields) c.rows.push_back({Value(ord += 10), text(element), text(field), Value()});
    for (const auto& [element, value] : constants)
        c.rows.push_back({Value(ord += 10), text(element), Value(), text(value)});
    return c;
}

// ---------------------------------------------------------------------------
// Record layouts
//
// A record is written as a list of fields with their lengths; the positions
// are counted here, so every record tiles 1..120 by construction (checked
// again before writing). Field kinds:
//   val(name, len, type, required, fill)   a disposition field
//   tot(name, len)                         a running total (Extra "F")
//   constant(text)                         a filler whose filling is the text
//   blanksTo(end)                          blanks up to position end
// ---------------------------------------------------------------------------

constexpr int kRecordLength = 120;

struct LayoutField {
    std::string name;
    int length = 0;        // 0 with endPos set: up to endPos
    int endPos = 0;
    std::string type;      // ColType
    std::string extra;     // Extra
    std::string required;  // Required
    std::string fill;      // FillingChar
};

LayoutField val(const std::string& name, int len, const std::string& type, const std::string& required = "",
                const std::string& fill = "") {
    return {name, len, 0, type, "", required, fill};
}
LayoutField tot(const std::string& name, int len) { return {name, len, 0, "N", "F", "", "0"}; }
LayoutField constant(const std::string& s) { return {"TIPO_RECORD", static_cast<int>(s.size()), 0, "F", "", "", s}; }
LayoutField blanks(int len) { return {"FILLER", len, 0, "F", "", "", ""}; }
LayoutField blanksTo(int endPos) { return {"FILLER", 0, endPos, "F", "", "", ""}; }
LayoutField zerosTo(int endPos) { return {"FILLER", 0, endPos, "F", "", "", "0"}; }
LayoutField withExtra(LayoutField f, const std::string& extra) {
    f.extra = extra;
    return f;
}

// What sets one bank's layout apart from the others.
struct LayoutVariant {
    std::string dateType = "D";      // "D" ddmmyy or "D8" yyyymmdd
    bool payerIban = true;           // record 16
    bool record65 = true;            // record 65
    bool supportName = true;         // NOME_SUPPORTO in PC/EF
    bool executionDate = true;       // DATA_DISPOSIZIONE in record 10
    bool valueDate = true;           // DATA_VALUTA in record 10
    bool paymentMode = false;        // MODALITA_PAGAMENTO in record 10
    std::string accountExtra;        // Extra of the ordering account (e.g. "R")
    std::string payeeAccountCheck;   // Required of the payee account in record 10
    std::string executionCheck = "O";
    std::string valueCheck = "O";
    std::vector<LayoutField> extension;  // bank-specific fields of record 65
};

int dateLength(const std::string& type) { return type == "D8" ? 8 : 6; }

struct Record {
    std::string code;
    std::vector<LayoutField> fields;
};

std::vector<Record> layoutRecords(const LayoutVariant& v) {
    const std::string& d = v.dateType;
    const int dl = dateLength(d);
    const LayoutField start = blanks(1);
    const LayoutField prog = tot("PROGRESSIVO", 7);
    const LayoutField support = v.supportName ? val("NOME_SUPPORTO", 20, "AN", "O") : blanks(20);

    std::vector<Record> r;
    r.push_back({"PC",
                 {start, constant("PC"), val("Mittente", 5, "AN", "O"), val("ABI_ORDINANTE", 5, "N", "O", "0"),
                  val("DATA_CREAZIONE", dl, d, "O"), support, blanksTo(112), blanks(1), constant("E"),
                  blanksTo(120)}});
    r.push_back({"10",
                 {start, constant("10"), prog, blanksTo(28 - 2 * dl),
                  v.executionDate ? val("DATA_DISPOSIZIONE", dl, d, v.executionCheck) : blanks(dl),
                  v.valueDate ? val("DATA_VALUTA", dl, d, v.valueCheck) : blanks(dl),
                  val("CAUSALE", 5, "N", "O", "0"), val("IMPORTO", 13, "N", "O", "0"), constant("+"),
                  val("ABI_ORDINANTE", 5, "N", "O", "0"), val("CAB_ORDINANTE", 5, "N", "O", "0"),
                  withExtra(val("CC_ORDINANTE", 12, "AN", "O"), v.accountExtra),
                  val("ABI_DESTINATARIO", 5, "N", "", "0"), val("CAB_DESTINATARIO", 5, "N", "", "0"),
                  val("CC_DESTINATARIO", 12, "AN", v.payeeAccountCheck), blanksTo(97),
                  val("COD_CLIENTE", 16, "AN"),
                  v.paymentMode ? val("MODALITA_PAGAMENTO", 1, "N", "", "0") : blanks(1), blanksTo(119),
                  constant("E")}});
    if (v.payerIban)
        r.push_back({"16",
                     {start, constant("16"), prog, val("IBAN_STATO_ORDINANTE", 2, "AN"),
                      val("IBAN_CKD_ORDINANTE", 2, "N", "", "0"), val("CIN_ORDINANTE", 1, "AN"),
                      val("ABI_ORDINANTE", 5, "N", "O", "0"), val("CAB_ORDINANTE", 5, "N", "O", "0"),
                      withExtra(val("CC_ORDINANTE", 12, "AN", "O"), v.accountExtra), blanksTo(120)}});
    r.push_back({"17",
                 {start, constant("17"), prog, val("IBAN_STATO_DESTINATARIO", 2, "AN"),
                  val("IBAN_CKD_DESTINATARIO", 2, "N", "", "0"), val("CIN", 1, "AN"),
                  val("ABI_DESTINATARIO", 5, "N", "O", "0"), val("CAB_DESTINATARIO", 5, "N", "O", "0"),
                  val("CC_DESTINATARIO", 12, "AN", "O"), blanksTo(120)}});
    r.push_back({"20",
                 {start, constant("20"), prog, val("DESC_ORDINANTE", 30, "AN", "O"), val("IND_ORDINANTE", 30, "AN"),
                  val("COM_ORDINANTE", 30, "AN"), val("CF_ORDINANTE", 16, "AN", "O"), blanksTo(120)}});
    r.push_back({"30",
                 {start, constant("30"), prog, val("DESC_DESTINATARIO", 30, "AN", "O"), blanksTo(100),
                  val("CF_DESTINATARIO", 16, "AN", "O"), blanksTo(120)}});
    r.push_back({"35",
                 {start, constant("35"), prog, val("DESC_MOD_PAGAMENTO", 30, "AN", "O"), blanksTo(120)}});
    r.push_back({"40",
                 {start, constant("40"), prog, val("IND_DESTINATARIO", 30, "AN", "C2"),
                  val("CAP_DESTINATARIO", 5, "N", "", "0"), val("COM_DESTINATARIO", 23, "AN"),
                  val("PROV_DESTINATARIO", 2, "AN"), val("BANCA_DESCR_DEST", 50, "AN")}});
    r.push_back({"50", {start, constant("50"), prog, val("DESC_CAUSALE", 90, "AN"), blanksTo(120)}});
    if (v.record65) {
        Record ext{"65",
                   {start, constant("65"), prog, val("MESE", 2, "N", "O", "0"), val("ESERCIZIO", 4, "N", "O", "0"),
                    val("SACOMNUMCC", 27, "AN")}};
        ext.fields.insert(ext.fields.end(), v.extension.begin(), v.extension.end());
        ext.fields.push_back(blanksTo(120));
        r.push_back(ext);
    }
    r.push_back({"70", {start, constant("70"), prog, blanksTo(110), val("CIN", 1, "AN"), blanksTo(120)}});
    r.push_back({"EF",
                 {start, constant("EF"), val("Mittente", 5, "AN", "O"), val("ABI_ORDINANTE", 5, "N", "O", "0"),
                  val("DATA_CREAZIONE", dl, d, "O"), support, blanksTo(45), tot("PROGRESSIVO", 7), zerosTo(67),
                  tot("TOT_IMP_POS", 15), tot("TOT_RECORD", 7), blanksTo(112), blanks(1), constant("E"),
                  blanksTo(120)}});
    return r;
}

PacketContent layoutPacket(const std::vector<Record>& records) {
    PacketContent c;
    c.fields = {textField("Record", 2),  typedField("Ord", FieldType::Int32), textField("Pos", 7),
                textField("FieldName", 30), textField("ColType", 3), textField("Extra", 1),
                textField("Required", 2), textField("FillingChar", 2)};
    int ord = 0;
    for (const Record& rec : records) {
        int next = 1;
        for (const LayoutField& f : rec.fields) {
            const int len = f.length > 0 ? f.length : f.endPos - next + 1;
            if (len <= 0) throw std::logic_error("record " + rec.code + ": field " + f.name + " has no room");
            const int end = next + len - 1;
            ord += 10;
            c.rows.push_back({text(rec.code), Value(ord), text(std::to_string(next) + "-" + std::to_string(end)),
                              text(f.name), text(f.type), text(f.extra), text(f.required), text(f.fill)});
            next = end + 1;
        }
        if (next != kRecordLength + 1)
            throw std::logic_error("record " + rec.code + " is " + std::to_string(next - 1) + " characters long");
    }
    return c;
}

// ---------------------------------------------------------------------------
// Transfer rules
// ---------------------------------------------------------------------------

struct Rule {
    std::string fieldName;
    std::string type;  // "AN" edit, "D" date edit, anything else: the constant ValOut
    std::string valOut;
    std::string condition;
    std::string fieldOut;
};

Rule edit(const std::string& field) { return {field, "AN", "", "", ""}; }
Rule date(const std::string& field) { return {field, "D", "", "", ""}; }
Rule setIf(const std::string& field, const std::string& value, const std::string& condition) {
    return {field, "C", value, condition, ""};
}
// A copy rule names no header control: its ColType must be neither "AN" nor "D",
// or the window would look for an edit "ed" + field.
Rule copyFrom(const std::string& field, const std::string& source) { return {field, "C", "", "", source}; }

PacketContent rulesPacket(const std::vector<Rule>& rules, bool withFieldOut) {
    PacketContent c;
    c.fields.push_back(textField("FieldName", 30));
    if (withFieldOut) c.fields.push_back(textField("FieldOut", 30));
    c.fields.push_back(textField("ColType", 3));
    c.fields.push_back(textField("ValOut", 40));
    c.fields.push_back(textField("Condition", 120));
    for (const Rule& r : rules) {
        if (!withFieldOut && !r.fieldOut.empty()) throw std::logic_error("FieldOut rule in a file without FieldOut");
        Row row{text(r.fieldName)};
        if (withFieldOut) row.push_back(text(r.fieldOut));
        row.push_back(text(r.type));
        row.push_back(text(r.valOut));
        row.push_back(text(r.condition));
        c.rows.push_back(row);
    }
    return c;
}

// ---------------------------------------------------------------------------
// What each demo bank asks for: header values (rules) and its layout variant.
// The conditional checks sit where the program's rule set for that layout
// code looks: C1 on the payee account (on the value date for CBI_MARCA), C2
// on the payee address, C3 on the expiry date (CBI_SEP2), C4 on the execution
// date (CBI_SEP).
// ---------------------------------------------------------------------------

struct BankSetup {
    LayoutVariant layout;
    std::vector<Rule> rules;
    bool fieldOutColumn = false;
};

BankSetup setupFor(const std::string& code) {
    BankSetup s;
    LayoutVariant& v = s.layout;
    const Rule mittente = edit("Mittente"), supporto = edit("NOME_SUPPORTO"), conto = edit("CC_ORDINANTE"),
               tesoreria = edit("Conto_Tesoreria"), creazione = date("DATA_CREAZIONE"),
               esecuzione = date("DATA_DISPOSIZIONE"), valuta = date("DATA_VALUTA"), scadenza = date("DATA_SCADENZA");

    if (code == "CBI_5_02") {
        v.payeeAccountCheck = "C1";
        s.rules = {mittente, supporto, conto, creazione, esecuzione, valuta,
                   setIf("CAUSALE", "48000", "IMPGID = 1")};
    } else if (code == "CBI_SEP") {
        v.payerIban = false;
        v.valueDate = false;
        v.paymentMode = true;
        v.payeeAccountCheck = "C1";
        v.executionCheck = "C4";
        s.rules = {mittente, supporto, conto, creazione, esecuzione};
        s.fieldOutColumn = true;  // present, and empty in every rule
    } else if (code == "CBI_SEP2") {
        v.dateType = "D8";
        v.valueDate = false;
        v.payeeAccountCheck = "C1";
        v.extension = {val("DATA_SCADENZA", 8, "D8", "C3", "0")};
        s.rules = {mittente, supporto, conto, creazione, esecuzione, scadenza};
    } else if (code == "CBI_MARCA") {
        v.supportName = false;
        v.executionDate = false;
        v.valueCheck = "C1";
        s.rules = {mittente, creazione, valuta};
    } else if (code == "DELTA_SIOPE") {
        v.valueDate = false;
        v.accountExtra = "R";
        v.payeeAccountCheck = "C1";
        v.extension = {val("Conto_Tesoreria", 7, "N", "O"), val("CCP_DESTINATARIO", 12, "AN")};
        s.rules = {mittente, supporto, conto, tesoreria, creazione, esecuzione, copyFrom("COD_CLIENTE", "CF_DESTINATARIO")};
        s.fieldOutColumn = true;
    } else if (code == "SETIF") {
        v.dateType = "D8";
        v.record65 = false;
        v.executionDate = false;
        v.accountExtra = "R";
        v.payeeAccountCheck = "C1";
        s.rules = {mittente, supporto, conto, creazione, valuta, setIf("CAUSALE", "27010", "IMPGID IN (2, 4)")};
    } else {  // a layout code without checks of its own
        v.extension = {val("Conto_Tesoreria", 7, "N", "O"), val("DATA_SCADENZA", 6, "D", "O")};
        s.rules = {mittente, supporto, tesoreria, creazione, esecuzione, valuta, scadenza};
    }
    return s;
}

// ---------------------------------------------------------------------------
// Codes a payroll office has on file: fiscal codes, CIN, IBAN check digits,
// VAT check digit. They are computed so that the demo data looks genuine.
// ---------------------------------------------------------------------------

// Upper-case ASCII letters of a cp1252 text, accents folded (Niccolò -> NICCOLO).
std::string lettersOf(const std::string& cp1252) {
    static const std::string from = "\xC0\xC1\xC8\xC9\xCC\xCD\xD2\xD3\xD9\xDA\xE0\xE1\xE8\xE9\xEC\xED\xF2\xF3\xF9\xFA";
    static const std::string to = "AAEEIIOOUUAAEEIIOOUU";
    std::string out;
    for (char ch : cp1252) {
        const auto k = from.find(ch);
        if (k != std::string::npos) ch = to[k];
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
        if (ch >= 'A' && ch <= 'Z') out += ch;
    }
    return out;
}

bool isVowel(char c) { return std::string("AEIOU").find(c) != std::string::npos; }

// Value of a character at an odd position (1, 3, ...) in the check-character
// tables shared by fiscal codes and bank CINs; digits count as A..J.
int oddValue(char c) {
    static const int table[26] = {1, 0, 5, 7, 9, 13, 15, 17, 19, 21, 2, 4, 18, 20, 11, 3, 6, 8, 12, 14, 16, 10, 22, 25, 24, 23};
    return table[c >= '0' && c <= '9' ? c - '0' : c - 'A'];
}
int evenValue(char c) { return c >= '0' && c <= '9' ? c - '0' : c - 'A'; }

char checkLetter(const std::string& s) {
    int sum = 0;
    for (std::size_t i = 0; i < s.size(); ++i) sum += (i % 2 == 0) ? oddValue(s[i]) : evenValue(s[i]);
    return static_cast<char>('A' + sum % 26);
}

std::string fiscalCode(const std::string& surname, const std::string& name, char sex, int y, int m, int d,
                       const std::string& placeCode) {
    auto consonantsVowels = [](const std::string& letters, bool nameRule) {
        std::string cons, vows;
        for (char c : letters) (isVowel(c) ? vows : cons) += c;
        if (nameRule && cons.size() >= 4) return std::string{cons[0], cons[2], cons[3]};
        return (cons + vows + "XXX").substr(0, 3);
    };
    static const char* months = "ABCDEHLMPRST";
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d%c%02d", y % 100, months[m - 1], sex == 'F' ? d + 40 : d);
    std::string cf = consonantsVowels(lettersOf(surname), false) + consonantsVowels(lettersOf(name), true) + buf + placeCode;
    return cf + checkLetter(cf);
}

std::string cin(const std::string& abi, const std::string& cab, const std::string& account) {
    return std::string(1, checkLetter(abi + cab + account));
}

std::string ibanCheckDigits(const std::string& bban) {
    int rest = 0;
    for (char c : bban + "IT00") {
        const int v = (c >= '0' && c <= '9') ? c - '0' : c - 'A' + 10;
        rest = (v >= 10 ? rest * 100 : rest * 10) + v;
        rest %= 97;
    }
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02d", 98 - rest);
    return buf;
}

// An Italian VAT number / numeric fiscal code with its check digit.
std::string vatNumber(const std::string& tenDigits) {
    int sum = 0;
    for (std::size_t i = 0; i < tenDigits.size(); ++i) {
        int x = tenDigits[i] - '0';
        if (i % 2 == 1) x = x * 2 > 9 ? x * 2 - 9 : x * 2;
        sum += x;
    }
    return tenDigits + static_cast<char>('0' + (10 - sum % 10) % 10);
}

// ---------------------------------------------------------------------------
// The dispositions: the ordering party, then one line per payee.
// ---------------------------------------------------------------------------

struct OrderingParty {
    const char* name = "Comune di Montevario";
    const char* address = "Piazza del Municipio 1";
    const char* town = "06010 Montevario (PG)";
    std::string fiscalCode = vatNumber("0038015054");
    const char* cab = "38470";
    const char* account = "000010203040";
};

enum class Pay { Account, Postal, Cash, Giroconto, Cheque, Suspended };

struct PayKind {
    int impgid;
    int mode;  // -1: no payment mode (not accepted by the bank file)
    const char* description;
};

PayKind kindOf(Pay p) {
    switch (p) {
        case Pay::Account: return {3, 1, "Bonifico su c/c bancario"};
        case Pay::Postal: return {5, 4, "Bonifico su c/c postale"};
        case Pay::Cash: return {1, 2, "Pagamento per cassa"};
        case Pay::Giroconto: return {2, 0, "Giroconto c/o tesoriere"};
        case Pay::Cheque: return {4, 3, "Assegno circolare"};
        case Pay::Suspended: return {3, -1, "Pagamento sospeso"};
    }
    return {0, -1, ""};
}

// Banks of the payees: ABI and description (the catalogue banks plus two more).
struct PayeeBank {
    const char* abi;
    const char* name;
};
const std::vector<PayeeBank> kPayeeBanks = {
    {"03442", "Banca Demo Nord"},     {"08765", "Cassa Rurale Demo"},     {"05176", "Banca Popolare Demo"},
    {"08327", "Credito Cooperativo Demo"}, {"06890", "Banca Tesoriera Demo"}, {"03958", "Banca Servizi Demo"},
    {"05584", "Banca Agricola Demo"}, {"03268", "Banca del Territorio Demo"}, {"07601", "Ufficio postale"},
};

struct Payee {
    const char* surname;  // UTF-8, converted to cp1252 on the way
    const char* name;
    char sex;
    int birthYear, birthMonth, birthDay;
    const char* birthPlace;  // cadastral code of the birth town
    const char* street;
    const char* cap;
    const char* town;
    const char* prov;
    Pay pay;
    int bank;             // index in kPayeeBanks, -1 none
    const char* cab;      // branch; for a giroconto, the treasurer's branch
    const char* account;  // 12 characters
    int cents;
};

// clang-format off
const std::vector<Payee> kPayees = {
    {"Rossi", "Mario", 'M', 1968, 4, 12, "G478", "Via XX Settembre 14", "06121", "Perugia", "PG", Pay::Account, 0, "03000", "000001234567", 185432},
    {"Bianchi", "Giulia", 'F', 1979, 9, 3, "G478", "Via dei Priori 8", "06123", "Perugia", "PG", Pay::Account, 1, "38470", "000000456123", 162090},
    {"D'Agostino", "Francesco", 'M', 1971, 1, 27, "F839", "Via Fratelli Rosselli 22", "06012", "Città di Castello", "PG", Pay::Account, 2, "21601", "CC0018273645", 231875},
    {"Esposito", "Anna", 'F', 1985, 6, 15, "F839", "Via Roma 45", "06019", "Umbertide", "PG", Pay::Postal, 8, "01000", "001025463781", 141260},
    {"Ferrari", "Niccolò", 'M', 1990, 11, 2, "A944", "Via della Pace 3", "06024", "Gubbio", "PG", Pay::Account, 3, "38280", "000000998877", 152400},
    {"Romano", "Lucia", 'F', 1966, 2, 21, "H501", "Viale Trento e Trieste 10", "06034", "Foligno", "PG", Pay::Account, 4, "21700", "000003344556", 204518},
    {"Colombo", "Andrea", 'M', 1982, 7, 9, "F205", "Via Garibaldi 67", "06081", "Assisi", "PG", Pay::Cash, -1, "", "", 98750},
    {"Ricci", "Chiara", 'F', 1993, 12, 30, "G478", "Via Mazzini 5", "06049", "Spoleto", "PG", Pay::Account, 5, "38300", "000000075319", 138905},
    {"Marino", "Giuseppe", 'M', 1959, 3, 18, "G273", "Corso Cavour 101", "06059", "Todi", "PG", Pay::Giroconto, -1, "38470", "000000662211", 246730},
    {"Greco", "Francesca", 'F', 1975, 5, 6, "E506", "Via Vittorio Veneto 12", "06055", "Marsciano", "PG", Pay::Account, 6, "03220", "000012003400", 175060},
    {"Bruno", "Alessandro", 'M', 1988, 8, 24, "L219", "Via Cesare Battisti 9", "06073", "Corciano", "PG", Pay::Account, 7, "21400", "000000551122", 167345},
    {"Gallo", "Sara", 'F', 1991, 10, 11, "G478", "Via San Francesco 2", "06083", "Bastia Umbra", "PG", Pay::Postal, 8, "01000", "001033217954", 129880},
    {"Conti", "Lorenzo", 'M', 1970, 1, 5, "D612", "Via Dante Alighieri 30", "06023", "Gualdo Tadino", "PG", Pay::Account, 0, "03001", "000007788990", 219410},
    {"De Luca", "Martina", 'F', 1984, 4, 29, "H224", "Via Piave 16", "05100", "Terni", "TR", Pay::Cheque, -1, "", "", 112500},
    {"Mancini", "Davide", 'M', 1977, 6, 1, "G478", "Via Pievaiola 88", "06128", "Perugia", "PG", Pay::Account, 1, "38471", "000000324576", 158220},
    {"Costa", "Elena", 'F', 1969, 9, 19, "D969", "Via Nazionale 4", "52044", "Cortona", "AR", Pay::Account, 2, "71410", "000000908172", 196735},
    {"Giordano", "Matteo", 'M', 1995, 2, 14, "C351", "Via Tiberina 120", "06012", "Città di Castello", "PG", Pay::Cash, -1, "", "", 87320},
    {"Rizzo", "Valentina", 'F', 1987, 11, 25, "A662", "Piazza Matteotti 7", "52037", "Sansepolcro", "AR", Pay::Account, 3, "71600", "000004455667", 143090},
    {"Lombardi", "Stefano", 'M', 1963, 7, 31, "G478", "Via Settevalli 210", "06129", "Perugia", "PG", Pay::Suspended, 0, "03000", "000002109876", 201470},
    {"Moretti", "Silvia", 'F', 1980, 3, 8, "L736", "Via della Libertà 19", "06034", "Foligno", "PG", Pay::Account, 4, "21701", "000000135790", 178615},
    {"Barbieri", "Federico", 'M', 1992, 5, 23, "G478", "Via Flaminia 55", "06049", "Spoleto", "PG", Pay::Postal, 8, "01000", "001040556612", 133975},
    {"Fontana", "Alessia", 'F', 1973, 8, 17, "D704", "Via Cortonese 41", "06124", "Perugia", "PG", Pay::Account, 5, "38301", "000000864213", 188040},
    {"Santoro", "Pietro", 'M', 1961, 12, 4, "G478", "Via del Sole 6", "06081", "Assisi", "PG", Pay::Giroconto, -1, "38470", "000000662298", 254190},
    {"Mariani", "Paola", 'F', 1976, 10, 28, "G478", "Via Manzoni 11", "06024", "Gubbio", "PG", Pay::Account, 6, "03221", "000015001500", 166480},
    {"Rinaldi", "Luca", 'M', 1983, 1, 16, "F205", "Via Ponte Vecchio 3", "06019", "Umbertide", "PG", Pay::Cheque, -1, "", "", 121015},
    {"Caruso", "Ilaria", 'F', 1994, 6, 12, "F839", "Viale Centova 14", "06128", "Perugia", "PG", Pay::Account, 7, "21401", "000000228844", 136500},
    {"Ferrara", "Giovanni", 'M', 1958, 4, 2, "G478", "Via Assisana 72", "06089", "Torgiano", "PG", Pay::Account, 0, "03002", "000000700070", 239915},
    {"Galli", "Roberta", 'F', 1989, 9, 9, "E625", "Via Fonti Coperte 25", "06124", "Perugia", "PG", Pay::Suspended, 1, "38470", "000000112358", 150000},
    {"Martini", "Emanuele", 'M', 1974, 3, 26, "A271", "Via Martiri della Resistenza 5", "06034", "Foligno", "PG", Pay::Account, 1, "38472", "000000246810", 172390},
    {"Leone", "Beatrice", 'F', 1997, 7, 13, "L781", "Via Canale 18", "06059", "Todi", "PG", Pay::Postal, 8, "01000", "001051203344", 119845},
    {"Longo", "Salvatore", 'M', 1965, 11, 7, "G273", "Via Orvietana 9", "06055", "Marsciano", "PG", Pay::Account, 2, "21602", "000000314159", 209265},
    {"Gentile", "Federica", 'F', 1986, 2, 19, "G224", "Via Bonazzi 33", "06123", "Perugia", "PG", Pay::Account, 3, "38281", "000000271828", 157770},
    {"Martinelli", "Simone", 'M', 1979, 5, 30, "F257", "Via Gramsci 44", "06073", "Corciano", "PG", Pay::Cash, -1, "", "", 94060},
    {"Vitale", "Cristina", 'F', 1972, 8, 5, "G337", "Via Cavour 27", "06083", "Bastia Umbra", "PG", Pay::Account, 4, "21702", "000000161803", 191225},
    {"Lombardo", "Antonio", 'M', 1960, 10, 14, "B354", "Via Baglioni 1", "06121", "Perugia", "PG", Pay::Suspended, 5, "38302", "000000577215", 226300},
    {"Serra", "Noemi", 'F', 1996, 12, 22, "I452", "Via Tuderte 60", "06132", "Perugia", "PG", Pay::Account, 6, "03222", "000000141421", 131080},
    {"Coppola", "Raffaele", 'M', 1967, 1, 10, "F839", "Via Sant'Angelo 13", "06123", "Perugia", "PG", Pay::Account, 7, "21402", "000000173205", 198650},
    {"De Santis", "Giorgia", 'F', 1981, 4, 4, "H501", "Via dell'Acquedotto 8", "06024", "Gubbio", "PG", Pay::Cheque, -1, "", "", 109990},
    {"Fabbri", "Nicolò", 'M', 1985, 6, 27, "D704", "Via Aretina 21", "52100", "Arezzo", "AR", Pay::Account, 0, "03003", "000000223606", 161545},
    {"Marchetti", "Irene", 'F', 1990, 3, 3, "G478", "Via Annibale Vecchi 70", "06123", "Perugia", "PG", Pay::Suspended, -1, "", "", 76020},
};
// clang-format on

const char* const kPayrollMonth = "11";
const char* const kPayrollYear = "2026";

std::vector<FieldDef> dispositionFields() {
    return {typedField("IMPGID", FieldType::Int32),
            typedField("MODALITA_PAGAMENTO", FieldType::Int32),
            textField("DESC_MOD_PAGAMENTO", 40),
            typedField("IMPORTO", FieldType::Int32),
            typedField("IMPORTO_EURO", FieldType::Float),
            textField("DESC_DESTINATARIO", 60),
            textField("ABI_DESTINATARIO", 5),
            textField("CAB_DESTINATARIO", 5),
            textField("CC_DESTINATARIO", 12),
            textField("CCP_DESTINATARIO", 12),
            textField("CIN", 1),
            textField("IBAN_STATO_DESTINATARIO", 2),
            textField("IBAN_CKD_DESTINATARIO", 2),
            textField("CF_DESTINATARIO", 16),
            textField("IND_DESTINATARIO", 40),
            textField("CAP_DESTINATARIO", 5),
            textField("COM_DESTINATARIO", 40),
            textField("PROV_DESTINATARIO", 2),
            textField("BANCA_DESCR_DEST", 50),
            textField("SACOMNUMCC", 27),
            textField("COD_CLIENTE", 16),
            textField("CAUSALE", 5),
            textField("DESC_CAUSALE", 90),
            textField("ABI_ORDINANTE", 5),
            textField("CAB_ORDINANTE", 5),
            textField("CC_ORDINANTE", 20),
            textField("CIN_ORDINANTE", 1),
            textField("IBAN_STATO_ORDINANTE", 2),
            textField("IBAN_CKD_ORDINANTE", 2),
            textField("DESC_ORDINANTE", 40),
            textField("IND_ORDINANTE", 40),
            textField("COM_ORDINANTE", 40),
            textField("CF_ORDINANTE", 16),
            textField("Mittente", 5),
            textField("NOME_SUPPORTO", 20),
            textField("Conto_Tesoreria", 20),
            typedField("DATA_CREAZIONE", FieldType::Date),
            typedField("DATA_DISPOSIZIONE", FieldType::Date),
            typedField("DATA_VALUTA", FieldType::Date),
            typedField("DATA_SCADENZA", FieldType::Date),
            textField("MESE", 2),
            textField("ESERCIZIO", 4)};
}

PacketContent dispositions() {
    const OrderingParty op;
    const std::string opCin = cin(kOrderingAbi, op.cab, op.account);
    const std::string opCkd = ibanCheckDigits(opCin + kOrderingAbi + op.cab + op.account);

    PacketContent c;
    c.fields = dispositionFields();
    int number = 0;
    for (const Payee& p : kPayees) {
        ++number;
        const PayKind kind = kindOf(p.pay);
        const std::string surname = utf8ToAnsi(p.surname), name = utf8ToAnsi(p.name);
        const bool hasAccount = *p.account != '\0';
        const std::string abi = p.bank >= 0 ? kPayeeBanks[p.bank].abi : "";
        // A giroconto stays with the treasurer: no payee bank code, the treasurer's coordinates.
        const std::string coordAbi = p.pay == Pay::Giroconto ? kOrderingAbi : abi;
        const std::string payeeCin = hasAccount ? cin(coordAbi, p.cab, p.account) : "";
        const std::string ckd = hasAccount ? ibanCheckDigits(payeeCin + coordAbi + p.cab + p.account) : "";
        std::string bankDescr;
        if (p.pay == Pay::Giroconto)
            bankDescr = "Banca Demo Nord - Tesoreria comunale";
        else if (p.bank >= 0)
            bankDescr = std::string(kPayeeBanks[p.bank].name) + " - " + utf8ToAnsi(p.town);
        char matricola[16];
        std::snprintf(matricola, sizeof matricola, "%06d", 100 + number * 7);
        const std::string remittance = "Retribuzione " + std::string(kPayrollMonth) + "/" + kPayrollYear +
                                       " - matricola " + matricola;
        const bool orderingIban = number % 4 == 1;  // only some rows carry the ordering party's IBAN parts

        c.rows.push_back({
            Value(kind.impgid),
            kind.mode >= 0 ? Value(kind.mode) : Value(),
            text(kind.description),
            Value(p.cents),
            Value(p.cents / 100.0),
            text(surname + " " + name),
            text(abi),
            text(hasAccount ? p.cab : ""),
            text(p.account),
            text(p.pay == Pay::Postal ? p.account : ""),
            text(payeeCin),
            text(hasAccount ? "IT" : ""),
            text(ckd),
            text(fiscalCode(surname, name, p.sex, p.birthYear, p.birthMonth, p.birthDay, p.birthPlace)),
            ansi(p.street),
            text(p.cap),
            ansi(p.town),
            text(p.prov),
            text(bankDescr),
            text(hasAccount ? "IT" + ckd + payeeCin + coordAbi + p.cab + p.account : ""),
            text(matricola),
            text("27020"),
            text(remittance),
            text(kOrderingAbi),
            text(op.cab),
            text(op.account),
            text(orderingIban ? opCin : ""),
            text(orderingIban ? "IT" : ""),
            text(orderingIban ? opCkd : ""),
            text(op.name),
            text(op.address),
            text(op.town),
            text(op.fiscalCode),
            Value(),  // Mittente, NOME_SUPPORTO, Conto_Tesoreria and the dates come from the header
            Value(),
            Value(),
            Value(),
            Value(),
            Value(),
            Value(),
            text(kPayrollMonth),
            text(kPayrollYear),
        });
    }
    return c;
}

// The XML banks' payroll: the same dispositions, and one payee who lives in
// Germany and is paid on a German account (bank code and account number).
PacketContent dispositionsWithPayeeAbroad() {
    PacketContent c = dispositions();
    Row row = c.rows.front();  // an account payment; its ordering party's fields stay
    auto set = [&](const char* field, Value v) {
        for (std::size_t i = 0; i < c.fields.size(); ++i)
            if (c.fields[i].name == field) {
                row[i] = std::move(v);
                return;
            }
        throw std::runtime_error(std::string("no disposition field ") + field);
    };
    const std::string bban = "500105170648489890";
    const std::string checkDigits = IbanCheckDigits("DE", bban).value();
    const int number = static_cast<int>(c.rows.size()) + 1;
    char matricola[16];
    std::snprintf(matricola, sizeof matricola, "%06d", 100 + number * 7);
    const int cents = 174250;
    set("IMPORTO", Value(cents));
    set("IMPORTO_EURO", Value(cents / 100.0));
    set("DESC_DESTINATARIO", text("Weber Jonas"));
    for (const char* none : {"ABI_DESTINATARIO", "CAB_DESTINATARIO", "CC_DESTINATARIO", "CIN"}) set(none, Value());
    set("IBAN_STATO_DESTINATARIO", text("DE"));
    set("IBAN_CKD_DESTINATARIO", text(checkDigits));
    set("SACOMNUMCC", text("DE" + checkDigits + bban));
    set("CF_DESTINATARIO", text(fiscalCode("Weber", "Jonas", 'M', 1986, 3, 14, "Z112")));
    set("IND_DESTINATARIO", ansi("Lindenstraße 12"));
    set("CAP_DESTINATARIO", text("80331"));
    set("COM_DESTINATARIO", ansi("München"));
    set("PROV_DESTINATARIO", Value());
    set("BANCA_DESCR_DEST", ansi("Sparkasse Demo - München"));
    set("COD_CLIENTE", text(matricola));
    set("DESC_CAUSALE", text("Retribuzione " + std::string(kPayrollMonth) + "/" + kPayrollYear + " - matricola " + matricola));
    set("CIN_ORDINANTE", Value());
    set("IBAN_STATO_ORDINANTE", Value());
    set("IBAN_CKD_ORDINANTE", Value());
    c.rows.push_back(std::move(row));
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        std::string folder = argc > 1 ? argv[1] : "examples";
        if (!folder.empty() && folder.back() != '/') folder += '/';
        forceDirectories(folder);
        std::printf("Writing the demo data into %s\n", folder.c_str());

        write(folder, "Tracciati.xml", catalogue(), PacketFormat::Xml);
        for (const Bank& b : kBanks) {
            if (isXml(b)) {
                // The file is created when it is written: no creation date to ask.
                const std::vector<Rule> rules = {edit("CUC"), edit("CC_ORDINANTE"), date("DATA_DISPOSIZIONE")};
                write(folder, std::string(b.code) + ".Xml", xmlLayoutPacket(), PacketFormat::Xml);
                write(folder, std::string(b.code) + "_X.Xml", rulesPacket(rules, false), PacketFormat::Xml);
                continue;
            }
            const BankSetup s = setupFor(b.code);
            write(folder, std::string(b.code) + ".Xml", layoutPacket(layoutRecords(s.layout)), PacketFormat::Xml);
            write(folder, std::string(b.code) + "_X.Xml", rulesPacket(s.rules, s.fieldOutColumn), PacketFormat::Xml);
        }
        write(folder, "Disposizioni.cds", dispositions(), PacketFormat::Binary);
        forceDirectories(folder + "sepa");
        write(folder, "sepa/Disposizioni.cds", dispositionsWithPayeeAbroad(), PacketFormat::Binary);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-demo: %s\n", e.what());
        return 1;
    }
}

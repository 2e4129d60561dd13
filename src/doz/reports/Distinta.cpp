// The summary report: the dispositions totalled by payment group.
#include <cmath>
#include <optional>

#include "payments/PaymentKind.h"
#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/Regional.h"
#include "reports/Reports.h"
#include "reports/TextColumns.h"

namespace doz {

namespace {

constexpr char kSameBank[] = "BONIFICO STESSA BANCA";
constexpr char kOtherBanks[] = "BONIFICO ALTRE BANCHE";

// Only the letters a to z change; accented letters and everything else stay.
std::string upperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

FieldDef fieldDef(std::string name, FieldType type, int size = 0) {
    FieldDef def;
    def.name = std::move(name);
    def.type = type;
    def.size = size;
    return def;
}

}  // namespace

std::string ReportFolder(const FormState& form) { return form.paths.mainFolder + "var/log/Pzt/doz/stp/"; }

double ReportAmount(FormState& form, int number) {
    const double amount = form.cdsDisp.fieldByName("IMPORTO_EURO").asFloat();
    if (std::isfinite(amount)) return amount;
    const std::optional<Field> name = form.cdsDisp.findField("DESC_DESTINATARIO");
    std::string payee = name ? name->asText() : std::string();
    blankControlCharacters(payee);
    while (!payee.empty() && static_cast<unsigned char>(payee.back()) <= 32) payee.pop_back();
    throw ConvertError("Valore non valido per un importo: IMPORTO_EURO della disposizione " + std::to_string(number) +
                       (payee.empty() ? std::string() : " (" + payee + ")"));
}

void BuildSummary(FormState& form, std::int64_t& total) {
    Table& sum = form.cdsDistinta;
    Table& disp = form.cdsDisp;

    sum.close();
    sum.setFieldDefs({
        fieldDef("IMPGID", FieldType::Int32),
        fieldDef("ABI", FieldType::String, 5),
        fieldDef("Modalita", FieldType::String, 30),
        fieldDef("Importo", FieldType::Float),
    });
    sum.createDataSet();
    total = 0;

    int number = 0;
    disp.first();
    while (!disp.eof()) {
        ++number;
        const std::int64_t g = disp.fieldByName("IMPGID").asInteger();
        const bool transfer = IsAccountPaymentKind(g);
        const std::string ordering = disp.fieldByName("ABI_ORDINANTE").asText();
        const std::string key =
            transfer && ordering == disp.fieldByName("ABI_DESTINATARIO").asText() ? ordering : std::string("0");
        const std::int64_t group = SummaryGroup(g);
        const double amount = ReportAmount(form, number);

        if (sum.locate("IMPGID;ABI", {Value(group), Value(key)})) {
            sum.edit();
        } else {
            // A positional insert: the new group goes in ahead of the row the
            // last look-up found or the last insert placed.
            sum.insert();
            sum.fieldByName("IMPGID").setInteger(group);
            sum.fieldByName("ABI").setText(key);
            std::string label;
            if (group == payment_kind::kBankAccount)
                label = key != "0" ? kSameBank : kOtherBanks;
            else
                label = upperAscii(disp.fieldByName("DESC_MOD_PAGAMENTO").asText());
            sum.fieldByName("Modalita").setText(label);
        }
        Field importo = sum.fieldByName("Importo");
        importo.setFloat(importo.asFloat() + amount);
        sum.post();

        // The grand total is kept in ten-thousandths and rounded at every step.
        total += doubleToCurrency(amount);
        disp.next();
    }
}

void WriteDistinta(FormState& form) {
    std::int64_t total = 0;
    BuildSummary(form, total);

    Table& disp = form.cdsDisp;
    disp.first();
    const std::string period = disp.fieldByName("MESE").asText() + "/" + disp.fieldByName("ESERCIZIO").asText();
    // An empty date control (a bank whose rules ask no execution date) holds the
    // zero date; printing it would show 30/12/1899 as the payment date, so the
    // value is left blank instead.
    const DaySerial executionDate = form.window.date("deData_Disposizione");
    const std::string executed =
        executionDate == 0 ? std::string() : formatDatePattern("dd/mm/yyyy", executionDate, regional().dateSeparator);

    const std::string folder = ReportFolder(form);
    forceDirectories(folder);
    const std::string path = folder + "DISTINTA_" + extractFileName(form.window.text("cbBancaFile"));
    {
        AtomicTextFileWriter out(path);  // written whole by close(), or not at all
        out.writeLine("DISTINTA FILE BANCHE");
        out.writeLine("");
        out.writeLine(PadLabel("PERIODO DI RIFERIMENTO MESE E ANNO: ") + PadText(period, 15, true));
        out.writeLine(PadLabel("DATA ESECUZIONE PAGAMENTO:") + PadText(executed, 15, true));
        Table& sum = form.cdsDistinta;
        sum.first();
        while (!sum.eof()) {
            out.writeLine(PadLabel(sum.fieldByName("Modalita").asText() + ":") +
                          FormatAmount(doubleToCurrency(sum.fieldByName("Importo").asFloat())));
            sum.next();
        }
        out.writeLine(PadLabel("TOTALE DISTINTA: ") + FormatAmount(total));
        out.close();
    }
    form.window.openWithDesktop(path);
}

}  // namespace doz

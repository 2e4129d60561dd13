// The draft listing: one line per disposition shown.
#include "platform/Files.h"
#include "reports/Reports.h"
#include "reports/TextColumns.h"

namespace doz {

std::string ColumnText(FormState& form, std::string_view fieldName, int width, bool rightAligned) {
    return PadText(form.cdsDisp.fieldByName(fieldName).asText(), width, rightAligned);
}

void WriteBrogliaccio(FormState& form) {
    const std::string folder = ReportFolder(form);
    forceDirectories(folder);
    const std::string path = folder + "BROGLIACCIO_" + extractFileName(form.window.text("cbBancaFile"));
    {
        AtomicTextFileWriter out(path);  // written whole by close(), or not at all
        out.writeLine("BROGLIACCIO FILE BANCHE");
        out.writeLine("");
        out.writeLine("NOMINATIVO                    IMPORTO COORDINATE BANCARIE");

        Table& disp = form.cdsDisp;
        int number = 0;
        disp.first();
        while (!disp.eof()) {
            ReportAmount(form, ++number);  // "NAN" or "INF" is no amount to print
            std::string line;
            line += ColumnText(form, "DESC_DESTINATARIO", 30, false);
            line += ColumnText(form, "IMPORTO_EURO", 7, true);  // never cut: a long amount moves the rest
            line += ' ';
            line += ColumnText(form, "DESC_MOD_PAGAMENTO", 15, false);
            line += ' ';
            line += ColumnText(form, "ABI_DESTINATARIO", 5, false);
            line += '/';
            line += ColumnText(form, "CAB_DESTINATARIO", 6, false);
            line += ColumnText(form, "SACOMNUMCC", 12, false);
            out.writeLine(line);
            disp.next();
        }
        disp.first();
        out.close();
    }
    form.window.openWithDesktop(path);
}

}  // namespace doz

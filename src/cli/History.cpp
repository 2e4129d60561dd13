#include "History.h"

#include <cstdio>
#include <string>

#include "FormState.h"
#include "PztFExport_Banche.h"
#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/MemoryWindow.h"
#include "platform/Regional.h"
#include "register/FileRegister.h"
#include "register/History.h"

namespace doz::cli {

namespace {

void printLine(std::FILE* to, const std::string& cp1252) { std::fprintf(to, "%s\n", ansiToUtf8(cp1252).c_str()); }

std::string euros(std::int64_t cents) { return formatCurrencyFixed(cents * 100, 2); }

int listFiles(const std::string& mainFolder, const Arguments& args) {
    for (const HistoryRow& row : ProducedFileRows(mainFolder, utf8ToAnsi(args.bank)))
        printLine(stdout, std::to_string(row.id) + '\t' + row.moment + '\t' + row.bank + '\t' + row.path + '\t' +
                              std::to_string(row.count) + '\t' + euros(row.totalCents));
    return kExitDone;
}

int showFile(const std::string& mainFolder, std::int64_t id) {
    const ProducedFileDetails details = ProducedFileOf(mainFolder, id);
    const ProducedFile& f = details.file;
    const std::pair<const char*, std::string> fields[] = {
        {"File", std::to_string(f.id)},
        {"Prodotto", f.moment},
        {"Banca", f.bank},
        {"Formato", f.format},
        {"Percorso", f.path},
        {"Nome supporto", f.supportName},
        {"Data creazione", f.creationDate},
        {"Data esecuzione", f.executionDate},
        {"MsgId", f.messageId},
        {"Pagamenti", std::to_string(f.count)},
        {"Totale", euros(f.totalCents)},
        {"Byte", std::to_string(f.size)},
        {"SHA-256", f.sha256},
        {"Copia", f.copy.empty() ? std::string("non conservata") : f.copy},
    };
    for (const auto& [name, value] : fields)
        if (!value.empty()) printLine(stdout, std::string(name) + ": " + value);
    printLine(stdout, "");
    for (const PayrollPayment& p : details.payments)
        printLine(stdout, std::to_string(p.disposition) + '\t' + p.payeeCode + '\t' + p.name + '\t' + p.fiscalCode +
                              '\t' + p.accountKey() + '\t' + euros(p.cents) + '\t' + p.mode);
    return kExitDone;
}

// The window's "save again", answering its question as --yes says.
int writeKeptFile(const std::string& mainFolder, const Arguments& args) {
    MemoryWindow window;
    const bool yes = args.yes;
    window.setQuestionPolicy([yes](const std::string&) { return yes; });
    FormState form(window);
    form.paths.mainFolder = mainFolder;
    try {
        SaveKeptFileAgain(form, *args.keptFile, args.file);
    } catch (const SilentAbort&) {
        std::fprintf(stderr, "Operazione annullata: risposta No alla domanda\n");
        printLine(stderr, window.questions().empty() ? std::string() : window.questions().back().text);
        return kExitDeclined;
    }
    std::fprintf(stdout, "File scritto: %s\n", args.file.c_str());
    return kExitDone;
}

}  // namespace

int runHistory(const Arguments& args) {
    regional() = Regional::fromEnvironment();
    const std::string mainFolder = args.mainFolder ? *args.mainFolder : FormPaths::defaults().mainFolder;
    try {
        if (args.show) return showFile(mainFolder, *args.show);
        if (args.keptFile) return writeKeptFile(mainFolder, args);
        return listFiles(mainFolder, args);
    } catch (const std::exception& e) {
        printLine(stderr, e.what());
        return kExitFailure;
    }
}

}  // namespace doz::cli

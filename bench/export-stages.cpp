// export-stages: times each stage of the export of one bank on a data folder.
//
//   export-stages <data-folder> <work-folder> <bank> [runs]
//
// The data folder holds the catalogue, the layouts and Disposizioni.cds (as
// make-bench-data writes them); the work folder receives the bank file, the
// log, the reports and the settings. The window is the in-memory one, with
// the header values that pass every bank's checks. Each stage is run `runs`
// times (default 3) on the same state and its best wall time is printed:
//
//   <stage> <seconds>  peak <MB>
//
// followed by the process's peak resident memory so far. Stages: load (Disposizioni.cds into cdsLeggi), reload (through the transfer
// rules into cdsDisp), build (every record, validated, into the file's buffer),
// save (the buffer written to the bank file), log, distinta, brogliaccio, the
// register's parts (payroll: the payments collected; keep: the file's SHA-256
// and gzip copy made from 1 MB pieces; copy: the copy written; record: the
// file's row and payments in one transaction), and export (the OK command as
// a whole: reload, build, save, log, register, settings).

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "PztFExport_Banche.h"
#include "bankfile/BankFileWriter.h"
#include "layout/Dispositions.h"
#include "platform/Ansi.h"
#include "platform/Dates.h"
#include "platform/Files.h"
#include "platform/MemoryWindow.h"
#include "register/FileRegister.h"
#include "register/KeptCopy.h"
#include "reports/Reports.h"

using namespace doz;

namespace {

using Clock = std::chrono::steady_clock;

double bestOf(int runs, const std::function<void()>& stage) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        stage();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

// The process's peak resident memory so far, in MB (0 where /proc does not tell).
long peakMegabytes() {
    const std::string status = readWholeFile("/proc/self/status");
    const std::size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : std::atol(status.c_str() + at + 6) / 1024;
}

void report(const char* stage, double seconds) {
    std::printf("%-12s %.4f  peak %ld MB\n", stage, seconds, peakMegabytes());
    std::fflush(stdout);
}

// A handler that did not end well stops the benchmark: its figures would mean nothing.
void requireOk(const TfmPzExport_Banche& form, const MemoryWindow& window, const char* step) {
    if (form.lastOutcome().kind == OutcomeKind::Ok) return;
    const std::string message = window.errors().empty() ? form.lastOutcome().message : window.errors().back();
    throw std::runtime_error(std::string(step) + ": " + ansiToUtf8(message));
}

void selectBank(MemoryWindow& window, const std::string& name) {
    const std::vector<std::string> items = window.items("cbBanche");
    const auto it = std::find(items.begin(), items.end(), name);
    if (it == items.end()) throw std::runtime_error("bank not in the catalogue: " + ansiToUtf8(name));
    window.setSelectedIndex("cbBanche", static_cast<int>(it - items.begin()));
}

// The header values of examples/README.md, on fixed dates so that every run
// sees the same checks: created on a Monday, executed two working days later.
void fillHeader(MemoryWindow& window) {
    window.setText("edMittente", "A1B2C");
    window.setText("edNOME_SUPPORTO", "STIPENDI");
    window.setText("edCC_ORDINANTE", "000010203040");
    window.setText("edConto_Tesoreria", "1234567");
    window.setDate("deData_Creazione", encodeDate(2026, 12, 7));
    window.setDate("deData_Disposizione", encodeDate(2026, 12, 9));
    window.setDate("deData_Valuta", encodeDate(2026, 12, 9));
    window.setDate("deDATA_SCADENZA", encodeDate(2026, 12, 31));
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc < 4) {
            std::fprintf(stderr, "usage: export-stages <data-folder> <work-folder> <bank> [runs]\n");
            return 2;
        }
        const std::string data = argv[1];
        std::string work = argv[2];
        if (work.back() != '/') work += '/';
        const std::string bank = utf8ToAnsi(argv[3]);
        const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;

        MemoryWindow window;
        // Replace the bank file of the previous run; neither open the folder nor write the reports afterwards.
        window.setQuestionPolicy([](const std::string& q) {
            return !q.starts_with(TfmPzExport_Banche::kProducedQuestion) && q != TfmPzExport_Banche::kReportsQuestion;
        });
        FormPaths paths;
        paths.mainFolder = work + "main/";
        paths.bankFolder = work + "bank";
        paths.workingFolder = data;
        paths.dispositionsArg = data;
        TfmPzExport_Banche form(window, paths);
        FormState& state = form.state();

        form.FormCreate();
        requireOk(form, window, "FormCreate");
        form.FormShow();
        requireOk(form, window, "FormShow");
        selectBank(window, bank);
        form.cbBancheClick();
        requireOk(form, window, "cbBancheClick");
        fillHeader(window);
        const std::string bankFile = work + "bank/STIPENDI.Txt";
        window.setText("cbBancaFile", bankFile);

        report("load", bestOf(runs, [&] { LoadDispositions(state); }));
        report("reload", bestOf(runs, [&] { ReloadDispositions(state); }));
        std::printf("%-12s %d\n", "exported", state.cdsDisp.recordCount());

        BankFileText text;
        report("build", bestOf(runs, [&] {
                   text = BankFileText();
                   state.confirmedWarnings.reset();
                   state.lineList = &text;
                   BuildRecords(state);
                   state.lineList = nullptr;
               }));
        std::printf("%-12s %zu\n", "records", text.lineCount);
        report("save", bestOf(runs, [&] { writeFileAtomically(bankFile, text.content); }));
        report("log", bestOf(runs, [&] { WriteFileLog(state); }));
        report("distinta", bestOf(runs, [&] { WriteDistinta(state); }));
        report("brogliaccio", bestOf(runs, [&] { WriteBrogliaccio(state); }));
        std::vector<PayrollPayment> payroll;
        // The bank file saved above, read back (from the system's cache) as the keeper reads a file being written.
        struct ReadBack {
            int fd;
            ~ReadBack() { ::close(fd); }
        } readBack{::open(bankFile.c_str(), O_RDONLY | O_CLOEXEC)};
        report("payroll", bestOf(runs, [&] { payroll = CollectPayroll(state); }));
        ContentKeeper::Kept kept;
        report("keep", bestOf(runs, [&] {
                   ContentKeeper keeper(readBack.fd);
                   keeper.written(text.content.size());
                   kept = keeper.finish();
               }));
        ProducedFile produced;
        report("copy", bestOf(runs, [&] { produced.copy = WriteKeptCopy(paths.mainFolder, kept); }));
        report("record", bestOf(runs, [&] {
                   FileRegister(paths.mainFolder, FileRegister::Open::Create).record(produced, payroll);
               }));
        report("export", bestOf(runs, [&] {
                   form.Button2Click();
                   requireOk(form, window, "Button2Click");
               }));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "export-stages: %s\n", e.what());
        return 1;
    }
}

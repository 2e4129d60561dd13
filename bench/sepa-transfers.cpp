// sepa-transfers: times the SEPA request of N salary transfers.
//
//   sepa-transfers [--one-thread] <N> <schema.xsd> [<transfers.tsv>]
//
// Fills a request of N transfers in memory (the payees of a large payroll:
// names with accents, Italian IBANs, amounts of 50 to 3,000 euro), then times
// the checks and character conversion (PrepareMessage), then the document
// written and validated against the schema at the same time on two threads
// (WriteAndValidate) or, with --one-thread, one after the other (WriteMessage,
// SchemaValidator::validate), and prints
//
//   <stage> <seconds>
//
// for prepare, write (with the validation when on two threads), validate and
// total, the processor time, the document's size and the process's peak
// resident memory. With a third argument the same transfers are
// written there, one a line (end-to-end id, cents, name, IBAN, remittance,
// tab-separated, UTF-8), for the reference built by scripts/bench-sepa.js.

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "findings/Findings.h"
#include "platform/Ansi.h"
#include "platform/Files.h"
#include "payments/Iban.h"
#include "sepa/Prepare.h"
#include "sepa/Schema.h"
#include "sepa/Writer.h"

using namespace doz;
using namespace doz::sepa;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Processor time of the process so far, in seconds: steadier than wall time on a busy machine.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long peakMegabytes() {
    const std::string status = readWholeFile("/proc/self/status");
    const std::size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : std::atol(status.c_str() + at + 6) / 1024;
}

constexpr const char* kSurnames[] = {"Rossi", "Bianchi", "Esposito", "Nicol\xF2", "D'Amico", "Fran\xE7" "ois",
                                     "M\xFCller", "Ferr\xE0", "Gallo", "Conti", "Costa", "Ricci"};
constexpr const char* kNames[] = {"Mario", "Anna", "Jos\xE9", "Lucia", "Bj\xF6rn", "Giuseppe", "Chiara", "Zo\xEB"};

Message payroll(int n) {
    Message m;
    m.form = Form::Pain001;
    m.messageId = "PZT-20261207-093000";
    m.created = sepa::DateTime{{2026, 12, 7}, 9, 30, 0};
    m.paymentInfoId = "PZT-20261207-093000-1";
    m.execution = sepa::Date{2026, 12, 10};
    m.initiatingName = "Comune di Villanova";
    m.cuc = "1234567A";
    m.debtorName = "Comune di Villanova";
    m.debtorIban = BuildItalianIban("IT", "", "05428", "11101", "123456");
    m.debtorAbi = "05428";
    m.transfers.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        Transfer t;
        t.disposition = i + 1;
        t.creditorName = std::string(kSurnames[i % 12]) + " " + kNames[(i / 12) % 8];
        t.payee = t.creditorName;
        t.instructionId = "STIP-202612-" + std::to_string(i + 1);
        t.endToEndId = "STIP-202612-MATR" + std::to_string(100000 + i);
        t.cents = 5'000 + (static_cast<std::int64_t>(i) * 7'919) % 295'000;
        t.categoryPurpose = "SALA";
        t.creditorIban = BuildItalianIban("IT", "", i % 2 ? "03069" : "02008", "09606", std::to_string(700000 + i));
        t.remittance = "Stipendio dicembre 2026 matricola " + std::to_string(100000 + i);
        m.transfers.push_back(std::move(t));
    }
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    const bool oneThread = argc > 1 && std::string_view(argv[1]) == "--one-thread";
    if (oneThread) {
        --argc;
        ++argv;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: sepa-transfers [--one-thread] <N> <schema.xsd> [<transfers.tsv>]\n");
        return 2;
    }
    Message message = payroll(std::atoi(argv[1]));
    if (argc > 3) {
        std::string tsv;
        for (const Transfer& t : message.transfers)
            tsv += t.endToEndId + '\t' + std::to_string(t.cents) + '\t' + ansiToUtf8(t.creditorName) + '\t' +
                   t.creditorIban + '\t' + t.remittance + '\n';
        writeFileAtomically(argv[3], tsv);
    }
    const SchemaValidator validator(argv[2]);  // loaded once per program, not per file

    const auto start = Clock::now();
    const double cpuStart = cpuSeconds();
    CheckSink sink;
    const bool ok = PrepareMessage(message, sink);
    const double prepared = since(start);
    std::string document;
    std::optional<std::string> complaint;
    double written = 0;
    if (oneThread) {
        WriteMessage(message, document);
        written = since(start);
        complaint = validator.validate(document);
    } else {
        complaint = WriteAndValidate(message, validator, document);
        written = since(start);
    }
    const double total = since(start);
    const double cpu = cpuSeconds() - cpuStart;

    std::printf("prepare  %.4f\nwrite    %.4f\nvalidate %.4f\ntotal    %.4f\n", prepared, written - prepared,
                total - written, total);
    std::printf("cpu      %.4f\nbytes    %zu\npeak     %ld MB\n", cpu, document.size(), peakMegabytes());
    if (!ok || complaint) {
        std::fprintf(stderr, "sepa-transfers: %zu findings; schema: %s\n", sink.findings().size(),
                     complaint.value_or("valid").c_str());
        return 1;
    }
    return 0;
}

// The OK, Distinta and Brogliaccio commands run a thousand times on one window:
// the same bytes every time, and no memory kept from one run to the next.
#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <cstddef>

#include "PztFExport_Banche.h"
#include "platform/Dates.h"
#include "platform/MemoryWindow.h"
#include "platform/Regional.h"
#include "platform/Table.h"
#include "robustness/RobustnessSupport.h"

#if defined(__SANITIZE_ADDRESS__)
#define DOZ_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DOZ_UNDER_ASAN 1
#endif
#endif
#ifdef DOZ_UNDER_ASAN
// The sanitizer runtime's count of bytes handed out (both gcc's and clang's runtimes export it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace robustness {
namespace {

// Bytes held by the allocator now (ASan's own count when it replaces malloc).
std::size_t allocatedBytes() {
#ifdef DOZ_UNDER_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

void setHeader(doz::MemoryWindow& w, const std::string& field, const std::string& text, doz::DaySerial date = 0) {
    for (const doz::ComponentInfo& c : w.components()) {
        if (c.name.size() > 2 && doz::sameName(std::string_view(c.name).substr(2), field) && c.parent == "pnlTesta") {
            if (c.kind == doz::ComponentKind::DateEdit)
                w.setDate(c.name, date);
            else
                w.setText(c.name, text);
            return;
        }
    }
    FAIL() << "no header control for " << field;
}

TEST(RepeatedCommands, AThousandRunsGiveTheSameFilesInStableMemory) {
    if (!fs::exists(kExamples + "/Tracciati.xml")) GTEST_SKIP() << "examples/ not generated (scripts/make-demo.sh)";
    DemoWorkspace ws;
    doz::regional() = doz::Regional::forLocale("it_IT");

    doz::MemoryWindow window;
    window.setQuestionPolicy([](const std::string& q) {
        return !q.starts_with(doz::TfmPzExport_Banche::kProducedQuestion) &&
               q != doz::TfmPzExport_Banche::kReportsQuestion;
    });
    doz::FormPaths paths;
    paths.mainFolder = ws.str("main") + "/";
    paths.bankFolder = ws.str("out");
    paths.developerFile = ws.str("no-developer-here");
    paths.workingFolder = ws.str("work");
    paths.dispositionsArg = ws.str("disp");
    doz::TfmPzExport_Banche form(window, paths);
    form.FormCreate();
    form.FormShow();
    ASSERT_EQ(form.lastOutcome().kind, doz::OutcomeKind::Ok) << form.lastOutcome().message;
    const auto banks = window.items("cbBanche");
    const auto bank = std::find(banks.begin(), banks.end(), kBank);
    ASSERT_NE(bank, banks.end());
    window.setSelectedIndex("cbBanche", static_cast<int>(bank - banks.begin()));
    form.cbBancheClick();
    ASSERT_EQ(form.lastOutcome().kind, doz::OutcomeKind::Ok) << form.lastOutcome().message;
    setHeader(window, "Mittente", "A1B2C");
    setHeader(window, "NOME_SUPPORTO", "STIPENDI");
    setHeader(window, "CC_ORDINANTE", "000010203040");
    setHeader(window, "Data_Creazione", {}, doz::encodeDate(2026, 12, 7));
    setHeader(window, "Data_Disposizione", {}, doz::encodeDate(2026, 12, 9));
    setHeader(window, "Data_Valuta", {}, doz::encodeDate(2026, 12, 9));
    setHeader(window, "DATA_SCADENZA", {}, doz::encodeDate(2026, 12, 31));
    window.setText("cbBancaFile", ws.bankFile());

    const std::string distinta = ws.reportFolder() + "/DISTINTA_STIPENDI.Txt";
    const std::string brogliaccio = ws.reportFolder() + "/BROGLIACCIO_STIPENDI.Txt";
    std::string firstBank, firstDistinta, firstBrogliaccio;
    auto runAll = [&](int run) {
        form.Button2Click();
        ASSERT_EQ(form.lastOutcome().kind, doz::OutcomeKind::Ok) << "OK, run " << run << ": " << form.lastOutcome().message;
        form.Button3Click();
        ASSERT_EQ(form.lastOutcome().kind, doz::OutcomeKind::Ok) << "Distinta, run " << run << ": " << form.lastOutcome().message;
        form.Button1Click();
        ASSERT_EQ(form.lastOutcome().kind, doz::OutcomeKind::Ok) << "Brogliaccio, run " << run << ": " << form.lastOutcome().message;
        const std::string bankNow = readFile(ws.bankFile()), distintaNow = readFile(distinta),
                          brogliaccioNow = readFile(brogliaccio);
        if (run == 0) {
            firstBank = bankNow;
            firstDistinta = distintaNow;
            firstBrogliaccio = brogliaccioNow;
            ASSERT_GT(firstBank.size(), 1000u);
            ASSERT_FALSE(firstDistinta.empty());
            ASSERT_FALSE(firstBrogliaccio.empty());
            return;
        }
        ASSERT_EQ(bankNow, firstBank) << "bank file of run " << run;
        ASSERT_EQ(distintaNow, firstDistinta) << "distinta of run " << run;
        ASSERT_EQ(brogliaccioNow, firstBrogliaccio) << "brogliaccio of run " << run;
    };

    constexpr int kWarmUp = 20, kRuns = 1000;
    for (int run = 0; run < kWarmUp; ++run) {
        runAll(run);
        if (HasFatalFailure()) return;
    }
    const std::size_t warm = allocatedBytes();
    for (int run = kWarmUp; run < kRuns; ++run) {
        runAll(run);
        if (HasFatalFailure()) return;
    }
    const std::size_t after = allocatedBytes();
    // The in-memory window keeps a record of every question and opened path
    // (a few hundred bytes a run); anything the commands themselves kept would
    // be tens of kilobytes a run (a copy of the dispositions is more than that).
    const std::size_t growth = after > warm ? after - warm : 0;
    const std::size_t runs = kRuns - kWarmUp;
    EXPECT_LT(growth, runs * 2048) << "warm " << warm << " after " << after;
    RecordProperty("growth_bytes", static_cast<int>(growth));
}

}  // namespace
}  // namespace robustness

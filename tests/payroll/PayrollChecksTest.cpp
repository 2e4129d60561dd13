// The payroll checked as a whole: repeated payments, the comparison with the
// files already produced, the dates against today, and the bank calendar.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payments/Calendar.h"
#include "payroll/PayrollChecks.h"
#include "payroll/PayrollReview.h"
#include "platform/Regional.h"

namespace doz {
namespace {

PayrollPayment payment(int disposition, const char* code, const char* name, const char* fiscal, const char* iban,
                       std::int64_t cents) {
    PayrollPayment p;
    p.disposition = disposition;
    p.payeeCode = code;
    p.name = name;
    p.fiscalCode = fiscal;
    p.iban = iban;
    p.cents = cents;
    return p;
}

// The findings of one kind, as FormatFinding shows them.
std::vector<std::string> lines(const CheckSink& sink, FindingKind kind) {
    std::vector<std::string> out;
    for (const CheckFinding& f : sink.findings())
        if (f.kind == kind) out.push_back(FormatFinding(f));
    return out;
}

bool has(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& l : lines)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

class PayrollChecks : public ::testing::Test {
protected:
    void SetUp() override { regional() = Regional::italian(); }
    void TearDown() override { regional() = saved_; }

private:
    Regional saved_ = regional();
};

TEST_F(PayrollChecks, RepeatedPaymentsNameBothDispositions) {
    const char* ibanA = "IT60X0542811101000000123456";
    const char* ibanB = "IT02L1234512345123456789012";
    const std::vector<PayrollPayment> payroll = {
        payment(1, "M001", "Rossi Mario", "RSSMRA80A01H501U", ibanA, 150000),
        payment(2, "M002", "Bianchi Anna", "BNCNNA85B41F205X", ibanB, 120000),
        // The first payment again: the same account and amount, the same payee code.
        payment(3, "M001", "Rossi Mario", "RSSMRA80A01H501U", ibanA, 150000),
        // Another code, the same fiscal code: the same person paid twice.
        payment(4, "M099", "Bianchi A.", "BNCNNA85B41F205X", "IT45R0300203280000400162123", 5000),
        // The same account with another amount, and nothing in common else: no finding.
        payment(5, "M005", "Verdi Luca", "", ibanB, 99000),
        payment(6, "", "Neri Sara", "", "", 99000),
        payment(7, "", "Neri Sara", "", "", 99000),
    };
    CheckSink sink;
    CheckRepeatedPayments(payroll, sink);
    const std::vector<std::string> warnings = lines(sink, FindingKind::Warning);
    ASSERT_EQ(warnings.size(), 3u) << ::testing::PrintToString(warnings);
    EXPECT_EQ(warnings[0], std::string("Avviso: disposizione 3 (Rossi Mario): stesso conto ") + ibanA +
                               " e stesso importo 1.500,00 della disposizione 1 (Rossi Mario)");
    EXPECT_EQ(warnings[1], "Avviso: disposizione 3 (Rossi Mario): stesso codice beneficiario M001 della disposizione 1 "
                           "(Rossi Mario): pagato due volte");
    EXPECT_EQ(warnings[2], "Avviso: disposizione 4 (Bianchi A.): stesso codice fiscale BNCNNA85B41F205X della "
                           "disposizione 2 (Bianchi Anna): pagato due volte");
    EXPECT_EQ(sink.findings().size(), 3u);

    // The OK question notes only the first few and counts them all.
    CheckSink few;
    EXPECT_EQ(CheckRepeatedPayments(payroll, few, 1), 3u);
    ASSERT_EQ(few.findings().size(), 1u);
    EXPECT_EQ(FormatFinding(few.findings()[0]), warnings[0]);
}

TEST_F(PayrollChecks, UnreadableRegisterSkipsEveryComparisonWithOneNote) {
    PayrollHistory history;
    history.unavailable = "registro scritto da una versione pi\xF9 recente del programma";
    history.samePayroll = ProducedFileSummary{};
    CheckSink sink;
    CheckAgainstHistory({payment(1, "M001", "Rossi Mario", "", "IT60X0542811101000000123456", 100)}, history, sink);
    ASSERT_EQ(sink.findings().size(), 1u);
    EXPECT_EQ(sink.findings()[0].kind, FindingKind::Notice);
    EXPECT_NE(sink.findings()[0].message.find("versione pi\xF9 recente"), std::string::npos);
}

TEST_F(PayrollChecks, FirstFileOfABankStillSeesAnAccountChangedAtAnotherBank) {
    const ProducedFileSummary earlier{7, "2026-11-27 10:42:05", "Banca Demo Sud", "/banca/NOVEMBRE.Txt", 2, 250000};
    PayrollHistory history;
    history.lastAccounts["M001"] = {"IT60X0542811101000000123456", earlier};
    history.lastAccounts["M002"] = {"IT02L1234512345123456789012", earlier};
    const std::vector<PayrollPayment> payroll = {
        payment(1, "M001", "Rossi Mario", "", "IT45R0300203280000400162123", 150000),
        payment(2, "M001", "Rossi Mario", "", "IT45R0300203280000400162123", 1000),
        payment(3, "M002", "Bianchi Anna", "", "IT02L1234512345123456789012", 120000),
    };
    CheckSink sink;
    CheckAgainstHistory(payroll, history, sink);
    const std::vector<std::string> warnings = lines(sink, FindingKind::Warning);
    ASSERT_EQ(warnings.size(), 1u) << "one per payee, none for an account kept";
    EXPECT_EQ(warnings[0],
              "Avviso: disposizione 1 (Rossi Mario): conto diverso da quello dell'ultimo pagamento: prima "
              "IT60X0542811101000000123456, ora IT45R0300203280000400162123 (ultimo pagamento nel file "
              "\"/banca/NOVEMBRE.Txt\" del 27/11/2026 10:42:05 (n. 7 dello storico, 2 pagamenti, totale 2.500,00))");
    const std::vector<std::string> notes = lines(sink, FindingKind::Notice);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_TRUE(has(notes, "primo file di questa banca")) << notes[0];
}

TEST_F(PayrollChecks, ComparisonWithTheBankLastFile) {
    const ProducedFileSummary last{12, "2026-11-27 10:42:05", "Banca Demo Nord", "/banca/NOVEMBRE.xml", 4, 460000};
    PayrollHistory history;
    history.samePayroll = last;
    history.lastOfBank = last;
    history.lastOfBankPayments = {
        payment(1, "M001", "Rossi Mario", "", "", 100000),
        payment(2, "M002", "Bianchi Anna", "", "", 100000),
        payment(3, "", "Verdi Luca", "VRDLCU70C03F205Z", "", 100000),
        payment(4, "M004", "Neri Sara", "", "", 160000),
    };
    const std::vector<PayrollPayment> payroll = {
        // Half as much again is not over 1.5 times; a cent more is.
        payment(1, "M001", "Rossi Mario", "", "", 150000),
        payment(2, "M002", "Bianchi Anna", "", "", 100000),
        payment(3, "M002", "Bianchi Anna", "", "", 50001),
        payment(4, "", "Verdi Luca", "VRDLCU70C03F205Z", "", 100000),
        payment(5, "M005", "Gialli Carlo", "", "", 100000),
    };
    CheckSink sink;
    CheckAgainstHistory(payroll, history, sink);
    const std::vector<std::string> warnings = lines(sink, FindingKind::Warning);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "Avviso: gli stessi pagamenti sono gi\xE0 stati prodotti per questa banca: file "
                           "\"/banca/NOVEMBRE.xml\" del 27/11/2026 10:42:05 (n. 12 dello storico, 4 pagamenti, "
                           "totale 4.600,00)");
    const std::vector<std::string> notes = lines(sink, FindingKind::Notice);
    ASSERT_EQ(notes.size(), 4u) << ::testing::PrintToString(notes);
    EXPECT_TRUE(has({notes[0]}, "1 beneficiari nuovi, 1 assenti, 1 con importo oltre 1,5 volte")) << notes[0];
    EXPECT_EQ(notes[1], "Nota: disposizione 2 (Bianchi Anna): importo 1.500,01 oltre 1,5 volte quello dell'ultimo "
                        "file di questa banca (1.000,00)");
    EXPECT_EQ(notes[2], "Nota: disposizione 5 (Gialli Carlo): beneficiario nuovo rispetto all'ultimo file di questa banca");
    EXPECT_EQ(notes[3], "Nota: Neri Sara (M004) pagato nell'ultimo file di questa banca (1.600,00) e assente da questo");
}

TEST_F(PayrollChecks, ExecutionAndCreationDatesAgainstToday) {
    const DaySerial today = encodeDate(2026, 12, 1);  // a Tuesday
    auto run = [&](DaySerial execution, PayrollFileKind kind) {
        CheckSink sink;
        CheckExecutionDate(execution, "DATA_DISPOSIZIONE", today, kind, sink);
        return sink;
    };
    // Before today: the XML request stops, the fixed-width file warns.
    const CheckSink pastXml = run(today - 1, PayrollFileKind::Xml);
    ASSERT_EQ(pastXml.findings().size(), 1u);
    EXPECT_EQ(FormatFinding(pastXml.findings()[0]),
              "Campo DATA_DISPOSIZIONE: data di esecuzione 30/11/2026 anteriore a oggi (01/12/2026)");
    EXPECT_EQ(run(today - 1, PayrollFileKind::FixedWidth).count(FindingKind::Warning), 1u);
    EXPECT_TRUE(run(today, PayrollFileKind::Xml).findings().empty());

    // A holiday the settlement system keeps open; one it closes is the request's own error.
    const CheckSink holiday = run(encodeDate(2026, 12, 8), PayrollFileKind::Xml);
    ASSERT_EQ(holiday.findings().size(), 1u);
    EXPECT_EQ(holiday.findings()[0].kind, FindingKind::Warning);
    EXPECT_EQ(holiday.findings()[0].message,
              "data di esecuzione 08/12/2026 \xE8 un giorno festivo in Italia (Immacolata Concezione)");
    EXPECT_TRUE(run(encodeDate(2026, 12, 25), PayrollFileKind::Xml).findings().empty());
    EXPECT_EQ(run(encodeDate(2026, 12, 25), PayrollFileKind::FixedWidth).count(FindingKind::Warning), 1u);

    // Ninety days ahead is the last day without a warning.
    EXPECT_TRUE(run(today + 90, PayrollFileKind::Xml).findings().empty());
    const CheckSink far = run(today + 91, PayrollFileKind::Xml);
    ASSERT_EQ(far.count(FindingKind::Warning), 1u);
    EXPECT_NE(far.findings()[0].message.find("oltre 90 giorni"), std::string::npos);

    CheckSink created;
    CheckCreationDate(today, "DATA_CREAZIONE", today, created);
    EXPECT_TRUE(created.findings().empty());
    CheckCreationDate(today + 180, "DATA_CREAZIONE", today, created);
    ASSERT_EQ(created.findings().size(), 1u);
    EXPECT_EQ(created.findings()[0].kind, FindingKind::Warning);
    EXPECT_EQ(created.findings()[0].message, "data di creazione 30/05/2027 successiva a oggi (01/12/2026)");
}

TEST_F(PayrollChecks, ItalianHolidays) {
    EXPECT_STREQ(ItalianHoliday(encodeDate(2027, 3, 29)), "Luned\xEC dell'Angelo");
    EXPECT_STREQ(ItalianHoliday(encodeDate(2027, 10, 4)), "San Francesco d'Assisi");
    EXPECT_EQ(ItalianHoliday(encodeDate(2025, 10, 4)), nullptr) << "a national holiday again from 2026";
    EXPECT_EQ(ItalianHoliday(encodeDate(2027, 3, 28)), nullptr) << "Easter Sunday is a Sunday";
}

TEST_F(PayrollChecks, TheQuestionListsTheRegisterFindingsAllAndCountsTheRest) {
    CheckSink registerFindings, own;
    for (int i = 1; i <= 30; ++i) {
        registerFindings.add({FindingKind::Warning, i, "P" + std::to_string(i), {}, {}, "conto diverso"});
        own.add({FindingKind::Warning, i, "P" + std::to_string(i), {}, {}, "stesso codice"});
    }
    own.add({FindingKind::Notice, 0, {}, {}, {}, "una nota"});
    const std::string q = PayrollQuestion(registerFindings, own, 30);
    EXPECT_EQ(q.rfind("Controlli dei pagamenti: 60 avvisi\r\n", 0), 0u) << q;
    EXPECT_NE(q.find("disposizione 30 (P30): conto diverso\r\n"), std::string::npos);
    EXPECT_NE(q.find("disposizione 20 (P20): stesso codice\r\n"), std::string::npos);
    EXPECT_EQ(q.find("disposizione 21 (P21): stesso codice"), std::string::npos);
    EXPECT_NE(q.find("... e altri 10 avvisi"), std::string::npos);
    EXPECT_EQ(q.find("una nota"), std::string::npos);
    EXPECT_TRUE(q.ends_with("\r\nContinuare ?"));
}

}  // namespace
}  // namespace doz

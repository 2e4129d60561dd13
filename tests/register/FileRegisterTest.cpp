// The register of produced files: what it keeps and gives back, what the
// payroll checks get from it, its schema's upgrade, and the registers it
// refuses (damaged, written by a newer program).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

#include "platform/MemoryWindow.h"
#include "register/FileRegister.h"
#include "register/History.h"
#include "register/RegisterSchema.h"
#include "support/TestFiles.h"

namespace doz {
namespace {

namespace fs = std::filesystem;

class Register : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pzt-register-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        main_ = pattern + "/";
    }
    void TearDown() override { fs::remove_all(main_); }

    static PayrollPayment payment(int disposition, const char* code, const char* name, const char* iban,
                                  std::int64_t cents) {
        PayrollPayment p;
        p.disposition = disposition;
        p.payeeCode = code;
        p.name = name;
        p.fiscalCode = "FC" + std::string(code);
        p.iban = iban;
        p.cents = cents;
        p.kind = 3;
        p.mode = "Bonifico";
        return p;
    }
    static ProducedFile file(const char* bank, const char* path) {
        ProducedFile f;
        f.moment = "2026-12-07 10:42:05";
        f.bank = bank;
        f.format = "CBI_STD";
        f.path = path;
        f.name = "STIPENDI.Txt";
        f.supportName = "STIPENDI";
        f.creationDate = "2026-12-07";
        f.executionDate = "2026-12-09";
        f.sha256 = std::string(64, 'a');
        f.size = 1234;
        return f;
    }

    std::string main_;
    std::vector<PayrollPayment> december_ = {
        payment(1, "M001", "Rossi Mario", "IT60X0542811101000000123456", 150000),
        payment(2, "M002", "Nicol\xF2 Ferr\xE0", "IT02L1234512345123456789012", 99950),
    };
};

TEST_F(Register, KeepsEachFileAndItsPaymentsForItsOwnerOnly) {
    std::int64_t first = 0, second = 0;
    {
        FileRegister reg(main_, FileRegister::Open::Create);
        first = reg.record(file("Banca Nord", "/out/A.Txt"), december_);
        second = reg.record(file("Banca Sud", "/out/B.Txt"), {december_[0]});
    }
    // The journal folded into the register's file, as the next run does while
    // it reads the dispositions: the file alone then holds both files.
    FileRegister::foldJournal(main_);
    const std::string alone = main_ + "alone/";
    fs::create_directories(RegisterFolder(alone));
    fs::copy_file(RegisterPath(main_), RegisterPath(alone));
    EXPECT_EQ(FileRegister(alone, FileRegister::Open::Existing).files().size(), 2u);

    FileRegister reg(main_, FileRegister::Open::Existing);
    ASSERT_TRUE(reg.exists());
    const std::vector<ProducedFile> all = reg.files();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].id, second) << "newest first";
    const std::vector<ProducedFile> north = reg.files("Banca Nord");
    ASSERT_EQ(north.size(), 1u);
    EXPECT_EQ(north[0].id, first);
    EXPECT_EQ(north[0].count, 2);
    EXPECT_EQ(north[0].totalCents, 249950);
    EXPECT_EQ(north[0].path, "/out/A.Txt");
    EXPECT_EQ(north[0].executionDate, "2026-12-09");
    EXPECT_EQ(north[0].sha256, std::string(64, 'a'));

    const std::vector<PayrollPayment> back = reg.payments(first);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].name, "Nicol\xF2 Ferr\xE0") << "Windows-1252 in, the same out";
    EXPECT_EQ(back[1].fiscalCode, "FCM002");
    EXPECT_EQ(back[1].iban, december_[1].iban);
    EXPECT_EQ(back[1].cents, 99950);
    EXPECT_EQ(back[1].mode, "Bonifico");
    EXPECT_FALSE(reg.file(99).has_value());

    struct stat st{};
    ASSERT_EQ(::stat(RegisterPath(main_).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(RegisterFolder(main_).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Reading a register that does not exist creates nothing.
    const std::string other = main_ + "other/";
    EXPECT_TRUE(ProducedFileRows(other).empty());
    FileRegister::foldJournal(other);
    EXPECT_FALSE(fs::exists(RegisterFolder(other)));
}

TEST_F(Register, TellsTheChecksTheSamePayrollTheLastFileAndEachPayeesLastAccount) {
    MemoryWindow window;
    FormState form(window);
    form.paths.mainFolder = main_;
    EXPECT_FALSE(LoadPayrollHistory(form, "Banca Nord", december_).lastOfBank) << "no register yet";

    std::int64_t north = 0, south = 0;
    {
        FileRegister reg(main_, FileRegister::Open::Create);
        north = reg.record(file("Banca Nord", "/out/A.Txt"), december_);
        std::vector<PayrollPayment> moved = {december_[0]};
        moved[0].iban = "IT40S0542811101000000654321";
        south = reg.record(file("Banca Sud", "/out/B.Txt"), moved);
    }
    // The same payees and amounts in another order: the same payroll.
    const std::vector<PayrollPayment> again = {december_[1], december_[0]};
    PayrollHistory h = LoadPayrollHistory(form, "Banca Nord", again);
    EXPECT_TRUE(h.unavailable.empty()) << h.unavailable;
    ASSERT_TRUE(h.samePayroll);
    EXPECT_EQ(h.samePayroll->id, north);
    EXPECT_EQ(h.samePayroll->path, "/out/A.Txt");
    ASSERT_TRUE(h.lastOfBank);
    EXPECT_EQ(h.lastOfBank->id, north);
    EXPECT_EQ(h.lastOfBankPayments.size(), 2u);
    ASSERT_EQ(h.lastAccounts.count("M001"), 1u);
    EXPECT_EQ(h.lastAccounts["M001"].accountKey, "IT40S0542811101000000654321") << "the newest file of any bank";
    EXPECT_EQ(h.lastAccounts["M001"].file.id, south);
    EXPECT_EQ(h.lastAccounts.count("M002"), 0u) << "paid on the same account as last time";

    // One amount changed: no longer the same payroll, the last file stays.
    std::vector<PayrollPayment> raised = december_;
    raised[1].cents += 1;
    h = LoadPayrollHistory(form, "Banca Nord", raised);
    EXPECT_FALSE(h.samePayroll);
    EXPECT_TRUE(h.lastOfBank);
    // A bank with no file yet.
    h = LoadPayrollHistory(form, "Banca Est", december_);
    EXPECT_FALSE(h.lastOfBank);
    EXPECT_FALSE(h.samePayroll);
    EXPECT_EQ(h.lastAccounts.size(), 1u);

    // Of two payments to a payee in one file the later one tells; a newer file
    // paying M002 without an account leaves its last account where it was.
    {
        FileRegister reg(main_, FileRegister::Open::Create);
        std::vector<PayrollPayment> est = {december_[1], december_[1], december_[1]};
        est[0].iban = "IT33FIRST";
        est[1].iban.clear();
        est[2].iban = "IT44OTHER";
        est[2].payeeCode = "M003";
        const std::int64_t c = reg.record(file("Banca Est", "/out/C.Txt"), {est[0], december_[1]});
        reg.record(file("Banca Est", "/out/D.Txt"), {est[1], est[2]});
        // M003 now on its last account and on another one: told.
        std::vector<PayrollPayment> moved = {december_[0], december_[1], est[2], est[2]};
        moved[1].iban = "IT55NEW";
        moved[3].iban = "IT66NEW";
        h = reg.history("Banca Est", december_, moved);
        EXPECT_EQ(h.lastAccounts.at("M002").accountKey, december_[1].iban);
        EXPECT_EQ(h.lastAccounts.at("M002").file.id, c);
        EXPECT_EQ(h.lastAccounts.at("M002").file.path, "/out/C.Txt");
        EXPECT_EQ(h.lastAccounts.at("M001").file.id, south);
        EXPECT_EQ(h.lastAccounts.at("M003").accountKey, "IT44OTHER");

        // Payees the register never saw, between and after those it knows, and
        // a payee whose code is not plain ASCII, found by its last account.
        std::vector<PayrollPayment> accented = {december_[1]};
        accented[0].payeeCode = "\xC8M9";
        reg.record(file("Banca Est", "/out/E.Txt"), accented);
        accented[0].iban = "IT77NEW";
        moved = {december_[0], accented[0], moved[1], est[2]};
        moved[0].payeeCode = "M0015";
        for (const char* unknown : {"M0016", "Z9"}) {
            moved.push_back(moved[0]);
            moved.back().payeeCode = unknown;
        }
        h = reg.history("Banca Est", december_, moved);
        EXPECT_EQ(h.lastAccounts.count("M0015") + h.lastAccounts.count("M0016") + h.lastAccounts.count("Z9"), 0u);
        EXPECT_EQ(h.lastAccounts.at("M002").file.id, c);
        EXPECT_EQ(h.lastAccounts.at("\xC8M9").accountKey, december_[1].iban);
        EXPECT_EQ(h.lastAccounts.size(), 2u) << "M003 paid on its last account only";
    }
}

TEST_F(Register, PayrollDigestStaysTheOneRegistersAlreadyHold) {
    // Digests written by earlier runs are compared with new ones: the lines
    // "payee<TAB>cents<LF>" sorted byte by byte, digested together.
    std::vector<PayrollPayment> payroll(4);
    payroll[0].payeeCode = "M001";
    payroll[0].cents = 150000;
    payroll[1].fiscalCode = "RSSMRA80A01H501U";
    payroll[1].cents = -5;
    payroll[2].name = "Rossi";
    payroll[2].cents = 7;
    payroll[3].payeeCode = "M001";
    payroll[3].cents = 20;
    EXPECT_EQ(PayrollDigest(payroll), "5673b60d110a5702fd66d04cf2236485d210f937c9c7f20c8eb641a25a36fe44");
}

// Payments recorded part by part while they are gathered: the same rows as in
// one go; abandoned, nothing; handed in full as other payments than the parts,
// refused.
TEST_F(Register, PaymentsRecordedInPartsAreTheFilesOrNothing) {
    { FileRegister(main_, FileRegister::Open::Create).record(file("Banca Nord", "/out/A.Txt"), {december_[0]}); }
    RegisterEntry entry;
    entry.bank = "Banca Nord";
    // M001 paid again in the second part, on another account: that one is its last.
    PayrollPayment again = december_[0];
    again.disposition = 3;
    again.iban = "DE89370400440532013000";
    entry.payments = {december_[0], december_[1], again};
    {
        RegisterRecording abandoned(main_);
        ASSERT_TRUE(abandoned.startInParts());
        abandoned.take({december_[0]});
    }
    {
        RegisterRecording recording(main_);
        ASSERT_TRUE(recording.startInParts());
        recording.take({december_[0]});
        recording.take({december_[1], again});
        recording.start(entry.payments);
        EXPECT_EQ(recording.finish(entry, "/out/B.Txt", nullptr), "");
    }
    {
        RegisterRecording mismatched(main_);
        ASSERT_TRUE(mismatched.startInParts());
        mismatched.take({december_[1]});
        EXPECT_EQ(mismatched.finish(entry, "/out/C.Txt", nullptr).rfind("Registro non aggiornato: ", 0), 0u);
    }
    FileRegister reg(main_, FileRegister::Open::Existing);
    const std::vector<ProducedFile> files = reg.files();
    ASSERT_EQ(files.size(), 2u) << "only the file recorded whole";
    EXPECT_EQ(files[0].path, "/out/B.Txt");
    EXPECT_EQ(files[0].count, 3);
    EXPECT_EQ(files[0].totalCents, 399950);
    const std::vector<PayrollPayment> back = reg.payments(files[0].id);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[1].name, december_[1].name);
    EXPECT_EQ(back[2].iban, again.iban);
    const PayrollHistory h = reg.history("Banca Nord", entry.payments, december_);
    ASSERT_TRUE(h.samePayroll) << "its fingerprint is the one a file recorded in one go has";
    EXPECT_EQ(h.samePayroll->path, "/out/B.Txt");
    EXPECT_EQ(h.lastAccounts.at("M001").accountKey, again.iban);
    EXPECT_FALSE(RegisterRecording(main_ + "none/").startInParts()) << "no register: nothing started";
}

TEST_F(Register, OlderSchemaIsBroughtUpToDateWithWhatItHolds) {
    fs::create_directories(RegisterFolder(main_));
    {
        // A register as the first schema left it: one file of December's payroll.
        SqliteDatabase db(RegisterPath(main_), SqliteDatabase::Mode::ReadWrite);
        RegisterSteps()[0](db);
        db.execute("PRAGMA user_version = 1;"
                   "INSERT INTO produced_file VALUES (1, '2026-11-27 10:00:00', 'Banca Nord', 'CBI_STD', '/out/N.Txt',"
                   " 'N.Txt', 'STIPENDI', '2026-11-27', '2026-11-30', '', 2, 249950, 10, '', '');"
                   "INSERT INTO payment VALUES (1, 1, 1, 'M001', 'Rossi Mario', '', 'IT11OLD', '', '', '', 150000, 3,"
                   " 'Bonifico'), (1, 2, 2, 'M002', 'Nicol\xC3\xB2 Ferr\xC3\xA0', '', 'IT22OLD', '', '', '', 99950, 3,"
                   " 'Bonifico');");
    }
    FileRegister reg(main_, FileRegister::Open::Create);
    EXPECT_EQ(SqliteDatabase(RegisterPath(main_), SqliteDatabase::Mode::ReadOnly).integer("PRAGMA user_version"),
              kRegisterSchema);
    const PayrollHistory h = reg.history("Banca Nord", december_, december_);
    ASSERT_TRUE(h.samePayroll) << "the file written before the upgrade is found as the same payroll";
    EXPECT_EQ(h.samePayroll->path, "/out/N.Txt");
    EXPECT_EQ(h.lastAccounts.at("M001").accountKey, "IT11OLD");
    EXPECT_EQ(reg.record(file("Banca Nord", "/out/A.Txt"), december_), 2);
}

TEST_F(Register, DamagedOrNewerRegisterIsToldNeverUsed) {
    MemoryWindow window;
    FormState form(window);
    form.paths.mainFolder = main_;
    RegisterEntry entry;
    entry.bank = "Banca Nord";
    entry.payments = december_;

    fs::create_directories(RegisterFolder(main_));
    test_files::writeFile(RegisterPath(main_), std::string(8192, '\x5A') + "garbage, not a database");
    PayrollHistory h = LoadPayrollHistory(form, "Banca Nord", december_);
    EXPECT_NE(h.unavailable.find("\xE8 danneggiato o non \xE8 un registro"), std::string::npos) << h.unavailable;
    EXPECT_FALSE(h.lastOfBank);
    EXPECT_THROW(ProducedFileRows(main_), RegisterError);
    const std::string told = RecordProducedFile(main_, entry, "/out/A.Txt", nullptr);
    EXPECT_EQ(told.rfind("Registro non aggiornato: il registro '" + RegisterPath(main_) + "'", 0), 0u) << told;

    fs::remove(RegisterPath(main_));
    {
        FileRegister reg(main_, FileRegister::Open::Create);
        reg.record(file("Banca Nord", "/out/A.Txt"), december_);
    }
    SqliteDatabase(RegisterPath(main_), SqliteDatabase::Mode::ReadWrite).execute("PRAGMA user_version = 99");
    h = LoadPayrollHistory(form, "Banca Nord", december_);
    EXPECT_NE(h.unavailable.find("versione pi\xF9 recente del programma (schema 99"), std::string::npos) << h.unavailable;
    EXPECT_FALSE(h.samePayroll);
    EXPECT_NE(RecordProducedFile(main_, entry, "/out/B.Txt", nullptr).find("schema 99"), std::string::npos);
}

}  // namespace
}  // namespace doz
